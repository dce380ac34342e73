#pragma once

// Shared helpers of the window tests: a fresh program for each case, and generated star fields.

#include "shell/frmbl.h"
#include "shell/sharedstate.h"
#include "support/scriptedprompter.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QRadialGradient>
#include <QString>
#include <QTemporaryDir>
#include <QVector>

namespace vorlan::test {

/// Starts a fresh program: the shared state at its start values and a new main window, shown.
inline frmBl& freshProgram() {
    DestroyMainForm();
    ResetStateForTest();
    State().MarkScale1 = 1.0f;
    State().MarkScale2 = 1.0f;
    frmBl& f = MainForm();
    f.show();
    State().MinIntensity = 60.0f;
    return f;
}

/// Starts a window test case: a scripted prompter installed and a fresh program.
inline void startCase(ScriptedPrompter*& prompter, frmBl*& form) {
    prompter = new ScriptedPrompter;
    form = &freshProgram();
}

/// Ends a window test case: the main window and the windows it closed are gone, the prompter
/// uninstalled and the locale back to C.
inline void endCase(ScriptedPrompter*& prompter) {
    DestroyMainForm();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    delete prompter;
    prompter = nullptr;
    QLocale::setDefault(QLocale::c());
}

struct Star {
    double x, y;   ///< picture pixels
    double radius; ///< pixels
    int brightness = 255;
};

/// A black field with soft white stars.
inline QImage starField(int w, int h, const QVector<Star>& stars) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::black);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (const Star& s : stars) {
        QRadialGradient g(QPointF(s.x, s.y), s.radius);
        g.setColorAt(0, QColor(s.brightness, s.brightness, s.brightness));
        g.setColorAt(0.6, QColor(s.brightness, s.brightness, s.brightness));
        g.setColorAt(1, Qt::black);
        p.setBrush(g);
        p.drawEllipse(QPointF(s.x, s.y), s.radius, s.radius);
    }
    return img;
}

/// A picture of one colour.
inline QImage plainPicture(int w, int h, const QColor& colour) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    return img;
}

/// A picture of the given size with a gradient, so that any part of it can be told apart.
inline QImage gradientPicture(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgb(x * 255 / std::max(1, w - 1), y * 255 / std::max(1, h - 1), 128);
    }
    return img;
}

/// Saves img into dir under name and returns the full path.
inline QString savePicture(const QTemporaryDir& dir, const QString& name, const QImage& img) {
    const QString path = dir.filePath(name);
    img.save(path);
    return path;
}

/// Brightness-weighted centre of the bright spot near p (within radius pixels) in a picture or
/// a screen grab; nothing brighter than the threshold there gives (-1, -1).
inline QPointF spotCentre(const QImage& img, QPointF p, int radius = 8, int threshold = 60) {
    double sx = 0, sy = 0, sw = 0;
    for (int y = int(p.y()) - radius; y <= int(p.y()) + radius; ++y)
        for (int x = int(p.x()) - radius; x <= int(p.x()) + radius; ++x) {
            if (!img.valid(x, y)) continue;
            const int v = qGray(img.pixel(x, y));
            if (v < threshold) continue;
            sx += (x + 0.5) * v;
            sy += (y + 0.5) * v;
            sw += v;
        }
    return sw > 0 ? QPointF(sx / sw, sy / sw) : QPointF(-1, -1);
}

/// Lets the event loop run until the program's running job (a cut-out, a rotation) has ended and
/// its end has been handled, as the window's own loop would; false if it still runs after ms.
inline bool jobEnds(frmBl& f, int ms = 60000) {
    const QDeadlineTimer deadline(ms);
    while (f.jobs().busy() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return !f.jobs().busy();
}

/// Loads a file into slot k through the real menu item, answering the dialog with path.
inline void loadSlot(frmBl& f, ScriptedPrompter& prompter, int k, const QString& path) {
    prompter.openNames.enqueue(path);
    QAction* item = k == 1 ? f.Open1File : k == 2 ? f.Open2File : f.Open3File;
    item->trigger();
}

} // namespace vorlan::test
