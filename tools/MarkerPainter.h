#pragma once

#include <QString>

#include <cstdint>

struct AVFrame;

// Paints one synthetic camera picture into a planar YUV 4:2:0 frame: a moving background, the
// machine-readable marker grid (tools/FrameMarkerLayout.h) and the same values as text.
class MarkerPainter
{
public:
    struct Values
    {
        int camera = 0;
        qint64 julianDay = 0;
        int msOfDay = 0;
        int frameIndex = 0;
    };

    static void paint(AVFrame* frame, const Values& v, int tint);

    // The two readable lines ("CAM 12 2025-03-14", "08:00:00.040 F1").
    static QString topLine(const Values& v);
    static QString bottomLine(const Values& v);

private:
    static void drawText(uint8_t* y, int stride, int width, int height, const QString& text,
                         double top, double bottom);
};
