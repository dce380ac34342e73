#pragma once

#include <QValidator>

namespace vorlan {

/// The typing rule of the coordinate fields: a keystroke or paste is refused when the number the
/// field would then hold (read as its change handler reads it: cleaned by NumericTextFilter,
/// then the leading number) has more than CoordinateDigits digits before the point. No hour,
/// minute, degree or arc-minute of a sky position needs more, in any notation, and the bound
/// keeps every sum the handlers form far inside the range of a 32-bit float, so a run of digits
/// can never overflow. Digits after the point are not limited. Text set by the program itself
/// (a project file) is not checked here.
class CoordinateValidator : public QValidator {
  public:
    using QValidator::QValidator;
    static constexpr int CoordinateDigits = 6;

    State validate(QString& input, int& pos) const override;
};

} // namespace vorlan
