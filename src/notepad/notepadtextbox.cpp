#include "notepad/notepadtextbox.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace vorlan {

namespace {

// Block state of a paragraph that a soft break joins to the next one.
constexpr int SoftAfter = 1;

} // namespace

NotepadTextBox::NotepadTextBox(QWidget* parent) : QPlainTextEdit(parent) {
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int position, int, int charsAdded) { keepSoftBreaks(position, charsAdded); });
}

// A paragraph split by Enter or by pasted lines keeps its state in its first part, while the
// soft break belongs after the last; paragraphs joined by a deletion keep the state of the last,
// which is right already.
void NotepadTextBox::keepSoftBreaks(int position, int charsAdded) {
    QTextBlock first = document()->findBlock(position);
    QTextBlock last = document()->findBlock(position + charsAdded);
    if (!first.isValid() || !last.isValid() || first == last || first.userState() != SoftAfter) return;
    first.setUserState(-1);
    last.setUserState(SoftAfter);
}

void NotepadTextBox::setText(const QString& text) {
    QString shown;
    shown.reserve(text.size() + text.size() / SegmentLength + 1);
    std::vector<bool> soft;
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i <= n; ++i) {
        if (i < n && text[i] != u'\r' && text[i] != u'\n') continue;
        qsizetype from = start;
        for (;;) {
            qsizetype length = std::min<qsizetype>(SegmentLength, i - from);
            if (from + length < i && text[from + length - 1].isHighSurrogate())
                --length; // never between the halves of a surrogate pair
            shown += QStringView(text).mid(from, length);
            from += length;
            if (from >= i) break;
            shown += u'\n';
            soft.push_back(true);
        }
        if (i == n) break;
        if (text[i] == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
        shown += u'\n';
        soft.push_back(false);
        start = i + 1;
    }
    setPlainText(shown);
    QTextBlock block = document()->begin();
    for (bool s : soft) {
        block.setUserState(s ? SoftAfter : -1);
        block = block.next();
    }
}

QString NotepadTextBox::textBetween(int from, int to, QStringView lineEnd) const {
    QString result;
    QTextBlock block = document()->findBlock(from);
    while (block.isValid() && block.position() <= to) {
        const int begin = std::max(from, block.position()) - block.position();
        const int end = std::min(to, block.position() + block.length() - 1) - block.position();
        result += QStringView(block.text()).mid(begin, std::max(0, end - begin));
        const QTextBlock next = block.next();
        if (next.isValid() && next.position() <= to && block.userState() != SoftAfter) result += lineEnd;
        block = next;
    }
    return result;
}

QString NotepadTextBox::text() const {
    return textBetween(0, document()->characterCount() - 1, u"\r\n");
}

QString NotepadTextBox::selectedText() const {
    const QTextCursor c = textCursor();
    return textBetween(c.selectionStart(), c.selectionEnd(), u"\n");
}

void NotepadTextBox::keyPressEvent(QKeyEvent* e) {
    QTextCursor c = textCursor();
    const bool plain = e->modifiers() == Qt::NoModifier && !c.hasSelection();
    const QTextBlock block = c.block();
    if (plain && e->key() == Qt::Key_Backspace && c.atBlockStart() && block.previous().isValid() &&
        block.previous().userState() == SoftAfter && block.previous().length() > 1) {
        c.movePosition(QTextCursor::PreviousCharacter);
        c.deletePreviousChar();
        setTextCursor(c);
        return;
    }
    if (plain && e->key() == Qt::Key_Delete && c.atBlockEnd() && block.userState() == SoftAfter &&
        block.next().isValid() && block.next().length() > 1) {
        c.movePosition(QTextCursor::NextCharacter);
        c.deleteChar();
        setTextCursor(c);
        return;
    }
    QPlainTextEdit::keyPressEvent(e);
}

QMimeData* NotepadTextBox::createMimeDataFromSelection() const {
    auto* data = new QMimeData;
    data->setText(selectedText());
    return data;
}

} // namespace vorlan
