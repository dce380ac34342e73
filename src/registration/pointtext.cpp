#include "registration/pointtext.h"

#include "common/numberforms.h"

namespace vorlan {

QString pointText(float x, float y) {
    return QString::number(qint64(Int(x))) + QStringLiteral("  ") + QString::number(qint64(Int(y)));
}

} // namespace vorlan
