// The moving-object search for screenshots: two generated pictures registered by hand, picture 1
// placed on the sky by two stars, the search run from its menu item, the second object chosen in
// the list while the pictures blink; with "settings" the settings dialog is open too. Not a test.

#include "report/frmmovers.h"
#include "shell/clicklabel.h"
#include "support/moverfield.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

using namespace vorlan;
using namespace vorlan::test;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool settings = argc > 1 && QString::fromLatin1(argv[1]) == QStringLiteral("settings");
    ScriptedPrompter prompter;
    QTemporaryDir dir;
    frmBl& f = freshProgram();
    const MoverField field = moverField(2, 3, 1600, 1200, 1.6, 160);
    for (int k = 1; k <= 2; ++k)
        loadSlot(f, prompter, k,
                 savePicture(dir, QStringLiteral("field%1.png").arg(k), field.pictures[k - 1].image));
    QVector<SkyStar> sky = field.sky;
    std::sort(sky.begin(), sky.end(), [](const SkyStar& a, const SkyStar& b) { return a.peak > b.peak; });
    const SkyStar first = sky[0];
    const SkyStar second = *std::find_if(sky.begin(), sky.end(), [&](const SkyStar& s) {
        return std::hypot(s.x - first.x, s.y - first.y) > 600;
    });
    for (int p : {1, 2}) {
        const QPointF at(p == 1 ? first.x : second.x, p == 1 ? first.y : second.y);
        markPoint(f, 1, p, at);
        markPoint(f, 2, p, field.toPicture1[1].inverted().map(at));
    }
    SharedState& s = State();
    s.StarRA1 = float((5 + 34 / 60.0 + 31.9 / 3600) * M_PI / 12);
    s.StarDec1 = float((22 + 0 / 60.0 + 52 / 3600.0) * M_PI / 180);
    s.StarRA2 = float((5 + 35 / 60.0 + 10.0 / 3600) * M_PI / 12);
    s.StarDec2 = float((22 + 9 / 60.0) * M_PI / 180);
    emit f.mnuViravnivanie->aboutToShow();
    QTest::mouseClick(f.Lbl1, Qt::LeftButton);
    f.mnuMovers->trigger();
    jobEnds(f);
    frmMovers* list = f.findChild<frmMovers*>();
    list->move(f.geometry().right() - list->width() - 10, 380);
    QTableWidget* t = list->lstMovers;
    QTest::mouseClick(t->viewport(), Qt::LeftButton, Qt::NoModifier, t->visualItemRect(t->item(1, 1)).center());
    QTest::mouseClick(f.CmdStart, Qt::LeftButton);
    if (settings) QTimer::singleShot(300, &f, [&f] { f.mnuSettings->trigger(); });
    return app.exec();
}
