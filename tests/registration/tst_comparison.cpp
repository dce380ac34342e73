// The whole comparison a user makes: two pictures of the same stars, the second shifted and
// smaller, marked on the same two stars, zoomed to the same scale, overlaid and blinked.

#include "shell/clicklabel.h"
#include "shell/panbar.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QPushButton>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

constexpr double Scale2 = 0.8; // picture 2 shows the sky 0.8 times as large
const QPointF Shift2(40, 25);  // and shifted

QPointF inPicture2(QPointF p) { return p * Scale2 + Shift2; }

QPointF centroid(const QImage& img, QPointF p) { return spotCentre(img, p); }

} // namespace

class TestComparison : public QObject {
    Q_OBJECT
private slots:
    void blinkedStarsCoincideAndTheMoverJumps() {
        ScriptedPrompter prompter;
        frmBl& f = freshProgram();
        QTemporaryDir dir;

        const QVector<QPointF> stars{{100, 80}, {450, 300}, {300, 150}, {200, 320}, {520, 60}, {60, 250}};
        const QPointF moverThen(350, 220), moverNow(380, 230);
        QVector<Star> first, second;
        for (QPointF s : stars) {
            first << Star{s.x(), s.y(), 4.0};
            const QPointF t = inPicture2(s);
            second << Star{t.x(), t.y(), 4.0 * Scale2};
        }
        first << Star{moverThen.x(), moverThen.y(), 4.0};
        const QPointF moverNowIn2 = inPicture2(moverNow);
        second << Star{moverNowIn2.x(), moverNowIn2.y(), 4.0 * Scale2};
        loadSlot(f, prompter, 1, savePicture(dir, "night1.png", starField(600, 380, first)));
        loadSlot(f, prompter, 2, savePicture(dir, "night2.png", starField(480, 304, second)));

        // Mark the same two stars on both pictures by clicking on them.
        markPoint(f, 1, 1, stars[0]);
        markPoint(f, 1, 2, stars[1]);
        markPoint(f, 2, 1, inPicture2(stars[0]));
        markPoint(f, 2, 2, inPicture2(stars[1]));
        QCOMPARE(State().Point1Text2, QString("1800  1335"));

        // Zoom picture 2 until the star distances match, then overlay.
        f.HScr2->setValue(1250);
        QCOMPARE(State().DisplayScale2, 1.25f);
        f.CmdSovm->click();

        // Blink and look at what the user sees in both phases.
        f.CmdStart->click(); // shows phase 1 at once
        QWidget* area = f.centralWidget();
        QVERIFY(f.Img1->isVisible() && f.Img2->isHidden());
        const QImage phase1 = area->grab(QRect(0, 0, 620, 400)).toImage();
        f.Timer1_Timer();
        QVERIFY(f.Img2->isVisible() && f.Img1->isHidden());
        const QImage phase2 = area->grab(QRect(0, 0, 620, 400)).toImage();

        const QPointF origin(State().ImageLeft1, State().ImageTop1);
        for (QPointF s : stars) {
            const QPointF screen = origin + s;
            const QPointF a = centroid(phase1, screen);
            const QPointF b = centroid(phase2, screen);
            QVERIFY2(a.x() >= 0 && b.x() >= 0, qPrintable(QString("star at %1,%2 not seen").arg(s.x()).arg(s.y())));
            QVERIFY2(QLineF(a, b).length() <= 1.0,
                     qPrintable(QString("star %1,%2: %3,%4 vs %5,%6")
                                    .arg(s.x()).arg(s.y()).arg(a.x()).arg(a.y()).arg(b.x()).arg(b.y())));
        }
        // The moving object is at one place in phase 1 and another in phase 2.
        const QPointF then = origin + moverThen, now = origin + moverNow;
        QVERIFY(centroid(phase1, then).x() >= 0);
        QCOMPARE(centroid(phase2, then), QPointF(-1, -1));
        QVERIFY(centroid(phase2, now).x() >= 0);
        QCOMPARE(centroid(phase1, now), QPointF(-1, -1));
    }
};

QTEST_MAIN(TestComparison)
#include "tst_comparison.moc"
