// The photometry window after a measurement, for screenshots: a star field as picture 1, a star
// Ctrl + clicked on it, its close neighbour ringed off, the star measured again against two
// comparison stars. Not a test.

#include "photometry/frmfm.h"
#include "shell/panbar.h"
#include "support/fixture.h"
#include "view/imageframe.h"

#include <QApplication>
#include <QLineEdit>
#include <QRandomGenerator>
#include <cmath>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// A dark noisy sky with soft stars, a close pair at (520, 330) and (533, 322).
QImage field() {
    QRandomGenerator rng(11);
    QVector<Star> stars;
    for (int i = 0; i < 160; ++i)
        stars.push_back(
            {rng.bounded(900.0), rng.bounded(700.0), 1.2 + rng.bounded(3.0), 80 + int(rng.bounded(170))});
    stars.push_back({520, 330, 6, 240});
    stars.push_back({533, 322, 4, 200});
    QImage img = starField(900, 700, stars);
    QRandomGenerator noise(5);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const int n = 12 + int(noise.bounded(14));
            line[x] = qRgb(std::min(255, qRed(line[x]) + n), std::min(255, qGreen(line[x]) + n),
                           std::min(255, qBlue(line[x]) + n + 4));
        }
    }
    return img;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Russian));
    ScriptedPrompter prompter;
    QTemporaryDir dir;
    frmBl& f = freshProgram();
    loadSlot(f, prompter, 1, savePicture(dir, QStringLiteral("m67.bmp"), field()));
    // Ctrl + click on the brighter star of the pair: cut-out and first measurement.
    f.Img_MouseDown(1, 1, 2, 520 * 15.0f, 330 * 15.0f);
    frmFM& w = PhotometryForm();
    w.txtZ2->setText(QStringLiteral("2000"));
    w.txtM2->setText(QStringLiteral("0.5"));
    w.HScrR->setValue(5);
    // The neighbour ringed off, the star measured again; the cursor's distance from the centre.
    w.Pic1_MouseDown(1, 0, 213, 192);
    w.MeasureStar(200, 200);
    w.Pic1_MouseMove(0, 0, 200, 200);
    w.move(f.geometry().topLeft() + QPoint(300, 40));
    return app.exec();
}
