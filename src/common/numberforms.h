#pragma once

#include <QString>
#include <cstdint>

namespace vorlan {

/// Int: the largest whole number not above v (floor).
double Int(double v);
/// Fix: v with its fraction dropped (towards zero).
double Fix(double v);
/// Rounds to the nearest whole number, halves to the even neighbour (banker's rounding).
int64_t RoundHalfEven(double v);
/// RoundHalfEven held in a 16-bit integer, throwing Overflow outside -32768..32767.
int16_t RoundToInt16(double v);
/// RoundHalfEven held in a 32-bit integer, throwing Overflow outside its range.
int32_t RoundToInt32(double v);

/// The locale's decimal separator ("," on a Russian system, "." in the C locale).
QString localeDecimalSeparator();

/// Pattern form: v rendered through a digit mask such as "00", "00.0", "0.000". Each "0" before
/// the point is a mandatory digit, the value is rounded to the mask's last decimal place and the
/// decimal point is the locale's separator.
QString PatternForm(double v, const QString& pattern);

/// Invariant short form of a 32-bit float: up to 7 significant digits, "." as the point, a
/// leading blank for values >= 0, no zero before the point (" .5", "-.5"), exponent form
/// (" 1.5E+08", " 1E-06") for very large or small values.
QString InvariantShortForm(float v);

/// Locale form: shortest general form of a 64-bit float (up to 15 significant digits) with the
/// locale separator and no leading blank ("82,5" on a Russian system).
QString LocaleForm(double v);

/// General form of a 32-bit float (up to 7 significant digits) with the locale separator, as
/// a float shows in a caption ("1,5", "0,8", "1").
QString GeneralForm(float v);

/// Leading-number parse: skips leading blanks, reads an optional sign, digits, an optional "."
/// with digits and an optional exponent, and stops at the first character that does not fit.
/// The point is always "."; text that does not start with a number gives 0.
double LeadingNumber(const QString& text);

} // namespace vorlan
