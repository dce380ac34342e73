#include "blink/gifwriter.h"

#include "common/jobrunner.h"

#include "blink/framepalette.h"
#include "common/fileerror.h"
#include "view/picturerows.h"

#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <gif_lib.h>
#include <vector>

namespace vorlan {

namespace {

/// giflib's output, gathered into large blocks before they go to the file, so that a failed write
/// is seen with its errno.
struct GifSink {
    QSaveFile* file = nullptr;
    QByteArray pending;
    int errorNumber = 0;

    bool flush() {
        if (errorNumber) return false;
        errno = 0;
        if (!pending.isEmpty() && file->write(pending) != pending.size()) {
            errorNumber = errno ? errno : EIO;
            return false;
        }
        pending.clear();
        return true;
    }
};

constexpr qsizetype SinkBlock = 1 << 20;

int writeToSink(GifFileType* gif, const GifByteType* bytes, int count) {
    auto* sink = static_cast<GifSink*>(gif->UserData);
    sink->pending.append(reinterpret_cast<const char*>(bytes), count);
    if (sink->pending.size() >= SinkBlock && !sink->flush()) return 0;
    return count;
}

bool isGreyFrame(const QImage& frame) {
    if (isGreyPicture(frame)) return true;
    for (int y = 0; y < frame.height(); ++y) {
        const QRgb* row = pictureRow(frame, y).rgb;
        for (int x = 0; x < frame.width(); ++x)
            if (qRed(row[x]) != qBlue(row[x]) || qGreen(row[x]) != qBlue(row[x])) return false;
    }
    return true;
}

/// Turns rows of a frame into palette indices: the grey level itself, or the palette's entry.
class IndexRows {
  public:
    explicit IndexRows(const FramePalette* palette) : m_palette(palette) {}

    void fill(const QImage& frame, int y, GifPixelType* out) {
        const PictureRow row = pictureRow(frame, y);
        const int w = frame.width();
        if (row.grey) {
            std::memcpy(out, row.grey, size_t(w));
        } else if (!m_palette) {
            for (int x = 0; x < w; ++x)
                out[x] = GifPixelType(row.rgb[x] & 0xff);
        } else {
            for (int x = 0; x < w; ++x) {
                const QRgb c = row.rgb[x] & 0xffffffu;
                if (c != m_last) {
                    m_last = c;
                    m_lastIndex = m_palette->index(c);
                }
                out[x] = m_lastIndex;
            }
        }
    }

  private:
    const FramePalette* m_palette;
    QRgb m_last = 0xffffffffu; // no colour of a frame: alpha is masked off
    GifPixelType m_lastIndex = 0;
};

ColorMapObject* makeColourMap(const QVector<QRgb>& colours) {
    int size = 2; // GIF colour tables hold a power of two entries
    while (size < colours.size())
        size *= 2;
    std::vector<GifColorType> table(size_t(size), GifColorType{0, 0, 0});
    for (qsizetype i = 0; i < colours.size(); ++i)
        table[size_t(i)] = {GifByteType(qRed(colours[i])), GifByteType(qGreen(colours[i])),
                            GifByteType(qBlue(colours[i]))};
    return GifMakeMapObject(size, table.data());
}

QVector<QRgb> greyLevels() {
    QVector<QRgb> levels;
    for (int v = 0; v < 256; ++v)
        levels.push_back(greyColour(uchar(v)));
    return levels;
}

/// The application extension that makes browsers and viewers play the frames in a loop; a loop
/// count of 0 means forever.
bool putLoopForever(GifFileType* gif) {
    static const GifByteType app[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    static const GifByteType loop[] = {1, 0, 0};
    return EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
           EGifPutExtensionBlock(gif, sizeof app, app) == GIF_OK &&
           EGifPutExtensionBlock(gif, sizeof loop, loop) == GIF_OK && EGifPutExtensionTrailer(gif) == GIF_OK;
}

bool putFrame(GifFileType* gif, const QImage& frame, int delay, IndexRows& indices) {
    GraphicsControlBlock control{DISPOSE_DO_NOT, false, delay, NO_TRANSPARENT_COLOR};
    GifByteType extension[4];
    const size_t length = EGifGCBToExtension(&control, extension);
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension) != GIF_OK ||
        EGifPutImageDesc(gif, 0, 0, frame.width(), frame.height(), false, nullptr) != GIF_OK)
        return false;
    std::vector<GifPixelType> line(size_t(frame.width()));
    for (int y = 0; y < frame.height(); ++y) {
        // A stopped job writes nothing: the file is left as it was.
        if (stopRequestedHere()) return false;
        indices.fill(frame, y, line.data());
        if (EGifPutLine(gif, line.data(), frame.width()) != GIF_OK) return false;
    }
    return true;
}

/// Everything after the temporary file is open; returns giflib's error code (0 when written).
int encode(GifSink& sink, const QVector<QImage>& frames, const QVector<QRgb>& colours,
           const FramePalette* palette, int delay) {
    int error = 0;
    GifFileType* gif = EGifOpen(&sink, writeToSink, &error);
    if (!gif) return error ? error : E_GIF_ERR_OPEN_FAILED;
    EGifSetGifVersion(gif, true);
    ColorMapObject* map = makeColourMap(colours);
    const QSize size = frames.front().size();
    bool ok = map && EGifPutScreenDesc(gif, size.width(), size.height(), 8, 0, map) == GIF_OK &&
              putLoopForever(gif);
    GifFreeMapObject(map);
    IndexRows indices(palette);
    for (qsizetype k = 0; ok && k < frames.size(); ++k)
        ok = putFrame(gif, frames[k], delay, indices);
    if (!ok) error = gif->Error ? gif->Error : E_GIF_ERR_WRITE_FAILED;
    int closeError = 0;
    if (EGifCloseFile(gif, &closeError) != GIF_OK && ok)
        error = closeError ? closeError : E_GIF_ERR_WRITE_FAILED;
    return error;
}

} // namespace

Outcome<void> writeAnimatedGif(const QString& path, const QVector<QImage>& input, int delayCentiseconds) {
    auto refused = [&path](const QString& reason) {
        return Failure{InvalidArgument, fileWriteFailure(path, reason)};
    };
    auto failed = [&path](int errorNumber) { return saveFailure(path, saveFailure(errorNumber)); };
    if (input.isEmpty() || input.front().isNull()) return refused(QStringLiteral("нет кадров"));
    const QSize size = input.front().size();
    if (size.width() > 65535 || size.height() > 65535)
        return refused(QStringLiteral("кадр больше 65535 точек по стороне"));
    QVector<QImage> frames;
    bool grey = true;
    for (const QImage& f : input) {
        if (f.size() != size) return refused(QStringLiteral("кадры разного размера"));
        frames.push_back(rowReadable(f));
        grey = grey && isGreyFrame(frames.back());
    }
    FramePalette palette;
    if (!grey) palette = FramePalette::build(frames);
    if (stopRequestedHere()) return stoppedFailure();

    if (const int obstacle = saveObstacle(path)) return failed(obstacle);
    QSaveFile file(path);
    errno = 0;
    // Unbuffered: every block goes straight to the disk, so a failed write leaves its errno.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return failed(errno ? errno : EACCES);
    GifSink sink{&file, {}, 0};
    const int error = encode(sink, frames, grey ? greyLevels() : palette.colours(), grey ? nullptr : &palette,
                             std::clamp(delayCentiseconds, 0, 65535));
    if (error || !sink.flush()) {
        file.cancelWriting();
        if (stopRequestedHere()) return stoppedFailure();
        if (sink.errorNumber) return failed(sink.errorNumber);
        return Failure{BadFile, fileWriteFailure(path, QStringLiteral("ошибка кодировщика GIF (%1)")
                                                           .arg(QString::fromLatin1(GifErrorString(error))))};
    }
    if (const Outcome<void> done = commitSaveFile(file); !done.ok()) return saveFailure(path, done.failure());
    return {};
}

} // namespace vorlan
