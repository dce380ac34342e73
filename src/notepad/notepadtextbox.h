#pragma once

#include <QPlainTextEdit>

namespace vorlan {

/// The notepad's text box. A text box lays out a whole paragraph again on every keystroke, so a
/// line of a megabyte (a file without line breaks) would take seconds to open and seconds per
/// key. Lines longer than SegmentLength characters are therefore held as several paragraphs
/// joined by soft breaks: they look like wrapped lines, and text(), selectedText() and the
/// clipboard give the line back whole. Soft breaks stay right through typing, Enter, paste,
/// deletion and undo.
class NotepadTextBox : public QPlainTextEdit {
    Q_OBJECT
  public:
    static constexpr int SegmentLength = 1000;

    explicit NotepadTextBox(QWidget* parent = nullptr);

    /// Replaces the text; line breaks may be CR LF, LF or CR.
    void setText(const QString& text);
    /// The text with CR LF after every line but the last.
    QString text() const;
    /// The selected text with "\n" line breaks, as the clipboard takes it.
    QString selectedText() const;

  protected:
    QMimeData* createMimeDataFromSelection() const override;
    /// Backspace at the start of a continued paragraph and Delete at the end of one act on the
    /// character beyond the soft break, as they would in the unbroken line.
    void keyPressEvent(QKeyEvent* e) override;

  private:
    void keepSoftBreaks(int position, int charsAdded);
    QString textBetween(int from, int to, QStringView lineEnd) const;
};

} // namespace vorlan
