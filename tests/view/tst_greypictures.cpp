// Grey pictures held at one byte a pixel: which files are held grey, and that everything a user
// sees or reads off a grey picture is the same as when the same file is held as colour.

#include "cutout/canvasbox.h"
#include "cutout/frmpiccopy.h"
#include "photometry/cutview.h"
#include "photometry/frmfm.h"
#include "photometry/greypicture.h"
#include "shell/clicklabel.h"
#include "shell/panbar.h"
#include "support/windowtest.h"
#include "view/imageframe.h"
#include "view/picturefile.h"
#include "view/picturerows.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

/// A grey sky: a slow gradient under stars, so that every drawn pixel tells where it came from.
QImage greySky(int w, int h) {
    QImage sky = starField(w, h, {{120, 90, 6, 250}, {300, 200, 4, 180}, {520, 330, 9, 220}});
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(sky.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int v = std::min(255, qBlue(line[x]) + (x + 2 * y) % 97);
            line[x] = qRgb(v, v, v);
        }
    }
    return sky.convertToFormat(QImage::Format_Grayscale8);
}

/// An 8-bit palette picture of the grey sky; colour, when given, is one more palette entry.
QImage paletteSky(QRgb colour = 0, bool used = false) {
    QImage img = greySky(64, 48).convertToFormat(QImage::Format_Indexed8);
    if (colour) {
        QVector<QRgb> table = img.colorTable();
        if (table.size() == 256) table.removeLast();
        table << colour;
        img.setColorTable(table);
        if (used) img.setPixel(40, 30, uint(table.size() - 1));
    }
    return img;
}

/// What a user can see or read after one scenario: a picture and some texts.
struct ScenarioResult {
    QImage image;
    QStringList texts;
    QImage::Format held = QImage::Format_Invalid; ///< how slot 1 held its picture
};

} // namespace

class TestGreyPictures : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    /// Runs one scenario in a fresh program, with grey pictures kept or held as colour.
    ScenarioResult run(const QString& scenario, bool keepGrey) {
        ScriptedPrompter* prompter = nullptr;
        frmBl* f = nullptr;
        startCase(prompter, f);
        f->pictureLoading.keepGrey = keepGrey;
        ScenarioResult out;
        const QString sky = dir.filePath("sky.jpg");
        if (scenario.startsWith("view")) {
            loadSlot(*f, *prompter, 1, sky);
            f->HScr1->setValue(scenario.section(' ', 1).toInt());
            QCoreApplication::processEvents();
            out.image = f->pictureArea->grab().toImage();
        } else if (scenario == "photometry") {
            // The worked example: a 3 x 3 star of 200 on 20, Ctrl + clicked.
            loadSlot(*f, *prompter, 1,
                     savePicture(dir, "star.bmp", greyPicture({600, 500}, "299,249,3,3,200")));
            f->mnuFM->trigger();
            frmFM& w = PhotometryForm();
            QTest::mouseClick(f->Img1, Qt::LeftButton, Qt::ControlModifier, QPoint(300, 250));
            out.image = w.Pic1->grab().toImage();
            out.texts = QStringList{w.LblInfo1->text(), w.LblInfo2->text(), w.txtKb->text(), w.lblZV->text()};
        } else if (scenario == "cut-out") {
            loadSlot(*f, *prompter, 1, sky);
            loadSlot(*f, *prompter, 2, sky);
            QTest::mouseClick(f->Lbl2, Qt::LeftButton);
            QTest::mouseClick(f->Img2, Qt::LeftButton, Qt::ShiftModifier, QPoint(300, 200));
            if (!jobEnds(*f)) QTest::qFail("the cut-out did not end", __FILE__, __LINE__);
            out.image = PicCopyForm().Pic1->image();
        } else if (scenario == "rotation") {
            loadSlot(*f, *prompter, 1, sky);
            loadSlot(*f, *prompter, 2, sky);
            const QPoint marks[2][2] = {{{100, 100}, {200, 100}}, {{100, 100}, {160, 180}}};
            for (int k = 1; k <= 2; ++k)
                for (int p = 1; p <= 2; ++p)
                    markPoint(*f, k, p, marks[k - 1][p - 1]);
            f->mnuVirovnjat->trigger();
            if (!jobEnds(*f)) QTest::qFail("the rotation did not end", __FILE__, __LINE__);
            out.image = PicCopyForm().Pic1->image();
            out.texts = QStringList{PicCopyForm().txtP->text()};
        }
        out.held = f->Img1->picture().format();
        out.texts << prompter->messages;
        endCase(prompter);
        return out;
    }

  private slots:
    void initTestCase() { QVERIFY(greySky(640, 400).save(dir.filePath("sky.jpg"))); }

    // Which files are held grey, and that each pixel is the colour the RGB32 form holds.
    void heldForm_data() {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<QString>("suffix"); // the file format
        QTest::addColumn<bool>("grey");      // held grey, else RGB32
        const QImage sky = greySky(64, 48);
        const QImage rgbSky = sky.convertToFormat(QImage::Format_RGB32);
        QImage oneColoured = rgbSky;
        oneColoured.setPixel(63, 47, qRgb(90, 91, 90)); // the very last pixel, hardly coloured
        QImage grey16(64, 48, QImage::Format_Grayscale16);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                reinterpret_cast<quint16*>(grey16.scanLine(y))[x] = quint16(x * 1000 + y * 7);
        const QImage mono = sky.convertToFormat(QImage::Format_Mono);

        QTest::newRow("grey JPEG") << sky << "jpg" << true;
        QTest::newRow("RGB JPEG of a grey picture") << rgbSky << "jpg" << true;
        QTest::newRow("grey PNG") << sky << "png" << true;
        QTest::newRow("16-bit grey PNG") << grey16 << "png" << true;
        QTest::newRow("8-bit grey TIFF") << sky << "tiff" << true;
        QTest::newRow("24-bit BMP of a grey picture") << rgbSky << "bmp" << true;
        QTest::newRow("grey palette BMP") << paletteSky() << "bmp" << true;
        QTest::newRow("grey palette PNG") << paletteSky() << "png" << true;
        QTest::newRow("1-bit BMP") << mono << "bmp" << true;
        QTest::newRow("palette with an unused colour") << paletteSky(qRgb(200, 0, 0), false) << "bmp" << true;
        QTest::newRow("palette with a used colour") << paletteSky(qRgb(200, 0, 0), true) << "bmp" << false;
        QTest::newRow("one coloured pixel, last of all") << oneColoured << "png" << false;
        QTest::newRow("colour JPEG") << gradientPicture(64, 48) << "jpg" << false;
    }
    void heldForm() {
        QFETCH(QImage, picture);
        QFETCH(QString, suffix);
        QFETCH(bool, grey);
        const QString path = savePicture(dir, "picture." + suffix, picture);
        const DecodedPicture colourDecoded = decodePictureFile(path, {.keepGrey = false});
        const DecodedPicture keptDecoded = decodePictureFile(path);
        QVERIFY2(keptDecoded.ok() && colourDecoded.ok(),
                 qPrintable(keptDecoded.reason() + colourDecoded.reason()));
        const QImage& colour = colourDecoded.value();
        const QImage& kept = keptDecoded.value();
        QCOMPARE(colour.format(), QImage::Format_RGB32);
        QCOMPARE(kept.format(), grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
        QCOMPARE(kept.size(), colour.size());
        QVERIFY(pictureMatchesFile(kept, path));
        for (int y = 0; y < colour.height(); ++y)
            for (int x = 0; x < colour.width(); ++x)
                if (pictureColour(kept, x, y) != colour.pixel(x, y))
                    QFAIL(qPrintable(QString("pixel %1, %2 differs").arg(x).arg(y)));
    }

    // The memory a picture may take is counted at the bytes a pixel it will be held at.
    void budgetCountsTheHeldForm_data() {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<bool>("loads");
        QTest::newRow("grey JPEG, 0.6 MB grey, 2.4 MB as colour") << greySky(1000, 600) << true;
        QTest::newRow("colour JPEG of the same size") << gradientPicture(1000, 600) << false;
    }
    void budgetCountsTheHeldForm() {
        QFETCH(QImage, picture);
        QFETCH(bool, loads);
        const DecodedPicture decoded =
            decodePictureFile(savePicture(dir, "budget.jpg", picture), {.memoryBudget = 1 << 20});
        QCOMPARE(decoded.reason().contains("слишком велика"), !loads);
        QCOMPARE(decoded.valueOr(QImage()).size(), loads ? picture.size() : QSize(0, 0));
    }

    // The same grey file held grey and held as colour: the same screen, figures and canvases.
    void greyAndColourLookTheSame_data() {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QStringList>("expected"); // texts that must also be right, not just equal
        QTest::newRow("view at scale 0.25") << "view 250" << QStringList();
        QTest::newRow("view at scale 1") << "view 1000" << QStringList();
        QTest::newRow("view at scale 2.5") << "view 2500" << QStringList();
        QTest::newRow("photometry worked example")
            << "photometry"
            << QStringList{"Общая интенсивность  1620", "Показатель цвета   0.00", " 2.857866", "1.12"};
        QTest::newRow("comparison cut-out strip") << "cut-out" << QStringList();
        QTest::newRow("rotated canvas") << "rotation" << QStringList{"выполнено = 100.0%"};
    }
    void greyAndColourLookTheSame() {
        QFETCH(QString, scenario);
        QFETCH(QStringList, expected);
        const ScenarioResult grey = run(scenario, true);
        const ScenarioResult colour = run(scenario, false);
        QCOMPARE(grey.held, QImage::Format_Grayscale8);
        QCOMPARE(colour.held, QImage::Format_RGB32);
        QCOMPARE(grey.texts, expected);
        QCOMPARE(colour.texts, expected);
        QVERIFY(!grey.image.isNull());
        // Something of the picture is in view, not a blank area that would match anyway.
        QImage flat(grey.image.size(), grey.image.format());
        flat.fill(grey.image.pixel(0, 0));
        QVERIFY(grey.image != flat);
        QCOMPARE(grey.image.convertToFormat(QImage::Format_RGB32),
                 colour.image.convertToFormat(QImage::Format_RGB32));
    }
};

QTEST_MAIN(TestGreyPictures)
#include "tst_greypictures.moc"
