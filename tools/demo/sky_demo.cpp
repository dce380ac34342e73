// Shows the coordinate entry over a synthetic Pleiades photograph with both stars typed in and
// "Считать!" pressed, for screenshots. Not a test.

#include "sky/frmvvodkoordinat.h"
#include "sky/skyfield.h"
#include "support/fixture.h"
#include "view/imageframe.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

using namespace vorlan;
using namespace vorlan::test;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Russian));
    frmBl& f = freshProgram();
    const TanPicture pic{(3 + 46.5 / 60) * 15 * Rad, 24.25 * Rad, 1.5, 25.0, 400, 300};
    QVector<Star> drawn;
    QVector<QPointF> at;
    for (const CatalogueStar& s : Pleiades) {
        double x, y;
        pic.project(s.ra(), s.dec(), x, y);
        drawn << Star{x, y, 3};
        at << QPointF(x, y);
    }
    f.Img1->setPicture(starField(pic.widthPx, pic.heightPx, drawn));
    f.Img1->resize(pic.widthPx, pic.heightPx);
    f.Img1->show();
    SharedState& st = State();
    st.DisplayScale1 = 1;
    st.PictureWidth1 = float(pic.widthPx), st.PictureHeight1 = float(pic.heightPx);
    st.Point1X1 = float(at[1].x() * 15), st.Point1Y1 = float(at[1].y() * 15);
    st.Point2X1 = float(at[2].x() * 15), st.Point2Y1 = float(at[2].y() * 15);
    f.mnuViravnivanie_Click();

    frmVvodKoordinat& w = VvodKoordinatForm();
    const char* typed[2][4] = {{"3", "44.8757", "24", "6.8"}, {"3", "49.1623", "24", "3.205"}};
    for (int i = 0; i < 2; ++i) {
        w.txtH[i]->setText(QString::fromLatin1(typed[i][0]));
        w.txtHM[i]->setText(QString::fromLatin1(typed[i][1]));
        w.txtGr[i]->setText(QString::fromLatin1(typed[i][2]));
        w.txtGrM[i]->setText(QString::fromLatin1(typed[i][3]));
    }
    f.mnuViravnivanie_vvod_koord->trigger();
    w.cmdSzet->click();
    f.Img1_MouseMove(0, 0, float(at[0].x() * 15), float(at[0].y() * 15));
    w.move(f.geometry().center() - QPoint(w.width() / 2, 0));
    return app.exec();
}
