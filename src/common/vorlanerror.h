#pragma once

#include <QString>
#include <stdexcept>

namespace vorlan {

/// The program's one error type: a number and a description, like the runtime errors the
/// handlers report. Thrown by logic code on degenerate input (a division by zero, an overflow)
/// and caught at the handler boundary by the guard.
class VorlanError : public std::runtime_error {
public:
    /// Error numbers used across the program.
    enum Number { Overflow = 6, DivisionByZero = 11, InvalidArgument = 5, FileNotFound = 53, BadFile = 481 };

    VorlanError(int number, const QString& description);

    int number() const { return m_number; }
    QString description() const { return m_description; }

private:
    int m_number;
    QString m_description;
};

/// Divides a by b, throwing DivisionByZero when b is 0 and Overflow when the quotient is not finite.
double checkedDivide(double a, double b);

/// Throws Overflow when v is not a finite number; returns v otherwise.
double checkedFinite(double v);

} // namespace vorlan
