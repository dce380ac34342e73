#pragma once

// Designations of minor planets and comets in the two forms the Minor Planet Center writes them:
// readable ("(433)", "1995 XA", "2040 P-L", "C/1995 O1", "1P") and packed (the 5 or 7 characters
// of the orbit files and of columns 1-12 of an observation line).
//
//   numbers        1..99 999 as five digits; 100 000..619 999 with a letter for the ten-thousands
//                  (A = 10 .. Z = 35, a = 36 .. z = 61); from 620 000 "~" and four base-62 digits
//                  of number - 620 000
//   provisional    century letter (I = 18, J = 19, K = 20), two year digits, the half-month letter,
//                  the cycle count in two characters (tens as a base-62 digit), the second letter
//   surveys        "2040 P-L" -> "PLS2040", "3138 T-1" -> "T1S3138"
//   comets         provisional as the minor planets' with the order number in place of the cycle
//                  count and the fragment letter (lower case) or "0" last; the orbit type (C, P, D,
//                  X, I, A) before it; numbered periodic comets as four digits and the type ("0001P")

#include <QString>
#include <optional>

namespace vorlan {

/// The packed form of a minor planet's number; empty outside 1..15 396 335.
QString packNumber(qint64 number);
/// The number a packed number stands for; none when the text is not one.
std::optional<qint64> unpackNumber(const QString& packed);

/// The packed form of a readable designation of any kind: a number (bare or in parentheses), a
/// provisional or survey designation, a comet's. Empty when the text is none of them.
QString packDesignation(const QString& readable);
/// The readable form of a packed designation of any kind (a comet's with its type: 8 characters
/// for a provisional one, 5 for a numbered one); empty when the text is not one. Numbers come
/// in parentheses: "(433)".
QString unpackDesignation(const QString& packed);

/// Columns 1-12 of an observation line for the object of a packed designation: a numbered minor
/// planet's number in 1-5, a provisional designation in 6-12, a comet's number and type in 1-5 or
/// its type in 5 and provisional designation in 6-12; blanks elsewhere. Empty when the text is not
/// a packed designation.
QString reportDesignationColumns(const QString& packed);

} // namespace vorlan
