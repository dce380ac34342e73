#pragma once

// One shape for a failure below the handlers: an error number and a Russian reason, handed back
// instead of a value. (At the handler boundary a failure is thrown as VorlanError.)

#include "common/errornumber.h"

#include <QString>
#include <optional>
#include <utility>
#include <variant>

namespace vorlan {

/// Why something could not be done: the error number and a reason in Russian that the user can
/// act on.
struct Failure {
    int number = 0;
    QString reason;
};

/// A value, or the failure that stopped it.
template <typename T> class Outcome {
  public:
    Outcome(T value) : m_result(std::move(value)) {}
    Outcome(Failure failure) : m_result(std::move(failure)) {}

    bool ok() const { return std::holds_alternative<T>(m_result); }
    const T& value() const& { return std::get<T>(m_result); }
    T&& value() && { return std::get<T>(std::move(m_result)); }
    const Failure& failure() const { return std::get<Failure>(m_result); }
    /// The value, or `other` after a failure.
    T valueOr(T other) const& { return ok() ? value() : std::move(other); }
    /// The reason, empty when there is a value.
    QString reason() const { return ok() ? QString() : failure().reason; }

  private:
    std::variant<T, Failure> m_result;
};

/// Work that hands nothing back: done, or the failure that stopped it.
template <> class Outcome<void> {
  public:
    Outcome() = default;
    Outcome(Failure failure) : m_failure(std::move(failure)) {}

    bool ok() const { return !m_failure; }
    const Failure& failure() const { return *m_failure; }
    /// The reason, empty when done.
    QString reason() const { return m_failure ? m_failure->reason : QString(); }

  private:
    std::optional<Failure> m_failure;
};

/// What work that was asked to stop ("Прервать") hands back instead of its value.
inline Failure stoppedFailure() {
    return {UserInterrupt, QStringLiteral("Прервано.")};
}

/// The reason for a file that does not hold what its format promises.
inline QString damagedReason() {
    return QStringLiteral("файл повреждён или неполон");
}

} // namespace vorlan
