// Holds an object's Lock for a scope: Lock at the start, Unlock at the end, also
// when an exception leaves the scope.
#pragma once

namespace elo {

template <typename T> class TLockScope {
public:
    explicit TLockScope(T& object) : FObject(object) { FObject.Lock(); }
    ~TLockScope() { FObject.Unlock(); }
    TLockScope(const TLockScope&) = delete;
    TLockScope& operator=(const TLockScope&) = delete;

private:
    T& FObject;
};

} // namespace elo
