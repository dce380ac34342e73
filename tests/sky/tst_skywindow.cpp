#include "shell/clicklabel.h"
#include "shell/panbar.h"
#include "sky/frmvvodkoordinat.h"
#include "sky/skytext.h"
#include "skyfield.h"
#include "support/datatable.h"
#include "support/useractions.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

constexpr double Deg = 57.2957795130823;

/// Types a catalogue position into row i: hours, decimal minutes of time, signed degrees,
/// decimal arc-minutes.
void typeStar(frmVvodKoordinat& w, int i, const CatalogueStar& s) {
    type(w.txtH[i], QString::number(s.raH));
    type(w.txtHM[i], QString::number(s.raM + s.raS / 60, 'f', 4));
    type(w.txtGr[i], (s.sign < 0 ? QStringLiteral("-") : QString()) + QString::number(s.decD));
    type(w.txtGrM[i], QString::number(s.decM + s.decS / 60, 'f', 4));
}

/// The Pleiades photographed 1.5° wide, north turned 25° counter-clockwise, 800 x 600; at gets
/// where each star of Pleiades stands.
constexpr TanPicture PleiadesPicture{(3 + 46.5 / 60) * 15 * Rad, 24.25 * Rad, 1.5, 25.0};
QImage pleiadesPicture(QVector<QPointF>& at) {
    QVector<Star> drawn;
    for (const CatalogueStar& s : Pleiades) {
        double x, y;
        PleiadesPicture.project(s.ra(), s.dec(), x, y);
        at << QPointF(x, y);
        drawn << Star{x, y, 3};
    }
    return starField(PleiadesPicture.widthPx, PleiadesPicture.heightPx, drawn);
}

/// Picture 1 at scale 1, with no marks yet.
void pictureAtScale1(frmBl& f, const QImage& picture) {
    SharedState& s = State();
    f.Img1->setPicture(picture);
    f.Img1->resize(picture.size());
    f.Img1->show();
    s.PictureWidth1 = float(picture.width());
    s.PictureHeight1 = float(picture.height());
    s.DisplayScale1 = 1;
    f.HScr1->setValue(1000);
}

} // namespace

class TestSkyWindow : public WindowTest {
    Q_OBJECT

  private slots:
    // The entry window as designed (its initial texts are no change: the stored coordinates are
    // left alone); "Выход" hides it with what was typed, the title bar's close destroys it, and a
    // fresh one puts the caret in the hours and selects from the caret on Tab.
    void entryWindow() {
        State().StarDec2 = -0.5f;
        frmVvodKoordinat& w = VvodKoordinatForm();
        QCOMPARE(State().StarDec2, -0.5f);
        QCOMPARE(w.windowTitle(), QStringLiteral("Ввод координат отмеченных точек (1 картинка)"));
        struct Control {
            const char* name;
            const char* text;
            QRect twips;
        };
        const Control controls[] = {
            {"Label3", "прямое восхождение", {2040, 120, 2535, 375}},
            {"txtH_1", "0", {2040, 1800, 855, 495}},
            {"txtGr_1", "-0", {4800, 1800, 735, 495}},
            {"txtGrM_0", "0", {5880, 840, 1095, 495}},
            {"lblDel2", "", {4800, 2400, 2175, 255}},
            {"cmdSzet", "Считать!", {7200, 1200, 1095, 495}},
        };
        for (const Control& c : controls) {
            auto* widget = w.findChild<QWidget*>(QLatin1String(c.name));
            QVERIFY2(widget, c.name);
            const QString text = widget->property("text").toString();
            QCOMPARE(text, QString::fromUtf8(c.text));
            QCOMPARE(widget->geometry(),
                     QRect(c.twips.x() / 15, c.twips.y() / 15, c.twips.width() / 15, c.twips.height() / 15));
        }

        f->mnuViravnivanie_vvod_koord->trigger();
        QVERIFY(w.isVisible());
        QCOMPARE(w.windowModality(), Qt::ApplicationModal);
        type(w.txtH[0], QStringLiteral("5"));
        QTest::mouseClick(w.cmdExit, Qt::LeftButton);
        QVERIFY(!w.isVisible());
        QCOMPARE(&VvodKoordinatForm(), &w);
        QCOMPARE(w.txtH[0]->text(), QStringLiteral("5"));
        w.showModal();
        w.close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!VvodKoordinatFormExists());
        QCOMPARE(State().StarRA1, float(75 / Deg)); // what was typed stays stored

        frmVvodKoordinat& fresh = VvodKoordinatForm();
        QCOMPARE(fresh.txtH[0]->text(), QStringLiteral("0"));
        fresh.showModal();
        QVERIFY(QTest::qWaitForWindowActive(&fresh));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(fresh.txtH[0]));
        fresh.txtHM[0]->setText(QStringLiteral("123456789012"));
        QTest::keyClick(fresh.txtH[0], Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(fresh.txtHM[0]));
        QCOMPARE(fresh.txtHM[0]->selectedText(), QStringLiteral("1234567890"));
    }

    void coordinateEntry_data() {
        // typing: field, row, text, ...; ra1, dec1, ra2: degrees in the shared fields; echo: lblAlf1|lblDel1
        DataTable<bool, QStringList, double, double, double, QString>("russian", "typing", "ra1", "dec1",
                                                                      "ra2", "echo")
            .row("-0 then 30 minutes", true, {"txtGrM", "0", "30"}, 0, -0.5, 0, "|-0,5")
            .row("then -12 degrees", true, {"txtGrM", "0", "30", "txtGr", "0", "-12"}, 0, -12.5, 0, "|-12,5")
            .row("then 12 degrees", false, {"txtGrM", "0", "30", "txtGr", "0", "-12", "txtGr", "0", "12"}, 0,
                 12.5, 0, "|12.5")
            .row("5 h 30 m ru", true, {"txtH", "0", "5", "txtHM", "0", "30"}, 82.5, 0, 0, "82,5|")
            .row("5 h 30 m C", false, {"txtH", "0", "5", "txtHM", "0", "30"}, 82.5, 0, 0, "82.5|")
            .row("comma in minutes", true, {"txtHM", "0", "1,5"}, 0.375, 0, 0, "0,375|")
            .row("second star only", false, {"txtH", "1", "3", "txtHM", "1", "47.5"}, 0, 0, 56.875, "|");
    }
    void coordinateEntry() {
        QFETCH(bool, russian);
        QFETCH(QStringList, typing);
        QFETCH(double, ra1);
        QFETCH(double, dec1);
        QFETCH(double, ra2);
        QFETCH(QString, echo);
        QLocale::setDefault(russian ? QLocale(QLocale::Russian) : QLocale::c());
        frmVvodKoordinat& w = VvodKoordinatForm();
        w.showModal();
        for (int k = 0; k < typing.size(); k += 3) {
            auto* field = w.findChild<QLineEdit*>(typing[k] + QLatin1Char('_') + typing[k + 1]);
            QVERIFY(field);
            type(field, typing[k + 2]);
            QCOMPARE(field->text(), QString(typing[k + 2]).replace(QLatin1Char(','), QLatin1Char('.')));
        }
        QCOMPARE(State().StarRA1, float(ra1 / Deg));
        QCOMPARE(State().StarDec1, float(dec1 / Deg));
        QCOMPARE(State().StarRA2, float(ra2 / Deg));
        QCOMPARE(w.lblAlf1->text() + QLatin1Char('|') + w.lblDel1->text(), echo);
    }

    // A run of digits that no coordinate has is refused key by key (or as a whole when pasted):
    // no error box, the field keeps what it could take and the star's coordinate stays finite.
    void digitsBeyondAnyCoordinateAreRefused_data() {
        DataTable<QString, QString, bool, QString>("field", "typed", "paste", "kept")
            .row("320 digits into hours", "txtH_0", QString("1234567890").repeated(32), false, "123456")
            .row("50 nines into negative degrees", "txtGr_0", "-" + QString(50, '9'), false, "-999999")
            .row("digits after the point are free", "txtHM_1", "12,345678901234567", false,
                 "12.345678901234567")
            .row("400 digits pasted into arc-minutes", "txtGrM_0", QString(400, '7'), true, "");
    }
    void digitsBeyondAnyCoordinateAreRefused() {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(bool, paste);
        QFETCH(QString, kept);
        frmVvodKoordinat& w = VvodKoordinatForm();
        w.showModal();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        auto* box = w.findChild<QLineEdit*>(field);
        QVERIFY(box);
        QGuiApplication::clipboard()->setText(typed);
        type(box, paste ? QString() : typed);
        if (paste) QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box));
        QCOMPARE(box->text(), kept);
        QVERIFY2(prompter->messages.isEmpty(), qPrintable(prompter->messages.join('\n')));
        for (float v : {State().StarRA1, State().StarRA2, State().StarDec1, State().StarDec2})
            QVERIFY(std::isfinite(v));
    }

    // A synthetic photograph of the Pleiades: mark Electra and Atlas, type their catalogue
    // positions, compute, then read the other stars with the cursor. Zoomed afterwards (each row
    // another way), "Считать!" reports the same centre, sizes and angle as before the zoom, and
    // the cursor reads the stars as well; CoordText keeps the lines as written, CR LF each.
    void plateSolutionAgainstGnomonicPicture_data() {
        DataTable<QString>("zoom")
            .row("drag right", "drag 40")
            .row("drag left", "drag -8")
            .row("End key", "End")
            .row("Page Down key", "PageDown");
    }
    void plateSolutionAgainstGnomonicPicture() {
        QFETCH(QString, zoom);
        QLocale::setDefault(QLocale(QLocale::Russian));
        QVector<QPointF> at;
        load(1, "pleiades.bmp", pleiadesPicture(at));
        mark(1, 1, at[1]);
        mark(1, 2, at[2]);
        emit f->mnuViravnivanie->aboutToShow();
        frmVvodKoordinat& w = VvodKoordinatForm();
        f->mnuViravnivanie_vvod_koord->trigger();
        typeStar(w, 0, Pleiades[1]);
        typeStar(w, 1, Pleiades[2]);

        // With the readout off, CoordRA/CoordDec keep the centre.
        f->mnuKoordinat->setEnabled(false);
        QTest::mouseClick(w.cmdSzet, Qt::LeftButton);
        QVERIFY(arcMinutesBetween(State().CoordRA, State().CoordDec, PleiadesPicture.ra0,
                                  PleiadesPicture.dec0) < 0.5);
        QCOMPARE(w.lblInfo->text(), SkyPositionText(State().CoordRA, State().CoordDec));

        f->mnuKoordinat->setEnabled(true);
        QTest::mouseClick(w.cmdSzet, Qt::LeftButton);
        const QStringList atOne = f->txtInfo->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(atOne.size(), 6); // four lines and the source in force, each ended
        QCOMPARE(atOne[0], QStringLiteral("центр: ") + w.lblInfo->text());
        QCOMPARE(atOne[1], QStringLiteral("размер в градусах  1 x  1"));
        QCOMPARE(atOne[2], QStringLiteral("размер в пикселах  800 x  600"));
        QVERIFY(atOne[3].startsWith(QStringLiteral("Угол отклонения от направления на полюс ")));
        QCOMPARE(atOne[4], QStringLiteral("координаты: по двум звёздам"));
        // The probe ran the readout at the top-centre point.
        QCOMPARE(f->lblInfo2->text(), QStringLiteral("от центра=60,0%"));
        QCOMPARE(State().PlateCentreX, 6000.0f);
        auto angle = [](QString line) {
            return line.section(QLatin1Char(' '), -1).replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
        };
        // CoordText holds exactly the four lines the program wrote, CR LF each; txtInfo adds the
        // source in force. The cursor reads every star within 1'.
        auto checkReport = [&] {
            const QString text = State().CoordText;
            QCOMPARE(text.count(QStringLiteral("\r\n")), 4);
            QCOMPARE(text.count(QLatin1Char('\n')), 4);
            QCOMPARE(text.count(QLatin1Char('\r')), 4);
            QCOMPARE(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")) +
                         QStringLiteral("координаты: по двум звёздам\n"),
                     f->txtInfo->toPlainText());
            const QStringList lines = f->txtInfo->toPlainText().split(QLatin1Char('\n'));
            QCOMPARE(lines.mid(0, 3), atOne.mid(0, 3)); // the centre and the sizes
            QVERIFY2(std::fabs(angle(lines[3]) - angle(atOne[3])) <= 0.0015, qPrintable(lines[3]));
            QVERIFY2(std::fabs(angle(lines[3]) - 25) < 0.05, qPrintable(lines[3]));
            QCOMPARE(lines[0].mid(7), w.lblInfo->text());
            const float scale = State().DisplayScale1;
            for (int k = 0; k < Pleiades.size(); ++k) {
                // A real mouse move at the nearest pixel: half a pixel is 0.06' at scale 1.
                hover(f->Img1, (at[k] * scale).toPoint());
                const double error =
                    arcMinutesBetween(State().CoordRA, State().CoordDec, Pleiades[k].ra(), Pleiades[k].dec());
                QVERIFY2(
                    error < 1.0,
                    qPrintable(
                        QStringLiteral("%1 at scale %2: %3'").arg(Pleiades[k].name).arg(scale).arg(error)));
                QCOMPARE(f->lblInfo->text(), State().CoordText);
            }
        };
        checkReport();

        // Switched off, the readout only tells the distance from the centre.
        const QString last = f->lblInfo->text();
        const double ra = State().CoordRA;
        f->mnuKoordinat->setEnabled(false);
        hover(f->Img1, QPoint(0, 0));
        QCOMPARE(f->lblInfo2->text(), QStringLiteral("от центра=100,0%"));
        QCOMPARE(f->lblInfo->text(), last);
        QCOMPARE(State().CoordText, last);
        QCOMPARE(State().CoordRA, ra);
        f->mnuKoordinat->setEnabled(true);

        // The entry window is modal: out of the way for the zoom, back for the second count.
        QTest::mouseClick(w.cmdExit, Qt::LeftButton);
        QApplication::setActiveWindow(f);
        if (zoom.startsWith("drag")) {
            dragHandle(f->HScr1, zoom.mid(5).toInt());
        } else {
            clickHandle(f->HScr1);
            typeKey(f, zoom == "End" ? Qt::Key_End : Qt::Key_PageDown);
        }
        QVERIFY(State().DisplayScale1 != 1.0f && State().DisplayScale1 > 0.2f);
        f->mnuViravnivanie_vvod_koord->trigger();
        QTest::mouseClick(w.cmdSzet, Qt::LeftButton);
        QVERIFY2(prompter->messages.isEmpty(), qPrintable(prompter->messages.join('\n')));
        checkReport();
    }

    void degenerateInput_data() {
        DataTable<int>("kind")
            .row("both marks at one place", 0)
            .row("identical star coordinates", 1)
            .row("all-zero star coordinates", 2)
            .row("star at the pole", 3);
    }
    // Without any marks the readout tells the distance from the centre and its sky part stays
    // silent. Then "Считать!" reports once and the program goes on; the readout keeps its last
    // position and reports nothing, however often the mouse moves.
    void degenerateInput() {
        QFETCH(int, kind);
        pictureAtScale1(*f, gradientPicture(800, 600));
        f->mnuKoordinat->setEnabled(true);
        QLocale::setDefault(QLocale(QLocale::Russian));
        hover(f->Img1, QPoint(400, 300));
        QCOMPARE(f->lblInfo2->text(), QStringLiteral("от центра=0,0%"));
        QLocale::setDefault(QLocale::c());
        hover(f->Img1, QPoint(0, 0));
        QCOMPARE(f->lblInfo2->text(), QStringLiteral("от центра=100.0%"));
        QVERIFY(prompter->messages.isEmpty());
        // Marked by clicking, at the exact twips of the points.
        f->lblVvod1_Click();
        f->Img_MouseDown(1, 1, 0, 300 * 15, 200 * 15);
        f->lblVvod2_Click();
        f->Img_MouseDown(1, 1, 0, (kind == 0 ? 300 : 500) * 15, (kind == 0 ? 200 : 260) * 15);
        f->mnuViravnivanie_Click(); // opening the menu enables the coordinate items
        frmVvodKoordinat& w = VvodKoordinatForm();
        f->mnuViravnivanie_vvod_koord->trigger();
        if (kind != 2) {
            typeStar(w, 0, Pleiades[1]);
            typeStar(w, 1, kind == 1 ? Pleiades[1] : Pleiades[2]);
        }
        if (kind == 3) type(w.txtGr[0], QStringLiteral("90"));
        f->lblInfo->setText(QStringLiteral("last"));
        State().CoordText = QStringLiteral("last");
        f->txtInfo->setPlainText(QStringLiteral("before"));

        QTest::mouseClick(w.cmdSzet, Qt::LeftButton);
        QCOMPARE(prompter->messages.size(), 1);
        QVERIFY2(prompter->messages[0].startsWith(QStringLiteral("Ошибка 11")),
                 qPrintable(prompter->messages[0]));
        QVERIFY(w.isVisible());
        QCOMPARE(f->txtInfo->toPlainText(), QStringLiteral("before"));

        for (const QPoint pos : {QPoint(10, 10), QPoint(300, 200), QPoint(400, 300)}) {
            hover(f->Img1, pos);
            QCOMPARE(f->lblInfo->text(), QStringLiteral("last"));
        }
        QCOMPARE(f->lblInfo2->text(), QStringLiteral("от центра=0.0%"));
        QCOMPARE(State().CoordText, QStringLiteral("last"));
        QCOMPARE(prompter->messages.size(), 1);
    }
};

QTEST_MAIN(TestSkyWindow)
#include "tst_skywindow.moc"
