#include "tools/MarkerPainter.h"

#include "tools/FrameMarkerLayout.h"

#include <QDate>

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace {

// 5x7 glyphs, one byte per row, the five low bits left to right.
struct Glyph
{
    char c;
    uint8_t rows[7];
};

const Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
};

const uint8_t* glyphRows(QChar c)
{
    for (const Glyph& g : kGlyphs)
        if (QChar(g.c) == c)
            return g.rows;
    return nullptr;
}

void fillRect(uint8_t* y, int stride, int x0, int y0, int x1, int y1, uint8_t value)
{
    for (int r = y0; r < y1; ++r)
        std::memset(y + static_cast<ptrdiff_t>(r) * stride + x0, value, static_cast<size_t>(std::max(0, x1 - x0)));
}

} // namespace

QString MarkerPainter::topLine(const Values& v)
{
    return QStringLiteral("CAM %1 %2").arg(v.camera).arg(QDate::fromJulianDay(v.julianDay).toString(QStringLiteral("yyyy-MM-dd")));
}

QString MarkerPainter::bottomLine(const Values& v)
{
    const int ms = v.msOfDay;
    return QStringLiteral("%1:%2:%3.%4 F%5")
        .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'))
        .arg(v.frameIndex);
}

void MarkerPainter::drawText(uint8_t* y, int stride, int width, int height, const QString& text,
                             double top, double bottom)
{
    const int chars = static_cast<int>(text.size());
    if (chars == 0)
        return;
    const int bandTop = static_cast<int>(top * height);
    const int bandHeight = static_cast<int>((bottom - top) * height);
    const int usableWidth = static_cast<int>(0.92 * width);
    int scale = std::min(usableWidth / (chars * 6), bandHeight / 9);
    if (scale < 1)
        return; // too small to be readable; the grid still carries the values
    const int textWidth = chars * 6 * scale;
    const int x0 = (width - textWidth) / 2;
    const int y0 = bandTop + (bandHeight - 9 * scale) / 2;
    // A dark plate behind the text keeps it readable on the moving background.
    fillRect(y, stride, std::max(0, x0 - scale), std::max(0, y0), std::min(width, x0 + textWidth + scale),
             std::min(height, y0 + 9 * scale), zrmarker::kDark);
    for (int i = 0; i < chars; ++i) {
        const uint8_t* rows = glyphRows(text.at(i));
        if (!rows)
            continue;
        for (int gy = 0; gy < 7; ++gy)
            for (int gx = 0; gx < 5; ++gx)
                if (rows[gy] & (0x10 >> gx)) {
                    const int px = x0 + (i * 6 + gx) * scale;
                    const int py = y0 + (gy + 1) * scale;
                    fillRect(y, stride, px, py, std::min(width, px + scale), std::min(height, py + scale),
                             zrmarker::kLight);
                }
    }
}

void MarkerPainter::paint(AVFrame* frame, const Values& v, int tint)
{
    const int w = frame->width;
    const int h = frame->height;
    uint8_t* y = frame->data[0];
    const int ys = frame->linesize[0];

    // A still background of soft diagonal waves, as a fixed camera sees, and one moving
    // square below so that the encoder has motion to code.
    const int phase = 0;
    std::vector<uint8_t> wave(static_cast<size_t>(w) + 256);
    for (size_t k = 0; k < wave.size(); ++k) {
        const int t = int(k & 255);
        wave[k] = static_cast<uint8_t>(70 + (t < 128 ? t : 255 - t) / 2);
    }
    for (int r = 0; r < h; ++r)
        std::memcpy(y + static_cast<ptrdiff_t>(r) * ys, wave.data() + ((2 * r + phase) & 255), static_cast<size_t>(w));
    const int cw = (w + 1) / 2;
    const int ch = (h + 1) / 2;
    const uint8_t u = static_cast<uint8_t>(128 + ((tint * 37) % 41) - 20);
    const uint8_t vv = static_cast<uint8_t>(128 + ((tint * 53) % 41) - 20);
    for (int r = 0; r < ch; ++r) {
        std::memset(frame->data[1] + static_cast<ptrdiff_t>(r) * frame->linesize[1], u, cw);
        std::memset(frame->data[2] + static_cast<ptrdiff_t>(r) * frame->linesize[2], vv, cw);
    }

    {
        const int side = std::max(2, h / 8);
        const int travel = std::max(1, w - side);
        const int step = (v.msOfDay / 20) % (2 * travel);
        const int x0 = step < travel ? step : 2 * travel - step;
        const int y0 = static_cast<int>(zrmarker::kGridTop * h) - side;
        if (y0 >= 0)
            fillRect(y, ys, x0, y0, std::min(w, x0 + side), y0 + side, 200);
    }

    zrmarker::Fields f;
    f.camera = static_cast<uint32_t>(v.camera);
    f.day = static_cast<uint32_t>(v.julianDay - zrmarker::kEpochJulianDay);
    f.ms = static_cast<uint32_t>(v.msOfDay);
    f.index = static_cast<uint32_t>(v.frameIndex);
    const zrmarker::Bits bits = zrmarker::pack(f);
    for (int row = 0; row < zrmarker::kRows; ++row) {
        int y0, y1;
        zrmarker::cellSpan(h, zrmarker::kGridTop, zrmarker::kGridBottom, row, zrmarker::kRows, &y0, &y1);
        for (int col = 0; col < zrmarker::kCols; ++col) {
            int x0, x1;
            zrmarker::cellSpan(w, zrmarker::kGridLeft, zrmarker::kGridRight, col, zrmarker::kCols, &x0, &x1);
            fillRect(y, ys, x0, y0, x1, y1,
                     bits[row * zrmarker::kCols + col] ? zrmarker::kLight : zrmarker::kDark);
        }
    }
    // Neutral chroma under the grid: coloured edges would blur into neighbouring cells.
    {
        int y0, y1, x0, x1, dummy;
        zrmarker::cellSpan(h, zrmarker::kGridTop, zrmarker::kGridBottom, 0, 1, &y0, &y1);
        zrmarker::cellSpan(w, zrmarker::kGridLeft, zrmarker::kGridRight, 0, 1, &x0, &x1);
        (void)dummy;
        for (int r = y0 / 2; r < std::min(ch, (y1 + 1) / 2); ++r) {
            std::memset(frame->data[1] + static_cast<ptrdiff_t>(r) * frame->linesize[1] + x0 / 2, 128, (x1 - x0 + 1) / 2);
            std::memset(frame->data[2] + static_cast<ptrdiff_t>(r) * frame->linesize[2] + x0 / 2, 128, (x1 - x0 + 1) / 2);
        }
    }
    drawText(y, ys, w, h, topLine(v), zrmarker::kTopTextTop, zrmarker::kTopTextBottom);
    drawText(y, ys, w, h, bottomLine(v), zrmarker::kBottomTextTop, zrmarker::kBottomTextBottom);
}
