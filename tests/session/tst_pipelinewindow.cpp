// The window-less chain and the main window agree: the same three FITS exposures loaded,
// "Совместить автоматически", "Найти движущиеся объекты", the first row of the list and its
// "Копировать строку отчёта" give the clipboard the report the chain wrote.

#include "common/jobrunner.h"
#include "report/frmmovers.h"
#include "session/pipeline.h"
#include "session/session.h"
#include "support/moverfits.h"
#include "support/useractions.h"
#include "support/windowtest.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

class TestPipelineWindow : public WindowTest {
    Q_OBJECT
  private slots:
    void windowReportsWhatThePipelineReports() {
        const QStringList files = writeMoverFits(dir, moverField(3, 4, 1600, 1200, 2.0, 200, 0.0));
        Session session;
        JobRunner jobs;
        const Outcome<PipelineResult> run = runPipeline(session, jobs, {.files = files});
        QVERIFY2(run.ok(), qPrintable(run.reason()));
        QVERIFY(!run.value().report.isEmpty());

        for (int k = 1; k <= 3; ++k)
            load(k, files[k - 1]);
        QVERIFY(chooseMenuItem(f, f->mnuViravnivanie, f->mnuAutoSovm));
        QVERIFY(jobEnds());
        for (const QString& line : run.value().registered)
            QVERIFY2(f->txtInfo->toPlainText().contains(line), qPrintable(f->txtInfo->toPlainText()));
        emit f->mnuViravnivanie->aboutToShow();
        f->mnuMovers->trigger();
        QVERIFY(jobEnds());
        frmMovers* w = f->findChild<frmMovers*>();
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->lstMovers->rowCount(), run.value().rows.size());
        for (int col = 0; col < w->lstMovers->columnCount(); ++col)
            QCOMPARE(w->lstMovers->item(0, col)->text(), run.value().rows[0].cells[col]);

        QTableWidget* t = w->lstMovers;
        QTest::mouseClick(t->viewport(), Qt::LeftButton, Qt::NoModifier, t->visualItemRect(t->item(0, 1)).center());
        QTest::mouseClick(w->cmdReport, Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), run.value().report);
    }
};

QTEST_MAIN(TestPipelineWindow)
#include "tst_pipelinewindow.moc"
