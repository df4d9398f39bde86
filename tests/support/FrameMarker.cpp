#include "tests/support/FrameMarker.h"

#include "tools/FrameMarkerLayout.h"

#include <algorithm>
#include <cstdlib>

namespace zrtest {

QString FrameMarker::stamp() const
{
    return date.toString(QStringLiteral("yyyyMMdd")) + time.toString(QStringLiteral("HHmmsszzz"));
}

namespace {

struct Plane
{
    const uint8_t* data;
    int width;
    int height;
    int stride;
    int at(int x, int y) const { return data[static_cast<ptrdiff_t>(y) * stride + x]; }
};

// Mean luma of the middle half of each cell of the grid inside region (x, y, w, h).
bool readRegion(const Plane& p, int rx, int ry, int rw, int rh, FrameMarker* out)
{
    if (rw < zrmarker::kCols * 2 || rh < 8)
        return false;
    int means[zrmarker::kCells];
    int lo = 255;
    int hi = 0;
    for (int row = 0; row < zrmarker::kRows; ++row) {
        int y0, y1;
        zrmarker::cellSpan(rh, zrmarker::kGridTop, zrmarker::kGridBottom, row, zrmarker::kRows, &y0, &y1);
        for (int col = 0; col < zrmarker::kCols; ++col) {
            int x0, x1;
            zrmarker::cellSpan(rw, zrmarker::kGridLeft, zrmarker::kGridRight, col, zrmarker::kCols, &x0, &x1);
            const int qx = (x1 - x0) / 4;
            const int qy = (y1 - y0) / 4;
            int sx0 = x0 + qx, sx1 = std::max(sx0 + 1, x1 - qx);
            int sy0 = y0 + qy, sy1 = std::max(sy0 + 1, y1 - qy);
            long sum = 0;
            int n = 0;
            for (int y = sy0; y < sy1; ++y)
                for (int x = sx0; x < sx1; ++x) {
                    const int px = std::clamp(rx + x, 0, p.width - 1);
                    const int py = std::clamp(ry + y, 0, p.height - 1);
                    sum += p.at(px, py);
                    ++n;
                }
            const int m = n ? int(sum / n) : 0;
            means[row * zrmarker::kCols + col] = m;
            lo = std::min(lo, m);
            hi = std::max(hi, m);
        }
    }
    if (hi - lo < 60)
        return false;
    const int threshold = (hi + lo) / 2;
    zrmarker::Bits bits{};
    for (int i = 0; i < zrmarker::kCells; ++i)
        bits[size_t(i)] = means[i] > threshold ? 1 : 0;
    zrmarker::Fields f;
    if (!zrmarker::unpack(bits, &f))
        return false;
    out->found = true;
    out->cameraId = int(f.camera);
    out->date = QDate::fromJulianDay(zrmarker::kEpochJulianDay + f.day);
    out->time = QTime::fromMSecsSinceStartOfDay(int(f.ms));
    out->frameIndex = int(f.index);
    return true;
}

// The picture inside a uniform border (letterbox bars of a display), or the whole picture.
void contentBox(const Plane& p, int* bx, int* by, int* bw, int* bh)
{
    const int border = p.at(0, 0);
    auto rowUniform = [&](int y) {
        for (int x = 0; x < p.width; ++x)
            if (std::abs(p.at(x, y) - border) > 12)
                return false;
        return true;
    };
    auto colUniform = [&](int x) {
        for (int y = 0; y < p.height; ++y)
            if (std::abs(p.at(x, y) - border) > 12)
                return false;
        return true;
    };
    int top = 0, bottom = p.height - 1, left = 0, right = p.width - 1;
    while (top < bottom && rowUniform(top)) ++top;
    while (bottom > top && rowUniform(bottom)) --bottom;
    while (left < right && colUniform(left)) ++left;
    while (right > left && colUniform(right)) --right;
    *bx = left;
    *by = top;
    *bw = right - left + 1;
    *bh = bottom - top + 1;
}

} // namespace

FrameMarker readFrameMarkerLuma(const uint8_t* luma, int width, int height, int stride)
{
    FrameMarker m;
    if (!luma || width <= 0 || height <= 0 || stride < width)
        return m;
    const Plane p{luma, width, height, stride};
    if (readRegion(p, 0, 0, width, height, &m))
        return m;
    int bx, by, bw, bh;
    contentBox(p, &bx, &by, &bw, &bh);
    if ((bw != width || bh != height) && readRegion(p, bx, by, bw, bh, &m))
        return m;
    return m;
}

FrameMarker readFrameMarker(const QImage& image)
{
    if (image.isNull())
        return {};
    const QImage gray = image.format() == QImage::Format_Grayscale8 ? image : image.convertToFormat(QImage::Format_Grayscale8);
    return readFrameMarkerLuma(gray.constBits(), gray.width(), gray.height(), int(gray.bytesPerLine()));
}

} // namespace zrtest
