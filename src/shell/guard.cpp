#include "shell/guard.h"

#include "common/vorlanerror.h"
#include "shell/prompter.h"

#include <QApplication>
#include <exception>

namespace vorlan {

bool runGuarded(const std::function<void()>& body) {
    QString text;
    try {
        body();
        return true;
    } catch (const VorlanError& e) {
        text = QStringLiteral("Ошибка %1: %2").arg(e.number()).arg(e.description());
    } catch (const std::bad_alloc&) {
        text = QStringLiteral("Ошибка 7: Недостаточно памяти");
    } catch (const std::exception& e) {
        text = QStringLiteral("Ошибка: %1").arg(QString::fromLocal8Bit(e.what()));
    }
    Prompter::instance().message(QApplication::activeWindow(), text, QMessageBox::Critical);
    return false;
}

} // namespace vorlan
