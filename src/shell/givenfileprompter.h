#pragma once

#include "shell/prompter.h"

namespace vorlan {

/// Answers the next open-file dialog with a file given beforehand (on the command line, by a
/// drop), so a menu handler opens it exactly as if the user had picked it; messages, questions
/// and any further dialog go to the prompter that was installed before. Installed for its
/// lifetime.
class GivenFilePrompter : public Prompter {
  public:
    explicit GivenFilePrompter(const QString& path);
    ~GivenFilePrompter() override;
    GivenFilePrompter(const GivenFilePrompter&) = delete;
    GivenFilePrompter& operator=(const GivenFilePrompter&) = delete;

    void message(QWidget* parent, const QString& text, QMessageBox::Icon icon) override;
    QMessageBox::StandardButton question(QWidget* parent, const QString& text,
                                         QMessageBox::StandardButtons buttons,
                                         QMessageBox::Icon icon) override;
    QString openFileName(QWidget* parent, const QString& title, const QString& filter,
                         const QString& folder) override;
    QStringList openFileNames(QWidget* parent, const QString& title, const QString& filter,
                              const QString& folder) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& filter) override;
    bool printDialog(QWidget* parent, QPrinter* printer) override;

  private:
    Prompter* m_previous;
    QString m_path;
    bool m_answered = false;
};

} // namespace vorlan
