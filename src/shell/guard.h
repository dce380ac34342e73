#pragma once

#include <functional>
#include <type_traits>
#include <utility>

namespace vorlan {

/// Runs a handler body; an exception escaping it is reported in a message box and the program
/// goes on. Exceptions must never travel through Qt's signal code, so every handler is entered
/// through this one place. Returns false when the body failed.
bool runGuarded(const std::function<void()>& body);

/// Wraps a handler for connect(): the returned functor takes the signal's arguments, passes
/// them on when the handler takes them (a handler without parameters ignores them) and runs the
/// handler under runGuarded.
template <typename F> auto guard(F f) {
    return [f = std::move(f)](auto&&... args) {
        runGuarded([&] {
            if constexpr (std::is_invocable_v<const F&, decltype(args)...>)
                f(args...);
            else
                f();
        });
    };
}

} // namespace vorlan
