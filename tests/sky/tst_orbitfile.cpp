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

void writeFile(const QString& path, const QByteArray& bytes, bool gzip = false, bool anotherMember = false) {
    if (gzip) {
        gzFile z = gzopen(QFile::encodeName(path).constData(), anotherMember ? "ab" : "wb");
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

    // The orientation from angles at and around the quarter turns, where the sines and cosines
    // change quadrant: the unit vectors turned by the angles with the library's sine and cosine.
    void orientation_data() {
        DataTable<double, double, double>("perihelion", "node", "inclination")
            .row("zero", 0, 0, 0)
            .row("quarter turns", 90, 180, 90)
            .row("three quarters", 270, 269.99999, 179.99999)
            .row("either side of 45°", 44.99999, 45.00001, 135.00001)
            .row("near a full turn", 359.99999, 315.5, 0.00001);
    }
    void orientation() {
        QFETCH(double, perihelion);
        QFETCH(double, node);
        QFETCH(double, inclination);
        const QByteArray line = mpcorbLine("00001", 3.34, 10, perihelion, node, inclination, 0.1, 2.5);
        const OrbitRecord r = parseOrbitText(line.constData(), std::size_t(line.size())).orbits.at(0);
        const auto turn = [](double* v, double degrees, int a, int b) { // in the plane of axes a, b
            const double c = std::cos(degrees * M_PI / 180), s = std::sin(degrees * M_PI / 180), va = v[a];
            v[a] = va * c - v[b] * s, v[b] = va * s + v[b] * c;
        };
        double p[3] = {1, 0, 0}, w[3] = {0, 1, 0};
        for (double* v : {p, w})
            turn(v, perihelion, 0, 1), turn(v, inclination, 1, 2), turn(v, node, 0, 1), turn(v, 84381.448 / 3600, 1, 2);
        for (int k = 0; k < 3; ++k)
            QVERIFY2(std::fabs(r.p[k] - p[k]) < 1e-15 && std::fabs(r.w[k] - w[k]) < 1e-15, qPrintable(QString::number(k)));
    }

    // Many blocks in two gzip members: every line once, in order, those across the blocks' ends
    // included; the file cut short is damaged.
    void largeCompressedFile() {
        QByteArray text[2];
        for (int i = 0; i < 9000; ++i)
            text[i / 4000 ? 1 : 0] += generatedMpcorbLine(i);
        QTemporaryDir dir;
        const QString path = dir.filePath("MPCORB.DAT.gz");
        writeFile(path, text[0], true);
        writeFile(path, text[1], true, true);
        const Outcome<OrbitCatalogue> c = readOrbitFile(path);
        QVERIFY2(c.ok() && c.value().orbits.size() == 9000 && c.value().skipped == 0, qPrintable(c.reason()));
        for (int i : {0, 3999, 4000, 5162, 8999})
            QCOMPARE(c.value().orbits[std::size_t(i)].packedDesignation(), QString::asprintf("%05d", i + 1));
        QVERIFY(QFile::resize(path, QFileInfo(path).size() - 100));
        QCOMPARE(readOrbitFile(path).failure().number, int(BadFile));
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
