// Byte order of the running machine, found the way the getters of the
// non-finite constants need it: store the 16-bit value 1 and look at the byte
// at the lower address.
#pragma once

#include <cstdint>
#include <cstring>

namespace egm::numeric {

inline bool machineIsLittleEndian()
{
    const std::uint16_t one = 1;
    unsigned char low = 0;
    std::memcpy(&low, &one, 1);
    return low == 1;
}

// A double built from its high and low 32-bit words.
inline double doubleFromWords(std::uint32_t high, std::uint32_t low)
{
    const std::uint64_t bits = (std::uint64_t{high} << 32) | low;
    double value = 0.0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline float floatFromWord(std::uint32_t word)
{
    float value = 0.0f;
    std::memcpy(&value, &word, sizeof value);
    return value;
}

} // namespace egm::numeric
