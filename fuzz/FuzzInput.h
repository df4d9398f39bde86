#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// Takes a fuzzer's bytes apart into the small decisions and pieces a target needs. Every read
// succeeds: past the end it gives zeros and empty pieces, so any input drives the target.
class FuzzInput
{
public:
    FuzzInput(const uint8_t* data, size_t size);

    bool empty() const { return pos >= size; }
    size_t remaining() const { return size - pos; }

    uint8_t byte();
    bool flag() { return byte() & 1; }
    // A value in [0, bound) (0 when bound is 0).
    int below(int bound);
    // Up to max bytes, cut at the next LF (which is consumed).
    QByteArray line(int max = 256);
    // The next count bytes (fewer at the end).
    QByteArray take(size_t count);
    // Everything left.
    QByteArray rest();
    // Text from the given alphabet, one byte per character, up to max long.
    QByteArray text(const char* alphabet, int max);

private:
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};
