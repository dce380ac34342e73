#pragma once

// A prompter for tests: answers dialogs and questions from queues and records every message
// and question, so windows can be driven headless without a modal box ever opening.

#include "shell/prompter.h"

#include <QQueue>
#include <QStringList>
#include <functional>

namespace vorlan::test {

class ScriptedPrompter : public Prompter {
public:
    ScriptedPrompter() { Prompter::install(this); }
    ~ScriptedPrompter() override { Prompter::install(nullptr); }

    // What the dialogs answer next; an empty queue answers "cancel".
    QQueue<QString> openNames;
    QQueue<QStringList> openNameLists; ///< for the dialogs that take several files
    QQueue<QString> saveNames;
    QQueue<QMessageBox::StandardButton> answers;
    QQueue<bool> printAnswers;
    QQueue<QColor> colours; ///< an empty queue or an invalid colour answers "cancel"

    // What was shown.
    QStringList messages;
    QStringList questions;
    QStringList dialogTitles;
    QStringList dialogFilters;
    QStringList dialogFolders; ///< where each open-file dialog started
    QList<QMessageBox::Icon> icons;
    QList<QColor> colourInitials;

    /// Called when a dialog is asked for, before it answers (a test can change things there).
    std::function<void()> onDialog;

    void message(QWidget*, const QString& text, QMessageBox::Icon icon) override {
        messages << text;
        icons << icon;
    }
    QMessageBox::StandardButton question(QWidget*, const QString& text, QMessageBox::StandardButtons,
                                         QMessageBox::Icon icon) override {
        questions << text;
        icons << icon;
        return answers.isEmpty() ? QMessageBox::Cancel : answers.dequeue();
    }
    QString openFileName(QWidget*, const QString& title, const QString& filter, const QString& folder) override {
        dialogTitles << title;
        dialogFilters << filter;
        dialogFolders << folder;
        if (onDialog) onDialog();
        return openNames.isEmpty() ? QString() : openNames.dequeue();
    }
    QStringList openFileNames(QWidget*, const QString& title, const QString& filter, const QString& folder) override {
        dialogTitles << title;
        dialogFilters << filter;
        dialogFolders << folder;
        if (onDialog) onDialog();
        return openNameLists.isEmpty() ? QStringList() : openNameLists.dequeue();
    }
    QString saveFileName(QWidget*, const QString& title, const QString& filter) override {
        dialogTitles << title;
        dialogFilters << filter;
        if (onDialog) onDialog();
        return saveNames.isEmpty() ? QString() : saveNames.dequeue();
    }
    QColor colour(QWidget*, const QColor& initial) override {
        colourInitials << initial;
        return colours.isEmpty() ? QColor() : colours.dequeue();
    }
    bool printDialog(QWidget*, QPrinter*) override {
        return printAnswers.isEmpty() ? false : printAnswers.dequeue();
    }
};

} // namespace vorlan::test
