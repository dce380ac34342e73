#pragma once

#include "common/errornumber.h"

#include <QString>
#include <stdexcept>

namespace vorlan {

/// The program's one error type: a number and a description, like the runtime errors the
/// handlers report. Thrown by logic code on degenerate input (a division by zero, an overflow)
/// and caught at the handler boundary by the guard.
class VorlanError : public std::runtime_error {
  public:
    VorlanError(int number, const QString& description);

    int number() const { return m_number; }
    QString description() const { return m_description; }

  private:
    int m_number;
    QString m_description;
};

/// The error of a result too large for its type ("Переполнение").
VorlanError overflowError();

/// Divides a by b, throwing DivisionByZero when b is 0 and Overflow when the quotient is not finite.
double checkedDivide(double a, double b);

/// Throws Overflow when v is not a finite number; returns v otherwise.
double checkedFinite(double v);

} // namespace vorlan
