// A plain reader of fuzz input from the front: bytes, little-endian
// numbers and length-prefixed texts; reads past the end give zeros, so
// every input decodes. Seeds can be written by hand in this format.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
    bool done() const { return p_ >= end_; }
    std::uint8_t u8() { return p_ < end_ ? *p_++ : 0; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(u8() | (u8() << 8)); }
    std::uint32_t u32() { return u16() | (static_cast<std::uint32_t>(u16()) << 16); }
    std::string bytes(std::size_t n) {
        const std::size_t k = std::min<std::size_t>(n, static_cast<std::size_t>(end_ - p_));
        std::string s(reinterpret_cast<const char*>(p_), k);
        p_ += k;
        return s;
    }

private:
    const std::uint8_t* p_;
    const std::uint8_t* end_;
};

}  // namespace fuzz
