#include "common/numberforms.h"
#include "common/textcodec.h"
#include "common/vbfilter.h"
#include "common/vorlanerror.h"
#include "support/datatable.h"

#include <QLocale>
#include <QtTest>

using namespace vorlan;

class TestNumberForms : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void integerConversions_data() {
        test::DataTable<double, double, double, qint64>("v", "intv", "fixv", "rounded")
            .row("2.5", 2.5, 2.0, 2.0, qint64(2))
            .row("3.5", 3.5, 3.0, 3.0, qint64(4))
            .row("-2.5", -2.5, -3.0, -2.0, qint64(-2))
            .row("-0.4", -0.4, -1.0, -0.0, qint64(0))
            .row("492.5", 492.5, 492.0, 492.0, qint64(492))
            .row("5015.5", 5015.5, 5015.0, 5015.0, qint64(5016));
    }
    void integerConversions() {
        QFETCH(double, v);
        QFETCH(double, intv);
        QFETCH(double, fixv);
        QFETCH(qint64, rounded);
        QCOMPARE(Int(v), intv);
        QCOMPARE(Fix(v), fixv);
        QCOMPARE(RoundHalfEven(v), rounded);
    }

    void roundingOverflowThrows() {
        QVERIFY_THROWS_EXCEPTION(VorlanError, RoundToInt16(32767.6));
        QCOMPARE(RoundToInt16(-32768.4), int16_t(-32768));
        QVERIFY_THROWS_EXCEPTION(VorlanError, RoundHalfEven(std::numeric_limits<double>::infinity()));
    }

    void patternForm_data() {
        QTest::addColumn<bool>("russian");
        QTest::addColumn<double>("v");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");
        for (bool ru : {true, false}) {
            const QString sep = ru ? "," : ".";
            const char* tag = ru ? "ru" : "c";
            QTest::addRow("%s 00.0 5", tag) << ru << 5.0 << "00.0" << "05" + sep + "0";
            QTest::addRow("%s 00.0 59.95 rolls over", tag) << ru << 59.95 << "00.0" << "60" + sep + "0";
            QTest::addRow("%s 00.0 34.5", tag) << ru << 34.5 << "00.0" << "34" + sep + "5";
            QTest::addRow("%s 0.000", tag) << ru << 10.0004 << "0.000" << "10" + sep + "000";
            QTest::addRow("%s 0.000 negative", tag) << ru << -1.2345 << "0.000" << "-1" + sep + "235";
            QTest::addRow("%s 0.0 half up", tag) << ru << 0.25 << "0.0" << "0" + sep + "3";
        }
        QTest::newRow("00 minutes 59.5 rounds to 60") << true << 59.5 << "00" << "60";
        QTest::newRow("00 pads") << true << 1.0 << "00" << "01";
        QTest::newRow("00 wide") << true << 123.0 << "00" << "123";
        QTest::newRow("zero is unsigned") << true << -0.0001 << "0.0" << "0,0";
    }
    void patternForm() {
        QFETCH(bool, russian);
        QLocale::setDefault(russian ? QLocale(QLocale::Russian, QLocale::Russia) : QLocale::c());
        QFETCH(double, v);
        QFETCH(QString, pattern);
        QFETCH(QString, expected);
        QCOMPARE(PatternForm(v, pattern), expected);
    }

    void invariantShortForm_data() {
        test::DataTable<float, QString>("v", "expected")
            .row("half", 0.5f, " .5")
            .row("minus half", -0.5f, "-.5")
            .row("zero", 0.0f, " 0")
            .row("whole", 1234.0f, " 1234")
            .row("fraction", 1.5f, " 1.5")
            .row("seven digits", 1234567.0f, " 1234567")
            .row("large", 12345678.0f, " 1.234568E+07")
            .row("small", 0.00001f, " 1E-05")
            .row("tenth keeps 7 digits", 0.1f, " .1")
            .row("negative large", -1.5e8f, "-1.5E+08");
    }
    void invariantShortForm() {
        QLocale::setDefault(QLocale(QLocale::Russian));
        QFETCH(float, v);
        QFETCH(QString, expected);
        QCOMPARE(InvariantShortForm(v), expected);
    }

    void localeAndGeneralForms() {
        QLocale::setDefault(QLocale(QLocale::Russian));
        QCOMPARE(LocaleForm(82.5), QString("82,5"));
        QCOMPARE(LocaleForm(1.5), QString("1,5"));
        QCOMPARE(LocaleForm(-0.25), QString("-0,25"));
        QCOMPARE(GeneralForm(1.5f), QString("1,5"));
        QCOMPARE(GeneralForm(0.8f), QString("0,8"));
        QCOMPARE(GeneralForm(2.25f), QString("2,25"));
        QCOMPARE(GeneralForm(1.0f), QString("1"));
        QLocale::setDefault(QLocale::c());
        QCOMPARE(LocaleForm(82.5), QString("82.5"));
        QCOMPARE(GeneralForm(2.7f), QString("2.7"));
    }

    void leadingNumber_data() {
        test::DataTable<QString, double>("text", "expected")
            .row("12abc", "12abc", 12.0)
            .row("-.5e1x", "-.5e1x", -5.0)
            .row("empty", "", 0.0)
            .row("abc", "abc", 0.0)
            .row("leading blanks", "   7.25", 7.25)
            .row("comma stops", "1,5", 1.0)
            .row("plus sign", "+3", 3.0)
            .row("lone sign", "-", 0.0)
            .row("-0", "-0", 0.0)
            .row("dangling exponent", "12e", 12.0)
            .row("exponent sign only", "2e+x", 2.0)
            .row("point only", ".", 0.0)
            .row("negative exponent", "15E-1", 1.5);
    }
    void leadingNumber() {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(LeadingNumber(text), expected);
    }

    void leadingNumberOverflowThrows() { QVERIFY_THROWS_EXCEPTION(VorlanError, LeadingNumber("1e999")); }

    void checkedArithmetic() {
        QVERIFY_THROWS_EXCEPTION(VorlanError, checkedDivide(1, 0));
        QVERIFY_THROWS_EXCEPTION(VorlanError, checkedDivide(0, 0));
        QCOMPARE(checkedDivide(3, 2), 1.5);
        try {
            checkedDivide(1, 0);
        } catch (const VorlanError& e) {
            QCOMPARE(e.number(), int(DivisionByZero));
        }
    }

    void textCodecs() {
        const QString russian = QString::fromUtf8("Привет, звёзды");
        QStringEncoder cp1251("windows-1251");
        const QByteArray legacy = cp1251.encode(russian);
        QCOMPARE(detectEncoding(legacy), TextEncoding::Windows1251);
        QCOMPARE(decodeText(legacy), russian);
        QCOMPARE(detectEncoding(russian.toUtf8()), TextEncoding::Utf8);
        QCOMPARE(decodeText(russian.toUtf8()), russian);
        // Fits the single-byte page: written in it.
        QCOMPARE(encodeText(russian), legacy);
        // A character outside it: UTF-8, never "?".
        const QString mixed = russian + QString::fromUtf8(" ★");
        QCOMPARE(encodeText(mixed), mixed.toUtf8());
        QCOMPARE(encodeText(mixed, TextEncoding::Windows1251), mixed.toUtf8());
    }

    void fileFilters() {
        QCOMPARE(qtFileFilter("(*.jpg)|*.jpg|(*.bmp)|*.bmp|(*.*)|*.*"),
                 QString("(*.jpg) (*.jpg);;(*.bmp) (*.bmp);;(*.*) (*)"));
    }
};

QTEST_GUILESS_MAIN(TestNumberForms)
#include "tst_numberforms.moc"
