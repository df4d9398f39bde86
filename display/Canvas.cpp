#include "display/Canvas.h"
#include "display/OverlayString.h"
#include "display/PtzMarks.h"

#include "app/Http_singleton.h"
#include "app/Log.h"
#include "display/ZoomGeometry.h"
#include "display/new_display_thread.h"
#include "ptz/NativePTZInterface.h"

#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QFontMetrics>
#include <QHideEvent>
#include <QMetaType>
#include <QPainter>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

namespace {
const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");
const QString kTimeFormatCompact = QStringLiteral("yyyyMMddHHmmsszzz");
constexpr qint64 kFpsSampleTicks = 11010000; // 1101 ms

QString hex_address(const void* p)
{
    return QString::number(reinterpret_cast<quintptr>(p), 16);
}
} // namespace

Canvas::Canvas(QWidget* parent)
    : QWidget(parent)
{
    qRegisterMetaType<uint8_t*>("uint8_t*");
    log_info(QStringLiteral("Construct"));
    parent_widget = parent;
    ptz_rectangle = QRect(0, 0, 0, 0);
    zoom.set_report([this](const QString& name, int x, int y, int value) { emit send_clic_event(name, x, y, value); });
    ending_timer = new QTimer();
    resize_timer = new QTimer(this);
    resize_timer->setSingleShot(true);
    connect(resize_timer, &QTimer::timeout, this, &Canvas::resizeDone);
    connect(ending_timer, &QTimer::timeout, this, &Canvas::timerEnding);
    count_display();
    setStyleSheet(QStringLiteral("background-color: black;"));
}

Canvas::~Canvas()
{
    log_info(QStringLiteral("Destroy"));
    set_ending_and_stop_timer(true);
    emit send_status_message(QStringLiteral("disconnecting"));
    update();
    set_ending();
    uncount_display();
    for (QTimer** timer : {&ending_timer, &resize_timer}) {
        if (*timer) {
            (*timer)->stop();
            delete *timer;
            *timer = nullptr;
        }
    }
    if (native_ptz) {
        log_info(QStringLiteral("Destroy :: Destroy native PTZ "));
        delete native_ptz;
        native_ptz = nullptr;
    }
    if (fullscreen_shown) {
        log_info(QStringLiteral("Destroy :: Destroy fullscreen "));
        log_info(QStringLiteral("Destroy :: Destroy fullscreen ending_done "));
        emit ending_done();
    }
    if (display_thread) {
        // Neither a restart nor a status report runs from a display being destroyed.
        recreate_pending = false;
        disconnect(display_thread.data(), nullptr, this, nullptr);
        delete display_thread.data();
    }
    log_info(QStringLiteral("Destroy finished"));
}

// ---- logging and small helpers ----

void Canvas::log_info(const QString& text) const
{
    write_log(QStringLiteral("[INFO] Plugin [") + display_id + QStringLiteral("] :: ") + text);
}

void Canvas::log_warn(const QString& text) const
{
    write_log(QStringLiteral("[WARN] Plugin [") + display_id + QStringLiteral("] :: ") + text);
}

void Canvas::log_error(const QString& text) const
{
    write_log(QStringLiteral("[ERROR] Plugin [") + display_id + QStringLiteral("] :: ") + text);
}

new_display_thread* Canvas::get_display_thread() const
{
    return display_thread.data();
}

bool Canvas::has_live_thread() const
{
    return display_thread && !display_thread->is_stopped();
}

QString Canvas::speed_integer_text() const
{
    double bits = speed_text.toDouble() * 8.0;
    if (bits >= 1024.0 && bits < 1048576.0)
        bits /= 1024.0;
    return QString::number(static_cast<int>(bits));
}

void Canvas::count_display()
{
    if (display_counted)
        return;
    Http_singleton* id = Http_singleton::instance();
    id->set_display_count(id->get_display_count() + 1);
    display_counted = true;
}

void Canvas::uncount_display()
{
    if (!display_counted)
        return;
    Http_singleton* id = Http_singleton::instance();
    id->set_display_count(id->get_display_count() - 1);
    display_counted = false;
}

QImage Canvas::current_image()
{
    QMutexLocker lock(&mutex);
    return image;
}

// ---- DisplayInterface slots ----

void Canvas::set_zones(QString zones_base64)
{
    if (zones_base64.isEmpty())
        return;
    zones_text = QString::fromUtf8(QByteArray::fromBase64(zones_base64.toUtf8()));
    zone_overlay.invalidate();
    ptz_enabled = false;
    dewarp_view = false;
}

void Canvas::set_camera_id(QString id)
{
    if (id.isEmpty())
        return;
    camera_id = id.toInt(nullptr, 10);
}

void Canvas::set_video_quality(int flags)
{
    if (flags >= 0)
        video_quality = flags;
}

// ---- frame intake ----

void Canvas::displayFrame(uint8_t* _frame, int _linesize, int _frame_width, int _frame_height, QString _timestamp,
                          QString _drawoverlay, bool isUnwrapped, int frame_id, double fps, bool is_keyframe)
{
    Q_UNUSED(isUnwrapped);
    Q_UNUSED(is_keyframe);
    if (paused || ending) {
        log_warn(QStringLiteral("get display frame :: is pause or ending "));
        return;
    }
    if (!first_frame_logged)
        log_info(QStringLiteral("get display frame :: ") + QString::number(frame_id) + QStringLiteral(" :: frame size ")
                 + QString::number(_frame_width) + QLatin1Char('x') + QString::number(_frame_height)
                 + QStringLiteral(" timestamp ") + _timestamp);
    if (_frame_height == -99) {
        if (_frame_width == -99 && !first_frame_logged) {
            log_info(QStringLiteral("get display frame :: force update detected"));
            update();
        }
        return;
    }
    if (_frame_width < 1 || _frame_height < 1)
        return;
    if (_frame_width != codec_width || _frame_height != codec_height)
        setup_codecSize(_frame_width, _frame_height);
    frame_arrival_time = now_ticks();
    buffering_active = false;
    if (ending)
        return;
    if (painting || !_frame) {
        if (painting)
            log_error(QStringLiteral("data currently painting. Skip frame."));
        else
            log_error(QStringLiteral("frame display data is NULL"));
        emit send_duration(0);
        return;
    }
    {
        QMutexLocker lock(&mutex);
        frame_data = _frame;
        frame_linesize = _linesize;
    }
    setFrameForDisplay(_frame, _linesize, _frame_width, _frame_height);
    dewarp_applied = dewarp_enabled && dewarp_current_frame(_frame, _linesize, _frame_width, _frame_height);
    if (error_shown)
        error_shown = false;

    if (overlay_enabled || track_timestamp) {
        bool changed = false;
        if (track_timestamp_text) {
            changed = _timestamp != timestamp;
        } else if (track_seconds) {
            const QTime a = QDateTime::fromString(_timestamp, kTimeFormat).time();
            const QTime b = QDateTime::fromString(timestamp, kTimeFormat).time();
            changed = a.hour() != b.hour() || a.minute() != b.minute() || a.second() != b.second();
        }
        if (changed)
            emit onchange_timestamp(QDateTime::fromString(_timestamp, kTimeFormat).toString(kTimeFormatCompact),
                                    QString::number(shown_fps, 'g', 6), speed_integer_text());
    }
    set_timestamp(_timestamp);
    snapshot_caption.clear();
    if (drawoverlay_enabled)
        drawoverlay = _drawoverlay;
    if (!first_frame_logged) {
        log_info(QStringLiteral("get display frame :: update displayer with frame ") + QString::number(frame_id)
                 + QStringLiteral(" timestamp : ") + _timestamp);
        first_frame_logged = true;
    }
    if (fps > 0)
        stream_fps = fps;
    if (frame_id > last_frame_id)
        last_frame_id = frame_id;
    update();
}

void Canvas::setFrameForDisplay(uint8_t* data, int linesize, int w, int h)
{
    if (!data || w < 1 || h < 1) {
        write_log(QStringLiteral("[ERROR] Plugin [%1] :: setFrameForDisplay invalid args data=%2 w=%3 h=%4 linesize=%5")
                      .arg(display_id, hex_address(data), QString::number(w), QString::number(h),
                           QString::number(linesize)));
        QMutexLocker lock(&mutex);
        image = QImage();
        return;
    }
    if (static_cast<qint64>(linesize) < 4 * static_cast<qint64>(w)) {
        write_log(QStringLiteral("[ERROR] Plugin [%1] :: setFrameForDisplay bad linesize=%2 (< %3) w=%4 h=%5 data=%6")
                      .arg(display_id, QString::number(linesize), QString::number(4 * static_cast<qint64>(w)),
                           QString::number(w), QString::number(h), hex_address(data)));
        QMutexLocker lock(&mutex);
        image = QImage();
        return;
    }
    QMutexLocker lock(&mutex);
    // Reuse the image's buffer while the size holds: a fresh 4K image per frame costs a
    // fresh mapping and its page faults.
    if (image.isNull() || image.width() != w || image.height() != h || image.format() != QImage::Format_RGB32)
        image = QImage(w, h, QImage::Format_RGB32);
    if (image.isNull()) {
        log_error(QStringLiteral("setFrameForDisplay :: cannot allocate ") + QString::number(w) + QLatin1Char('x')
                  + QString::number(h));
        return;
    }
    uchar* dst = image.bits(); // detaches if a snapshot still shares the pixels
    const qsizetype dst_stride = image.bytesPerLine();
    const size_t row_bytes = static_cast<size_t>(w) * 4;
    if (dst_stride == linesize) {
        std::memcpy(dst, data, static_cast<size_t>(dst_stride) * static_cast<size_t>(h));
    } else {
        for (int y = 0; y < h; ++y)
            std::memcpy(dst + static_cast<qsizetype>(y) * dst_stride, data + static_cast<qsizetype>(y) * linesize,
                        row_bytes);
    }
}

// ---- life cycle operations ----

void Canvas::set_stream_start(bool start)
{
    log_info(QStringLiteral("set stream start :: ") + QString::number(start ? 1 : 0));
    stream_start = start;
    if (!start)
        return;
    ending = false;
    count_display();
    {
        // The picture of the previous stream goes now, so that the initial repaint can keep
        // a frame of the new one that arrives before it runs.
        QMutexLocker lock(&mutex);
        frame_data = nullptr;
        frame_linesize = -1;
        image = QImage();
    }
    snapshot_caption.clear();
    last_frame_id = -1;
    initial_repaint = true;
    first_frame_logged = false;
    log_info(QStringLiteral("set stream start :: send update to display"));
    update();
}

void Canvas::set_ending()
{
    try {
        log_info(QStringLiteral("set ending"));
        ending = true;
        emit display_stop();
        uncount_display();
    } catch (const std::exception& e) {
        qDebug() << "setEnding :: catch : " << e.what();
    }
}

void Canvas::set_disconnected(bool disconnected)
{
    set_ending_and_stop_timer(disconnected);
    if (ending) {
        emit send_status_message(QStringLiteral("disconnecting"));
        update();
        set_ending();
    }
}

void Canvas::set_external_feed()
{
    external_feed = true;
}

void Canvas::setup_codecSize(int w, int h)
{
    log_info(QStringLiteral("setup_codecSize ") + QString::number(w) + QLatin1Char('x') + QString::number(h));
    codec_height = h;
    codec_width = w;
    frame_width = w;
    frame_height = h;
}

void Canvas::codec_resize(int w, int h)
{
    setup_codecSize(w, h);
}

void Canvas::setPause()
{
    log_info(QStringLiteral("setPause"));
    paused = true;
    emit display_pause();
}

void Canvas::setStart()
{
    log_info(QStringLiteral("setStart"));
    paused = false;
    emit display_start();
}

void Canvas::speed_receive(double speed)
{
    speed_text = QString::number(speed, 'g', 6);
}

void Canvas::buffering(bool is_buffering, double percentage)
{
    const int percent = static_cast<int>(percentage);
    if (is_buffering == buffering_active && percent == buffering_percent)
        return;
    buffering_active = is_buffering;
    buffering_percent = percent;
    update();
}

void Canvas::display_update()
{
    update();
}

void Canvas::go()
{
    log_info(QStringLiteral("Go instance    ") + QString::number(Http_singleton::instance()->get_display_count()));
    log_info(QStringLiteral("Go initial     ") + QString::number(initial_repaint ? 1 : 0));
    if (ending_timer && ending_timer->isActive())
        ending_timer->stop();
}

void Canvas::checkend()
{
    log_info(QStringLiteral("Checkend"));
    if (reconnect) {
        if (display_thread)
            emit display_stop();
        initial_repaint = true;
        go();
    } else if (ending_timer) {
        ending_timer->start(1000);
    }
}

void Canvas::timerEnding()
{
    checkEnding();
}

void Canvas::checkEnding()
{
    log_info(QStringLiteral("Check Ending"));
    if (display_thread)
        emit display_stop();
    if (ending_timer && ending_timer->isActive())
        ending_timer->stop();
    log_info(QStringLiteral("Check Ending :: value :: ") + QString::number(ending ? 1 : 0));
    if (!ending) {
        initial_repaint = true;
        if (ending_timer && ending_timer->isActive())
            ending_timer->stop();
        log_info(QStringLiteral("checkEnding :: set displayError :: No Frame ... Retrying ..."));
        displayError(QStringLiteral("No Frame ... Retrying ..."), QStringLiteral("NO VIDEO"), true);
    }
}

// ---- widget events ----

void Canvas::resizeEvent(QResizeEvent*)
{
    log_info(QStringLiteral("resizeEvent"));
    zone_overlay.invalidate();
    if (resize_timer) {
        log_info(QStringLiteral("resizeEvent :: check event"));
        if (resize_timer->isActive())
            resize_timer->stop();
        log_info(QStringLiteral("resizeEvent :: start event"));
        resize_timer->start(150);
    } else {
        log_info(QStringLiteral("resizeEvent :: no event to start"));
    }
}

void Canvas::resizeDone()
{
    log_info(QStringLiteral("Resize Done "));
    log_info(QStringLiteral("Resize Done ") + QString::number(width()) + QLatin1Char('x') + QString::number(height()));
    zoom.deactivate();
    if (codec_width > 0 && codec_height > 0)
        setup_codecSize(codec_width, codec_height);
    update();
}

void Canvas::showEvent(QShowEvent* event)
{
    log_info(QStringLiteral("showEvent"));
    if (event->type() == QEvent::Show) {
        paused = false;
        emit display_show();
    }
}

void Canvas::hideEvent(QHideEvent* event)
{
    log_info(QStringLiteral("hide event"));
    if (bandeau) {
        log_info(QStringLiteral("hide event :: ignore event, is bandeau"));
        return;
    }
    if (event->type() == QEvent::Hide && !fullscreen_shown && !ending) {
        log_info(QStringLiteral("hide event :: emit display hidden :: with pause ") + QString::number(paused ? 1 : 0));
        emit display_hidden(paused);
    }
}

void Canvas::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

bool Canvas::event(QEvent* e)
{
    if ((e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) && parent_widget) {
        const QObjectList children = parent_widget->children();
        for (QObject* child : children) {
            if (!qobject_cast<Canvas*>(child))
                QCoreApplication::sendEvent(child, e);
        }
    }
    return QWidget::event(e);
}

// ---- painting ----

QRect Canvas::placement(int w, int h, int W, int H, bool keep_aspect, bool fullscreen)
{
    if (w < 1 || h < 1)
        return QRect(0, 0, W, H);
    if (keep_aspect && w < W && h < H && !fullscreen)
        return QRect((W - w) / 2, (H - h) / 2, w, h);
    if (keep_aspect) {
        const double s = std::min(static_cast<double>(W) / w, static_cast<double>(H) / h);
        const int sw = static_cast<int>(std::lround(w * s));
        const int sh = static_cast<int>(std::lround(h * s));
        return QRect((W - sw) / 2, (H - sh) / 2, sw, sh);
    }
    return QRect(0, 0, W, H);
}

void Canvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);

    if (ending) {
        painter.fillRect(QRect(0, 0, width(), height()), Qt::black);
        return;
    }
    painting = true;
    paint_start_time = now_ticks();
    if (paint_start_time - fps_sample_time >= kFpsSampleTicks && !paused) {
        shown_fps = stream_fps;
        fps_sample_time = paint_start_time;
    }

    if (initial_repaint) {
        Http_singleton* id = Http_singleton::instance();
        log_info(QStringLiteral("paint event :: initial repaint"));
        log_info(QStringLiteral("paint event :: initial repaint :: check instance :: ")
                 + QString::number(id->get_display_count()));
        error_shown = false;
        log_info(QStringLiteral("paint event :: initial repaint :: draw black image"));
        painter.fillRect(QRect(0, 0, width(), height()), Qt::black);

        bool limited = false;
        if (id->has_custom_settings() && id->get_max_display_count() > 0
            && id->get_display_count() > id->get_max_display_count()) {
            limited = true;
            if (limit_retries < 4) {
                ++limit_retries;
                QTimer::singleShot(1000, this, &Canvas::go);
            } else {
                displayError(QStringLiteral("NO VIDEO"), QStringLiteral("VIDEO DISPLAY LIMITED"), true);
                uncount_display();
                initial_repaint = false;
            }
        }
        if (!limited) {
            if (stream_start) {
                log_info(QStringLiteral("paint event :: start decoding"));
                restart_video_stream();
                initial_repaint = false;
                // A frame that came after the stream start is shown at once.
                bool has_image;
                {
                    QMutexLocker lock(&mutex);
                    has_image = !image.isNull();
                }
                if (has_image)
                    paint_frame_layers(painter, false);
            } else {
                log_info(QStringLiteral("paint event :: start stream not set"));
            }
        }
    } else {
        paint_frame_layers(painter, buffer_ms > 0);
    }
    painter.end();
    painting = false;
}

void Canvas::paint_frame_layers(QPainter& painter, bool buffered)
{
    if (buffered) {
        const bool waiting = !first_frame_logged && buffering_active && buffering_percent != 100;
        const bool no_thread = !display_thread && !fullscreen_shown;
        const bool no_frame = timestamp.contains(QStringLiteral("No Frame"));
        if (!(waiting || no_thread || no_frame) || (error_shown && !error_text.isEmpty()))
            draw_image(painter);
    } else if (display_thread) {
        draw_image(painter);
    }
    if (drawoverlay_enabled && !drawoverlay.isEmpty())
        draw_overlay_string(painter);
    if (first_frame_logged)
        draw_ptz_centre_mark(painter);
    if (first_frame_logged && !zones_text.isEmpty() && !zoom.is_active())
        draw_zone_shapes(painter);
    if (error_shown && !error_text.isEmpty())
        draw_status_text(painter);
    if (overlay_enabled && !bandeau) {
        draw_overlay(painter);
        if (buffered && timestamp.contains(QStringLiteral("REPLAY"))) {
            log_info(QStringLiteral("paint event :: juste draw REPLAY"));
            emit replay_frame_displayed();
        }
    }
    if (!ptz_message_texts[0].isEmpty() && !ptz_message_texts[1].isEmpty())
        draw_ptz_status(painter);
    if (ptz.is_hold_pressed() || ptz.is_hold_active())
        draw_ptz_gesture(painter);
    if (buffered) {
        paint_latency = (now_ticks() - frame_arrival_time) / 10;
        emit send_duration(paint_latency);
    } else if (display_thread) {
        display_thread->security_unlock_display();
    }
}

// The overlay's coordinates refer to the picture (or to the reference size the stream gives);
// they are mapped onto the part of the picture shown, zoomed or not.
void Canvas::draw_overlay_string(QPainter& painter)
{
    const QRect view_source_rect = zoom.view_source_rect();
    const QRect view_target_rect = zoom.view_target_rect();
    if (view_source_rect.isEmpty() || view_target_rect.isEmpty() || frame_width < 1 || frame_height < 1)
        return;
    const bool has_ref = overlay_ref_width > 0 && overlay_ref_height > 0;
    const QSize ref = has_ref ? QSize(overlay_ref_width, overlay_ref_height) : QSize(frame_width, frame_height);
    QTransform t;
    t.translate(view_target_rect.x(), view_target_rect.y());
    t.scale(double(view_target_rect.width()) / view_source_rect.width(),
            double(view_target_rect.height()) / view_source_rect.height());
    t.translate(-view_source_rect.x(), -view_source_rect.y());
    t.scale(double(frame_width) / ref.width(), double(frame_height) / ref.height());
    OverlayString::draw(painter, drawoverlay, ref, t);
}

void Canvas::draw_zone_shapes(QPainter& painter)
{
    const int x = image_rect.x();
    const int y = image_rect.y();
    zone_overlay.draw(painter, zones_text, QRect(x, y, width() - 2 * x, height() - 2 * y));
}

void Canvas::draw_image(QPainter& painter)
{
    if (error_shown)
        painter.setOpacity(0.3);
    const auto restore = [&]() {
        if (error_shown)
            painter.setOpacity(1.0);
    };

    QImage picture;
    bool stored = false;
    if (error_shown && error_black) {
        picture = QImage(width(), height(), QImage::Format_RGB32);
        picture.fill(Qt::black);
    } else {
        QMutexLocker lock(&mutex);
        if (image.isNull()) {
            restore();
            return;
        }
        if (dewarp_view && dewarp_applied) {
            picture = dewarp.output_image();
            if (picture.isNull()) {
                log_info(QStringLiteral("draw image :: dewarp :: frame data is null"));
                restore();
                return;
            }
        } else {
            if (!dewarp_view && !image_logged)
                log_info(QStringLiteral("draw image :: create image :: ") + QString::number(last_frame_id)
                         + QStringLiteral(" size : ") + QString::number(codec_width) + QLatin1Char('x')
                         + QString::number(codec_height));
            picture = image;
        }
        stored = true;
    }
    if (picture.isNull()) {
        log_info(QStringLiteral("draw image :: image is null"));
        restore();
        return;
    }
    if (!has_live_thread() && !fullscreen_shown) {
        painter.setPen(Qt::white);
        painter.drawText(QRect(width() / 2 - 20, height() / 2 - 20, 80, 15), Qt::TextDontClip,
                         QStringLiteral("No Video"));
        restore();
        return;
    }

    QRect target;
    QRect source;
    zoom.layout(picture.width(), picture.height(),
                placement(picture.width(), picture.height(), width(), height(), keep_aspect_ratio, fullscreen_shown),
                width(), height(), target, source);
    image_rect = target;

    painter.setPen(Qt::white);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    if (stored) {
        QMutexLocker lock(&mutex);
        painter.drawImage(target, picture, source);
    } else {
        painter.drawImage(target, picture, source);
    }
    if (bandeau && overlay_enabled) {
        painter.fillRect(QRect(target.x(), target.y(), target.width(), 20), QColor(0, 0, 0, 60));
        painter.drawText(QRect(target.x() + 2, target.y() + 2, width(), 20), Qt::TextDontClip, title_text);
    }
    restore();
    if (!image_logged) {
        log_info(QStringLiteral("draw image :: finished"));
        image_logged = true;
    }
    zoom.set_painted(target, source);
    zoom.draw_windows(painter, picture, image_rect);
}

void Canvas::draw_overlay(QPainter& painter)
{
    QFont font = painter.font();
    font.setPointSize(text_size);
    painter.setFont(font);
    painter.setPen(Qt::white);
    const int fh = QFontMetrics(font).height();
    const int x = image_rect.x();
    const int y = image_rect.y();
    const int w = image_rect.width();
    const QRect textBox(x + 2, y + fh / 4, width(), fh);
    const int band = static_cast<int>(fh * 1.5);
    const QString shown = snapshot_caption.isEmpty() ? timestamp : snapshot_caption;

    if (!shown.isEmpty())
        painter.fillRect(QRect(x, y, w, band), QColor(0, 0, 0, 60));
    if (buffer_ms > 0 && buffering_active && !only_objects) {
        painter.fillRect(QRect(x, y, width(), band), QColor(0, 0, 0, 60));
        painter.drawText(textBox, 0,
                         QStringLiteral("Buffering ") + QString::number(buffering_percent) + QStringLiteral(" % ..."));
        return;
    }
    if (!shown.isEmpty()) {
        painter.drawText(textBox, 0, shown);
        if (show_buffer_details) {
            const QString details = QStringLiteral("FPS ") + QString::number(shown_fps, 'f', 2) + QStringLiteral(" - ")
                + QCoreApplication::translate("Canvas", "%1/s").arg(bandwidth_text(speed_text.toDouble()));
            const int dw = QFontMetrics(font).horizontalAdvance(details);
            painter.drawText(QRect(width() - dw - image_rect.x(), y + fh / 4, width(), fh), 0, details);
        }
        return;
    }
    painter.fillRect(QRect(x, y, width(), band), QColor(0, 0, 0, 60));
    log_info(QStringLiteral("draw overlay :: Loading ..."));
    painter.drawText(textBox, 0, QStringLiteral("Loading ..."));
}

void Canvas::draw_status_text(QPainter& painter)
{
    QFont font = painter.font();
    font.setPointSize(20);
    painter.setFont(font);
    painter.setPen(Qt::white);
    const int cx = width() / 2;
    const int cy = height() / 2;
    painter.drawText(QRect(cx - 16383, cy - 16383, 32767, 32767), Qt::AlignCenter, error_text);
}

void Canvas::displayError(QString error, QString error_message, bool is_opacity)
{
    if (!error.isEmpty()) {
        const QDateTime t = QDateTime::fromString(error, kTimeFormat);
        if (track_seconds && t.isValid())
            emit onchange_timestamp(t.toString(kTimeFormatCompact), QString::number(shown_fps, 'g', 6),
                                    speed_integer_text());
        set_timestamp(error);
        snapshot_caption.clear();
    }
    error_shown = true;
    error_text = error_message;
    error_black = !is_opacity;
    update();
}

// ---- snapshots ----

QString Canvas::snapshot_text() const
{
    if (!camera_label.isEmpty() && !timestamp.contains(camera_label))
        return camera_label + QStringLiteral(" | ") + timestamp;
    return timestamp;
}

QHash<QString, QString> Canvas::snapshot_form_fields(const QString& upload_uri, bool full_snapshot, QString* address)
{
    QHash<QString, QString> fields;
    const int q = upload_uri.indexOf(QLatin1Char('?'));
    if (address)
        *address = q < 0 ? upload_uri : upload_uri.left(q);
    if (q < 0)
        return fields;
    const QString query = upload_uri.mid(q + 1);
    const QString prefix = full_snapshot ? QStringLiteral("[INFO] Plugin :: get snapshot full :: send image params :: ")
                                         : QStringLiteral("[INFO] Plugin :: get snapshot :: send image params :: ");
    const QStringList items = query.split(QLatin1Char('&'), Qt::SkipEmptyParts);
    for (const QString& item : items) {
        QString name;
        QString value;
        if (full_snapshot) {
            const QStringList parts = item.split(QLatin1Char('='));
            if (parts.size() < 2)
                continue;
            name = parts.at(0);
            value = parts.at(1);
        } else {
            const int eq = item.indexOf(QLatin1Char('='));
            if (eq < 1)
                continue;
            name = item.left(eq);
            value = item.mid(eq + 1);
        }
        write_log(prefix + name + QStringLiteral(" + ") + value);
        fields.insert(name, value);
    }
    return fields;
}

void Canvas::draw_snapshot_time(QPainter& painter, int w_total)
{
    const QString text = snapshot_caption.isEmpty() ? timestamp : snapshot_caption;
    if (text.isEmpty())
        return;
    QFont font = painter.font();
    font.setPointSize(20);
    painter.setFont(font);
    const QFontMetrics fm(font);
    const int h = fm.height() + 8;
    const int x = image_rect.x();
    const int y = image_rect.y();
    const int w = w_total - 2 * x;
    if (w < 1 || h < 1)
        return;
    painter.fillRect(QRect(x, y, w, h), QColor(0, 0, 0, 110));
    painter.setPen(Qt::white);
    const QRect box(x + 6, y, w - 12, h);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, fm.elidedText(text, Qt::ElideRight, box.width()));
}

QImage Canvas::get_snapshot(QString session_id, QString upload_uri)
{
    write_log("[INFO] Plugin :: get snapshot");
    QImage shot(width(), height(), QImage::Format_ARGB32_Premultiplied);
    shot.fill(Qt::transparent);
    QPainter painter(&shot);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    draw_image(painter);

    if (camera_label.isEmpty())
        write_log("[WARN] Plugin :: get snapshot :: overlay base is timestamp only");
    // The caption is shown over the picture until the next frame; the frame time stays a time.
    snapshot_caption = snapshot_text();
    draw_snapshot_time(painter, width());
    painter.end();
    update();

    if (keep_aspect_ratio) {
        const int x = image_rect.x();
        const int y = image_rect.y();
        const QRect crop = QRect(x, y, width() - 2 * x, height() - 2 * y).intersected(shot.rect());
        if (!crop.isEmpty())
            shot = shot.copy(crop);
    }
    if (!session_id.isEmpty() && !upload_uri.isEmpty()) {
        QString address;
        const QHash<QString, QString> fields = snapshot_form_fields(upload_uri, false, &address);
        uploadImage_multipart(shot, fields, address, session_id);
    }
    return shot;
}

QImage Canvas::get_snapshot(QString session_id)
{
    return get_snapshot(session_id, QString());
}

QImage Canvas::get_snapshot()
{
    return get_snapshot(QString(), QString());
}

QImage Canvas::get_snapshot_full(QString session_id, QString upload_uri)
{
    write_log(QStringLiteral("[INFO] Plugin :: get snapshot full :: ") + camera_label);
    QImage shot;
    {
        // The display's own copy: the sender's buffer may be gone or resized by now.
        QMutexLocker lock(&mutex);
        if (!image.isNull())
            shot = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    if (camera_label.isEmpty())
        write_log("[WARN] Plugin :: get snapshot full :: overlay base is timestamp only");
    const QString text = snapshot_text();
    write_log(QStringLiteral("[INFO] Plugin :: get snapshot full :: define overlay :: ") + text);
    if (shot.isNull())
        return shot;

    QPainter painter(&shot);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    QFont font = painter.font();
    font.setPointSize(20);
    painter.setFont(font);
    const int h = QFontMetrics(font).height() + 6;
    painter.fillRect(QRect(0, 0, shot.width(), h), QColor(0, 0, 0, 110));
    painter.setPen(Qt::white);
    painter.drawText(QRect(2, 0, shot.width() - 4, h), Qt::AlignLeft | Qt::AlignVCenter, text);
    painter.end();

    if (!session_id.isEmpty() && !upload_uri.isEmpty()) {
        QString address;
        const QHash<QString, QString> fields = snapshot_form_fields(upload_uri, true, &address);
        uploadImage_multipart(shot, fields, address, session_id);
    }
    return shot;
}

QImage Canvas::get_snapshot_full(QString session_id)
{
    return get_snapshot_full(session_id, QString());
}

QImage Canvas::get_snapshot_full()
{
    return get_snapshot_full(QString(), QString());
}

void Canvas::snapshot_slot_send()
{
    write_log("snapshot_slot_send finish");
}

void Canvas::snapshot_slot_uploadProgress(qlonglong, qlonglong)
{
    write_log("snapshot_slot_uploadProgress");
}

// ---- display-and-buffer thread ----

void Canvas::start_video_stream()
{
    log_info(QStringLiteral("Start video stream"));
    emit send_status_message(QStringLiteral("connecting"));
    const QStringList parts = stream_path.split(QLatin1Char('&'));
    const bool was_fullscreen = !display_id.isEmpty() && display_id.contains(QStringLiteral("fullscreen"));
    display_id = QString();
    for (QString part : parts) {
        if (!part.contains(QStringLiteral("id=")))
            continue;
        part.remove(QStringLiteral("id="));
        display_id = part + (was_fullscreen ? QStringLiteral(" - fullscreen") : QString());
    }
    log_info(QStringLiteral("Go() :: buffer_size_in_ms > 0 : ") + QString::number(buffer_ms));
    if (frame_data) {
        QMutexLocker lock(&mutex);
        frame_data = nullptr;
        frame_linesize = -1;
    }
    const qint64 now = now_ticks();
    frame_arrival_time = now;
    paint_start_time = now;
    fps_sample_time = now;
    if (stream_path.contains(QStringLiteral("onlyobjframes=1")))
        only_objects = true;
    display_thread = new new_display_thread(nullptr);
    if (external_feed)
        return;
    new_display_thread* t = display_thread.data();
    t->set_decoding_disabled(false);
    t->set_buffer_ms(buffer_ms);
    t->set_display_id(display_id);
    t->set_video_quality(video_quality);
    connect_display_thread(t);
    connect_ptz_driver();

    const bool buffered = buffer_ms >= 1 && !get_stream_codec().contains(QStringLiteral("mjpeg"));
    if (!buffered) {
        t->set_buffer_ms(0);
        buffer_ms = 0;
        log_info(QStringLiteral("set buffer size to ") + QString::number(0));
    }
    t->init_stream_parser(stream_scheme, stream_host, stream_port, stream_argument, stream_path, only_objects,
                          get_stream_codec(), reconnect, proxy_host, proxy_port, stream_flag, stream_option);
    if (buffered) {
        t->start(QThread::InheritPriority);
    } else {
        t->start_stream_parser();
        // The client's pictures are shown by the thread's direct playout.
        t->start(QThread::InheritPriority);
    }
}

void Canvas::connect_display_thread(new_display_thread* t)
{
    connect(t, &new_display_thread::streamparser_error, this, &Canvas::checkend);
    connect(t, &new_display_thread::set_codec_size, this, &Canvas::setup_codecSize);
    connect(t, &new_display_thread::send_displayError, this, &Canvas::displayError);
    connect(t, &new_display_thread::send_streamparser_speed, this, &Canvas::speed_receive);
    connect(t, &new_display_thread::send_streamparser_scaler_dewrap, this, &Canvas::setup_scaler_dewrap);
    connect(t, &new_display_thread::send_streamparser_stop_buffering, this, &Canvas::stop_buffering);
    connect(t, &new_display_thread::set_display_frame, this, &Canvas::displayFrame);
    connect(t, &new_display_thread::send_status_message, this, &Canvas::send_status_message);
    connect(t, &new_display_thread::send_buffering, this, &Canvas::buffering);
    connect(t, &new_display_thread::error, this, &Canvas::checkEnding);

    connect(this, &Canvas::send_duration, t, &new_display_thread::get_duration, Qt::DirectConnection);
    connect(this, &Canvas::replay_frame_displayed, t, &new_display_thread::get_replay_frame_displayed,
            Qt::DirectConnection);
    connect(this, &Canvas::display_pause, t, &new_display_thread::set_pause);
    connect(this, &Canvas::display_start, t, [t]() { t->start(); });
    connect(this, &Canvas::display_stop, t, &new_display_thread::set_stop);
    connect(this, &Canvas::display_show, t, &new_display_thread::get_display_show);
    connect(this, &Canvas::display_hidden, t, &new_display_thread::get_display_hidden);
    connect(t, &new_display_thread::can_delete, this, &Canvas::delete_display_thread);
    connect(t, &QObject::destroyed, this, [this]() {
        write_log(QStringLiteral("[INFO] Display [") + display_id
                  + QStringLiteral("] :: destroyed :: send status message disconnected"));
        emit send_status_message(QStringLiteral("disconnected"));
        display_thread = nullptr;
    });
}

void Canvas::restart_video_stream()
{
    if (display_thread && display_thread->isRunning()) {
        if (!recreate_pending) {
            recreate_pending = true;
            log_info(QStringLiteral("recreate async :: wait for finished"));
            connect(display_thread.data(), &QObject::destroyed, this, [this]() {
                if (!recreate_pending)
                    return;
                recreate_pending = false;
                display_thread = nullptr;
                log_info(QStringLiteral("recreate async :: start"));
                start_video_stream();
            });
        }
        QMetaObject::invokeMethod(display_thread.data(), "set_stop", Qt::QueuedConnection);
        return;
    }
    if (display_thread)
        delete display_thread.data();
    display_thread = nullptr;
    start_video_stream();
}

void Canvas::delete_display_thread()
{
    log_info(QStringLiteral("delete display thread"));
    if (display_thread) {
        delete display_thread.data();
        display_thread = nullptr;
    } else {
        log_warn(QStringLiteral("delete display thread :: display thread already deleted"));
    }
}

void Canvas::stop_buffering()
{
    log_info(QStringLiteral("stop_buffering"));
    buffer_ms = 0;
}

// ---- zones ----

bool Canvas::update_zone_highlight(QPointF p)
{
    return zone_overlay.update_highlight(p);
}

int Canvas::zone_index_at(QPointF p) const
{
    return zone_overlay.index_at(p);
}

// ---- pan-tilt-zoom: PtzControl drives the camera, PtzMarks draws ----

void Canvas::mousehold() { ptz.mousehold(); }
void Canvas::mousehold_Stop() { ptz.mousehold_Stop(); }
void Canvas::setWheelOn() { ptz.setWheelOn(); }
void Canvas::mouse_release_post_event() { ptz.mouse_release_post_event(); }
void Canvas::pluginptz(QString action, QString type, QString sensibility) { ptz.pluginptz(action, type, sensibility); }
void Canvas::onvif_request_finished(int request_code) { ptz.onvif_request_finished(request_code); }
void Canvas::onvif_request_security() { ptz.onvif_request_security(); }
void Canvas::onvif_request_security_stop() { ptz.onvif_request_security_stop(); }
void Canvas::zrptz_request_security_stop() { ptz.zrptz_request_security_stop(); }
void Canvas::update_ptz_rectangle(QPointF p) { ptz.update_ptz_rectangle(p); }
void Canvas::stop_ptz_move(const char* reason) { ptz.stop_ptz_move(reason); }
void Canvas::native_continuous_move(int pan, int tilt) { ptz.native_continuous_move(pan, tilt); }
void Canvas::connect_ptz_driver() { ptz.connect_ptz_driver(); }
bool Canvas::native_ptz_ready() const { return ptz.native_ready(); }

void Canvas::get_direct_ptz_message(int status, QString command, QString fault, QString driver)
{
    ptz.get_direct_ptz_message(status, command, fault, driver);
}

void Canvas::reset_direct_ptz_message()
{
    ptz.reset_direct_ptz_message();
}

void Canvas::draw_ptz_status(QPainter& painter)
{
    PtzMarks::draw_status(painter,
                          PtzMarks::status_line(ptz_message_status, ptz_message_texts[0], ptz_message_texts[1],
                                                ptz_message_texts[2]),
                          image_rect, text_size, width());
}

void Canvas::draw_ptz_centre_mark(QPainter& painter)
{
    if (!ptz_enabled)
        return;
    const bool native = native_ptz_ready();
    const QRect ring = PtzMarks::draw_centre_mark(painter, size(), native, ptz.is_hold_active());
    if (native)
        ptz.set_dead_zone(ring);
}

void Canvas::draw_ptz_gesture(QPainter& painter)
{
    PtzMarks::draw_gesture(painter, size(), ptz.is_hold_active(), native_ptz_ready(),
                           ptz.dead_zone_contains(ptz.get_hold_point()), ptz.get_hold_point(), ptz_rectangle);
}

void Canvas::draw_ptz_arrow(QPainter& painter, QPoint from, QPoint to)
{
    PtzMarks::draw_arrow(painter, from, to, native_ptz_ready());
}

// ---- gestures ----

namespace {
int button_code(Qt::MouseButton b)
{
    switch (b) {
    case Qt::LeftButton:
        return 0;
    case Qt::RightButton:
        return 1;
    case Qt::MiddleButton:
        return 2;
    default:
        return -1;
    }
}
} // namespace

QRectF Canvas::image_area() const
{
    const int x = image_rect.x();
    const int y = image_rect.y();
    return QRectF(x, y, width() - 2.0 * x, height() - 2.0 * y);
}

bool Canvas::in_image_area(QPointF p) const
{
    const QRectF a = image_area();
    return a.width() > 0 && a.height() > 0 && a.contains(p);
}

void Canvas::mousePressEvent(QMouseEvent* event)
{
    const QPointF pos = event->position();
    if (!frame_received() || ptz.is_hold_running() || error_shown)
        return;
    if (keep_aspect_ratio) {
        const QRectF area = image_area();
        if (area.width() <= 0 || area.height() <= 0 || !area.contains(pos))
            return;
    }
    pointer_left = false;
    release_sent = false;
    const bool left = event->button() == Qt::LeftButton;
    if (left) {
        press_pos = pos;
        if (ptz_enabled)
            ptz.press(pos);
    }
    if (left && dewarp_view && dewarp_enabled)
        dewarp_press(pos);
    bool zone_hit = false;
    if (left && !zones_text.isEmpty() && !zoom.is_active())
        zone_hit = update_zone_highlight(pos);
    if (left && !ptz_enabled && !dewarp_view && digital_zoom_enabled && !zone_hit) {
        zoom.press(pos, zoom_view());
        event->accept();
        return;
    }
    if (event->button() == Qt::RightButton) {
        if (ptz_enabled && !paused)
            ptz.right_click();
        if (digital_zoom_enabled) {
            if (!ptz_enabled && zoom.is_active())
                zoom_off();
            emit send_clic_event(QStringLiteral("zoom_out"), 0, 0, 1);
            const int index = zoom.window_at(event->pos());
            if (index >= 0) {
                zoom.reset_or_remove_window(index);
                update();
                return;
            }
        }
    }
    QWidget::mousePressEvent(event);
    update();
}

void Canvas::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF pos = event->position();
    if (!frame_received())
        return;
    const bool dragging = zoom.is_dragging();
    if ((pointer_left && !dragging) || release_sent || error_shown)
        return;
    if (keep_aspect_ratio) {
        const QRectF area = image_area();
        if (area.width() <= 0 || area.height() <= 0)
            return;
        if (!area.contains(pos) && !dragging)
            return;
    }
    if (dewarp_view) {
        dewarp_move(pos, event->buttons());
        return;
    }
    if (zoom.drag(pos, zoom_view())) {
        update();
        return;
    }
    if (width() <= 0 || height() <= 0)
        return;
    ptz.cut_hold_short();
    if ((event->buttons() & Qt::LeftButton) && ptz_enabled && !ptz.is_hold_active()
        && gesture_events.contains(QStringLiteral("area"))) {
        ptz.area_step(pos);
        return;
    }
    if (ptz_enabled || !zoom.is_active()) {
        if (!zones_text.isEmpty()) {
            update_zone_highlight(pos);
            update();
        }
        return;
    }
    if (zoom.is_panning()) {
        event->accept();
        zoom.pan(pos, zoom_view());
        update();
    }
}

void Canvas::mouseReleaseEvent(QMouseEvent* event)
{
    const QPointF pos = event->position();
    if (!frame_received() || (pointer_left && !zoom.is_rubber_band_active()) || release_sent || error_shown)
        return;
    if (zoom.is_rubber_band_active()) {
        zoom.finish_rubber_band(zoom_view());
        update();
        return;
    }
    if (keep_aspect_ratio && !in_image_area(pos))
        return;
    if (dewarp_view) {
        dewarp_release(pos, event->button());
        return;
    }
    const bool left = event->button() == Qt::LeftButton;
    if (left && ptz.is_hold_running()) {
        if (ptz.is_hold_active()) {
            stop_ptz_move("mouseRelease");
            return;
        }
        ptz.stop_hold_timer();
    }
    if (left && zoom.is_click_pending() && !ptz_enabled && !dewarp_view && digital_zoom_enabled
        && zoom.windows().isEmpty()) {
        zoom.click_zoom(zoom_view());
        dewarp.set_dragged(false);
        update();
        event->accept();
        return;
    }
    if (left && zoom.is_window_dragging()) {
        zoom.end_window_drag();
        return;
    }
    if (left && ptz.is_area_dragging() && ptz_enabled && !ptz.is_hold_active()) {
        ptz.finish_area();
    } else if (left && !ptz.is_area_dragging() && ptz_enabled && !ptz.is_hold_active()) {
        press_pos = pos;
        ptz.schedule_click();
    } else if (left && !ptz_enabled && zoom.is_panning()) {
        zoom.end_pan();
        QWidget::mouseReleaseEvent(event);
    }
    if (left && !zones_text.isEmpty() && !zoom.is_active()) {
        zone_overlay.clear_highlight();
        const int index = zone_index_at(pos);
        if (index >= 0) {
            emit change_camera_id(camera_id, index);
            write_log(QStringLiteral("[INFO] Plugin::mouse release event :: send id ") + QString::number(index));
        }
    }
    ptz.set_hold_active(false);
    update();
}

void Canvas::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPointF pos = event->position();
    if (error_shown || (keep_aspect_ratio && !in_image_area(pos)))
        return;
    emit send_clic_event(QStringLiteral("double_clic"), int(std::lround(pos.x())), int(std::lround(pos.y())),
                         button_code(event->button()));
    if (!frame_received() || !zones_text.isEmpty())
        return;
    ptz.double_click();
    log_info(QStringLiteral("mouse double click event"));
    if (event->button() == Qt::RightButton) {
        const int index = zoom.window_at(event->pos());
        if (index >= 0) {
            zoom.remove_window(index);
            update();
            return;
        }
    }
    if (ptz_enabled && (!native_ptz_ready() || !ptz.dead_zone_contains(pos)))
        return;
    if (event->button() != Qt::LeftButton)
        return;
    if (bandeau) {
        emit emitBandeau(display_id);
        return;
    }
    if (!fullscreen_enabled)
        return;
    if (!fullscreen_shown && !dewarp_view) {
        log_info(QStringLiteral("mouse double click event :: show fullscreen"));
        set_fullscreen_view(true);
    } else if (fullscreen_shown) {
        log_info(QStringLiteral("mouse double click event :: show normal display"));
        set_fullscreen_view(false);
    } else {
        return;
    }
    reset_zoom();
    update();
    event->accept();
}

void Canvas::wheelEvent(QWheelEvent* event)
{
    const QPointF pos = event->position();
    if ((keep_aspect_ratio && !in_image_area(pos)) || !frame_received() || error_shown)
        return;
    if (dewarp_view)
        dewarp_wheel(event);
    if (!dewarp_view && ptz_enabled && gesture_events.contains(QStringLiteral("zoom")) && ptz.is_wheel_armed())
        ptz.wheel_zoom(event);
    if (ptz_enabled || dewarp_view || !digital_zoom_enabled)
        return;
    const int index = zoom.window_at(pos.toPoint());
    if (index >= 0) {
        zoom.wheel_window(index, pos, event->angleDelta(), zoom_view());
        update();
        event->accept();
    } else if (zoom.wheel(pos, event->angleDelta().y(), zoom_view())) {
        update();
        event->accept();
    } else {
        QWidget::wheelEvent(event);
    }
}

void Canvas::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && fullscreen_shown)
        set_fullscreen_view(false);
}

void Canvas::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    pointer_left = true;
    if (ptz.is_hold_running()) {
        ptz.stop_hold_timer();
        if (ptz.is_hold_active())
            ptz.leave_hold();
    }
    if (zoom.is_rubber_band_active()) {
        zoom.extend_rubber_band(mapFromGlobal(QCursor::pos()), zoom_view());
        update();
    }
}

void Canvas::set_fullscreen_view(bool full)
{
    fullscreen_shown = full;
    if (full) {
        setWindowFlags(windowFlags() | Qt::Window);
        showFullScreen();
    } else {
        setWindowFlags(windowFlags() & ~Qt::Window);
        showNormal();
        show();
    }
}

// ---- digital zoom ----

DigitalZoom::View Canvas::zoom_view() const
{
    DigitalZoom::View v;
    v.widget_w = width();
    v.widget_h = height();
    v.image_rect = image_rect;
    v.frame_w = frame_w();
    v.frame_h = frame_h();
    return v;
}

void Canvas::zoom_off()
{
    zoom.zoom_off();
    dewarp.set_dragged(false);
    frame_width = codec_width;
    frame_height = codec_height;
}

void Canvas::reset_zoom()
{
    zoom.reset();
}

int Canvas::zoom_window_at(QPoint p) const
{
    return zoom.window_at(p);
}

void Canvas::remove_overlapping_zoom_windows(QRect r)
{
    zoom.remove_overlapping_windows(r);
}

// ---- fisheye dewarp ----

void Canvas::setup_scaler_dewrap(int w, int h)
{
    log_info(QStringLiteral("setup_scaler_dewrap ") + QString::number(w) + QLatin1Char('x') + QString::number(h));
    QMutexLocker lock(&mutex);
    if (!dewarp.setup(w, h))
        log_warn(QStringLiteral("setup_scaler_dewrap :: no dewarp output for ") + QString::number(w) + QLatin1Char('x')
                 + QString::number(h));
}

// Nothing else sizes the output for the pictures of a recording, so the intake does it whenever
// the frame size changes.
bool Canvas::dewarp_current_frame(const uint8_t* data, int linesize, int w, int h)
{
    if (dewarp.source_size() != QSize(w, h))
        setup_scaler_dewrap(w, h);
    QString why;
    bool done;
    {
        QMutexLocker lock(&mutex);
        done = dewarp.dewarp(data, linesize, w, h, &why);
    }
    if (!done)
        log_warn(QStringLiteral("dewarp :: skip frame :: ") + why);
    return done;
}

void Canvas::dewarp_press(QPointF p)
{
    dewarp.press(p);
}

void Canvas::dewarp_move(QPointF p, Qt::MouseButtons held)
{
    if (!(held & Qt::LeftButton) || !dewarp_enabled)
        return;
    if (dewarp.drag(p)) {
        frame_width = image_rect.width();
        frame_height = image_rect.height();
        fps_sample_time = now_ticks();
    }
}

void Canvas::dewarp_release(QPointF p, Qt::MouseButton button)
{
    const bool left = button == Qt::LeftButton;
    // A click measures against the picture shown.
    if (left && (!dewarp_enabled || (dewarp.is_pan_active() && !dewarp.is_dragged()))) {
        frame_width = image_rect.width();
        frame_height = image_rect.height();
    }
    const FisheyeDewarp::Release done = dewarp.release(p, left, button == Qt::RightButton, dewarp_enabled,
                                                       image_rect.topLeft(), QSizeF(frame_width, frame_height));
    if (done == FisheyeDewarp::Release::Recentred)
        update();
}

void Canvas::dewarp_wheel(QWheelEvent* event)
{
    dewarp.wheel(event->angleDelta().y(), dewarp_enabled, paused);
}
