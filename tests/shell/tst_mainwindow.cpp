#include "blink/markeroverlay.h"
#include "common/vorlanerror.h"
#include "notepad/frmast00.h"
#include "shell/clicklabel.h"
#include "shell/commandline.h"
#include "shell/guard.h"
#include "shell/keyrouting.h"
#include "shell/layout.h"
#include "shell/panbar.h"
#include "shell/start.h"
#include "support/datatable.h"
#include "support/panbars.h"
#include "support/useractions.h"
#include "support/windowtest.h"
#include "view/imageframe.h"

#include <QMenuBar>
#include <QProcess>
#include <QToolBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace vorlan;
using namespace vorlan::test;

class TestMainWindow : public WindowTest {
    Q_OBJECT

  private slots:
    void sharedStateStartsAtZeroButThree() {
        SharedState& s = State();
        QCOMPARE(s.MarkScale1, 1.0f);
        QCOMPARE(s.MarkScale2, 1.0f);
        QCOMPARE(s.MinIntensity, 60.0f);
        for (int k = 1; k <= 3; ++k) {
            QCOMPARE(s.DisplayScale(k), 0.0f);
            QCOMPARE(s.Point1X(k), 0.0f);
            QCOMPARE(s.Point2Y(k), 0.0f);
            QCOMPARE(s.ImageLeft(k), 0.0f);
            QCOMPARE(s.PictureWidth(k), 0.0f);
            QVERIFY(s.FileName(k).isEmpty());
            QVERIFY(s.Point1Text(k).isEmpty());
        }
        QCOMPARE(s.PictureCount, int16_t(0));
        QCOMPARE(s.ViewBusy, int16_t(0));
        QCOMPARE(s.StopRequested, int16_t(0));
        QCOMPARE(s.CoordRA, 0.0);
        QCOMPARE(s.OverallScale, 0.0f);
        QVERIFY(s.CoordText.isEmpty() && s.ProjectText.isEmpty() && s.DialogFileName.isEmpty());
        // The slot accessors reach the named fields.
        s.DisplayScale(2) = 1.5f;
        s.Point2X(3) = 7;
        QCOMPARE(s.DisplayScale2, 1.5f);
        QCOMPARE(s.Point2X3, 7.0f);
        QVERIFY_THROWS_EXCEPTION(VorlanError, s.DisplayScale(4));
    }

    void arrowKeyTable_data() {
        // expected -1: unchanged
        DataTable<int, int, int, int, int>("key", "v", "step", "max", "expected")
            .row("left steps", 37, 1000, 300, 30000, 700)
            .row("left v == step stays", 37, 300, 300, 30000, -1)
            .row("up v <= step goes to 0", 38, 1, 1, 32767, 0)
            .row("up steps", 38, 50, 20, 32767, 30)
            .row("right reaches max", 39, 29800, 300, 30000, 30000)
            .row("right at max rewrites max", 39, 30000, 300, 30000, 30000)
            .row("right steps", 39, 0, 300, 30000, 300)
            .row("down below max", 40, 10, 20, 32767, 30)
            .row("down v + step == max stays", 40, 32747, 20, 32767, -1)
            .row("other key", 65, 10, 20, 100, -1);
    }
    void arrowKeyTable() {
        QFETCH(int, key);
        QFETCH(int, v);
        QFETCH(int, step);
        QFETCH(int, max);
        QFETCH(int, expected);
        const auto r = arrowKeyValue(int16_t(key), v, step, max);
        QCOMPARE(r.has_value() ? *r : -1, expected);
    }

    void routedControlsPanBySmallStep() {
        f->HScroll1->setValue(1000);
        f->VScroll1->setValue(5);
        f->CmdStart->setFocus();
        QTest::keyClick(f->CmdStart, Qt::Key_Left);
        QCOMPARE(f->HScroll1->value(), 700);
        QTest::keyClick(f->HScr1, Qt::Key_Up);
        QCOMPARE(f->VScroll1->value(), 4);
        QTest::keyClick(f->cmdSbros, Qt::Key_Right);
        QCOMPARE(f->HScroll1->value(), 1000);
        // Up with v <= SmallChange goes to 0.
        f->VScroll1->setValue(1);
        QTest::keyClick(f->HScrTime, Qt::Key_Up);
        QCOMPARE(f->VScroll1->value(), 0);
        // Right with v + s >= Max goes to Max.
        f->HScroll1->setValue(29900);
        QTest::keyClick(f->cmdHelp, Qt::Key_Right);
        QCOMPARE(f->HScroll1->value(), 30000);
        // A non-arrow key changes nothing and leaves both bars enabled.
        QTest::keyClick(f->CmdSovm, Qt::Key_A);
        QCOMPARE(f->HScroll1->value(), 30000);
        QCOMPARE(f->VScroll1->value(), 0);
        QVERIFY(f->HScroll1->isEnabled() && f->VScroll1->isEnabled());
    }

    // Scroll bars and sliders take the focus by a click on their handle and by Tab, as the
    // buttons do; an arrow then pans by the small step, once, and the bar that the routing
    // disables for the moment of the key keeps the focus.
    void barsTakeTheFocusAndRouteArrows_data() {
        // tabFrom empty: focus by a click on the handle
        // panH: expected moves of the pan bars
        DataTable<QString, QString, int, int, int>("bar", "tabFrom", "key", "panH", "panV")
            .row("HScroll1 click, Left", "HScroll1", "", int(Qt::Key_Left), -300, 0)
            .row("HScroll1 click, Right", "HScroll1", "", int(Qt::Key_Right), 300, 0)
            .row("HScroll1 Backtab, Up", "HScroll1", "VScroll1", int(Qt::Key_Up), 0, -1)
            .row("VScroll1 click, Down", "VScroll1", "", int(Qt::Key_Down), 0, 1)
            .row("VScroll1 Tab, Right", "VScroll1", "HScroll1", int(Qt::Key_Right), 300, 0)
            .row("HScr1 click, Left", "HScr1", "", int(Qt::Key_Left), -300, 0)
            .row("HScr2 Tab, Up", "HScr2", "HScr1", int(Qt::Key_Up), 0, -1)
            .row("HScrOb click, Right", "HScrOb", "", int(Qt::Key_Right), 300, 0)
            .row("HScrTime Tab, Down", "HScrTime", "VScroll1", int(Qt::Key_Down), 0, 1);
    }
    void barsTakeTheFocusAndRouteArrows() {
        QFETCH(QString, bar);
        QFETCH(QString, tabFrom);
        QFETCH(int, key);
        QFETCH(int, panH);
        QFETCH(int, panV);
        QApplication::setActiveWindow(f);
        f->HScroll1->setValue(1000);
        f->VScroll1->setValue(100);
        auto* target = f->findChild<PanBar*>(bar);
        if (tabFrom.isEmpty()) {
            clickHandle(target);
        } else {
            clickHandle(f->findChild<PanBar*>(tabFrom));
            const bool back = f->findChild<PanBar*>(tabFrom) == f->VScroll1 && target == f->HScroll1;
            typeKey(f, back ? Qt::Key_Backtab : Qt::Key_Tab);
        }
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(target));
        QCOMPARE(f->HScroll1->value(), 1000);
        QCOMPARE(f->VScroll1->value(), 100);
        typeKey(f, Qt::Key(key));
        QCOMPARE(f->HScroll1->value(), 1000 + panH);
        QCOMPARE(f->VScroll1->value(), 100 + panV);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(target));
        QVERIFY(f->HScroll1->isEnabled() && f->VScroll1->isEnabled());
        QCOMPARE(f->Img1->Left(), -float(f->HScroll1->value()));
    }

    void panBarsAreDisabledWhileTheKeyMovesThem() {
        bool enabledDuringMove = true;
        connect(f->HScroll1, &QScrollBar::valueChanged, this,
                [&] { enabledDuringMove = f->VScroll1->isEnabled(); });
        f->HScroll1->setValue(1000);
        ScrollByArrowKey(KeyLeft);
        QCOMPARE(f->HScroll1->value(), 700);
        QVERIFY(!enabledDuringMove);
        QVERIFY(f->HScroll1->isEnabled());
    }

    void hscr3IsNotRouted() {
        f->HScroll1->setValue(1000);
        f->VScroll1->setValue(100);
        const int hscr3 = f->HScr3->value();
        QTest::keyClick(f->HScr3, Qt::Key_Left);
        QTest::keyClick(f->HScr3, Qt::Key_Up);
        QCOMPARE(f->HScroll1->value(), 1000);
        QCOMPARE(f->VScroll1->value(), 100);
        QVERIFY(f->HScroll1->isEnabled());
        QVERIFY(f->HScr3->value() <= hscr3);
    }

    void windowKeysUseLargeStep() {
        QApplication::setActiveWindow(f);
        if (QWidget* w = QApplication::focusWidget())
            w->clearFocus();
        f->HScroll1->setValue(5000);
        f->VScroll1->setValue(100);
        QTest::keyClick(f, Qt::Key_Left);
        QCOMPARE(f->HScroll1->value(), 2000);
        QTest::keyClick(f, Qt::Key_Left); // 2000 <= 3000: stays
        QCOMPARE(f->HScroll1->value(), 2000);
        QTest::keyClick(f, Qt::Key_Down);
        QCOMPARE(f->VScroll1->value(), 120);
        f->VScroll1->setValue(15);
        QTest::keyClick(f, Qt::Key_Up);
        QCOMPARE(f->VScroll1->value(), 0);
        f->HScroll1->setValue(28000);
        QTest::keyClick(f, Qt::Key_Right);
        QCOMPARE(f->HScroll1->value(), 30000);
    }

    void designValuesOfThePanBars() {
        QCOMPARE(panSteps(f->HScroll1), QList<int>({30000, 300, 3000}));
        QCOMPARE(panSteps(f->VScroll1), QList<int>({32767, 1, 20}));
        QCOMPARE(f->HScrTime->value(), 1000);
        QCOMPARE(f->HScrOb->Min(), 1);
    }

    void loadAndResizeFor1024x768() {
        const LoadGeometry g = mainWindowLoadGeometry(1024, 768);
        QCOMPARE(g.width, 15160.0f);
        QCOMPARE(g.height, 11020.0f);
        QCOMPARE(g.left, 50.0f);
        QCOMPARE(g.top, 50.0f);
        const ResizeLayout l = mainWindowResizeLayout(g.width, g.height);
        QVERIFY(qAbs(l.W - 1010.67f) < 0.01f);
        QVERIFY(qAbs(l.H - 734.67f) < 0.01f);
        QVERIFY(qAbs(l.frameTop - 571.67f) < 0.01f);
        QVERIFY(qAbs(l.hscrollTop - 556.67f) < 0.01f);
        QVERIFY(qAbs(l.hscrollWidth - 985.67f) < 0.01f);
        QVERIFY(qAbs(l.vscrollLeft - 985.67f) < 0.01f);
        QVERIFY(l.vscrollHeightSet);
        QVERIFY(qAbs(l.vscrollHeight - 551.67f) < 0.01f);
        // 183 pixels or less: the vertical bar keeps its height.
        QVERIFY(!mainWindowResizeLayout(15000, 183 * 15).vscrollHeightSet);
        QVERIFY(mainWindowResizeLayout(15000, 184 * 15).vscrollHeightSet);
    }

    // The load rule gives the outer size, title bar and borders included; widening the window
    // afterwards leaves the panel at its height.
    void loadSizeIsTheOuterSize() {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const LoadGeometry g = mainWindowLoadGeometry(screen.width(), screen.height());
        QVERIFY(QTest::qWaitForWindowExposed(f));
        QVERIFY(f->frameGeometry().height() > f->height()); // the window has its frame
        QCOMPARE(f->frameGeometry().size(),
                 QSize(int(std::lround(g.width / 15)), int(std::lround(g.height / 15))));
        const int panelTop = f->Frm1->y();
        const QImage before = f->centralWidget()->grab().toImage();
        f->resize(f->width() + 10, f->height());
        QCOMPARE(f->Frm1->y(), panelTop);
        // What the panel shows sits where it sat.
        const QImage after = f->centralWidget()->grab().toImage();
        const QRect panel = f->Frm1->geometry() & before.rect();
        QCOMPARE(after.copy(panel), before.copy(panel));
    }

    void windowFollowsTheLayoutOnResize() {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(f->widthTwips(), float(screen.width() * 15 - 200));
        const ResizeLayout l = mainWindowResizeLayout(f->widthTwips(), f->heightTwips());
        QCOMPARE(f->Frm1->y(), int(std::lround(l.frameTop)));
        QCOMPARE(f->HScroll1->width(), int(std::lround(l.hscrollWidth)));
        f->resize(700, 500);
        QCOMPARE(f->widthTwips(), float(f->frameGeometry().width() * 15));
        QCOMPARE(f->VScroll1->x(), int(std::lround(f->frameGeometry().width() - 25.0)));
        QCOMPARE(f->Frm1->y(), int(std::lround(f->frameGeometry().height() - 163.0)));
    }

    void panelStaysInsideATallerChrome() {
        // Where caption and menu take more than the layout counts (here a tool bar adds to
        // them) the panel's controls still end inside the window.
        f->resize(900, 620);
        const int before = f->Frm1->y();
        QToolBar* bar = f->addToolBar(QStringLiteral("extra"));
        bar->addAction(QStringLiteral("x"));
        bar->setMinimumHeight(60);
        bar->show();
        f->resize(900, 621);
        QWidget* client = f->centralWidget();
        const int lowest = f->Frm1->y() + f->Frm1->childrenRect().bottom();
        QVERIFY2(lowest < client->height(), qPrintable(QString("%1 >= %2").arg(lowest).arg(client->height())));
        QVERIFY(f->Frm1->y() < before);
        // The pan bar keeps its place just above the panel.
        QCOMPARE(f->Frm1->y() - f->HScroll1->y(), 15);
    }

    void menuTree() {
        QStringList top;
        for (QAction* a : f->menuBar()->actions())
            top << a->text();
        QCOMPARE(top, QStringList({"Меню", "Файл", "Выравнивание", "Vorlan", "Фотометрия", "?", "Выход", "Координаты"}));
        auto captions = [](QMenu* m) {
            QStringList c;
            for (QAction* a : m->actions())
                c << (a->isSeparator() ? QString("-") : a->text());
            return c;
        };
        QCOMPARE(captions(f->Menu), QStringList({"Загрузить первый снимок...", "Загрузить второй снимок или карту...",
                                                 "Загрузить третий снимок", "Показать рамку"}));
        QCOMPARE(captions(f->mnuFile), QStringList({"Открыть файл *.vln...", "Записать файл *.vln...", "-",
                                                    "Открыть серию снимков...", "-", "Записать мигание в GIF...",
                                                    "Копировать кадр"}));
        QCOMPARE(captions(f->mnuViravnivanie),
                 QStringList({"отмечать вторые точки", "Выровнять 2 снимок по 1", "Выровнять 3 снимок по 1",
                              "Совместить автоматически", "-", "Ввести координаты выделенных точек(1)...",
                              "Определить координаты по звёздам...", "-", "Найти движущиеся объекты",
                              "Искать слабые движущиеся объекты в серии...", "Копировать строку отчёта"}));
        QCOMPARE(captions(f->mnuVL), QStringList({"1 - 2", "1 - 3", "1 - 2 - 3", "-", "Выравнивать яркость",
                                                  "Разность", "-", "Весь снимок в окне", "-",
                                                  "Настройки...", "Файл орбит малых планет...",
                                                  "Показывать известные объекты"}));
        QCOMPARE(captions(f->mnuHelp), QStringList({"справка по Vorlan", "справка по фотометрии"}));
        QVERIFY(f->Open1File->isEnabled());
        QVERIFY(!f->Open2File->isEnabled());
        QVERIFY(!f->Open3File->isEnabled());
        QVERIFY(!f->mnuKoordinat->isEnabled());
        QVERIFY(!f->mnuAutoSovm->isEnabled());
        QVERIFY(!f->mnuSolve->isEnabled());
        QVERIFY(f->mnuVL_1_2->isChecked());
        QVERIFY(!f->mnuVL_1_3->isChecked());
        QVERIFY(!f->mnuVL_1_2_3->isChecked() && !f->mnuVL_1_2_3->isEnabled());
        QVERIFY(!f->mnuJarkost->isChecked() && !f->mnuRaznost->isChecked());
        QVERIFY(!f->mnuRamka->isChecked());
        QVERIFY(!f->mnuVirovnjat2t->isChecked());
        QVERIFY(f->mnuVirovnjat2t->isVisible());
        QCOMPARE(f->findChild<QAction*>("mnuViravnivanie_vvod_koord"), f->mnuViravnivanie_vvod_koord);
        QCOMPARE(f->windowTitle(), QString("Vorlan"));
    }

    void panelCaptionsAndTips() {
        QCOMPARE(f->lblVvod1->text(), QString("Точка  1"));
        QCOMPARE(f->lblVvod1->backColor(), QColor(255, 0, 255));
        QCOMPARE(f->lblVvod2->backColor(), QColor(255, 128, 255));
        QCOMPARE(f->CmdStart->text(), QString("ПУСК"));
        QCOMPARE(f->CmdStart->toolTip(), QString("Пуск или Стоп"));
        QCOMPARE(f->cmdSbros->toolTip(), QString("Сброс всех параметров!!"));
        QCOMPARE(f->Label6->text(), QString("1"));
        QCOMPARE(f->LBLk1->text(), QString(" 1"));
        QCOMPARE(f->Lbl1->text(), QString("1Ф"));
        QVERIFY(f->Lbl1->font().bold());
        QCOMPARE(f->findChild<QWidget*>("Frm1"), static_cast<QWidget*>(f->Frm1));
        QCOMPARE(f->CmdStart->geometry(), QRect(520, 56, 113, 41));
        QCOMPARE(f->Frm1->x(), 0);
    }

    void openingMenuOrFileStopsBlinking() {
        for (QMenu* m : {f->Menu, f->mnuFile}) {
            f->CmdStart->setText("СТОП");
            f->setTimerInterval(500);
            emit m->aboutToShow();
            QCOMPARE(f->CmdStart->text(), QString("ПУСК"));
            QCOMPARE(f->timerInterval(), 0);
            QVERIFY(!f->Timer1->isActive());
        }
        f->CmdStart->setText("СТОП");
        f->setTimerInterval(500);
        emit f->mnuVL->aboutToShow();
        emit f->mnuHelp->aboutToShow();
        QCOMPARE(f->CmdStart->text(), QString("СТОП"));
        QCOMPARE(f->timerInterval(), 500);
    }

    void alignmentMenuEnablesCoordinatesOnlyWithBothPoints() {
        SharedState& s = State();
        s.Point1X1 = 100;
        s.Point1Y1 = 200;
        s.Point2X1 = 300;
        s.Point2Y1 = 0; // point 2 touches the top edge
        emit f->mnuViravnivanie->aboutToShow();
        QVERIFY(!f->mnuViravnivanie_vvod_koord->isEnabled());
        QVERIFY(!f->mnuKoordinat->isEnabled());
        s.Point2Y1 = 400;
        emit f->mnuViravnivanie->aboutToShow();
        QVERIFY(f->mnuViravnivanie_vvod_koord->isEnabled());
        QVERIFY(f->mnuKoordinat->isEnabled());
        s.Point1X1 = 0;
        emit f->mnuViravnivanie->aboutToShow();
        QVERIFY(!f->mnuKoordinat->isEnabled());
    }

    void markerBoxItemShowsAndHidesAllSixLines() {
        f->mnuRamka->trigger();
        QVERIFY(f->mnuRamka->isChecked());
        for (int i = 0; i < 6; ++i)
            QVERIFY(f->Line4->isLineVisible(i));
        f->mnuRamka->trigger();
        QVERIFY(!f->mnuRamka->isChecked());
        for (int i = 0; i < 6; ++i)
            QVERIFY(!f->Line4->isLineVisible(i));
    }

    void blinkPairItemsSwap() {
        f->Img2->show();
        f->Img3->show();
        f->mnuVL_1_2->trigger(); // ticked: switches to 1-3, hides Img3
        QVERIFY(!f->mnuVL_1_2->isChecked());
        QVERIFY(f->mnuVL_1_3->isChecked());
        QVERIFY(f->Img3->isHidden());
        QVERIFY(!f->Img2->isHidden());
        f->mnuVL_1_2->trigger(); // unticked: back to 1-2
        QVERIFY(f->mnuVL_1_2->isChecked());
        QVERIFY(!f->mnuVL_1_3->isChecked());
        f->Img2->show();
        f->mnuVL_1_3->trigger(); // 1-3 unticked: now 1-3, hides Img2
        QVERIFY(f->mnuVL_1_3->isChecked());
        QVERIFY(!f->mnuVL_1_2->isChecked());
        QVERIFY(f->Img2->isHidden());
        f->mnuVL_1_3->trigger(); // ticked: back to 1-2
        QVERIFY(f->mnuVL_1_2->isChecked() != f->mnuVL_1_3->isChecked());
        QVERIFY(f->mnuVL_1_2->isChecked());
    }

    void txtInfoToolTipFollowsItsText() {
        f->txtInfo->setPlainText("центр: 05h 34.5m  +22°01'");
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), f->txtInfo->viewport()->mapToGlobal(QPointF(5, 5)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(f->txtInfo->viewport(), &move);
        QCOMPARE(f->txtInfo->toolTip(), f->txtInfo->toPlainText());
    }

    void exitClosesEveryWindow() {
        QWidget other;
        other.show();
        f->ExitProgram->trigger();
        QVERIFY(!f->isVisible());
        QVERIFY(!other.isVisible());
    }

    void guardReportsAThrowingHandlerAndGoesOn() {
        QPushButton b;
        int after = 0;
        connect(&b, &QPushButton::clicked, &b, guard([] { throw VorlanError(11, "Деление на ноль"); }));
        connect(&b, &QPushButton::clicked, &b, guard([&after] { ++after; }));
        b.click();
        QCOMPARE(prompter->messages.size(), 1);
        QVERIFY(prompter->messages[0].contains("11"));
        QVERIFY(prompter->messages[0].contains("Деление на ноль"));
        QCOMPARE(prompter->icons[0], QMessageBox::Critical);
        QCOMPARE(after, 1);
        b.click();
        QCOMPARE(prompter->messages.size(), 2);
        QVERIFY(!runGuarded([] { throw std::runtime_error("boom"); }));
        QVERIFY(prompter->messages.last().contains("boom"));
        QVERIFY(runGuarded([] {}));

    }

    void zeroIntervalStopsTheTimer() {
        f->setTimerInterval(100);
        QVERIFY(f->Timer1->isActive());
        f->setTimerInterval(0);
        QVERIFY(!f->Timer1->isActive());
        QCOMPARE(f->timerInterval(), 0);
    }
    // ---- what a newcomer meets first
    void wholePictureAndWheelKeepTheRegistration() {
        load(1, "one.png", starField(1500, 1100, {{200, 150, 5}, {700, 420, 6}}));
        load(2, "two.png", starField(1560, 1150, {{237, 173, 5}, {737, 443, 6}}));
        mark(1, 1, QPointF(200, 150));
        mark(2, 1, QPointF(237, 173));
        QTest::mouseClick(f->CmdSovm, Qt::LeftButton);
        activate();
        clickHandle(f->HScrTime);
        typeKey(f, Qt::Key_F);
        const float fit = std::min(f->pictureArea->width() / 1500.0f, f->pictureArea->height() / 1100.0f);
        QCOMPARE(State().DisplayScale1, fit);
        auto starAt = [this](int slot, QPointF near) { // where the area shows it, slot selected
            QTest::mouseClick(f->Lbl(slot), Qt::LeftButton);
            return spotCentre(f->pictureArea->grab().toImage(), near, 6);
        };
        const QPointF cursor = starAt(1, QPointF(700.5, 420.5) * fit), other = starAt(1, QPointF(200, 150) * fit);
        turnWheel(f->pictureArea, cursor.toPoint(), 1); // away from the user, over a star
        QCOMPARE(State().DisplayScale1, fit * 1.25f);
        for (int slot : {1, 2}) // the star stays under the mouse, the other moves away from it
            for (QPointF at : {cursor, cursor + (other - cursor) * 1.25})
                QVERIFY(QLineF(starAt(slot, at), at).length() < 1);
    }

    void keysKeepTheirMeaningInTheControls() {
        load(1, "small.png", starField(300, 200, {}));
        activate();
        QTest::mouseClick(f->txtInfo->viewport(), Qt::LeftButton);
        typeKey(f, Qt::Key_F);
        typeKey(f, Qt::Key_Space);
        QVERIFY(f->txtInfo->toPlainText() == "f " && !f->isBlinking() && State().DisplayScale1 == 1.0f);
        clickHandle(f->HScr2);
        typeKey(f, Qt::Key_Space);
        QVERIFY(f->isBlinking());
        typeKey(f, Qt::Key_F);
        QCOMPARE(State().DisplayScale1, std::min({f->pictureArea->width() / 300.0f, f->pictureArea->height() / 200.0f, 3.0f}));
        prompter->openNames.enqueue(savePicture(dir, "next.png", starField(320, 240, {})));
        typeKey(f, Qt::Key_O, Qt::ControlModifier); // stops blinking as the menu would
        QVERIFY(!f->isBlinking() && f->Img1->picture().width() == 320);
        typeKey(f, Qt::Key_F1);
        QVERIFY(NotepadExists() && Notepad().isVisible());
    }

    void pictureDialogStartsWhereTheLastPictureWas() {
        QVERIFY(QDir(dir.path()).mkpath("night"));
        prompter->openNames.enqueue(savePicture(dir, "night/one.png", starField(64, 48, {})));
        QVERIFY(chooseMenuItem(f, f->Menu, f->Open1File) && chooseMenuItem(f, f->Menu, f->Open2File));
        QCOMPARE(prompter->dialogFolders, QStringList({QDir::homePath(), dir.filePath("night")}));
        const QStringList filters = prompter->dialogFilters.value(0).split(";;");
        QCOMPARE(filters.mid(1, 2), QStringList({"(*.jpg) (*.jpg)", "(*.bmp) (*.bmp)"}));
        for (const char* pattern : {"*.fits", "*.fz", "*.jpg", "*.bmp", "*.png", "*.tif"})
            QVERIFY2(filters[0].startsWith("Все снимки (") && filters[0].contains(QString(pattern) + " "), pattern);
    }

    void helpAndVersionWithoutADisplay() {
        auto said = [](const QStringList& arguments) {
            QProcess vorlan;
            vorlan.setProcessEnvironment(QProcessEnvironment()); // no display, no platform named
            vorlan.start(VORLAN_BINARY, arguments);
            const bool ok = vorlan.waitForFinished(30000) && vorlan.exitStatus() == 0 && vorlan.exitCode() == 0;
            return ok ? QString::fromUtf8(vorlan.readAllStandardOutput()) : QString("failed");
        };
        QVERIFY(said({"--help"}).contains(QRegularExpression("^Использование: \\S*vorlan \\[параметры\\] \\[ФАЙЛ...\\]\\n"
                                                             "Поочерёдный показ \\(блинк\\)")));
        QVERIFY(said({"--version"}).contains(QRegularExpression("^Vorlan \\d+\\.\\d+(\\.\\d+)?\\n$")));
        // Qt's own option is known only to the QApplication, which then answers.
        QVERIFY(said({"-platform", "offscreen", "-v"}).startsWith("Vorlan "));
    }

    // Last: the translations stay installed for the rest of the run.
    void standardDialogsSpeakRussian() {
        QVERIFY(installQtTranslations(*qApp));
        QMessageBox box(QMessageBox::Question, "Vorlan", "?", QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text() + box.button(QMessageBox::No)->text(), QString("&Да&Нет"));
    }

  private:
    /// The window in front, as a user's is: its shortcuts act only then.
    void activate() {
        f->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
