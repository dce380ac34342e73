// Grey pictures held at one byte a pixel, against same-run baselines: the memory three grey
// 6000 x 4000 JPEG pictures hold against their grey bytes, loading one against a bare
// QImageReader decode, and repainting a grey picture at scales 0.25, 1 and 3 against a bare
// drawImage of the same picture in colour and against the frame showing it in colour.

#include "benchpictures.h"
#include "benchreport.h"
#include "shell/clicklabel.h"
#include "support/fixture.h"
#include "view/imageframe.h"

#include <QApplication>
#include <QImageReader>
#include <QRandomGenerator>
#include <benchmark/benchmark.h>
#include <cstdio>

using namespace vorlan;
using namespace vorlan::test;

namespace {

QStringList g_files;
QImage g_grey;   // file 1 as the slot holds it
QImage g_colour; // the same pixels as RGB32

/// Arguments: 0 grey, 1 colour; scale in per cent.
void BM_FrameRepaint(benchmark::State& state) {
    const QImage& picture = state.range(0) == 0 ? g_grey : g_colour;
    const double scale = state.range(1) / 100.0;
    ImageFrame frame;
    frame.resize(int(PicW * scale), int(PicH * scale));
    frame.setPicture(picture);
    QImage target(Area.size(), QImage::Format_RGB32);
    const QRect visible = QRect((QPointF(AreaOrigin) * scale).toPoint(), Area.size()) & frame.rect();
    for (auto _ : state) {
        // The frame keeps what it drew; this makes it draw the picture again, as after a zoom.
        frame.setSampling(Sampling::AreaAverage);
        frame.render(&target, QPoint(), QRegion(visible));
        benchmark::DoNotOptimize(target.constBits());
    }
    // The frame must really have drawn the picture: one pixel against the source pixels it shows
    // (their mean where they are drawn smaller).
    const QPoint probe(visible.width() / 2, visible.height() / 2);
    const QPoint at = visible.topLeft() + probe;
    const int cover = scale < 1 ? int(std::lround(1 / scale)) : 1; // picture pixels a side
    const QPoint src =
        scale < 1 ? at * cover : QPoint(int((at.x() + 0.5) / scale), int((at.y() + 0.5) / scale));
    int sum = 0;
    for (int y = 0; y < cover; ++y)
        for (int x = 0; x < cover; ++x)
            sum += qGray(g_colour.pixel(src + QPoint(x, y)));
    if (std::abs(qGray(target.pixel(probe)) - sum / (cover * cover)) > 1)
        state.SkipWithError("repaint does not show the picture");
}

/// Argument: scale in per cent. A bare drawImage of the colour picture into the same area.
void BM_BareDrawImage(benchmark::State& state) {
    const double scale = state.range(0) / 100.0;
    QImage target(Area.size(), QImage::Format_RGB32);
    const QRectF source(QPointF(AreaOrigin), QSizeF(Area.size()) / scale);
    for (auto _ : state) {
        QPainter p(&target);
        p.drawImage(QRectF(Area), g_colour, source & QRectF(g_colour.rect()));
        p.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}

BENCHMARK(BM_FrameRepaint)
    ->ArgsProduct({{0, 1}, {25, 100, 300}})
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareDrawImage)
    ->ArgsProduct({{25, 100, 300}})
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QImageReader::setAllocationLimit(0);
    QTemporaryDir dir;
    for (int i = 0; i < 3; ++i)
        g_files << savePicture(dir, QStringLiteral("mono%1.jpg").arg(i + 1),
                               noisyStarField(7001 + i).convertToFormat(QImage::Format_Grayscale8));
    g_grey = QImageReader(g_files[0]).read();
    if (g_grey.size() != QSize(PicW, PicH) || g_grey.format() != QImage::Format_Grayscale8) {
        std::fprintf(stderr, "the generated picture does not decode as a grey %dx%d picture\n", PicW, PicH);
        return 1;
    }
    g_colour = g_grey.convertToFormat(QImage::Format_RGB32);

    // Before any benchmark, so that their freed heap does not blur the figures.
    const LoadedMemory mem = measureLoading(g_files, [](frmBl& f) {
        for (int k = 1; k <= 3; ++k)
            if (f.Img(k)->picture().format() != QImage::Format_Grayscale8)
                return QStringLiteral("slot %1 not held grey").arg(k);
        return QString();
    });

    registerLoadBenchmarks(g_files[0],
                           [](const QImage& p) { return p.format() == QImage::Format_Grayscale8; });
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto t = [&](const std::string& name) { return reporter.ms.count(name) ? reporter.ms[name] : 0.0; };
    const double mb = 1024.0 * 1024.0;
    std::printf("\nGrey pictures, %dx%d grey JPEG, 1900x1000 picture area (median CPU times)\n", PicW, PicH);
    const double grey1 = t("BM_FrameRepaint/0/100");
    for (int scale : {25, 100, 300}) {
        const std::string s = std::to_string(scale);
        const double grey = t("BM_FrameRepaint/0/" + s), colour = t("BM_FrameRepaint/1/" + s);
        const double bare = t("BM_BareDrawImage/" + s);
        const std::string what = "grey repaint at scale " + std::to_string(scale / 100.0).substr(0, 4);
        ratioLine(what.c_str(), grey, "bare drawImage, colour", bare, 1.5, "ms");
        ratioLine(what.c_str(), grey, "frame showing colour", colour, 1.3, "ms");
        if (scale == 300) ratioLine(what.c_str(), grey, "grey repaint at scale 1", grey1, 1.3, "ms");
    }
    ratioLine("load slot 1, grey (menu, paint)", t("BM_LoadSlot"), "bare QImageReader", t("BM_BareDecode"),
              1.15, "ms");
    if (mem.problem.isEmpty()) {
        const double greyBytes = 3.0 * double(g_grey.sizeInBytes());
        std::printf("resident: empty window %.1f MB, three grey slots %.1f MB\n", mem.empty / mb,
                    mem.loaded / mb);
        ratioLine("memory, three grey slots above empty", (mem.loaded - mem.empty) / mb, "3 x grey bytes",
                  greyBytes / mb, 1.15, "MB");
    } else {
        std::printf("memory: not measured, %s\n", qPrintable(mem.problem));
    }
    return 0;
}
