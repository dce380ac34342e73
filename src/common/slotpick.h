#pragma once

#include "common/vorlanerror.h"

namespace vorlan {

/// The member of a per-slot triple that belongs to slot k (1, 2 or 3); any other k is a
/// programming error and throws.
template <typename T> T& slotPick(int k, T& first, T& second, T& third) {
    switch (k) {
    case 1: return first;
    case 2: return second;
    case 3: return third;
    default: throw VorlanError(SubscriptOutOfRange, QStringLiteral("Индекс вне диапазона: картинка %1").arg(k));
    }
}

} // namespace vorlan
