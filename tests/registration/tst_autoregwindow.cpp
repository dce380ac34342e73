// "Совместить автоматически" driven as a user drives it: through the menu bar, while the window
// goes on working, then blinked, saved, reopened and clicked.

#include "blink/differencelayer.h"
#include "project/projectreader.h"
#include "registration/pointtext.h"
#include "shell/clicklabel.h"
#include "shell/panbar.h"
#include "stars/stardetect.h"
#include "support/screencompare.h"
#include "support/starsky.h"
#include "support/useractions.h"
#include "support/wcsheader.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

const QSize Size(640, 480);

/// A noise-free sky as picture k sees it through toSky: the same stars look the same on the
/// screen once the picture is shown at its registered scale.
SkyPicture skyPicture(const QVector<SkyStar>& sky, const SimilarityTransform& toSky, quint32 seed) {
    return viewSky(sky, Size, toSky, seed, {.fwhm = 3.0 / toSky.scale(), .noise = 0});
}

QVector<SkyStar> skyOf(quint32 seed) {
    return randomSky(QRectF(-300, -300, 1240, 1080), 330, seed, 15, 200);
}

/// What a slot shows and holds (place, scale, points, captions, turn, picture), to tell whether
/// anything of it changed.
auto lookOf(frmBl& f, int k) {
    SharedState& s = State();
    return std::tuple(s.ImageLeft(k), s.ImageTop(k), s.DisplayScale(k), s.Point1X(k), s.Point1Y(k),
                      s.Point2X(k), s.Point2Y(k), s.Point1Text(k), s.Point2Text(k), f.Img(k)->isTurned(),
                      f.Img(k)->grab().toImage());
}

/// Reference point p of picture k in the file's pixels.
QPointF filePoint(int p, int k) {
    return QPointF(State().PointX(p, k), State().PointY(p, k)) / 15;
}

} // namespace

class TestAutoRegWindow : public WindowTest {
    Q_OBJECT

    QImage screen() { return f->pictureArea->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    /// The picture area as the window shows it with slot k chosen by its label.
    QImage viewOf(int k) {
        QTest::mouseClick(f->Lbl(k), Qt::LeftButton);
        return screen();
    }

  private slots:
    // Picture 2 turned by 25° and magnified 1.1 times: registered while the window works on, it
    // blinks against picture 1 without flicker, says how it was registered, comes back from a
    // project without being registered again, and a click on it marks the star in the file's pixels.
    void registersTurnedScaledPicture() {
        const SimilarityTransform truth =
            skyTransform(QSizeF(Size), QSizeF(Size), 25, 1 / 1.1, false, {20, -15});
        const QVector<SkyStar> sky = skyOf(8);
        const SkyPicture one = skyPicture(sky, SimilarityTransform(), 1);
        const SkyPicture two = skyPicture(sky, truth, 2);
        load(1, "one.png", one.image);
        load(2, "two.png", two.image);
        QCOMPARE(f->Img2->picture().format(), QImage::Format_Grayscale8);

        // While it works: a busy cursor, the step in txtInfo, no second start, the window answers.
        QSignalSpy starts(&f->jobs(), &JobRunner::started);
        f->jobs().hold(true);
        QVERIFY(chooseMenuItem(f, f->mnuViravnivanie, f->mnuAutoSovm));
        QVERIFY(f->jobs().busy());
        QCOMPARE(f->cursor().shape(), Qt::BusyCursor);
        QVERIFY(f->txtInfo->toPlainText().startsWith("Совмещение"));
        QVERIFY(!menuOffers(f, f->mnuViravnivanie, f->mnuAutoSovm));
        f->mnuAutoSovm_Click(); // the handler refuses as well as the item
        QCOMPARE(starts.size(), 1);
        QTest::mouseClick(f->Lbl2, Qt::LeftButton);
        QVERIFY(f->Img2->isVisible() && !f->Img1->isVisible());
        f->jobs().hold(false);
        QVERIFY(jobEnds());
        QCOMPARE(f->cursor().shape(), Qt::ArrowCursor);
        QVERIFY2(prompter->messages.isEmpty(), qPrintable(prompter->messages.join('\n')));

        // What txtInfo says, and what was set: a turned copy at one byte a pixel, the scale, the points.
        const QRegularExpression line(
            "^Снимок 2: звёзд (\\d+), поворот (-?[\\d.]+)°, масштаб ([\\d.]+), невязка ([\\d.]+) пикс\\.$");
        const QRegularExpressionMatch m = line.match(f->txtInfo->toPlainText());
        QVERIFY2(m.hasMatch(), qPrintable(f->txtInfo->toPlainText()));
        QVERIFY(m.captured(1).toInt() >= 20);
        QVERIFY(std::abs(m.captured(2).toDouble() + 25) <= 0.02);
        QVERIFY(std::abs(m.captured(3).toDouble() - 1 / 1.1) <= 0.0002);
        QVERIFY(m.captured(4).toDouble() < 0.1);
        SharedState& s = State();
        QVERIFY(f->Img2->isTurned());
        QCOMPARE(f->Img2->shownPicture().format(), QImage::Format_Grayscale8);
        QVERIFY(std::abs(s.DisplayScale2 - s.DisplayScale1 / 1.1f) < 2e-4f);
        QCOMPARE(f->HScr2->value(), 909);
        for (int k = 1; k <= 2; ++k)
            QVERIFY(isMarked(s.Point1Text(k)) && isMarked(s.Point2Text(k)));
        // Point 1 on the brighter of two bright, unsaturated stars a third of the field apart.
        const StarList stars1 = detectStars(one.image);
        int rank[2];
        for (int p = 1; p <= 2; ++p) {
            QVERIFY(QLineF(truth.map(filePoint(p, 2)), filePoint(p, 1)).length() < 0.1);
            const auto star =
                std::find_if(stars1.stars.begin(), stars1.stars.end(), [&](const vorlan::Star& st) {
                    return QLineF(st.position(), filePoint(p, 1)).length() < 1e-3;
                });
            QVERIFY(star != stars1.stars.end() && star->usable());
            rank[p - 1] = int(star - stars1.stars.begin());
        }
        QVERIFY(rank[0] < rank[1] && rank[1] < 30);
        QVERIFY(QLineF(filePoint(1, 1), filePoint(2, 1)).length() > Size.height() / 3.0);
        QCOMPARE(f->lblT1->text(), s.Point1Text1);
        QVERIFY(f->Img1->isVisible());

        // Blinked: away from the edges the two phases agree within 2 levels nearly everywhere.
        QTest::mouseClick(f->CmdStart, Qt::LeftButton);
        QImage phase[2];
        for (QImage& grab : phase) {
            f->Timer1_Timer();
            grab = screen();
        }
        QTest::mouseClick(f->CmdStart, Qt::LeftButton);
        const SimilarityTransform toTwo = truth.inverted();
        // Screen pixels on picture 1 away from its edges, either on picture 2 away from its edges
        // too or, with `beyondTwo`, also well off picture 2.
        auto awayFromEdges = [&](int x, int y, bool beyondTwo = false) {
            const QPointF q =
                (QPointF(x + 0.5, y + 0.5) - QPointF(f->Img1->Left(), f->Img1->Top())) / s.DisplayScale1;
            const QPointF p = toTwo.map(q);
            const QRectF inner(3, 3, Size.width() - 6, Size.height() - 6);
            return inner.contains(q) &&
                   (inner.contains(p) || (beyondTwo && !inner.adjusted(-6, -6, 6, 6).contains(p)));
        };
        QCOMPARE_GE(
            agreeing(phase[0], phase[1], phase[0].rect(), [&](int x, int y) { return awayFromEdges(x, y); }),
            0.99);

        // Saved, and opened in a fresh program: the same view, turned again but not registered again.
        const QImage before[2] = {viewOf(1), viewOf(2)};
        const QString project = dir.filePath("auto.vln");
        prompter->saveNames.enqueue(project);
        f->mnuFileSave->trigger();
        QFile file(project);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const ProjectRecord saved = readProjectRecord(file.readAll());
        QCOMPARE(saved.extensionLines.size(), 1);
        QVERIFY(saved.extensionLines[0].startsWith("Совмещение 2: "));
        QCOMPARE(saved.line[16].value, s.DisplayScale2);

        endCase(prompter);
        startCase(prompter, f);
        QSignalSpy titles(&f->jobs(), &JobRunner::started);
        prompter->openNames.enqueue(project);
        f->mnuFileOpen->trigger();
        QVERIFY(jobEnds());
        QCOMPARE(titles.size(), 1);
        QCOMPARE(titles[0][0].toString(), QString("Поворот снимков"));
        QVERIFY(f->Img2->isTurned());
        for (int k = 1; k <= 2; ++k)
            QCOMPARE_GE(agreeing(before[k - 1], viewOf(k), before[k - 1].rect()), 0.999);

        // A click on a star of the turned picture marks that star in the file's pixels.
        const auto star = std::find_if(two.stars.begin(), two.stars.end(), [&](const SkyPicture::Shown& st) {
            const QPointF q = truth.map(st.at);
            return st.shared && st.peak > 120 && QRectF(40, 40, 560, 400).contains(q) &&
                   QRectF(40, 40, 560, 400).contains(st.at);
        });
        QVERIFY(star != two.stars.end());
        const QPointF onScreen =
            truth.map(star->at) * State().DisplayScale1 + QPointF(f->Img1->Left(), f->Img1->Top());
        QTest::mouseClick(f->lblVvod2, Qt::LeftButton);
        prompter->answers.enqueue(QMessageBox::Ok);
        QTest::mouseClick(f->Img2, Qt::LeftButton, Qt::NoModifier,
                          (onScreen - QPointF(f->Img2->pos())).toPoint());
        QVERIFY(QLineF(filePoint(2, 2), star->at).length() < 1.2);

        // Matched brightness and the difference read the turned copy where it lies and only its
        // sky, not its black corners: the background keeps its level, the difference is mid grey
        // wherever both pictures are.
        QVERIFY(chooseMenuItem(f, f->mnuVL, f->mnuJarkost));
        QVERIFY(chooseMenuItem(f, f->mnuVL, f->mnuRaznost));
        QTRY_COMPARE(f->ImgRaznost->shownSlot(), 2);
        const QRegularExpressionMatch fit =
            QRegularExpression("Яркость 2: a ([\\d.]+) b (-?[\\d.]+)$").match(f->txtInfo->toPlainText());
        QVERIFY2(fit.hasMatch(), qPrintable(f->txtInfo->toPlainText()));
        QVERIFY(std::abs(30 * fit.captured(1).toDouble() + fit.captured(2).toDouble() - 30) < 1);
        QImage grey(f->pictureArea->size(), QImage::Format_RGB32);
        grey.fill(qRgb(128, 128, 128));
        QCOMPARE_GE(
            agreeing(screen(), grey, grey.rect(), [&](int x, int y) { return awayFromEdges(x, y, true); }),
            0.99);
    }

    // A picture of another field: the message why, and nothing of that picture changes; a third
    // picture of another field leaves picture 2's registration to go on.
    void refusedPictureChangesNothing_data() {
        QTest::addColumn<bool>("third");
        QTest::newRow("picture 2 of another field") << false;
        QTest::newRow("picture 3 of another field") << true;
    }
    void refusedPictureChangesNothing() {
        QFETCH(bool, third);
        const QVector<SkyStar> sky = skyOf(8);
        // Picture 2 hardly turned: registered as it is shown, only moved and scaled.
        const SimilarityTransform slight =
            skyTransform(QSizeF(Size), QSizeF(Size), 0.1, 1.0, false, {7.3, -4.6});
        load(1, "one.png", skyPicture(sky, {}, 1).image);
        const QImage elsewhere = skyPicture(skyOf(99), {}, 3).image;
        load(2, "two.png", third ? skyPicture(sky, slight, 2).image : elsewhere);
        if (third) load(3, "three.png", elsewhere);
        const int refused = third ? 3 : 2;
        // Point 1 of picture 1 marked by hand beforehand.
        mark(1, 1, QPointF(300, 200));
        f->txtInfo->setPlainText("до совмещения");
        const auto one = lookOf(*f, 1), kept = lookOf(*f, refused);

        QVERIFY(chooseMenuItem(f, f->mnuViravnivanie, f->mnuAutoSovm));
        QVERIFY(jobEnds());
        QCOMPARE(prompter->messages, QStringList(QString("Снимок %1 не совмещён.\nСнимок %1 показывает "
                                                         "другой участок неба: общих звёзд не найдено.")
                                                     .arg(refused)));
        QVERIFY(lookOf(*f, refused) == kept);
        if (!third) {
            QVERIFY(lookOf(*f, 1) == one);
            QCOMPARE(f->txtInfo->toPlainText(), QString("до совмещения"));
            return;
        }
        // Picture 2 registered without a turn, picture 1's points moved onto its reference stars.
        QVERIFY(!f->Img2->isTurned());
        QVERIFY(State().Point1X1 != std::get<3>(one));
        const QStringList info = f->txtInfo->toPlainText().split('\n');
        QCOMPARE(info.size(), 2);
        QVERIFY(info[0].startsWith("Снимок 2: звёзд "));
        QCOMPARE(info[1], QString("Снимок 3 не совмещён."));
        SharedState& s = State();
        const QPointF drawn2 = filePoint(1, 2) * s.DisplayScale2 + QPointF(s.ImageLeft2, s.ImageTop2);
        QVERIFY(
            QLineF(drawn2, filePoint(1, 1) * s.DisplayScale1 + QPointF(s.ImageLeft1, s.ImageTop1)).length() <
            1e-3);
        QVERIFY(QLineF(slight.map(filePoint(1, 2)), filePoint(1, 1)).length() < 0.1);
    }

    // Five stars are too few to match by their shapes: FITS pictures whose headers carry a WCS
    // are registered through the sky, picture 2 shown turned, the points on the same two stars.
    void sparsePicturesRegisteredThroughTheirWcs() {
        const TanPicture tan1{1.2, 0.4, 0.5, 0, Size.width(), Size.height()};
        const TanPicture tan2{1.2 + 0.0004, 0.4 - 0.0003, 0.5, 40, Size.width(), Size.height()};
        const SkyWcs wcs1 = tanWcs(tan1), wcs2 = tanWcs(tan2);
        QVector<SkyStar> stars1, stars2;
        QRandomGenerator rng(7);
        for (int i = 0; i < 5; ++i) {
            const QPointF p(80 + rng.bounded(480.0), 80 + rng.bounded(320.0));
            const double peak = 60 + rng.bounded(150.0);
            stars1.push_back({p.x(), p.y(), peak});
            const QPointF p2 = *wcs2.skyToPicture(*wcs1.pictureToSky(p));
            stars2.push_back({p2.x(), p2.y(), peak});
        }
        for (const auto& [k, stars, tan] : {std::tuple(1, stars1, tan1), std::tuple(2, stars2, tan2)}) {
            const LinearData counts = countsOf(viewSky(stars, Size, {}, quint32(k), {}).image);
            const QString path = dir.filePath(QString("sky%1.fits").arg(k));
            QCOMPARE(writeFitsWithCards(path, counts, tanHeaderCards(tan)), 0);
            load(k, path);
        }

        QVERIFY(chooseMenuItem(f, f->mnuViravnivanie, f->mnuAutoSovm));
        QVERIFY(jobEnds());
        QCOMPARE(prompter->messages, QStringList());
        QVERIFY(f->Img2->isTurned());
        QVERIFY2(f->txtInfo->toPlainText().contains("Снимок 2: звёзд "),
                 qPrintable(f->txtInfo->toPlainText()));
        // Each point of picture 2 shows the sky of the same point of picture 1.
        for (int p = 1; p <= 2; ++p)
            QCOMPARE_LT(
                QLineF(*wcs1.skyToPicture(*wcs2.pictureToSky(filePoint(p, 2))), filePoint(p, 1)).length(),
                0.2);
    }
};

QTEST_MAIN(TestAutoRegWindow)
#include "tst_autoregwindow.moc"
