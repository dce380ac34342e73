// Blinking only what changed, as the user sees it: two nights of one field, the second 1.8 times
// brighter with an offset and one star moved, registered on a star and blinked with matched
// brightness, as a difference, and all three pictures in turn.

#include "blink/differencelayer.h"
#include "shell/clicklabel.h"
#include "shell/panbar.h"
#include "support/files.h"
#include "support/nightsky.h"
#include "support/useractions.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>
#include <cmath>

using namespace vorlan;
using namespace vorlan::test;

namespace {

constexpr int W = 360, H = 240;
constexpr double Gain = 1.8, Offset = 25;
const QPoint Shift(9, 6);         ///< picture 2 sees picture 1's sky pixel p at p + Shift
const QPoint Anchor(60, 50);      ///< the star both pictures are registered on (picture 1 pixels)
const QPoint MoverThen(120, 100); ///< the moving star on night 1 and night 2 (picture 1 pixels)
const QPoint MoverNow(150, 112);

// The two brightest saturate on night 2: their cores are lost there, not changed.
const QVector<NightStar> Stars{{Anchor, 90, 1.6},     {{200, 40}, 60, 1.4},   {{300, 70}, 120, 1.8},
                               {{40, 180}, 45, 1.3},  {{250, 190}, 170, 2.0}, {{320, 150}, 75, 1.5},
                               {{90, 140}, 110, 1.7}, {{180, 210}, 55, 1.2}};

/// One night as a grey picture: gain * sky + offset with the mover at `mover`, the sky shifted by shift.
QImage night(double gain, double offset, QPoint shift, QPoint mover) {
    const ToneLine line{gain, offset};
    return nightPicture({W, H}, shift, Stars + QVector<NightStar>{{mover, 90, 2.0}}, {line, line, line});
}

int greyAt(const QImage& img, QPoint p) {
    return qGray(img.pixel(p));
}

/// Share of the screen pixels where both pictures lie, away from their edges and the mover, for
/// which test holds.
double shareWhere(const std::function<bool(QPoint)>& test) {
    int holds = 0, all = 0;
    for (int y = 10; y < H - Shift.y() - 10; ++y)
        for (int x = 10; x < W - Shift.x() - 10; ++x) {
            const QPoint p(x, y);
            if (QLineF(p, MoverThen).length() <= 10 || QLineF(p, MoverNow).length() <= 10) continue;
            ++all;
            holds += test(p);
        }
    return double(holds) / all;
}

} // namespace

class TestBrightnessWindow : public WindowTest {
    Q_OBJECT
    QImage picture2;

    /// Loads both nights and registers them as a user does: point 1 on the same star in both
    /// pictures, then "Совместить".
    void loadRegisteredPair(const QImage& one = night(1, 0, {}, MoverThen),
                            const QImage& two = night(Gain, Offset, Shift, MoverNow)) {
        picture2 = two;
        load(1, "night1.png", one);
        load(2, "night2.png", picture2);
        mark(1, 1, Anchor);
        mark(2, 1, Anchor + Shift);
        QTest::mouseClick(f->CmdSovm, Qt::LeftButton);
        QCOMPARE(QPointF(f->Img2->Left(), f->Img2->Top()), QPointF(-Shift));
        quickestBlink();
    }

    /// The quickest blink, set on the slider as a user does.
    void quickestBlink() {
        clickHandle(f->HScrTime);
        typeKey(f, Qt::Key_Home);
        QCOMPARE(f->HScrTime->value(), 100);
    }

    /// The picture area at each of the next n ticks of the running blink, with the phase each shows.
    QVector<std::pair<int, QImage>> nextTicks(int n) {
        QVector<std::pair<int, QImage>> shown;
        for (int i = 0; i < n; ++i) {
            const int before = f->BlinkPhase;
            if (!QTest::qWaitFor([&] { return f->BlinkPhase != before; }, 3000)) return {};
            shown.append({f->BlinkPhase, f->pictureArea->grab().toImage()});
        }
        return shown;
    }

    /// Phase 1 and phase 2 of the blink, started and stopped by clicks on CmdStart.
    std::pair<QImage, QImage> blinkPhases() {
        QTest::mouseClick(f->CmdStart, Qt::LeftButton);
        QImage one, two;
        for (const auto& [phase, grab] : nextTicks(3))
            (phase == 1 ? one : two) = grab;
        QTest::mouseClick(f->CmdStart, Qt::LeftButton);
        return {one, two};
    }

    QString fitLine() const {
        const QStringList lines = f->txtInfo->toPlainText().split('\n');
        const auto at = std::find_if(lines.begin(), lines.end(),
                                     [](const QString& l) { return l.startsWith("Яркость"); });
        return at == lines.end() ? QString() : *at;
    }

    /// The project saved under name (in dir) as its file holds it.
    QByteArray save(const QString& name) {
        prompter->saveNames.enqueue(dir.filePath(name));
        return chooseMenuItem(f, f->mnuFile, f->mnuFileSave) ? readFile(dir.filePath(name + ".vln"))
                                                             : QByteArray();
    }

    /// Share of the compared pixels where two grabs differ by at most `within` levels (more than
    /// 40 with `flashing`).
    static double sameShare(const QImage& a, const QImage& b, bool flashing = false, int within = 2) {
        return shareWhere([&](QPoint p) {
            const int d = std::abs(greyAt(a, p) - greyAt(b, p));
            return flashing ? d > 40 : d <= within;
        });
    }

  private slots:
    // Two nights of one field, the second brighter and a star moved: as before the whole sky
    // flashes; the difference shows the mover as a light and a dark spot; with matched brightness
    // only the mover flashes; none of it goes into a project, the fit is made again on opening,
    // and the choice is remembered for the next run.
    void blinksOnlyWhatChanged() {
        loadRegisteredPair();
        f->txtInfo->setPlainText("моя заметка");
        QVERIFY(!f->mnuJarkost->isChecked());

        // Off, as before: the whole sky flashes.
        const auto [plain1, plain2] = blinkPhases();
        QVERIFY(!plain1.isNull() && !plain2.isNull());
        QCOMPARE_GT(sameShare(plain1, plain2, true), 0.9);
        QCOMPARE(f->txtInfo->toPlainText(), QString("моя заметка"));

        // "Разность", turned on over picture 1: the view goes to picture 2's difference.
        QTest::mouseClick(f->Lbl1, Qt::LeftButton);
        QVERIFY(chooseMenuItem(f, f->mnuVL, f->mnuRaznost));
        QVERIFY(f->mnuRaznost->isChecked());
        QTRY_COMPARE(f->ImgRaznost->shownSlot(), 2);
        QCOMPARE(f->Lbl2->backColor(), colors::Yellow);
        const QImage shown = f->pictureArea->grab().toImage();
        QCOMPARE_GE(shareWhere([&](QPoint p) { return std::abs(greyAt(shown, p) - 128) <= 2; }), 0.99);
        QCOMPARE_GT(greyAt(shown, MoverNow), 170);
        QCOMPARE_LT(greyAt(shown, MoverThen), 85);
        // Where picture 2 does not reach, there is no difference to show.
        QCOMPARE(greyAt(shown, QPoint(W - 3, H - 3)), 128);

        // Blinking alternates picture 1 with the difference.
        const auto [dif1, dif2] = blinkPhases();
        QCOMPARE(greyAt(dif1, QPoint(20, 200)), qGray(f->Img1->picture().pixel(20, 200)));
        QVERIFY(std::abs(greyAt(dif2, QPoint(20, 200)) - 128) <= 2);
        QVERIFY(greyAt(dif2, MoverNow) > 170);

        // A click on the difference lands on picture 2 under it, at the same sky.
        QTest::mouseClick(f->Lbl2, Qt::LeftButton);
        QCOMPARE(f->ImgRaznost->shownSlot(), 2);
        QTest::mouseClick(f->lblVvod2, Qt::LeftButton);
        QTest::mouseClick(f->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                          f->pictureArea->mapTo(f, QPoint(100, 80)));
        QCOMPARE(State().Point2X2, float((100 + Shift.x()) * 15));

        // Off again: picture 2 as it is.
        QVERIFY(chooseMenuItem(f, f->mnuVL, f->mnuRaznost));
        QTest::mouseClick(f->Lbl2, Qt::LeftButton);
        QCOMPARE(f->ImgRaznost->shownSlot(), 0);
        QCOMPARE(greyAt(f->pictureArea->grab().toImage(), QPoint(20, 200)),
                 qGray(picture2.pixel(20 + 9, 200 + 6)));
        const QByteArray plain = save("plain");
        QVERIFY(!plain.isEmpty());

        // "Выравнивать яркость": only the mover flashes, at both its places.
        QVERIFY(chooseMenuItem(f, f->mnuVL, f->mnuJarkost));
        QVERIFY(f->mnuJarkost->isChecked());
        const auto [one, two] = blinkPhases();
        QVERIFY(!one.isNull() && !two.isNull());
        QCOMPARE_GE(sameShare(one, two), 0.99);
        for (QPoint mover : {MoverThen, MoverNow})
            QCOMPARE_GT(std::abs(greyAt(one, mover) - greyAt(two, mover)), 40);

        // A star that saturated on night 2 is capped alike on night 1: it does not flash either.
        const QPoint saturated = Stars[4].at.toPoint();
        QCOMPARE_LE(std::abs(greyAt(one, saturated) - greyAt(two, saturated)), 2);
        QCOMPARE_LT(greyAt(one, saturated), 150);

        // The info box keeps the user's note and shows the fitted line: v1 = v2 / 1.8 - 25 / 1.8.
        const QRegularExpressionMatch m =
            QRegularExpression("^Яркость 2: a (\\d+\\.\\d+) b (-?\\d+\\.\\d+)$").match(fitLine());
        QVERIFY2(m.hasMatch(), qPrintable(f->txtInfo->toPlainText()));
        QVERIFY(f->txtInfo->toPlainText().startsWith("моя заметка\n"));
        QVERIFY(std::abs(m.captured(1).toDouble() - 1 / Gain) < 0.01);
        QVERIFY(std::abs(m.captured(2).toDouble() + Offset / Gain) < 1);
        // Only the drawing changed: picture 2 is held as it was loaded.
        QCOMPARE(f->Img2->picture(), picture2);

        // The project holds none of the three settings.
        QVERIFY(chooseMenuItem(f, f->mnuVL, f->mnuRaznost));
        QVERIFY(chooseMenuItem(f, f->mnuVL, f->mnuVL_1_3));
        QCOMPARE(save("matched"), plain);

        // The next run has matching on, and fits the opened project's pictures afresh.
        DestroyMainForm();
        f = &MainForm();
        QVERIFY(f->mnuJarkost->isChecked());
        f->show();
        prompter->openNames.enqueue(dir.filePath("matched.vln"));
        QVERIFY(chooseMenuItem(f, f->mnuFile, f->mnuFileOpen));
        // A project without star coordinates opens without a complaint: there is nothing to solve.
        QCOMPARE(prompter->messages, QStringList());
        QTRY_VERIFY(fitLine().startsWith("Яркость 2: a 0.55"));
        QVERIFY(!f->mnuRaznost->isChecked() && f->mnuVL_1_2->isChecked());
        quickestBlink();
        const auto [opened1, opened2] = blinkPhases();
        QCOMPARE_GE(sameShare(opened1, opened2), 0.99);

        // Switched off, the line goes and the sky flashes again.
        QVERIFY(chooseMenuItem(f, f->mnuVL, f->mnuJarkost));
        QVERIFY(!f->mnuJarkost->isChecked());
        QVERIFY(!frmBl::matchBrightnessRemembered());
        QCOMPARE(fitLine(), QString());
        const auto [off1, off2] = blinkPhases();
        QCOMPARE_GT(sameShare(off1, off2, true), 0.9);
    }

    // Skies of different shapes, a glow rising to the right on night 1 and a round one on night 2
    // (brighter, with an offset): matched, the phases agree within 3 levels nearly everywhere;
    // through the fitted line alone they do not.
    void skiesOfDifferentShapesMatched() {
        auto glow = [](QImage img, auto level) {
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    img.scanLine(y)[x] = uchar(std::min(255L, img.scanLine(y)[x] + std::lround(level(x, y))));
            return img;
        };
        loadRegisteredPair(glow(night(1, 0, {}, MoverThen), [](int x, int) { return 26.0 * x / W; }),
                           glow(night(Gain, Offset, Shift, MoverNow), [](int x, int y) {
                               return 35 * std::exp(-(std::pow(x - 250, 2) + std::pow(y - 60, 2)) / (2 * 150 * 150));
                           }));
        QVERIFY(chooseMenuItem(f, f->mnuVL, f->mnuJarkost));
        QTRY_VERIFY(f->Img2->drawsOwnPicture());
        const auto [one, two] = blinkPhases();
        QCOMPARE_GE(sameShare(one, two, false, 3), 0.95);
        f->Img2->setDrawnPicture(QImage());
        const auto [lineOne, lineTwo] = blinkPhases();
        QCOMPARE_LT(sameShare(lineOne, lineTwo, false, 3), 0.8);
        QVERIFY(chooseMenuItem(f, f->mnuVL, f->mnuJarkost)); // remembered: off again for the next run
    }

    void allThreePicturesInTurn() {
        load(1, solid("red.png", 300, 200, Qt::red));
        load(2, solid("blue.png", 300, 200, Qt::blue));
        QVERIFY(!menuOffers(f, f->mnuVL, f->mnuVL_1_2_3));
        load(3, solid("yellow.png", 300, 200, Qt::yellow));
        QVERIFY(menuOffers(f, f->mnuVL, f->mnuVL_1_2_3));
        QVERIFY(chooseMenuItem(f, f->mnuVL, f->mnuVL_1_2_3));
        QVERIFY(f->mnuVL_1_2_3->isChecked() && !f->mnuVL_1_2->isChecked() && !f->mnuVL_1_3->isChecked());
        QVERIFY(chooseMenuItem(f, f->Menu, f->mnuRamka));
        QTest::mouseClick(f->Lbl1, Qt::LeftButton);
        QTest::mouseClick(f->Img1, Qt::LeftButton, Qt::NoModifier, QPoint(150, 100)); // the box's centre
        quickestBlink();

        QTest::mouseClick(f->CmdStart, Qt::LeftButton);
        const QVector<std::pair<int, QImage>> ticks = nextTicks(6);
        QTest::mouseClick(f->CmdStart, Qt::LeftButton);
        QCOMPARE(ticks.size(), 6);
        const QColor colours[] = {Qt::red, Qt::blue, Qt::yellow};
        int expected = ticks.front().first;
        for (const auto& [phase, grab] : ticks) {
            QCOMPARE(phase, expected);
            QCOMPARE(grab.pixelColor(40, 40), colours[phase - 1]);
            QCOMPARE(grab.pixelColor(150, 0), QColor(0, 255, 0)); // the box's top side
            expected = expected % 3 + 1;
        }

        // Back to a pair: the pair clicked, and picture 3 no longer blinks.
        QVERIFY(chooseMenuItem(f, f->mnuVL, f->mnuVL_1_2));
        QVERIFY(f->mnuVL_1_2->isChecked() && !f->mnuVL_1_2_3->isChecked() && !f->mnuVL_1_3->isChecked());
        QCOMPARE(f->blinkCycle().size(), 2);
    }
};

QTEST_MAIN(TestBrightnessWindow)
#include "tst_brightnesswindow.moc"
