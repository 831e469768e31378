// An underlying stream for buffered-stream tests: memory behind it, a class name
// of the test's choosing (the window size depends on it) and a count of every
// call that reaches it.
#pragma once

#include <string>
#include <vector>

#include "platform/Streams.h"

namespace elo::test {

class CountingStream : public TStream {
public:
    explicit CountingStream(std::vector<char> data = {}, std::string className = "TFileStream")
        : Data(std::move(data)), Name(std::move(className)) {}
    int32_t Read(void* buffer, int32_t count) override {
        ++Reads;
        BytesRead += count;
        if (Position_ < 0 || Position_ >= static_cast<int64_t>(Data.size()) || count <= 0) return 0;
        const auto n = static_cast<int32_t>(std::min<int64_t>(count, static_cast<int64_t>(Data.size()) - Position_));
        std::copy_n(Data.data() + Position_, n, static_cast<char*>(buffer));
        Position_ += n;
        return n;
    }
    int32_t Write(const void* buffer, int32_t count) override {
        ++Writes;
        if (count <= 0) return 0;
        if (Position_ + count > static_cast<int64_t>(Data.size())) Data.resize(static_cast<size_t>(Position_ + count));
        std::copy_n(static_cast<const char*>(buffer), count, Data.data() + Position_);
        Position_ += count;
        return count;
    }
    int64_t Seek(int64_t offset, uint16_t origin) override {
        if (origin == soBeginning)
            Position_ = offset;
        else if (origin == soCurrent)
            Position_ += offset;
        else if (origin == soEnd)
            Position_ = static_cast<int64_t>(Data.size()) + offset;
        return Position_;
    }
    void SetSize(int64_t size) override {
        ++SetSizes;
        Data.resize(static_cast<size_t>(size));
    }
    const char* ClassName() const override { return Name.c_str(); }

    std::vector<char> Data;
    std::string Name;
    int64_t Position_ = 0;
    int Reads = 0, Writes = 0, SetSizes = 0;
    int64_t BytesRead = 0;
};

inline std::vector<char> Pattern(size_t n) {
    std::vector<char> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<char>(i * 7 + i / 256);
    return v;
}

} // namespace elo::test
