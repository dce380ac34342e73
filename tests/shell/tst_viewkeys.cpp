// The keys, the wheel and the picture dialog as a newcomer meets them: whole picture in the
// window, zoom about the cursor, keys that keep their meaning in the controls.

#include "notepad/frmast00.h"
#include "shell/clicklabel.h"
#include "shell/panbar.h"
#include "support/useractions.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

namespace {

const QVector<Star> Sky = {{200, 150, 5}, {700, 420, 6}, {1210, 900, 5}, {400, 800, 5}};
const QPointF Shift(37, 23); // of picture 2 against picture 1, pixels

QVector<Star> shifted(const QVector<Star>& stars, QPointF by) {
    QVector<Star> out;
    for (const Star& s : stars)
        out.push_back({s.x + by.x(), s.y + by.y(), s.radius});
    return out;
}

} // namespace

class TestViewKeys : public WindowTest {
    Q_OBJECT

    /// Where the picture area shows star k now, shown slot first selected by its label.
    QPointF starOnScreen(int slot, QPointF expected) {
        QTest::mouseClick(f->Lbl(slot), Qt::LeftButton);
        return spotCentre(f->pictureArea->grab().toImage(), expected, 6);
    }

    void registerTwoPictures() {
        load(1, "one.png", starField(1500, 1100, Sky));
        load(2, "two.png", starField(1560, 1150, shifted(Sky, Shift)));
        mark(1, 1, QPointF(200, 150));
        mark(2, 1, QPointF(200, 150) + Shift);
        QTest::mouseClick(f->CmdSovm, Qt::LeftButton);
    }

  private slots:
    void init() {
        WindowTest::init();
        // A user's keys go to the window in front; the shortcuts act only there.
        f->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f));
    }

    void wholePictureAndWheelKeepTheRegistration() {
        registerTwoPictures();
        clickHandle(f->HScrTime);
        QCOMPARE(f->focusWidget(), f->HScrTime);
        typeKey(f, Qt::Key_F);

        const QSize area = f->pictureArea->size();
        const float fit = std::min(area.width() / 1500.0f, area.height() / 1100.0f);
        QCOMPARE(State().DisplayScale1, fit);
        QCOMPARE(f->HScr1->value(), qRound(fit * 1000));
        QCOMPARE(QPointF(f->Img1->Left(), f->Img1->Top()), QPointF(0, 0));
        QVERIFY(f->Img1->width() <= area.width() && f->Img1->height() <= area.height());
        QVERIFY(area.width() - f->Img1->width() <= 1 || area.height() - f->Img1->height() <= 1);
        QCOMPARE(f->HScrTime->value(), 1000); // the key did not go to the slider
        // Every star of picture 1 on the screen, and picture 2's on it.
        for (const Star& s : Sky) {
            const QPointF at = QPointF(s.x, s.y) * fit;
            const QPointF one = starOnScreen(1, at);
            QVERIFY2(QLineF(one, at).length() < 1.5, qPrintable(QString("%1 %2").arg(one.x()).arg(one.y())));
            QVERIFY(QLineF(starOnScreen(2, at), one).length() < 1);
        }

        // One notch away from the user over the second star: it stays under the mouse.
        const QPointF cursor = starOnScreen(1, QPointF(700, 420) * fit);
        const QPointF other = starOnScreen(1, QPointF(1210, 900) * fit);
        turnWheel(f->pictureArea, cursor.toPoint(), 1);
        QCOMPARE(State().DisplayScale1, fit * 1.25f);
        QVERIFY(qAbs(State().DisplayScale2 - State().DisplayScale1) < 1e-6);
        for (int slot : {1, 2}) {
            QVERIFY(QLineF(starOnScreen(slot, cursor), cursor).length() < 1);
            const QPointF moved = cursor + (other - cursor) * 1.25;
            QVERIFY(QLineF(starOnScreen(slot, moved), moved).length() < 1);
        }
        // Back by one notch towards the user; the wheel over the panel zooms nothing.
        turnWheel(f->pictureArea, cursor.toPoint(), -1);
        QVERIFY(qAbs(State().DisplayScale1 - fit) < 1e-6);
        turnWheel(f->Label2, QPoint(5, 5), 3);
        QVERIFY(qAbs(State().DisplayScale1 - fit) < 1e-6);
        // Far beyond the bars' range: every picture stops at the same factor.
        turnWheel(f->pictureArea, cursor.toPoint(), 40);
        QCOMPARE(f->HScr1->value(), 3000);
        QVERIFY(qAbs(State().DisplayScale2 - 3.0f) < 1e-5);
        QVERIFY(QLineF(starOnScreen(2, cursor), cursor).length() < 1.5);
    }

    void keysKeepTheirMeaningInTheControls() {
        load(1, "small.png", starField(300, 200, Sky.mid(0, 1)));
        // Typed into the info box, Space and F are text.
        QTest::mouseClick(f->txtInfo->viewport(), Qt::LeftButton);
        typeKey(f, Qt::Key_F);
        typeKey(f, Qt::Key_Space);
        QCOMPARE(f->txtInfo->toPlainText(), QString("f "));
        QVERIFY(!f->isBlinking());
        QCOMPARE(State().DisplayScale1, 1.0f);

        // On a slider, Space starts and stops blinking and F fits the picture.
        clickHandle(f->HScr2);
        typeKey(f, Qt::Key_Space);
        QVERIFY(f->isBlinking() && f->Timer1->isActive());
        QCOMPARE(f->CmdStart->text(), QString("СТОП"));
        typeKey(f, Qt::Key_Space);
        QVERIFY(!f->isBlinking() && !f->Timer1->isActive());
        typeKey(f, Qt::Key_F);
        const QSize area = f->pictureArea->size();
        QCOMPARE(State().DisplayScale1, std::min({area.width() / 300.0f, area.height() / 200.0f, 3.0f}));

        // Ctrl+O while blinking: the blinking stops and picture 1's dialog opens.
        typeKey(f, Qt::Key_Space);
        QVERIFY(f->isBlinking());
        const QString next = savePicture(dir, "next.png", starField(320, 240, Sky.mid(0, 1)));
        prompter->openNames.enqueue(next);
        typeKey(f, Qt::Key_O, Qt::ControlModifier);
        QVERIFY(!f->isBlinking());
        QCOMPARE(State().FileName1, next);
        QCOMPARE(f->Img1->picture().size(), QSize(320, 240));

        // F1 opens the help.
        typeKey(f, Qt::Key_F1);
        QVERIFY(NotepadExists() && Notepad().isVisible());
        QVERIFY(!Notepad().text().isEmpty());
    }

    void pictureDialogStartsWhereTheLastPictureWas() {
        QVERIFY(chooseMenuItem(f, f->Menu, f->Open1File)); // cancelled
        QCOMPARE(prompter->dialogFolders.value(0), QDir::homePath());
        const QStringList filters = prompter->dialogFilters.value(0).split(";;");
        QVERIFY2(filters.size() == 5, qPrintable(filters.join('\n')));
        QVERIFY(filters[0].startsWith("Все снимки ("));
        for (const char* pattern : {"*.fits", "*.fit", "*.fts", "*.fz", "*.jpg", "*.jpeg", "*.bmp", "*.png"})
            QVERIFY2(filters[0].split(QRegularExpression("[ ()]")).contains(pattern), pattern);
        QCOMPARE(filters.mid(1, 2), QStringList({"(*.jpg) (*.jpg)", "(*.bmp) (*.bmp)"}));
        QCOMPARE(filters[4], QString("(*.*) (*)"));

        QVERIFY(QDir(dir.path()).mkpath("night"));
        const QString picture = savePicture(dir, "night/one.png", starField(64, 48, {}));
        prompter->openNames.enqueue(picture);
        QVERIFY(chooseMenuItem(f, f->Menu, f->Open1File));
        QCOMPARE(State().FileName1, picture);
        QVERIFY(chooseMenuItem(f, f->Menu, f->Open2File));
        QCOMPARE(prompter->dialogFolders.value(2), dir.filePath("night"));
    }
};

QTEST_MAIN(TestViewKeys)
#include "tst_viewkeys.moc"
