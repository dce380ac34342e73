// The program as a newcomer first starts it: answers on the command line without a display, and
// Qt's own dialogs speaking the program's language.

#include "shell/commandline.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

using namespace vorlan;

class TestCommandLine : public QObject {
    Q_OBJECT
  private slots:
    void answersWithoutADisplay_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // a pattern standard output must match
        QTest::addColumn<bool>("quiet"); // nothing on standard error
        // The help in Russian, Qt's words of it too.
        const QString help = "^Использование: \\S*vorlan \\[параметры\\] \\[ФАЙЛ...\\]\\n"
                             "Поочерёдный показ \\(блинк\\)[^\\n]*\\n[\\s\\S]*-v, --version";
        QTest::newRow("--help") << QStringList{"--help"} << 0 << help << true;
        QTest::newRow("-h") << QStringList{"-h"} << 0 << help << true;
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "^Vorlan \\d+\\.\\d+(\\.\\d+)?\\n$" << true;
        // Qt's own option is known only to the QApplication, which then answers.
        QTest::newRow("with a Qt option") << QStringList{"-platform", "offscreen", "--version"} << 0
                                          << "^Vorlan \\d+" << false;
    }
    void answersWithoutADisplay() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(bool, quiet);
        QProcess vorlan;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(display);
        vorlan.setProcessEnvironment(env);
        vorlan.start(VORLAN_BINARY, arguments);
        QVERIFY(vorlan.waitForFinished(30000));
        QCOMPARE(vorlan.exitStatus(), QProcess::NormalExit);
        const QString said = QString::fromUtf8(vorlan.readAllStandardOutput());
        const QString complained = QString::fromUtf8(vorlan.readAllStandardError());
        QCOMPARE(vorlan.exitCode(), exitCode);
        QVERIFY2(QRegularExpression(out).match(said).hasMatch(), qPrintable(said));
        QVERIFY2(!quiet || complained.isEmpty(), qPrintable(complained));
    }

    void filesOrAWrongOption_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode"); // -1: goes on to the window
        QTest::addColumn<QStringList>("files");
        QTest::newRow("pictures") << QStringList{"vorlan", "m45-1.fits", "/sky/m45 2.jpg"} << -1
                                  << QStringList{"m45-1.fits", "/sky/m45 2.jpg"};
        QTest::newRow("nothing") << QStringList{"vorlan"} << -1 << QStringList{};
        QTest::newRow("a wrong option") << QStringList{"vorlan", "--blink-faster", "a.jpg"} << 1 << QStringList{};
    }
    void filesOrAWrongOption() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QStringList, files);
        const CommandLine line = readCommandLine(arguments);
        QCOMPARE(line.exitCode.value_or(-1), exitCode);
        QCOMPARE(line.files, files);
    }

    void standardDialogsSpeakRussian() {
        QVERIFY(installQtTranslations(*qApp));
        QMessageBox box(QMessageBox::Question, "Vorlan", "Файл уже существует. Заменить?",
                        QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text().remove('&'), QString("Да"));
        QCOMPARE(box.button(QMessageBox::No)->text().remove('&'), QString("Нет"));

        QFileDialog dialog(nullptr, "Открыть файл");
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        const auto* buttons = dialog.findChild<QDialogButtonBox*>();
        QVERIFY(buttons);
        QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text().remove('&'), QString("Отмена"));
        QCOMPARE(buttons->button(QDialogButtonBox::Open)->text().remove('&'), QString("Открыть"));
        const auto* lookIn = dialog.findChild<QLabel*>("lookInLabel");
        QVERIFY(lookIn && !lookIn->text().contains("Look in"));
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
