#include "shell/givenfileprompter.h"

namespace vorlan {

GivenFilePrompter::GivenFilePrompter(const QString& path) : m_previous(&Prompter::instance()), m_path(path) {
    Prompter::install(this);
}

GivenFilePrompter::~GivenFilePrompter() {
    Prompter::install(m_previous);
}

void GivenFilePrompter::message(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
    m_previous->message(parent, text, icon);
}

QMessageBox::StandardButton GivenFilePrompter::question(QWidget* parent, const QString& text,
                                                        QMessageBox::StandardButtons buttons,
                                                        QMessageBox::Icon icon) {
    return m_previous->question(parent, text, buttons, icon);
}

QString GivenFilePrompter::openFileName(QWidget* parent, const QString& title, const QString& filter,
                                        const QString& folder) {
    if (m_answered) return m_previous->openFileName(parent, title, filter, folder);
    m_answered = true;
    return m_path;
}

QStringList GivenFilePrompter::openFileNames(QWidget* parent, const QString& title, const QString& filter,
                                            const QString& folder) {
    return m_previous->openFileNames(parent, title, filter, folder);
}

QString GivenFilePrompter::saveFileName(QWidget* parent, const QString& title, const QString& filter) {
    return m_previous->saveFileName(parent, title, filter);
}

bool GivenFilePrompter::printDialog(QWidget* parent, QPrinter* printer) {
    return m_previous->printDialog(parent, printer);
}

} // namespace vorlan
