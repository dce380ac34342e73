// The orbit files as the user gets them from the Minor Planet Center: MPCORB with its header,
// gzip-compressed, a daily file without header, comet elements; damaged lines counted and passed
// over; the cache used while the source stays as it was and rebuilt when it changes; a stop.

#include "common/jobrunner.h"
#include "sky/orbitfile.h"
#include "support/datatable.h"
#include "support/orbitlines.h"

#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <zlib.h>

using namespace vorlan;
using namespace vorlan::test;

namespace {

void writeFile(const QString& path, const QByteArray& bytes, bool gzip = false) {
    if (gzip) {
        gzFile z = gzopen(QFile::encodeName(path).constData(), "wb");
        gzwrite(z, bytes.constData(), unsigned(bytes.size()));
        gzclose(z);
        return;
    }
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

const QByteArray Ceres = mpcorbLine("00001", 3.34, 188.70269, 73.27343, 80.25221, 10.58780, 0.0794013, 2.7660512);
const QByteArray Provisional = mpcorbLine("K24A01B", 18.2, 10, 20, 30, 5, 0.15, 2.4, "K263F", '5');
const QByteArray HaleBopp = cometLine("CJ95O010", 1997, 3, 29.6323, 0.916413, 0.994915, 130.6086, 283.3442, 88.9906);
const QByteArray Halley = cometLine("0001P", 1986, 2, 5.468, 0.574564, 0.967933, 111.8573, 59.574, 162.195);

} // namespace

class TestOrbitFile : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void files_data() {
        DataTable<QByteArray, bool, QStringList, int>("content", "gzip", "designations", "skipped")
            .row("MPCORB with its header", mpcorbHeader() + Ceres + Provisional, false, {"00001", "K24A01B"}, 0)
            .row("compressed MPCORB", mpcorbHeader() + Ceres + Provisional, true, {"00001", "K24A01B"}, 0)
            .row("daily file, CR LF, no header", QByteArray(Provisional).replace("\n", "\r\n") + Ceres, false,
                 {"K24A01B", "00001"}, 0)
            .row("comet elements", HaleBopp + "\n" + Halley, false, {"CJ95O010", "0001P"}, 0)
            .row("cut line and garbled number skipped",
                 Ceres.left(80) + "\n" + QByteArray(Provisional).replace("0.1500000", "0.15O0000") + Ceres, false,
                 {"00001"}, 2)
            .row("hyperbolic asteroid line refused", QByteArray(Ceres).replace("0.0794013", "1.0794013") + HaleBopp,
                 false, {"CJ95O010"}, 1);
    }
    void files() {
        QFETCH(QByteArray, content);
        QFETCH(bool, gzip);
        QFETCH(QStringList, designations);
        QFETCH(int, skipped);
        QTemporaryDir dir;
        const QString path = dir.filePath(gzip ? "MPCORB.DAT.gz" : "orbits.txt");
        writeFile(path, content, gzip);
        const Outcome<OrbitCatalogue> c = readOrbitFile(path);
        QVERIFY2(c.ok(), qPrintable(c.reason()));
        QStringList read;
        for (const OrbitRecord& o : c.value().orbits)
            read << o.packedDesignation();
        QCOMPARE(read, designations);
        QCOMPARE(c.value().skipped, skipped);
    }

    void cacheFollowsTheSource() {
        QTemporaryDir dir;
        const QString path = dir.filePath("NEA.txt");
        writeFile(path, Ceres + Provisional + "garbage\n");
        QFile::remove(orbitCachePath(path));
        const Outcome<OrbitCatalogue> first = loadOrbitFile(path);
        QVERIFY(first.ok() && !first.value().fromCache);
        QVERIFY(QFile::exists(orbitCachePath(path)));
        const Outcome<OrbitCatalogue> again = loadOrbitFile(path);
        QVERIFY(again.ok() && again.value().fromCache);
        QCOMPARE(again.value().skipped, 1);
        QCOMPARE(again.value().orbits.size(), std::size_t(2));
        QCOMPARE(std::memcmp(again.value().orbits.data(), first.value().orbits.data(), 2 * sizeof(OrbitRecord)), 0);

        // Same size and time, other first bytes: parsed afresh.
        const QDateTime modified = QFileInfo(path).lastModified();
        writeFile(path, QByteArray(Ceres).replace("3.34", "3.35") + Provisional + "garbage\n");
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(modified, QFileDevice::FileModificationTime));
        f.close();
        const Outcome<OrbitCatalogue> changed = loadOrbitFile(path);
        QVERIFY(changed.ok() && !changed.value().fromCache);
        QCOMPARE(changed.value().orbits[0].h, 3.35f);

        // A damaged cache is parsed over too.
        QFile cache(orbitCachePath(path));
        QVERIFY(cache.open(QIODevice::ReadWrite));
        cache.resize(cache.size() - 3);
        cache.close();
        QVERIFY(!loadOrbitFile(path).value().fromCache);
        QVERIFY(loadOrbitFile(path).value().fromCache);

        QCOMPARE(loadOrbitFile(dir.filePath("none")).failure().number, int(FileNotFound));
        writeFile(dir.filePath("empty.txt"), "nothing here\n");
        QCOMPARE(loadOrbitFile(dir.filePath("empty.txt")).failure().number, int(BadFile));
    }

    void stopThroughTheJobRunner() {
        QByteArray text;
        for (int i = 0; i < 200000; ++i)
            text += generatedMpcorbLine(i);
        QTemporaryDir dir;
        const QString path = dir.filePath("MPCORB.DAT");
        writeFile(path, text);
        JobRunner jobs;
        QSignalSpy progressed(&jobs, &JobRunner::progressed);
        std::optional<Outcome<OrbitCatalogue>> result;
        jobs.hold(true);
        QVERIFY(jobs.start("orbits", [&](JobControl& c) { result = loadOrbitFile(path, &c); }));
        QTest::qWait(50);
        jobs.requestStop();
        jobs.hold(false);
        QTRY_VERIFY(!jobs.busy());
        QVERIFY(result && result->ok());
        QVERIFY(result->value().stopped);
        QVERIFY(result->value().orbits.size() < 200000);
        QVERIFY(!QFile::exists(orbitCachePath(path)));

        QVERIFY(jobs.start("orbits", [&](JobControl& c) { result = loadOrbitFile(path, &c); }));
        QTRY_VERIFY_WITH_TIMEOUT(!jobs.busy(), 20000);
        QCOMPARE(result->value().orbits.size(), std::size_t(200000));
        QVERIFY(!progressed.isEmpty());
        QCOMPARE(progressed.last().at(2).toString(), QString("чтение орбит"));
    }
};

QTEST_GUILESS_MAIN(TestOrbitFile)
#include "tst_orbitfile.moc"
