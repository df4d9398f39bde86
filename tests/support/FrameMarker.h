#pragma once

#include <QDate>
#include <QDateTime>
#include <QImage>
#include <QTime>

#include <cstdint>

namespace zrtest {

// The values zr-make-export paints on every picture: camera id, date, time to the millisecond
// and the frame's index in its recording file.
struct FrameMarker
{
    bool found = false;
    int cameraId = -1;
    QDate date;
    QTime time;          // with milliseconds
    int frameIndex = -1;

    int msOfDay() const { return time.isValid() ? time.msecsSinceStartOfDay() : -1; }
    QDateTime dateTime() const { return QDateTime(date, time); }
    // "yyyyMMddHHmmsszzz", the seek-table form
    QString stamp() const;
};

// Reads the marker grid from a picture of any size (BGRA/RGB or grayscale QImage). The picture
// may be the whole frame, scaled, re-encoded, or letterboxed inside a uniform border.
FrameMarker readFrameMarker(const QImage& image);
// The same from a luma plane (the Y plane of a YUV picture).
FrameMarker readFrameMarkerLuma(const uint8_t* luma, int width, int height, int stride);

} // namespace zrtest
