// "Совместить автоматически" on a generated pair (picture 2 turned by 25°, magnified 1.1 times,
// with stars of its own and a satellite trail). For screenshots; not a test.
//   autoreg_demo menu        the "Выравнивание" menu open over the two loaded pictures
//   autoreg_demo 1|2         registered, picture 1 or 2 shown
//   autoreg_demo matched     picture 2 of another night (brighter) registered, with its brightness matched
//   autoreg_demo difference  the same pair registered, its difference shown
//   autoreg_demo three       three pictures registered, the "Vorlan" menu open on "1 - 2 - 3"

#include "shell/clicklabel.h"
#include "support/fixture.h"
#include "support/starsky.h"

#include <QApplication>
#include <QMenuBar>
#include <QTimer>

using namespace vorlan;
using namespace vorlan::test;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("2");
    ScriptedPrompter prompter;
    frmBl& f = freshProgram();
    QTemporaryDir dir;
    const QSize size(900, 600);
    const SimilarityTransform truth = skyTransform(QSizeF(size), QSizeF(size), 25, 1 / 1.1, false, {30, -20});
    const QVector<SkyStar> sky = randomSky(QRectF(-400, -400, 1700, 1400), 800, 8, 12, 240);
    SkyView view;
    view.width = size.width();
    view.height = size.height();
    view.colour = true;
    const QImage one = renderSky(sky, view).image;
    view.toSky = truth;
    view.fwhm = 3.3;
    view.ownFraction = 0.2;
    view.trail = true;
    view.seed = 2;
    QImage two = renderSky(sky, view).image;
    const bool brighter = what == QLatin1String("matched") || what == QLatin1String("difference");
    if (brighter) // another night: a longer exposure under a lighter sky
        for (int y = 0; y < two.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(two.scanLine(y));
            for (int x = 0; x < two.width(); ++x) {
                auto up = [](int v) { return std::min(255, int(1.6 * v + 18)); };
                line[x] = qRgb(up(qRed(line[x])), up(qGreen(line[x])), up(qBlue(line[x])));
            }
        }
    loadSlot(f, prompter, 1, savePicture(dir, "m31-2024.png", one));
    loadSlot(f, prompter, 2, savePicture(dir, "m31-2019.png", two));
    if (what == QLatin1String("three")) {
        view.toSky = skyTransform(QSizeF(size), QSizeF(size), -10, 1.0, false, {-40, 25});
        view.fwhm = 3.0;
        view.seed = 3;
        loadSlot(f, prompter, 3, savePicture(dir, "m31-2021.png", renderSky(sky, view).image));
    }

    if (what == QLatin1String("menu")) {
        QTimer::singleShot(300, [&f] {
            QMenuBar* bar = f.menuBar();
            f.mnuViravnivanie_Click();
            f.mnuViravnivanie->popup(
                bar->mapToGlobal(bar->actionGeometry(f.mnuViravnivanie->menuAction()).bottomLeft()));
            f.mnuViravnivanie->setActiveAction(f.mnuAutoSovm);
        });
        return app.exec();
    }
    f.mnuViravnivanie_Click();
    f.mnuAutoSovm->trigger();
    QObject::connect(&f.jobs(), &JobRunner::finished, &f, [&f, what] {
        if (what == QLatin1String("matched")) f.mnuJarkost_Click();
        if (what == QLatin1String("difference")) f.mnuRaznost_Click();
        f.ShowSlot(what == QLatin1String("1") || what == QLatin1String("three") ? 1 : 2);
        if (what != QLatin1String("three")) return;
        f.mnuVL_1_2_3_Click();
        QMenuBar* bar = f.menuBar();
        f.mnuVL_Click();
        f.mnuVL->popup(bar->mapToGlobal(bar->actionGeometry(f.mnuVL->menuAction()).bottomLeft()));
        f.mnuVL->setActiveAction(f.mnuVL_1_2_3);
    });
    return app.exec();
}
