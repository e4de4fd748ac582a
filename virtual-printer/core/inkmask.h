#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvp {

// A two-level picture: width * height bytes, 1 = ink (a printed dot).
struct InkMask
{
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bits;

    InkMask() = default;
    InkMask(int w, int h)
        : width(w)
        , height(h)
        , bits(static_cast<size_t>(w) * static_cast<size_t>(h), 0)
    { }
    uint8_t at(int x, int y) const
    {
        return bits[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    }
    uint8_t &at(int x, int y)
    {
        return bits[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    }
};

} // namespace kvp
