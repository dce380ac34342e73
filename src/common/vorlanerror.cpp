#include "common/vorlanerror.h"

#include <cmath>

namespace vorlan {

VorlanError::VorlanError(int number, const QString& description)
    : std::runtime_error(description.toStdString()), m_number(number), m_description(description) {}

VorlanError overflowError() {
    return VorlanError(Overflow, QStringLiteral("Переполнение"));
}

double checkedDivide(double a, double b) {
    if (b == 0.0) throw VorlanError(DivisionByZero, QStringLiteral("Деление на ноль"));
    return checkedFinite(a / b);
}

double checkedFinite(double v) {
    if (!std::isfinite(v)) throw overflowError();
    return v;
}

} // namespace vorlan
