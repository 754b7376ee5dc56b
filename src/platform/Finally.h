// The scope guard: runs a clean-up when the scope ends, also when it ends by
// an exception. The clean-up must not throw.
#pragma once

#include <utility>

namespace vantrel {

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

}  // namespace vantrel
