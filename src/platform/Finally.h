// Clean-up that must run however a scope ends, and the one rule for
// failures met while cleaning up: the first failure wins. A clean-up step
// run while an earlier failure is on its way out, or in a destructor
// (which nothing may leave), is run quietly: its own failure is dropped.
#pragma once

#include <exception>
#include <utility>

namespace vantrel {

// Runs Step and hands back its failure instead of letting it leave; null
// when it succeeded. The one place where any failure at all is caught for
// a clean-up: the helpers below and TFirstFailure are made of it.
template <class Step>
std::exception_ptr FailureOf(Step &&Apply) noexcept {
    try {
        Apply();
        return nullptr;
    } catch (...) {
        return std::current_exception();
    }
}

// A clean-up step whose failure must not leave: in a destructor, or while
// an earlier failure is on its way out.
template <class Step>
void Quietly(Step &&Apply) noexcept {
    (void)FailureOf(std::forward<Step>(Apply));
}

// The scope guard: runs a clean-up when the scope ends, also when it ends
// by an exception. The clean-up must not throw.
template <class F>
class TFinally {
public:
    explicit TFinally(F f) : FAction(std::move(f)) {}
    ~TFinally() { FAction(); }
    TFinally(const TFinally &) = delete;
    TFinally &operator=(const TFinally &) = delete;

private:
    F FAction;
};

// Runs a clean-up only when the scope is left by an exception, quietly:
// the failure in flight is the one that leaves. Ended normally, the scope
// leaves things as they are.
template <class F>
class TOnFailure {
public:
    explicit TOnFailure(F f) : FAction(std::move(f)), FUncaught(std::uncaught_exceptions()) {}
    ~TOnFailure() {
        if (std::uncaught_exceptions() > FUncaught) Quietly(FAction);
    }
    TOnFailure(const TOnFailure &) = delete;
    TOnFailure &operator=(const TOnFailure &) = delete;

private:
    F FAction;
    int FUncaught;
};

}  // namespace vantrel
