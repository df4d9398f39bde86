#pragma once

#include "display/Canvas.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QString>

namespace canvastest {

// A BGRA frame in four coloured quadrants: red, green / blue, white.
inline QImage quadrants(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    p.fillRect(0, 0, w / 2, h / 2, Qt::red);
    p.fillRect(w / 2, 0, w - w / 2, h / 2, Qt::green);
    p.fillRect(0, h / 2, w / 2, h - h / 2, Qt::blue);
    p.fillRect(w / 2, h / 2, w - w / 2, h - h / 2, Qt::white);
    return img;
}

inline QImage solid(int w, int h, QColor colour)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    return img;
}

inline void feed(Canvas& c, QImage& img, const QString& time = QStringLiteral("2024-05-01 10:00:00.000"),
                 int id = 1, double fps = 25.0)
{
    c.displayFrame(img.bits(), int(img.bytesPerLine()), img.width(), img.height(), time, QString(), false, id, fps,
                   true);
}

// Configured as the player's main window and controller do.
inline void configure_as_player(Canvas& c, int w, int h)
{
    c.set_stream_start(false);
    c.set_digital_zoom_enabled(true);
    c.set_external_feed();
    c.set_fullscreen_enabled(false);
    c.set_keep_aspect_ratio(true);
    c.resize(w, h);
    c.set_stream_start(true);
    c.set_overlay_enabled(true);
    c.set_text_size(QStringLiteral("normal"));
}

inline QImage shot(Canvas& c)
{
    return c.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline bool near(QRgb a, QColor b, int tol = 12)
{
    return qAbs(qRed(a) - b.red()) <= tol && qAbs(qGreen(a) - b.green()) <= tol && qAbs(qBlue(a) - b.blue()) <= tol;
}

} // namespace canvastest
