#pragma once

// An animated GIF read back with Qt's own reader, as a browser or a forum shows it, and how far
// its frames are from the frames that were meant.

#include <QImage>
#include <QImageReader>
#include <QString>
#include <QVector>
#include <algorithm>
#include <cstdlib>

namespace vorlan::test {

struct ReadGif {
    QVector<QImage> frames; ///< RGB32
    QVector<int> delays;    ///< milliseconds, each frame's
    int loopCount = 0;      ///< -1 = forever
    QByteArray format;      ///< what the reader took the file for
};

inline ReadGif readGif(const QString& path) {
    ReadGif gif;
    QImageReader reader(path);
    gif.format = reader.format();
    gif.loopCount = reader.loopCount();
    for (QImage img; reader.read(&img);) {
        gif.frames.push_back(img.convertToFormat(QImage::Format_RGB32));
        gif.delays.push_back(reader.nextImageDelay());
    }
    return gif;
}

/// Pixels of the read frames against the frames meant (of equal count and size): how many are
/// not equal, how many are more than 3 levels off in some channel, and how many are the same in
/// a frame meant and the first frame meant but differ between their read frames (a flicker
/// that was not on the screen).
struct FrameDifference {
    qint64 unequal = 0;
    qint64 far = 0;
    qint64 flicker = 0;
    qint64 pixels = 0;
};

inline FrameDifference compareFrames(const QVector<QImage>& meant, const QVector<QImage>& read) {
    if (meant.isEmpty() || read.size() != meant.size()) return {1, 1, 0, 1};
    FrameDifference d;
    auto rgb = [](const QImage& img) { return img.convertToFormat(QImage::Format_RGB32); };
    const QImage meantFirst = rgb(meant[0]), readFirst = rgb(read[0]);
    for (int k = 0; k < meant.size(); ++k) {
        const QImage m = rgb(meant[k]), r = rgb(read[k]);
        if (m.size() != r.size() || m.size() != meantFirst.size()) return {1, 1, 0, 1};
        for (int y = 0; y < m.height(); ++y)
            for (int x = 0; x < m.width(); ++x) {
                const QRgb a = m.pixel(x, y), b = r.pixel(x, y);
                d.unequal += a != b;
                d.far += std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                   std::abs(qBlue(a) - qBlue(b))}) > 3;
                d.flicker += a == meantFirst.pixel(x, y) && b != readFirst.pixel(x, y);
            }
        d.pixels += qint64(m.width()) * m.height();
    }
    return d;
}

} // namespace vorlan::test
