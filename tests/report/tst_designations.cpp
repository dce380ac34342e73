// Packed and readable designations, over the Minor Planet Center's own examples: each row packs
// one way and unpacks back, and puts the packed form in the right columns of a report line.

#include "report/designations.h"
#include "support/datatable.h"

#include <QtTest>

using namespace vorlan;
using vorlan::test::DataTable;

class TestDesignations : public QObject {
    Q_OBJECT

  private slots:
    void bothWays_data() {
        DataTable<QString, QString, QString>("readable", "packed", "columns")
            .row("small number", "(3202)", "03202", "03202       ")
            .row("five digits", "(50000)", "50000", "50000       ")
            .row("capital letter form", "(100345)", "A0345", "A0345       ")
            .row("capital K", "(203289)", "K3289", "K3289       ")
            .row("lower-case letter form", "(360017)", "a0017", "a0017       ")
            .row("last letter form", "(619999)", "z9999", "z9999       ")
            .row("first tilde", "(620000)", "~0000", "~0000       ")
            .row("tilde, last digit", "(620061)", "~000z", "~000z       ")
            .row("tilde, mixed", "(3140113)", "~AZaz", "~AZaz       ")
            .row("largest number", "(15396335)", "~zzzz", "~zzzz       ")
            .row("no cycle count", "1995 XA", "J95X00A", "     J95X00A")
            .row("cycle 1", "1995 XL1", "J95X01L", "     J95X01L")
            .row("cycle 13", "1995 FB13", "J95F13B", "     J95F13B")
            .row("cycle over 99", "1998 SQ108", "J98SA8Q", "     J98SA8Q")
            .row("cycle 127", "1998 SV127", "J98SC7V", "     J98SC7V")
            .row("cycle 162", "1998 SS162", "J98SG2S", "     J98SG2S")
            .row("21st century cycle", "2099 AZ193", "K99AJ3Z", "     K99AJ3Z")
            .row("cycle 360", "2008 AA360", "K08Aa0A", "     K08Aa0A")
            .row("cycle 418", "2007 TA418", "K07Tf8A", "     K07Tf8A")
            .row("19th century", "1898 DQ", "I98D00Q", "     I98D00Q")
            .row("Palomar-Leiden survey", "2040 P-L", "PLS2040", "     PLS2040")
            .row("first Trojan survey", "3138 T-1", "T1S3138", "     T1S3138")
            .row("second Trojan survey", "1010 T-2", "T2S1010", "     T2S1010")
            .row("third Trojan survey", "4101 T-3", "T3S4101", "     T3S4101")
            .row("long-period comet", "C/1995 O1", "CJ95O010", "    CJ95O010")
            .row("periodic comet, provisional", "P/1994 P1", "PJ94P010", "    PJ94P010")
            .row("comet fragment", "P/1994 P1-B", "PJ94P01b", "    PJ94P01b")
            .row("comet order over 99", "C/2019 Y104", "CK19YA40", "    CK19YA40")
            .row("numbered periodic comet", "1P", "0001P", "0001P       ")
            .row("defunct comet", "3D", "0003D", "0003D       ")
            .row("interstellar object", "2I", "0002I", "0002I       ");
    }
    void bothWays() {
        QFETCH(QString, readable);
        QFETCH(QString, packed);
        QFETCH(QString, columns);
        QCOMPARE(packDesignation(readable), packed);
        QCOMPARE(unpackDesignation(packed), readable);
        QCOMPARE(reportDesignationColumns(packed), columns);
    }

    void refused_data() {
        DataTable<QString>("text")
            .row("number zero", "0")
            .row("number past the tilde range", "15396336")
            .row("half-month I", "1995 IA")
            .row("second letter I", "1995 XI")
            .row("cycle past 619", "1995 XA620")
            .row("year before 1800", "1795 XA")
            .row("comet order zero", "C/1995 O0")
            .row("unknown survey", "2040 P-Q")
            .row("packed garbage", "J95X0!A")
            .row("empty", "");
    }
    void refused() {
        QFETCH(QString, text);
        QVERIFY(packDesignation(text).isEmpty());
        QVERIFY(unpackDesignation(text).isEmpty());
        QVERIFY(reportDesignationColumns(text).isEmpty());
    }

    void bareNumbersAndNamesAreRead() {
        QCOMPARE(packDesignation("433"), QString("00433"));
        QCOMPARE(packDesignation(" 1P/Halley "), QString("0001P"));
        QCOMPARE(unpackNumber("~0001"), std::optional<qint64>(620001));
        QCOMPARE(unpackNumber("00000"), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestDesignations)
#include "tst_designations.moc"
