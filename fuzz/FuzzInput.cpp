#include "fuzz/FuzzInput.h"

#include <algorithm>
#include <cstring>

FuzzInput::FuzzInput(const uint8_t* data, size_t size)
    : data(data)
    , size(size)
{
}

uint8_t FuzzInput::byte()
{
    return pos < size ? data[pos++] : 0;
}

int FuzzInput::below(int bound)
{
    if (bound <= 0)
        return 0;
    const unsigned value = (unsigned(byte()) << 8) | byte();
    return int(value % unsigned(bound));
}

QByteArray FuzzInput::line(int max)
{
    QByteArray out;
    while (pos < size && out.size() < max) {
        const char c = char(data[pos++]);
        if (c == '\n')
            break;
        out.append(c);
    }
    return out;
}

QByteArray FuzzInput::take(size_t count)
{
    const size_t n = std::min(count, size - pos);
    QByteArray out(reinterpret_cast<const char*>(data + pos), qsizetype(n));
    pos += n;
    return out;
}

QByteArray FuzzInput::rest()
{
    return take(size - pos);
}

QByteArray FuzzInput::text(const char* alphabet, int max)
{
    const int letters = int(std::strlen(alphabet));
    const int length = below(max + 1);
    QByteArray out;
    for (int i = 0; i < length && pos < size; ++i)
        out.append(alphabet[byte() % letters]);
    return out;
}
