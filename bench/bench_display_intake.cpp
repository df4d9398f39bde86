//! libs: zr_display
// Frame intake (displayFrame: checks and the copy into the display's image) and paint of
// 1080p and 4K BGRA frames in a 1600x900 display, per frame, beside a plain memcpy of the
// same frame into a kept buffer.
#include "app/DebugLevel.h"
#include "bench/support/BenchSupport.h"
#include "display/Canvas.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <cstring>
#include <vector>

namespace {

void run(int w, int h, int frames)
{
    // Two sender buffers, as a decoder alternates its output frames.
    std::vector<QImage> src;
    for (int i = 0; i < 2; ++i) {
        QImage img(w, h, QImage::Format_RGB32);
        QPainter p(&img);
        p.fillRect(img.rect(), QColor(20 + 100 * i, 80, 160));
        p.fillRect(0, 0, w / 2, h / 2, Qt::yellow);
        src.push_back(img);
    }
    const size_t bytes = size_t(w) * size_t(h) * 4;
    std::vector<uint8_t> dst(bytes);

    Canvas c;
    c.set_stream_start(false);
    c.set_external_feed();
    c.set_keep_aspect_ratio(true);
    c.set_digital_zoom_enabled(true);
    c.set_fullscreen_enabled(false);
    c.resize(1600, 900);
    c.set_stream_start(true);
    c.set_overlay_enabled(true);
    c.set_text_size(QStringLiteral("normal"));
    QImage target(1600, 900, QImage::Format_ARGB32_Premultiplied);
    auto feed = [&](int i) {
        QImage& s = src[size_t(i) % 2];
        c.displayFrame(s.bits(), int(s.bytesPerLine()), w, h, QStringLiteral("2024-05-01 10:00:00.000"), QString(),
                       false, i, 25.0, true);
    };
    feed(0);
    c.render(&target); // initial repaint: starts the stream

    const double copy = zrbench::bestSeconds([&] {
        for (int i = 0; i < frames; ++i)
            std::memcpy(dst.data(), src[size_t(i) % 2].constBits(), bytes);
    }, 5);
    const double intake = zrbench::bestSeconds([&] {
        for (int i = 0; i < frames; ++i)
            feed(i);
    }, 5);
    const double paint = zrbench::bestSeconds([&] {
        for (int i = 0; i < frames; ++i)
            c.render(&target);
    }, 3);
    QCoreApplication::processEvents();

    const QString size = QStringLiteral("%1x%2").arg(w).arg(h);
    zrbench::report(QStringLiteral("display intake %1 vs memcpy, per frame").arg(size), intake / frames * 1e3,
                    copy / frames * 1e3, QStringLiteral("ms"));
    zrbench::reportValue(QStringLiteral("display paint %1 into 1600x900, per frame").arg(size),
                         paint / frames * 1e3, QStringLiteral("ms"));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("HOME", zrbench::tempDir(QStringLiteral("display")).toLocal8Bit());
    DebugLevel::instance()->set_level(0);
    QApplication app(argc, argv);
    run(1920, 1080, 120);
    run(3840, 2160, 30);
    return 0;
}
