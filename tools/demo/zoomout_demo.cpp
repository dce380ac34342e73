// The same star field zoomed out to a quarter, drawn the old way (nearest picture pixel, frame on
// whole pixels) and the new way (area average, exact position), with below each how much the two
// blink phases of a registered pair differ (the field and the field moved by (3, 2), brightened
// eight times so that small differences show). For screenshots; not a test.

#include "support/fixture.h"
#include "view/picturerender.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QRandomGenerator>

using namespace vorlan;
using namespace vorlan::test;

namespace {

constexpr double Scale = 0.25;

QImage field(int w, int h) {
    QRandomGenerator rng(5);
    QVector<Star> soft;
    for (int i = 0; i < 400; ++i)
        soft << Star{rng.bounded(double(w)), rng.bounded(double(h)), 1 + rng.bounded(4.0),
                     90 + int(rng.bounded(166))};
    QImage img = starField(w, h, soft);
    for (int i = 0; i < w * h / 150; ++i)
        img.setPixel(int(rng.bounded(w)), int(rng.bounded(h)), qRgb(255, 255, 255));
    return img;
}

/// The picture area for one blink phase: picture drawn with its top-left corner at `origin`.
QImage drawn(const QImage& pic, QPointF origin, Sampling sampling, bool wholePixels) {
    QImage out(420, 320, QImage::Format_RGB32);
    out.fill(Qt::black);
    if (wholePixels) origin = QPointF(std::round(origin.x()), std::round(origin.y()));
    renderPicture(pic, {origin.x(), origin.y(), Scale}, out, QRect(10, 10, 400, 300), sampling);
    return out;
}

QImage difference(const QImage& a, const QImage& b) {
    QImage d(a.size(), QImage::Format_RGB32);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const int v = std::min(255, 8 * std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))));
            d.setPixel(x, y, qRgb(v, v, v));
        }
    return d;
}

QLabel* picture(const QImage& img) {
    auto* l = new QLabel;
    l->setPixmap(QPixmap::fromImage(img));
    return l;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QImage sky = field(1612, 1212);
    const QImage one = sky.copy(3, 2, 1600, 1200), two = sky.copy(0, 0, 1600, 1200);
    // Registered after a zoom about a marked star: both corners fall between screen pixels.
    const QPointF at1(10.3, 10.6), at2 = at1 - QPointF(3, 2) * Scale;
    QWidget w;
    w.setWindowTitle("Zoomed out to 0.25: before and after");
    auto* grid = new QGridLayout(&w);
    const char* titles[2] = {"before: nearest pixel, whole-pixel frames",
                             "after: area average, exact positions"};
    for (int col = 0; col < 2; ++col) {
        const bool before = col == 0;
        const Sampling s = before ? Sampling::Nearest : Sampling::AreaAverage;
        const QImage p1 = drawn(one, at1, s, before), p2 = drawn(two, at2, s, before);
        grid->addWidget(new QLabel(titles[col]), 0, col);
        grid->addWidget(picture(p1), 1, col);
        grid->addWidget(new QLabel("blink phase 1 minus phase 2, x 8"), 2, col);
        grid->addWidget(picture(difference(p1, p2)), 3, col);
    }
    w.move(0, 0);
    w.show();
    return app.exec();
}
