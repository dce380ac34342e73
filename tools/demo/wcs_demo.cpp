// Sky coordinates without typing, for screenshots; not a test. "header": a FITS photograph of
// Orion's belt whose header holds a TAN-SIP WCS, the cursor over a star. "solve": the same
// photograph without a WCS, "Определить координаты по звёздам..." under way, then its result.

#include "support/catalogfield.h"
#include "support/fixture.h"
#include "support/wcsheader.h"
#include "view/imageframe.h"

#include <QAction>
#include <QApplication>
#include <QTimer>

using namespace vorlan;
using namespace vorlan::test;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool solve = argc > 1 && QByteArray(argv[1]) == "solve";
    QLocale::setDefault(QLocale(QLocale::Russian));
    frmBl& f = freshProgram();
    const TanPicture tan{84 * Rad, -1.5 * Rad, 2.0, 30.0, 1500, 1000};
    const CatalogField field = catalogField(tan, 7);
    QTemporaryDir dir;
    const QString file = dir.filePath(solve ? "belt.fits" : "belt-wcs.fits");
    if (solve)
        writeFits(file, field.picture, FitsLayout{});
    else
        writeFitsWithCards(file, field.picture, withSip(tanHeaderCards(tan)));
    f.OpenFiles({file});
    if (solve) {
        f.mnuViravnivanie_Click();
        f.mnuSolve->trigger();
    } else {
        // The cursor on the brightest star.
        const vorlan::Star& star = field.stars.stars.first();
        f.Img1_MouseMove(0, 0, float(star.x * 15 * State().DisplayScale1),
                         float(star.y * 15 * State().DisplayScale1));
    }
    return app.exec();
}
