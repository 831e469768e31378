// Runs a step when a scope ends, also when an exception leaves it: the
// counterpart of a step done by hand at the start (a flag set, a lock taken).
#pragma once

#include <utility>

namespace elo {

template <typename F> class TScopeExit {
public:
    explicit TScopeExit(F f) : FStep(std::move(f)) {}
    ~TScopeExit() { FStep(); }
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;

private:
    F FStep;
};

} // namespace elo
