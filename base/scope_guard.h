#pragma once
// Runs a function when the scope ends, unless dismissed: clean-up on every path out.
#include <utility>

namespace base {

template <typename F> class ScopeGuard {
  public:
    explicit ScopeGuard(F Action) : action_(std::move(Action)) {}
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;
    ~ScopeGuard() {
        if (armed_)
            action_();
    }
    void Dismiss() { armed_ = false; }

  private:
    F action_;
    bool armed_ = true;
};

} // namespace base
