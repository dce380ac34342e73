#pragma once

#include <QObject>

#include <functional>
#include <type_traits>
#include <utility>

namespace vorlan {

/// Runs a handler body; an exception escaping it is reported in a message box and the program
/// goes on. Exceptions must never travel through Qt's signal code, so every handler is entered
/// through this one place. Returns false when the body failed.
bool runGuarded(const std::function<void()>& body);

/// Calls f with args when it takes them, else without. A function template of its own, so that
/// the branch not taken depends on the template parameters and is never compiled (a branch
/// inside the lambda below is checked by Clang even when discarded).
template <typename F, typename... Args> void callHandler(const F& f, Args&... args) {
    if constexpr (std::is_invocable_v<const F&, Args&...>)
        f(args...);
    else
        f();
}

/// A private signal's tag (the empty QPrivateSignal of QThread::finished and the like). Qt hands
/// it over as a null pointer, so a functor that takes it by reference binds a reference to null;
/// refusing it makes Qt call the functor with the arguments before it only.
template <typename T> inline constexpr bool isSignalTag = std::is_empty_v<std::remove_cvref_t<T>>;

/// Wraps a handler for connect(): the returned functor takes the signal's arguments, passes
/// them on when the handler takes them (a handler without parameters ignores them) and runs the
/// handler under runGuarded.
template <typename F> auto guard(F f) {
    return [f = std::move(f)]<typename... Args>(Args&&... args)
        requires(!(isSignalTag<Args> || ...))
    { runGuarded([&] { callHandler(f, args...); }); };
}

/// A function connecting `signal` of a sender to a handler of form, a member taking no
/// arguments, run under guard(): `onClick(cmdOk, &Form::cmdOk_Click)` once
/// `onClick = connector(this, &QPushButton::clicked)`.
template <typename Form, typename Signal> auto connector(Form* form, Signal signal) {
    return [form, signal](auto* sender, void (Form::*handler)()) {
        QObject::connect(sender, signal, form, guard([form, handler] { (form->*handler)(); }));
    };
}

} // namespace vorlan
