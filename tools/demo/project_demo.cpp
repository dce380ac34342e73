// The main window right after reopening a project file, for screenshots under a virtual X
// server: the hand-made two-picture project of tests/project/data with star fields named as it
// names them (Cyrillic names stored with a Windows folder), opened through "Файл".

#include "shell/frmbl.h"
#include "shell/start.h"
#include "support/fixture.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QRandomGenerator>
#include <cstdio>

using namespace vorlan;
using namespace vorlan::test;

namespace {

QImage field(int w, int h, quint32 seed) {
    QRandomGenerator rng(seed);
    QVector<Star> stars;
    for (int i = 0; i < w * h / 1500; ++i)
        stars.push_back({rng.bounded(double(w)), rng.bounded(double(h)), 1.2 + rng.bounded(3.0),
                         90 + int(rng.bounded(166))});
    return starField(w, h, stars);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorlan"));
    ScriptedPrompter prompter;
    QTemporaryDir dir;
    savePicture(dir, QStringLiteral("снимок1.jpg"), field(400, 300, 1));
    savePicture(dir, QStringLiteral("карта2.jpg"), field(640, 480, 2));
    const QString project = dir.filePath(QStringLiteral("comparison.vln"));
    QFile::copy(QStringLiteral(VORLAN_PROJECT_DATA "/two-with-coordinates.vln"), project);
    Main();
    frmBl& f = MainForm();
    prompter.openNames.enqueue(project);
    f.mnuFileOpen->trigger();
    for (const QString& m : prompter.messages)
        std::fprintf(stderr, "message: %s\n", qPrintable(m));
    return app.exec();
}
