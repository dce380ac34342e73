#include "shell/prompter.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>

namespace vorlan {

namespace {
Prompter* installed = nullptr;
}

void Prompter::message(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
    QMessageBox box(icon, QStringLiteral("Vorlan"), text, QMessageBox::Ok, parent);
    box.exec();
}

QMessageBox::StandardButton Prompter::question(QWidget* parent, const QString& text,
                                               QMessageBox::StandardButtons buttons, QMessageBox::Icon icon) {
    QMessageBox box(icon, QStringLiteral("Vorlan"), text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString Prompter::openFileName(QWidget* parent, const QString& title, const QString& filter,
                               const QString& folder) {
    return QFileDialog::getOpenFileName(parent, title, folder, filter);
}

QStringList Prompter::openFileNames(QWidget* parent, const QString& title, const QString& filter,
                                    const QString& folder) {
    return QFileDialog::getOpenFileNames(parent, title, folder, filter);
}

QString Prompter::saveFileName(QWidget* parent, const QString& title, const QString& filter) {
    return QFileDialog::getSaveFileName(parent, title, QString(), filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

QColor Prompter::colour(QWidget* parent, const QColor& initial) {
    return QColorDialog::getColor(initial, parent);
}

bool Prompter::printDialog(QWidget* parent, QPrinter* printer) {
    QPrintDialog dialog(printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

Prompter& Prompter::instance() {
    static Prompter standard;
    return installed ? *installed : standard;
}

void Prompter::install(Prompter* p) { installed = p; }

bool agreesToReplace(QWidget* parent, const QString& path) {
    const QFileInfo info(path);
    return !info.exists() || info.isDir() ||
           Prompter::instance().question(parent, QStringLiteral("Файл уже существует. Заменить?"),
                                         QMessageBox::Yes | QMessageBox::No,
                                         QMessageBox::Question) == QMessageBox::Yes;
}

} // namespace vorlan
