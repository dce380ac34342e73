// What the picture frames show when zoomed out or placed between whole pixels: stars that stay
// visible, blink phases that agree where nothing changed, clicks that mark the pixel shown.

#include "shell/clicklabel.h"
#include "shell/panbar.h"
#include "support/datatable.h"
#include "support/screencompare.h"
#include "support/starsky.h"
#include "support/useractions.h"
#include "support/wcsheader.h"
#include "support/windowtest.h"
#include "view/imageframe.h"
#include "view/picturerender.h"

#include <QPushButton>
#include <QRandomGenerator>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

constexpr int Sky = 20;
const QPoint LoneStar(202, 150);

/// A noise-free field as rich as a cluster photograph: a glow that swells and fades over a sky of
/// 20, crowded one-pixel stars of 255 and brighter blobs.
QImage skyField(int w, int h, quint32 seed) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int v = Sky + int(20 * (1 + std::sin(x / 13.0) * std::cos(y / 9.0)));
            img.setPixel(x, y, qRgb(v, v, v));
        }
    QRandomGenerator rng(seed);
    for (int i = 0; i < w * h / 60; ++i)
        img.setPixel(int(rng.bounded(w)), int(rng.bounded(h)), qRgb(255, 255, 255));
    for (int i = 0; i < w * h / 600; ++i) {
        const int x = int(rng.bounded(w - 4)), y = int(rng.bounded(h - 4)), v = 120 + int(rng.bounded(136));
        for (int dy = 0; dy < 3; ++dy)
            for (int dx = 0; dx < 3; ++dx)
                img.setPixel(x + dx, y + dy, qRgb(v, v, v - 40));
    }
    return img;
}

/// The centre of the light above the sky within radius of `at` (pixels of img), the sky taken at
/// the corner: where a lone star is drawn, to a small fraction of a pixel.
QPointF drawnCentre(const QImage& img, QPointF at, double radius) {
    const QRect box = QRectF(at - QPointF(radius, radius), at + QPointF(radius, radius)).toAlignedRect() & img.rect();
    const int sky = qGreen(img.pixel(box.topLeft()));
    double sum = 0;
    QPointF moment;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x) {
            sum += std::max(0, qGreen(img.pixel(x, y)) - sky);
            moment += std::max(0, qGreen(img.pixel(x, y)) - sky) * QPointF(x + 0.5, y + 0.5);
        }
    return moment / sum;
}

} // namespace

class TestDisplay : public WindowTest {
    Q_OBJECT

    /// Loads a field into slot 1 and the same field moved by (3, 2) pixels into slot 2, marks the
    /// star at `star` (picture 1 pixels) as point 1 in both, picture 2 at scale scale2Mark, and
    /// overlays them.
    void registeredPair(QPoint star, int scale2Mark) {
        QImage field = skyField(403, 302, 7);
        // Lone stars: point 1 and the star clicked later (picture 2 pixels, which are the field's).
        for (const QPoint& lone : {star + QPoint(3, 2), LoneStar}) {
            QPainter(&field).fillRect(QRect(lone - QPoint(5, 5), QSize(11, 11)), QColor(Sky, Sky, Sky));
            field.setPixel(lone, qRgb(255, 255, 255));
        }
        load(1, "one.png", field.copy(3, 2, 400, 300));
        load(2, "two.png", field.copy(0, 0, 400, 300));
        mark(1, 1, star);
        QVERIFY(keysTo(f->HScr2, scale2Mark, true));
        const Placement at = f->Img2->placement();
        const QPointF shown = QPointF(star + QPoint(3, 2)) * at.scale + QPointF(at.originX, at.originY);
        mark(2, 1, shown.toPoint());
        QTest::mouseClick(f->CmdSovm, Qt::LeftButton);
    }

    /// The picture area as the window shows it.
    QImage area() { return f->pictureArea->grab().toImage().convertToFormat(QImage::Format_RGB32); }

  private slots:
    // Zoomed out to a quarter, a one-pixel star of 255 on 20 shares its screen pixel with 15
    // pixels of sky and must still raise it by a sixteenth of its excess, in colour and grey.
    void zoomedOutStarsStayVisible_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<QPointF>("origin");
        for (const auto& [name, format] :
             {std::pair{"colour", QImage::Format_RGB32}, std::pair{"grey", QImage::Format_Grayscale8},
              std::pair{"colour with alpha", QImage::Format_ARGB32}}) {
            QTest::addRow("%s, whole pixels", name) << int(format) << QPointF(0, 0);
            QTest::addRow("%s, quarter pixels", name) << int(format) << QPointF(0.25, -0.5);
            QTest::addRow("%s, far off", name) << int(format) << QPointF(-301.75, 17.5);
        }
    }
    void zoomedOutStarsStayVisible() {
        QFETCH(int, format);
        QFETCH(QPointF, origin);
        // Stars on an 8-pixel grid, jittered inside each 4 x 4 block that one screen pixel shows.
        QImage field(640, 480, QImage::Format_RGB32);
        field.fill(qRgb(Sky, Sky, Sky));
        QRandomGenerator rng(11);
        QVector<QPoint> stars;
        for (int y = 0; y < field.height(); y += 8)
            for (int x = 0; x < field.width(); x += 8) {
                stars << QPoint(x + int(rng.bounded(4)), y + int(rng.bounded(4)));
                field.setPixel(stars.back(), qRgb(255, 255, 255));
            }
        field.convertTo(QImage::Format(format));
        const QRect screen(QPoint(qFloor(origin.x()), qFloor(origin.y())), QSize(161, 121));
        const Placement at{origin.x() - screen.left(), origin.y() - screen.top(), 0.25};
        QImage shown(screen.size(), QImage::Format_RGB32), nearest(screen.size(), QImage::Format_RGB32);
        renderPicture(field, at, shown, shown.rect());
        renderPicture(field, at, nearest, nearest.rect(), Sampling::Nearest);
        const double least = Sky + (255.0 - Sky) / 16 - 2;
        int lostByNearest = 0;
        for (const QPoint& s : std::as_const(stars)) {
            const QPoint p(qFloor(at.originX + s.x() * 0.25), qFloor(at.originY + s.y() * 0.25));
            const QRgb c = shown.pixel(p);
            QVERIFY2(std::min({qRed(c), qGreen(c), qBlue(c)}) >= least,
                     qPrintable(QString("star %1,%2 shows %3").arg(s.x()).arg(s.y()).arg(qRed(c))));
            lostByNearest += qRed(nearest.pixel(p)) < least;
        }
        qInfo("%lld stars; nearest-neighbour drawing loses %d of them", qlonglong(stars.size()),
              lostByNearest);
    }

    // Two noise-free pictures of one field, the second moved by (3, 2), registered through the
    // window and blinked: where the sky did not change the two phases must not differ either.
    void blinkPhasesAgree_data() {
        QTest::addColumn<int>("scale");
        QTest::addColumn<bool>("panned");
        for (int s : {250, 500, 750, 1000, 1500, 2500})
            QTest::addRow("scale %g", s / 1000.0) << s << false;
        // A pan moves every picture by whole pixels and keeps each one's fraction.
        QTest::addRow("scale 0.75, panned") << 750 << true;
        QTest::addRow("scale 2.5, panned") << 2500 << true;
    }
    void blinkPhasesAgree() {
        QFETCH(int, scale);
        QFETCH(bool, panned);
        registeredPair(QPoint(151, 103), 1000);
        QVERIFY(keysTo(f->HScr1, scale, true));
        QVERIFY(keysTo(f->HScr2, scale, true));
        if (panned) {
            const float before = f->Img2->Left();
            dragHandle(f->VScroll1, 40);
            dragHandle(f->HScroll1, 60);
            QVERIFY(f->Img2->Left() != before);
            QCOMPARE(f->Img2->Left() - std::floor(f->Img2->Left()), before - std::floor(before));
        }
        QTest::mouseClick(f->CmdStart, Qt::LeftButton);
        QImage phase[2], nearest[2];
        QRectF common = f->pictureArea->rect();
        for (int i = 0; i < 2; ++i) {
            if (i > 0) f->Timer1_Timer(); // the start itself shows phase 1
            const int k = i == 0 ? 1 : 2;
            QVERIFY(f->Img(k)->isVisible());
            phase[i] = area();
            const ImageFrame* img = f->Img(k);
            const double s = img->drawnScale();
            common &=
                QRectF(img->Left(), img->Top(), img->picture().width() * s, img->picture().height() * s);
            // The same frame drawn as before: nearest picture pixel, stretched to the frame's whole
            // pixels.
            nearest[i] = QImage(phase[i].size(), QImage::Format_RGB32);
            renderPicture(img->picture(),
                          {double(img->x()), double(img->y()), double(img->width()) / img->picture().width()},
                          nearest[i], nearest[i].rect(), Sampling::Nearest);
        }
        // Away from the pictures' edges: two screen pixels in.
        const QRect inside = common.toAlignedRect().adjusted(3, 3, -3, -3) & phase[0].rect();
        QVERIFY2(inside.width() > 50 && inside.height() > 50, qPrintable(QString("%1 %2 %3 %4")
                                                                             .arg(common.x())
                                                                             .arg(common.y())
                                                                             .arg(common.width())
                                                                             .arg(common.height())));
        const double share = agreeing(phase[0], phase[1], inside);
        qInfo("scale %g: %.3f %% of %d pixels agree within 2 levels; nearest-neighbour drawing %.3f %%",
              scale / 1000.0, 100 * share, inside.width() * inside.height(),
              100 * agreeing(nearest[0], nearest[1], inside));
        QVERIFY2(share >= 0.995, qPrintable(QString::number(100 * share) + " %"));
    }

    // Picture 2 of the same sky, turned (or turned and mirrored) and shifted by fractions of a
    // pixel, registered automatically and blinked: every bright lone star is drawn at the same
    // place of the screen in both phases, at the registered scale of about 1, zoomed in and out,
    // whether the pictures came as PNG or as FITS (whose rows are stored bottom row first).
    void registeredStarsStayPut_data() {
        DataTable<QString, double, bool> table("suffix", "turn", "mirrored");
        for (const QString suffix : {"png", "fits"})
            table.row(qPrintable(suffix + ", turned 0.5°"), suffix, 0.5, false)
                .row(qPrintable(suffix + ", turned -0.4°"), suffix, -0.4, false)
                .row(qPrintable(suffix + ", mirrored, turned 3°"), suffix, 3.0, true);
    }
    void registeredStarsStayPut() {
        QFETCH(QString, suffix);
        QFETCH(double, turn);
        QFETCH(bool, mirrored);
        const QSize size(640, 480);
        const QVector<SkyStar> sky = randomSky(QRectF(-100, -100, 840, 680), 260, 11, 20, 220);
        const SimilarityTransform toOne = skyTransform(QSizeF(size), QSizeF(size), turn, 1, mirrored, {7.37, -4.61});
        for (int k = 1; k <= 2; ++k) {
            const QImage picture = viewSky(sky, size, k == 1 ? SimilarityTransform() : toOne, k, {.noise = 0}).image;
            const QString path = dir.filePath(QString("sky%1.%2").arg(k).arg(suffix));
            QVERIFY(suffix == "fits" ? writeFitsWithCards(path, countsOf(picture), {}) == 0 : picture.save(path));
            load(k, path);
        }
        QVERIFY(chooseMenuItem(f, f->mnuViravnivanie, f->mnuAutoSovm));
        QVERIFY(jobEnds());
        QVERIFY(f->Img2->isTurned());
        // Bright stars with no other star near them, on both pictures well in from the edges.
        QVector<QPointF> lone;
        const QRectF inner(20, 20, size.width() - 40, size.height() - 40);
        for (const SkyStar& star : sky) {
            const QPointF p(star.x, star.y);
            const auto near = [&](const SkyStar& o) { return &o != &star && QLineF(p, {o.x, o.y}).length() < 12; };
            if (star.peak > 60 && std::none_of(sky.begin(), sky.end(), near) && inner.contains(p) &&
                inner.contains(toOne.inverted().map(p)))
                lone << p;
        }
        for (const int scale : {0, 2000, 500}) {
            QVERIFY(!scale || (keysTo(f->HScr1, scale, true) && keysTo(f->HScr2, scale, true)));
            QTest::mouseClick(f->CmdStart, Qt::LeftButton);
            const QImage phase[2] = {area(), (f->Timer1_Timer(), area())};
            QVERIFY(phase[0] != phase[1]);
            QTest::mouseClick(f->CmdStart, Qt::LeftButton);
            const double s = f->Img1->drawnScale(), radius = std::max(3.0, 5 * s);
            int measured = 0;
            double worst = 0;
            for (const QPointF& p : std::as_const(lone)) {
                const QPointF at = QPointF(f->Img1->Left(), f->Img1->Top()) + p * s;
                if (!QRectF(phase[0].rect()).adjusted(10, 10, -10, -10).contains(at)) continue;
                ++measured;
                worst = std::max(worst, QLineF(drawnCentre(phase[0], at, radius), drawnCentre(phase[1], at, radius)).length());
            }
            qInfo("scale %g: %d stars, farthest apart %.3f px", s, measured, worst);
            QVERIFY(measured >= 4);
            QCOMPARE_LE(worst, 0.1);
        }
    }

    // Picture 2 registered at a fraction of a pixel (its point 1 marked zoomed out): a click on a
    // star marks the picture pixel of that star at every scale.
    void clickMarksTheStarShown_data() {
        QTest::addColumn<int>("scale");
        for (int s : {500, 1000, 2500})
            QTest::addRow("scale %g", s / 1000.0) << s;
    }
    void clickMarksTheStarShown() {
        QFETCH(int, scale);
        registeredPair(QPoint(151, 103), 750);
        QVERIFY(keysTo(f->HScr2, scale, true));
        QVERIFY(f->Img2->placement().originX != 0 || f->Img2->placement().originY != 0);
        // A lone star of picture 2, found where the frame shows it brightest.
        const QPoint star = LoneStar;
        const QImage shown = f->Img2->grab().toImage();
        QPoint brightest;
        int most = -1;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                const QPointF p =
                    (QPointF(x, y) - QPointF(f->Img2->placement().originX, f->Img2->placement().originY)) /
                    f->Img2->drawnScale();
                if (QLineF(p, star).length() < 3 && qRed(shown.pixel(x, y)) > most) {
                    most = qRed(shown.pixel(x, y));
                    brightest = QPoint(x, y);
                }
            }
        QVERIFY(most > Sky + 20);
        mark(2, 2, brightest);
        QCOMPARE(QPoint(int(State().Point2X2 / 15), int(State().Point2Y2 / 15)), star);
    }
};

QTEST_MAIN(TestDisplay)
#include "tst_display.moc"
