#pragma once

// A display stand-in: copies every handed-over picture when its slot runs, as the display does.

#include "tests/media/EncodedClip.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>

namespace zrtest {

struct ShownFrame
{
    QImage image;
    int linesize = 0;
    QString timestamp;
    QString overlay;
    bool unwrapped = false;
    int frameId = -1;
    double fps = 0;
    bool key = false;

    // Green channel at the centre (flat clips: the grey of the picture).
    int grey() const { return image.isNull() ? -1 : qGreen(image.pixel(image.width() / 2, image.height() / 2)); }
};

// Grey that picture i of a flat limited-range clip converts to.
inline int expectedGrey(int i)
{
    return qBound(0, int((clipLuma(i) - 16) * 255.0 / 219.0 + 0.5), 255);
}

// Plain QObject (no moc in a header): connect with attach(), queued like the main window does.
class FrameSink : public QObject
{
public:
    QList<ShownFrame> shown;

    template <typename Sender>
    void attach(Sender* sender, Qt::ConnectionType type = Qt::QueuedConnection)
    {
        QObject::connect(sender, &Sender::set_display_frame, this,
                         [this](uint8_t* frame, int linesize, int width, int height, QString timestamp,
                                QString drawoverlay, bool isUnwrapped, int frame_id, double fps, bool is_keyframe) {
                             displayFrame(frame, linesize, width, height, timestamp, drawoverlay, isUnwrapped,
                                          frame_id, fps, is_keyframe);
                         },
                         type);
    }

    void displayFrame(uint8_t* frame, int linesize, int width, int height, QString timestamp, QString drawoverlay,
                      bool isUnwrapped, int frame_id, double fps, bool is_keyframe)
    {
        ShownFrame s;
        if (frame && width > 0 && height > 0)
            s.image = QImage(frame, width, height, linesize, QImage::Format_ARGB32).copy();
        s.linesize = linesize;
        s.timestamp = timestamp;
        s.overlay = drawoverlay;
        s.unwrapped = isUnwrapped;
        s.frameId = frame_id;
        s.fps = fps;
        s.key = is_keyframe;
        shown.append(s);
    }
};

} // namespace zrtest
