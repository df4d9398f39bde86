#include "display/new_display_thread.h"

#include "app/Log.h"
#include "media/ZRScaler.h"

#include <QDebug>

#include <chrono>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace {
qint64 steady_ns()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

new_display_thread::new_display_thread(Canvas* display_widget)
    : QThread(nullptr)
    , display(display_widget)
{
    m_scaler = new ZRScaler(nullptr);
}

new_display_thread::~new_display_thread()
{
    log_info(QStringLiteral("Destroy "));
    qDebug() << "Destroy display adress " << static_cast<void*>(this);
    replay_wait = false;
    if (!stop.load())
        set_stop(); // a deferred deletion posted there goes with the object
    log_info(QStringLiteral("Destroy :: is running ") + QString::number(isRunning() ? 1 : 0));
    for (int attempt = 0; attempt < 20 && isRunning(); ++attempt) {
        log_info(QStringLiteral("Destroy :: wait display ") + QString::number(attempt));
        wait(1000);
        stop = true;
        previous_frame_displayed = true;
        last_paint_report = steady_ns();
        log_info(QStringLiteral("Destroy :: unwait display ") + QString::number(attempt));
    }
    log_info(QStringLiteral("Destroy :: is running after wait ") + QString::number(isRunning() ? 1 : 0));
    // A QThread must not be destroyed while it runs.
    if (isRunning())
        wait();
    log_info(QStringLiteral("Destroy :: delete stream parser"));
    log_info(QStringLiteral("Destroy :: uninit_frames"));
    delete m_scaler;
    m_scaler = nullptr;
    log_info(QStringLiteral("Destroy done"));
}

void new_display_thread::log_info(const QString& text) const
{
    write_log(QStringLiteral("[INFO] Display [") + display_id + QStringLiteral("] :: ") + text);
}

void new_display_thread::set_video_quality(int flags)
{
    if (flags != -1)
        video_quality = flags;
}

void new_display_thread::setup_scaler(int w, int h, AVPixelFormat origin_pix_fmt)
{
    const char* name = av_get_pix_fmt_name(origin_pix_fmt);
    log_info(QStringLiteral("setup scaler :: ") + QString::number(w) + QLatin1Char('x') + QString::number(h)
             + QStringLiteral(" fmt=") + (name ? QString::fromLatin1(name) : QStringLiteral("unknown")));
    if (!m_scaler) {
        write_log(QStringLiteral("[ERROR] Display [") + display_id + QStringLiteral("] :: setup_scaler :: m_scaler is NULL"));
        return;
    }
    m_scaler->set_name(display_id);
    m_scaler->set_video_quality(video_quality);
    m_scaler->setup_scaler(w, h, w, h, false, origin_pix_fmt, AV_PIX_FMT_BGRA);
    scaler_width = w;
    scaler_height = h;
    scaler_format = origin_pix_fmt;
}

void new_display_thread::security_unlock_display()
{
    previous_frame_displayed = true;
}

void new_display_thread::get_duration(qlonglong us)
{
    paint_duration_us = static_cast<quint64>(us < 0 ? 0 : us);
    previous_frame_displayed = true;
    last_paint_report = steady_ns();
}

void new_display_thread::set_stop()
{
    log_info(QStringLiteral("set stop"));
    stop = true;
    if (buffer_ms == 0) {
        log_info(QStringLiteral("set stop :: self async delete"));
        deleteLater();
    }
}

void new_display_thread::set_pause()
{
    log_info(QStringLiteral("set_pause"));
    pause = true;
}

void new_display_thread::run()
{
    log_info(QStringLiteral("run display & buffer thread"));
}
