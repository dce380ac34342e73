// The notepad with a file of one endless line against the same amount of text in short lines,
// measured in the same run: opening it and typing into it should cost about the same.

#include "benchreport.h"
#include "notepad/frmast00.h"
#include "notepad/notepadrules.h"

#include <QApplication>
#include <QTextCursor>

using namespace vorlan;

namespace {

constexpr int Bytes = 1 << 20;

QByteArray fileBytes(bool oneLine) {
    QByteArray b(Bytes, 'x');
    for (int i = 0; i < Bytes; ++i)
        b[i] = char('a' + i % 26);
    if (!oneLine)
        for (int i = 79; i < Bytes; i += 81)
            b[i - 1] = '\r', b[i] = '\n';
    return b;
}

/// Decoding the file's bytes and showing them, as "Открыть" does after reading the file.
void BM_Open(benchmark::State& state) {
    const QByteArray bytes = fileBytes(state.range(0) == 1);
    frmAst00& n = Notepad();
    for (auto _ : state) {
        n.setText(NotepadTextFromBytes(bytes, false));
        QCoreApplication::processEvents();
    }
}

/// One key typed in the middle of the text, with the repaint that shows it.
void BM_Keystroke(benchmark::State& state) {
    frmAst00& n = Notepad();
    n.setText(NotepadTextFromBytes(fileBytes(state.range(0) == 1), false));
    QTextCursor c = n.txtInfo->textCursor();
    c.setPosition(n.txtInfo->document()->characterCount() / 2);
    n.txtInfo->setTextCursor(c);
    for (auto _ : state) {
        n.txtInfo->insertPlainText(QStringLiteral("q"));
        n.txtInfo->viewport()->repaint();
    }
}

BENCHMARK(BM_Open)->Arg(0)->Arg(1)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Keystroke)
    ->Arg(0)
    ->Arg(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Notepad().show();
    QCoreApplication::processEvents();

    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto t = [&](const char* name) { return reporter.ms.count(name) ? reporter.ms[name] : 0.0; };
    std::printf("\nNotepad, 1 MB of text (median CPU times)\n");
    ratioLine("open: one line, no breaks", t("BM_Open/1"), "open: 80-column lines", t("BM_Open/0"), 1.5,
              "ms");
    // A paragraph of the long line holds 1000 characters against 80: a little more layout per key.
    ratioLine("key in the long line", t("BM_Keystroke/1"), "key in a short line", t("BM_Keystroke/0"), 3.0,
              "ms");
    Notepad().close();
    return 0;
}
