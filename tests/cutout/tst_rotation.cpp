// Turning a picture onto picture 1 without a window: the angle and its text, the canvas for
// every angle, and the pixels of the 2 x 2 splat.

#include "cutout/cutoutgeometry.h"
#include "registration/rotation.h"
#include "support/datatable.h"
#include "support/turning.h"

#include <QLocale>
#include <QtTest>
#include <cmath>

using namespace vorlan;

Q_DECLARE_METATYPE(vorlan::PointPair)

namespace {

constexpr int W = 60;
constexpr int H = 40;
const QRgb Sky = qRgb(10, 20, 60);

struct Mark {
    QPoint at; // top-left of a 3 x 3 block
    QRgb colour;
};
const Mark Marks[] = {{{4, 4}, qRgb(255, 0, 0)},
                      {{50, 4}, qRgb(0, 255, 0)},
                      {{4, 32}, qRgb(0, 0, 255)},
                      {{50, 32}, qRgb(255, 255, 0)}};

QImage markedPicture() {
    QImage img(W, H, QImage::Format_RGB32);
    img.fill(Sky);
    for (const Mark& m : Marks)
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x)
                img.setPixel(m.at.x() + x, m.at.y() + y, m.colour);
    return img;
}

QImage rotated(const QImage& src, float angle) {
    const RotationGeometry g = rotationGeometry(src.width(), src.height(), angle);
    QImage canvas = newCanvas(g.canvas);
    for (int y = 0; y <= src.height(); ++y)
        rotateRow(src, canvas, g, y);
    return canvas;
}

/// Centre of the pixels of one colour; (-1, -1) when there are none.
QPointF centreOf(const QImage& img, QRgb colour) {
    double sx = 0, sy = 0;
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == colour) {
                sx += x + 0.5;
                sy += y + 0.5;
                ++n;
            }
    return n ? QPointF(sx / n, sy / n) : QPointF(-1, -1);
}

} // namespace

class TestRotation : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void angleAndAnnouncement_data() {
        test::DataTable<PointPair, PointPair, QString> table("picture1", "target", "text");
        const PointPair right{1500, 1500, 3000, 1500};
        table.row("target turned clockwise: 90", right, PointPair{1500, 1500, 1500, 3000},
                  "выполняется поворот на угол 90,00°");
        table.row("the other way: 3π/2 becomes -90", right, PointPair{1500, 3000, 1500, 1500},
                  "выполняется поворот на угол -90,00°");
        table.row("identical geometry", right, PointPair{100, 700, 1600, 700},
                  "выполняется поворот на угол 0,00°");
        table.row("unmarked target keeps picture 1's direction", right, PointPair{},
                  "выполняется поворот на угол 0,00°");
        table.row("-270 wraps to 90", PointPair{0, 1000, 0, 0}, right, "выполняется поворот на угол 90,00°");
        table.row("half turn stays -180", PointPair{3000, 0, 1500, 0}, right,
                  "выполняется поворот на угол -180,00°");
    }
    void angleAndAnnouncement() {
        QFETCH(PointPair, picture1);
        QFETCH(PointPair, target);
        QFETCH(QString, text);
        QLocale::setDefault(QLocale(QLocale::Russian));
        QCOMPARE(rotationAnnouncement(rotationAngle(picture1, target)), text);
    }

    void canvasHoldsTheTurnedPicture_data() {
        test::DataTable<double, QSize>("degrees", "canvas")
            .row("0", 0.0, QSize(W, H))
            .row("90: H x W", 90.0, QSize(H, W))
            .row("-90: H x W", -90.0, QSize(H, W))
            .row("30", 30.0, QSize(72, 65))
            .row("135: as large as 45", 135.0, QSize(71, 71))
            .row("-150", -150.0, QSize(72, 65))
            .row("180: W x H, not negative", 180.0, QSize(W, H));
    }
    void canvasHoldsTheTurnedPicture() {
        QFETCH(double, degrees);
        QFETCH(QSize, canvas);
        const float angle = float(degrees / 57.2957795130823);
        QCOMPARE(rotatedCanvasSize(W, H, angle), canvas);
        const QImage out = rotated(markedPicture(), angle);
        QCOMPARE(out.size(), canvas);
        // Every mark lands where the turn takes it, so the picture is turned the right way and
        // none of it is cut off. Pixel corners are mapped, not centres, and each 2 x 2 block keeps
        // its unturned order, so the whole picture moves by up to 3 pixels along each axis.
        for (const Mark& m : Marks) {
            const QPointF expected =
                test::turnedOnCanvas(QPointF(m.at) + QPointF(1.5, 1.5), degrees, QSizeF(W, H), canvas);
            const QPointF found = centreOf(out, m.colour);
            QVERIFY2(QLineF(found, expected).length() <= 4.5,
                     qPrintable(QString("mark %1: at %2,%3, expected %4,%5")
                                    .arg(m.colour, 0, 16)
                                    .arg(found.x())
                                    .arg(found.y())
                                    .arg(expected.x())
                                    .arg(expected.y())));
        }
        // The splat leaves no hole inside the turned picture.
        for (int y = 0; y < out.height(); ++y)
            for (int x = 0; x < out.width(); ++x) {
                const QPointF back = test::turnedOnCanvas(QPointF(x + 0.5, y + 0.5) -
                                                              QPointF(out.width() / 2.0, out.height() / 2.0) +
                                                              QPointF(W / 2.0, H / 2.0),
                                                          -degrees, QSizeF(W, H), QSizeF(W, H));
                const bool wellInside = back.x() > 2 && back.x() < W - 2 && back.y() > 2 && back.y() < H - 2;
                if (wellInside)
                    QVERIFY2(out.pixel(x, y) != CanvasBackground,
                             qPrintable(QString("hole at %1,%2").arg(x).arg(y)));
            }
    }

    void quarterTurnsMoveEveryPixelAlike_data() {
        // sourceOfCanvas: source pixel = this x canvas pixel + a shift
        test::DataTable<double, QTransform>("degrees", "sourceOfCanvas")
            .row("90 counter-clockwise", 90.0, QTransform(0, 1, -1, 0, 0, 0))
            .row("-90 clockwise", -90.0, QTransform(0, -1, 1, 0, 0, 0))
            .row("180", 180.0, QTransform(-1, 0, 0, -1, 0, 0));
    }
    void quarterTurnsMoveEveryPixelAlike() {
        QFETCH(double, degrees);
        QFETCH(QTransform, sourceOfCanvas);
        QImage src(W, H, QImage::Format_RGB32);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                src.setPixel(x, y, qRgb(x, y, 7));
        const QImage out = rotated(src, float(degrees / 57.2957795130823));
        // Each canvas pixel shows its source pixel under one shift for the whole picture; only
        // the outermost rows and columns, whose later writers fall outside the source, differ.
        QMap<QPair<int, int>, int> shifts;
        auto shiftAt = [&](int x, int y) {
            const QRgb c = out.pixel(x, y);
            const QPoint s = QPoint(qRed(c), qGreen(c)) - sourceOfCanvas.map(QPoint(x, y));
            return c == CanvasBackground ? qMakePair(-999, -999) : qMakePair(s.x(), s.y());
        };
        for (int y = 0; y < out.height(); ++y)
            for (int x = 0; x < out.width(); ++x)
                ++shifts[shiftAt(x, y)];
        const QPair<int, int> common =
            std::max_element(shifts.keyValueBegin(), shifts.keyValueEnd(), [](auto a, auto b) {
                return a.second < b.second;
            })->first;
        QVERIFY2(shifts[common] >= (W - 3) * (H - 3), qPrintable(QString::number(shifts[common])));
        for (int y = 3; y < out.height() - 3; ++y)
            for (int x = 3; x < out.width() - 3; ++x)
                QVERIFY2(shiftAt(x, y) == common, qPrintable(QString("canvas %1,%2").arg(x).arg(y)));
    }

    void identicalGeometryCopiesPixelForPixel() {
        QImage src(W, H, QImage::Format_RGB32);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                src.setPixel(x, y, qRgb(x * 4, y * 6, (x * y) % 256));
        QCOMPARE(rotated(src, rotationAngle({1500, 1500, 3000, 1500}, {20, 20, 900, 20})), src);
    }
};

QTEST_GUILESS_MAIN(TestRotation)
#include "tst_rotation.moc"
