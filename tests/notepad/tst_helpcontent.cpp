#include "notepad/helpcontent.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTest>

using namespace vorlan;

class TestHelpContent : public QObject {
    Q_OBJECT
private slots:
    // The quoted lines must stand as whole lines, exactly and in this order.
    void mainHelpQuotedLinesInOrder() {
        const QStringList quoted{
            QString(42, u'='),
            QStringLiteral("     ПРОГРАММА  Vorlan"),
            QStringLiteral("версия 3.0"),
            QStringLiteral("   !!! в версии 3 добавлена возможность загрузки"),
            QStringLiteral("          РЕКОМЕНДАЦИИ"),
            QStringLiteral("   (МЕНЮ/ЗАГРУЗИТЬ ПЕРВЫЙ СНИМОК)"),
            QStringLiteral("    ВЫРАВНИВАНИЕ КАРТИНОК ПО ГОРИЗОНТАЛИ"),
            QStringLiteral("     (+) - CCW"),
            QStringLiteral("     (-) - CW"),
            QStringLiteral("   Совмещённые проекты можно сохранять в формате *.vln"),
        };
        const QStringList lines = MainHelpText().split(QStringLiteral("\r\n"));
        qsizetype at = 0;
        for (const QString& q : quoted) {
            const qsizetype found = lines.indexOf(q, at);
            QVERIFY2(found >= 0, qPrintable(q));
            at = found + 1;
        }
        QCOMPARE(lines.first(), QString(42, u'='));
        QCOMPARE(lines.mid(1, 5), QStringList({QString(), QStringLiteral("     ПРОГРАММА  Vorlan"), QString(),
                                               QStringLiteral("версия 3.0"), QString()}));
    }

    void mainHelpEndsWithoutLineBreak() {
        const QString text = MainHelpText();
        QVERIFY(text.endsWith(QStringLiteral("\r\n\r\n   Совмещённые проекты можно сохранять в формате *.vln")));
        QVERIFY(!text.contains(QRegularExpression(QStringLiteral("[^\\r]\\n|\\r[^\\n]"))));
    }

    void photometryHelp() {
        const QStringList lines = PhotometryHelpText().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 9 + 19 + 1); // every line ended by CR LF, so one empty piece after the last
        const QString sep(42, u'=');
        QCOMPARE(lines.mid(0, 9), QStringList({sep, QString(), QStringLiteral("     ПРОГРАММА  Vorlan"), QString(),
                                               QStringLiteral("версия 3.0"), QString(), sep,
                                               QStringLiteral("  Справка по фотометрии"), sep}));
        for (qsizetype i = 9; i < lines.size(); ++i)
            QVERIFY(lines[i].isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestHelpContent)
#include "tst_helpcontent.moc"
