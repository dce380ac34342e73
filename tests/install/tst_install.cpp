// The installed program as the desktop sees it: files in their places, and the file manager's
// MIME machinery resolving pictures, FITS files and projects to types the desktop entry opens.

#include "support/datatable.h"

#include <QMap>
#include <QMimeDatabase>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestInstall : public QObject {
    Q_OBJECT
    QTemporaryDir stage;
    QString share;

  private slots:
    void initTestCase() {
        QProcess install;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DESTDIR", stage.path());
        install.setProcessEnvironment(env);
        install.start(VORLAN_CMAKE, {"--install", VORLAN_BUILD_DIR, "--prefix", "/usr"});
        QVERIFY(install.waitForFinished(60000));
        QCOMPARE(install.exitCode(), 0);
        share = stage.filePath("usr/share");
        QVERIFY(QFileInfo(stage.filePath("usr/bin/vorlan")).isExecutable());
        QVERIFY(QFile::exists(share + "/icons/hicolor/scalable/apps/vorlan.svg"));
        // The subcommands' manual, where man looks for it.
        QFile manual(share + "/man/man1/vorlan.1");
        QVERIFY(manual.open(QIODevice::ReadOnly));
        QVERIFY(manual.readLine().startsWith(".TH VORLAN 1 "));
        // A staged install leaves the MIME cache to the package; build it here as a package would.
        QCOMPARE(QProcess::execute("update-mime-database", {share + "/mime"}), 0);
        qputenv("XDG_DATA_DIRS", (share + ":/usr/share").toUtf8());
        qputenv("XDG_DATA_HOME", stage.filePath("home").toUtf8());
    }

    void filesOpenWithVorlan_data() {
        vorlan::test::DataTable<QString, QString>("name", "type")
            .row("project", "comet.vln", "application/x-vorlan-project")
            .row("FITS", "m31.fits", "application/fits")
            .row("FITS, short name", "m31.fit", "application/fits")
            .row("FITS, tile-compressed", "m31.fz", "application/fits")
            .row("JPEG", "m31.jpg", "image/jpeg")
            .row("16-bit TIFF", "m31.tif", "image/tiff")
            .row("PNG", "m31.png", "image/png")
            .row("BMP", "m31.bmp", "image/bmp");
    }
    void filesOpenWithVorlan() {
        QFETCH(QString, name);
        QFETCH(QString, type);
        const QMimeType mime = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
        QCOMPARE(mime.name(), type);
        QFile file(share + "/applications/vorlan.desktop");
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QMap<QString, QString> entry; // key=value lines; ';' separates list items, it starts no comment
        for (const QString& line : QString::fromUtf8(file.readAll()).split('\n'))
            if (line.contains('=')) entry[line.section('=', 0, 0)] = line.section('=', 1);
        QCOMPARE(entry["Exec"], QString("vorlan %F"));
        QCOMPARE(entry["Icon"], QString("vorlan"));
        const QStringList opened = entry["MimeType"].split(';', Qt::SkipEmptyParts);
        QVERIFY2(opened.contains(type), qPrintable(opened.join(' ')));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
