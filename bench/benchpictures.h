#pragma once

// What the window benchmarks share: 6000 x 4000 sky photo stand-ins to decode, letting the
// window repaint, the picture area they draw into, and loading a slot against a bare decode.

#include "benchreport.h"
#include "support/fixture.h"
#include "view/imageframe.h"

#include <QImage>
#include <QImageReader>
#include <QPushButton>
#include <QRandomGenerator>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <functional>

namespace vorlan::test {

constexpr int PicW = 6000;
constexpr int PicH = 4000;
/// The picture area the repaint benchmarks draw into, and where it starts in the picture
/// (picture pixels at scale 1), so that the repaint reads from the middle of it.
inline const QRect Area(0, 0, 1900, 1000);
inline const QPoint AreaOrigin(1500, 1200);

/// A colour sky photo stand-in: sensor noise over a few thousand stars, so the JPEG decoder has real
/// detail to work through instead of flat black blocks.
inline QImage noisyStarField(quint32 seed) {
    QRandomGenerator rng(seed);
    QVector<Star> stars;
    for (int i = 0; i < 3000; ++i)
        stars.push_back({rng.bounded(double(PicW)), rng.bounded(double(PicH)), 1.5 + rng.bounded(5.0),
                         80 + int(rng.bounded(176))});
    QImage img = starField(PicW, PicH, stars);
    for (int y = 0; y < PicH; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < PicW; ++x) {
            // Each channel its own noise, as a colour sensor gives: the picture is held as colour.
            const quint32 n = rng.generate();
            const QRgb c = line[x];
            line[x] =
                qRgb(std::min(255, qRed(c) + int(n & 31)), std::min(255, qGreen(c) + int((n >> 5) & 31)),
                     std::min(255, qBlue(c) + int((n >> 10) & 31)));
        }
    }
    return img;
}

/// Starts f blinking and times one tick with the repaint it causes a round, after two untimed
/// ticks that draw both frames first.
inline void timeBlinkTicks(benchmark::State& state, frmBl& f) {
    f.CmdStart->click();
    for (int i = 0; i < 2; ++i) {
        f.Timer1_Timer();
        f.pictureArea->repaint();
    }
    for (auto _ : state) {
        f.Timer1_Timer();
        f.pictureArea->repaint();
    }
}

/// Resident memory of the program with the empty main window, and after files were loaded into
/// slots 1, 2, 3 in turn through the menu; problem says what went wrong (a message, or what
/// check found wrong with the loaded program), empty when nothing did.
struct LoadedMemory {
    long empty = 0, loaded = 0;
    QString problem;
};
inline LoadedMemory measureLoading(const QStringList& files, const std::function<QString(frmBl&)>& check) {
    LoadedMemory m;
    ScriptedPrompter prompter;
    frmBl& f = freshProgram();
    settle();
    m.empty = residentBytes();
    for (int k = 1; k <= int(files.size()); ++k)
        loadSlot(f, prompter, k, files[k - 1]);
    settle();
    m.loaded = residentBytes();
    m.problem = prompter.messages.isEmpty() ? check(f) : prompter.messages.join(QStringLiteral(" | "));
    DestroyMainForm();
    return m;
}

/// Registers BM_LoadSlot, loading file into slot 1 through the menu with the repaint that shows
/// it (it belongs to the load the user waits for), and its baseline BM_BareDecode, a bare
/// QImageReader decode of the same file. loaded says whether the slot holds the picture right.
inline void registerLoadBenchmarks(const QString& file, std::function<bool(const QImage&)> loaded) {
    benchmark::RegisterBenchmark("BM_BareDecode",
                                 [file](benchmark::State& state) {
                                     for (auto _ : state) {
                                         QImage img = QImageReader(file).read();
                                         if (img.isNull()) state.SkipWithError("decode failed");
                                         benchmark::DoNotOptimize(img.constBits());
                                     }
                                 })
        ->Repetitions(3)
        ->ReportAggregatesOnly(true)
        ->MinTime(1.0)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_LoadSlot",
                                 [file, loaded](benchmark::State& state) {
                                     ScriptedPrompter prompter;
                                     frmBl& f = freshProgram();
                                     settle();
                                     for (auto _ : state) {
                                         loadSlot(f, prompter, 1, file);
                                         settle();
                                     }
                                     if (!prompter.messages.isEmpty() || !loaded(f.Img1->picture()))
                                         state.SkipWithError("slot 1 did not load");
                                     DestroyMainForm();
                                 })
        ->Repetitions(3)
        ->ReportAggregatesOnly(true)
        ->MinTime(1.0)
        ->Unit(benchmark::kMillisecond);
}

} // namespace vorlan::test
