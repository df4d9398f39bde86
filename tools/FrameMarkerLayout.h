#pragma once

// Layout and bit packing of the machine-readable marker that zr-make-export paints on every
// picture. Shared with the test reader (tests/support/FrameMarker.cpp) so that the two agree
// on the geometry; everything else (painting, sampling) is written separately on each side.

#include <array>
#include <cstdint>

namespace zrmarker {

// A grid of black/white cells across the middle of the picture, as fractions of its size.
constexpr int kCols = 16;
constexpr int kRows = 7;
constexpr int kCells = kCols * kRows;
constexpr double kGridLeft = 0.04;
constexpr double kGridRight = 0.96;
constexpr double kGridTop = 0.27;
constexpr double kGridBottom = 0.73;

// Readable text: one line in each band above and below the grid.
constexpr double kTopTextTop = 0.03;
constexpr double kTopTextBottom = 0.24;
constexpr double kBottomTextTop = 0.76;
constexpr double kBottomTextBottom = 0.97;

// Luma of the two cell states: far apart so that scaling and lossy coding keep them apart.
constexpr int kDark = 20;
constexpr int kLight = 235;

// Field widths in bits, in cell order after the four fixed corner cells.
constexpr int kCameraBits = 20;
constexpr int kDayBits = 16;      // days since 2000-01-01
constexpr int kMsBits = 27;       // milliseconds since midnight
constexpr int kIndexBits = 24;    // frame index in its recording file
constexpr int kCrcBits = 16;

// Julian day number of 2000-01-01 (QDate::toJulianDay()).
constexpr std::int64_t kEpochJulianDay = 2451545;

struct Fields
{
    std::uint32_t camera = 0;
    std::uint32_t day = 0;
    std::uint32_t ms = 0;
    std::uint32_t index = 0;
};

using Bits = std::array<std::uint8_t, kCells>;

// Fixed corner cells: they tell a marker from chance and fix the orientation.
inline bool isCorner(int cell, std::uint8_t* value)
{
    if (cell == 0) { *value = 1; return true; }
    if (cell == kCols - 1) { *value = 0; return true; }
    if (cell == kCells - kCols) { *value = 0; return true; }
    if (cell == kCells - 1) { *value = 1; return true; }
    return false;
}

inline std::uint16_t crc16(const std::uint8_t* bits, int count)
{
    std::uint16_t crc = 0xFFFF;
    for (int i = 0; i < count; ++i) {
        const bool top = (crc & 0x8000) != 0;
        crc = static_cast<std::uint16_t>(crc << 1);
        if (top != (bits[i] != 0))
            crc ^= 0x1021;
    }
    return crc;
}

// The payload in the order it is laid out (without the corner cells).
constexpr int kPayloadBits = kCameraBits + kDayBits + kMsBits + kIndexBits;
constexpr int kDataCells = kCells - 4;
static_assert(kPayloadBits + kCrcBits <= kDataCells, "marker grid too small");

inline Bits pack(const Fields& f)
{
    std::array<std::uint8_t, kDataCells> data{};
    int n = 0;
    auto put = [&](std::uint32_t v, int width) {
        for (int b = width - 1; b >= 0; --b)
            data[n++] = static_cast<std::uint8_t>((v >> b) & 1u);
    };
    put(f.camera, kCameraBits);
    put(f.day, kDayBits);
    put(f.ms, kMsBits);
    put(f.index, kIndexBits);
    put(crc16(data.data(), kPayloadBits), kCrcBits);
    Bits out{};
    int k = 0;
    for (int cell = 0; cell < kCells; ++cell) {
        std::uint8_t v = 0;
        out[cell] = isCorner(cell, &v) ? v : data[k++];
    }
    return out;
}

inline bool unpack(const Bits& bits, Fields* f)
{
    std::array<std::uint8_t, kDataCells> data{};
    int k = 0;
    for (int cell = 0; cell < kCells; ++cell) {
        std::uint8_t v = 0;
        if (isCorner(cell, &v)) {
            if (bits[cell] != v)
                return false;
        } else {
            data[k++] = bits[cell];
        }
    }
    int n = 0;
    auto get = [&](int width) {
        std::uint32_t v = 0;
        for (int b = 0; b < width; ++b)
            v = (v << 1) | data[n++];
        return v;
    };
    Fields r;
    r.camera = get(kCameraBits);
    r.day = get(kDayBits);
    r.ms = get(kMsBits);
    r.index = get(kIndexBits);
    const std::uint32_t crc = get(kCrcBits);
    if (crc != crc16(data.data(), kPayloadBits))
        return false;
    for (int i = n; i < kDataCells; ++i)
        if (data[i] != 0)
            return false;
    if (r.ms >= 86400000u)
        return false;
    *f = r;
    return true;
}

// Pixel span [begin, end) of cell c out of n across a length, from fractions a..b.
inline void cellSpan(int length, double a, double b, int c, int n, int* begin, int* end)
{
    const double from = a * length + (b - a) * length * c / n;
    const double to = a * length + (b - a) * length * (c + 1) / n;
    *begin = static_cast<int>(from + 0.5);
    *end = static_cast<int>(to + 0.5);
}

} // namespace zrmarker
