#pragma once

// Small helpers of the numeric text boxes, the photometry and the project reader.

#include <QString>

namespace vorlan {

/// Cleans the text of a numeric text box: "," becomes "."; from the second character on only
/// ".", "/" and the digits survive. The first character is kept whatever it is, so a leading
/// sign (or a leading letter) stays: "-1-2" gives "-12", "a12b" gives "a12".
QString NumericTextFilter(const QString& text);

/// Base-10 logarithm. A value <= 0 is first replaced, in the caller's variable, by 1E-30.
double SafeLog10(double& x);

/// The file name after the last "\" or "/" of a path; the whole path when it has neither.
QString FileNamePart(const QString& path);

} // namespace vorlan
