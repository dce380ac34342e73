#pragma once

// The base of the window tests: every case starts from a fresh program with a scripted prompter
// and ends with it gone, and has a folder for its files; and the steps a user takes in many of
// them.

#include "support/fixture.h"

#include <QObject>
#include <QPointF>
#include <QTemporaryDir>

namespace vorlan::test {

/// Marks reference point p (1 or 2) of picture k as a user does: a click on the slot's selector
/// label, one on the point's label, one on the picture at `at` (frame pixels).
void markPoint(frmBl& f, int k, int p, QPointF at);

/// Derive a window test from this instead of QObject. init() and cleanup() run around every
/// case; a test with more to set up declares its own and calls these first.
class WindowTest : public QObject {
    Q_OBJECT
  protected:
    ScriptedPrompter* prompter = nullptr;
    frmBl* f = nullptr;
    QTemporaryDir dir; ///< for the whole test; a case's files get names of their own

    /// A picture of one colour saved into dir under name; its path.
    QString solid(const QString& name, int w, int h, const QColor& colour) {
        return savePicture(dir, name, plainPicture(w, h, colour));
    }
    /// Loads path into slot k through its menu item.
    void load(int k, const QString& path) { loadSlot(*f, *prompter, k, path); }
    /// Saves picture into dir under name and loads it into slot k; the file's path.
    QString load(int k, const QString& name, const QImage& picture);
    /// Marks point p of picture k at `at` (frame pixels), as markPoint.
    void mark(int k, int p, QPointF at) { markPoint(*f, k, p, at); }
    /// True once the running job (a cut-out, a rotation) has ended and its end is handled.
    bool jobEnds() { return test::jobEnds(*f); }

  protected slots:
    void init();
    void cleanup();
};

} // namespace vorlan::test
