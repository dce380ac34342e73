#include "sky/coordinatevalidator.h"

#include "common/numberforms.h"
#include "common/vorlanerror.h"
#include "sky/fieldhelpers.h"

#include <cmath>

namespace vorlan {

QValidator::State CoordinateValidator::validate(QString& input, int& /*pos*/) const {
    const double limit = std::pow(10.0, CoordinateDigits);
    try {
        return std::fabs(LeadingNumber(NumericTextFilter(input))) < limit ? Acceptable : Invalid;
    } catch (const VorlanError&) {
        return Invalid; // not even a double can hold it
    }
}

} // namespace vorlan
