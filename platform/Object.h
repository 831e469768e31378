// Root of the classes whose instances may be owned through a plain pointer
// (for example values of a hash table that frees its values as objects).
#pragma once

namespace elo {

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = default;
    TObject& operator=(const TObject&) = default;
    virtual ~TObject() = default;
};

} // namespace elo
