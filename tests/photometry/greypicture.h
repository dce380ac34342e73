#pragma once

// Test pictures of the photometry tests.

#include <QImage>
#include <QPainter>
#include <QString>
#include <QStringList>

namespace vorlan::test {

/// A picture of brightness 20 with grey rectangles, "x,y,w,h,brightness;..." in pixels.
inline QImage greyPicture(QSize size, const QString& rects) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(qRgb(20, 20, 20));
    QPainter p(&img);
    for (const QString& r : rects.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList v = r.split(QLatin1Char(','));
        const int b = v[4].toInt();
        p.fillRect(v[0].toInt(), v[1].toInt(), v[2].toInt(), v[3].toInt(), QColor(b, b, b));
    }
    return img;
}

} // namespace vorlan::test
