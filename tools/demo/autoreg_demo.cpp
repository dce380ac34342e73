// "Совместить автоматически" on a generated pair (picture 2 turned by 25°, magnified 1.1 times,
// with stars of its own and a satellite trail). For screenshots; not a test.
//   autoreg_demo menu   the "Выравнивание" menu open over the two loaded pictures
//   autoreg_demo 1|2    registered, picture 1 or 2 shown

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
    const QImage two = renderSky(sky, view).image;
    loadSlot(f, prompter, 1, savePicture(dir, "m31-2024.png", one));
    loadSlot(f, prompter, 2, savePicture(dir, "m31-2019.png", two));

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
    QObject::connect(&f.jobs(), &JobRunner::finished, &f,
                     [&f, what] { f.ShowSlot(what == QLatin1String("1") ? 1 : 2); });
    return app.exec();
}
