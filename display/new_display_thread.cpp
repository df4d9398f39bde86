#include "display/new_display_thread.h"

#include "app/Log.h"
#include "display/PlayoutPacing.h"
#include "media/DecodedFrame.h"
#include "media/ZRScaler.h"
#include "platform/PreciseSleep.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QMetaType>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <memory>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

namespace {

constexpr qint64 kTicksPerSecond = 10000000;
constexpr double kPaintWaitLimitUs = 10000000.0;
constexpr int kReplayMarker = -99;

qint64 steady_ns()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

// The display's reference to a picture it was handed; dropped once the display has copied it.
struct HeldPicture
{
    AVFrame* frame = av_frame_alloc();
    ~HeldPicture() { av_frame_free(&frame); }
};

QString format_name(int pix_fmt)
{
    const char* name = av_get_pix_fmt_name(AVPixelFormat(pix_fmt));
    return name ? QString::fromLatin1(name) : QStringLiteral("unknown");
}

} // namespace

new_display_thread::new_display_thread(Canvas* display_widget)
    : QThread(nullptr)
    , display(display_widget)
{
    qRegisterMetaType<uint8_t*>("uint8_t*");
    m_scaler = new ZRScaler(nullptr);
    last_paint_report = steady_ns();
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
        last_paint_report = now_ns();
        log_info(QStringLiteral("Destroy :: unwait display ") + QString::number(attempt));
    }
    log_info(QStringLiteral("Destroy :: is running after wait ") + QString::number(isRunning() ? 1 : 0));
    // A QThread must not be destroyed while it runs; every wait of the loop ends on stop.
    if (isRunning())
        wait();
    if (stream_client) {
        disconnect(stream_client, nullptr, this, nullptr);
        if (stream_client->isRunning()) {
            log_warn(QStringLiteral("Destroy :: stream parser is running, could not delete"));
            // Bounded: the client's own destructor ends a transfer that still hangs.
            for (int attempt = 1; attempt <= 50 && stream_client->isRunning(); ++attempt) {
                log_info(QStringLiteral("Destroy :: wait parser to finish :: try ") + QString::number(attempt));
                if (attempt >= 12)
                    stream_client->force_libcurl_stop();
                stream_client->wait(100);
            }
        }
        log_info(QStringLiteral("Destroy :: delete stream parser"));
        delete stream_client.data();
        stream_client = nullptr;
    }
    log_info(QStringLiteral("Destroy :: uninit_frames"));
    uninit_frames();
    delete m_scaler;
    m_scaler = nullptr;
    log_info(QStringLiteral("Destroy done"));
}

// ---- small helpers ----

void new_display_thread::log_info(const QString& text) const
{
    write_log(QStringLiteral("[INFO] Display [") + display_id + QStringLiteral("] :: ") + text);
}

void new_display_thread::log_warn(const QString& text) const
{
    write_log(QStringLiteral("[WARN] Display [") + display_id + QStringLiteral("] :: ") + text);
}

void new_display_thread::log_error(const QString& text) const
{
    write_log(QStringLiteral("[ERROR] Display [") + display_id + QStringLiteral("] :: ") + text);
}

void new_display_thread::set_clock(Clock c, Sleeper s)
{
    clock = std::move(c);
    sleeper = std::move(s);
    last_paint_report = now_ns();
}

qint64 new_display_thread::now_ns() const
{
    return clock ? clock() : steady_ns();
}

void new_display_thread::sleep_ms(int ms)
{
    if (sleeper)
        sleeper(ms);
    else
        zrplatform::precise_sleep(ms);
}

void new_display_thread::set_video_quality(int flags)
{
    if (flags != -1)
        video_quality = flags;
}

int new_display_thread::list_size_for(double fps) const
{
    return playout_max_list_size(fps, buffer_ms, picture_bytes);
}

DecodedFrame* new_display_thread::frame_at(size_t index)
{
    QMutexLocker lock(&frame_queue.mutex);
    if (index >= frame_queue.frames.size())
        return nullptr;
    return frame_queue.frames[index];
}

void new_display_thread::uninit_frames()
{
    QMutexLocker lock(&frame_queue.mutex);
    if (frame_queue.frames.empty()) {
        log_info(QStringLiteral("uninit_frames :: circular buffer already empty"));
        return;
    }
    while (!frame_queue.frames.empty()) {
        delete frame_queue.frames.front();
        frame_queue.frames.pop_front();
    }
    frame_queue.frames.shrink_to_fit();
    frame_queue.changed.wakeAll();
}

void new_display_thread::trim_queue()
{
    const int max = max_list_size;
    if (max < 1)
        return;
    QMutexLocker lock(&frame_queue.mutex);
    while (frame_queue.frames.size() > static_cast<size_t>(max)) {
        delete frame_queue.frames.front();
        frame_queue.frames.pop_front();
    }
}

// ---- set-up and life cycle ----

void new_display_thread::init_stream_parser(QString scheme, QString host, QString port, QString extra,
                                            QString path_and_query, bool only_objects, QString codec, bool reconnect,
                                            QString proxy_host, QString proxy_port, bool use_proxy, QString token)
{
    log_info(QStringLiteral("init stream parser :: create stream parser"));
    stream_client = new ZRStreamParser(scheme, host, port, extra, path_and_query, only_objects, codec, reconnect, this);
    stream_client->set_proxy(proxy_host, proxy_port, use_proxy);
    stream_client->set_name(display_id.toUtf8());
    stream_client->set_video_quality(video_quality);
    stream_client->set_token(token);
    connect(stream_client, &ZRStreamParser::send_status_message, this, &new_display_thread::send_status_message);
    connect(stream_client, &ZRStreamParser::can_delete, this, &new_display_thread::delete_stream_parser);
    connect(stream_client, &ZRStreamParser::set_restart, this, &new_display_thread::start_stream_parser);
    connect(stream_client, &ZRStreamParser::stop_display_thread, this, &new_display_thread::set_stop);
    stream_client->set_decoding_disabled(decoding_disabled);
    log_info(QStringLiteral("init stream parser :: codec value ") + codec);
    wait_frame_timeout_ms = codec.contains(QStringLiteral("mjpeg")) ? 10000 : 5000;
    if (buffer_ms > 0) {
        stream_client->set_buffered_display(true);
        if (max_list_size < 0 && frame_rate > 0) {
            const int size = (frame_rate * buffer_ms / 1000) * 2;
            log_info(QStringLiteral("init stream parser :: max_list_size calculation   %1 // %2 // %3")
                         .arg(size)
                         .arg(frame_rate)
                         .arg(buffer_ms));
            max_list_size = list_size_for(frame_rate);
            read_index = static_cast<quint64>(max_list_size / 2);
            log_info(QStringLiteral("init stream parser :: max_list_size   %1 // %2 // %3")
                         .arg(max_list_size.load())
                         .arg(frame_rate)
                         .arg(buffer_ms));
        }
    }
    // Without a buffer the client's pictures still need a consumer: the direct playout shows
    // the newest of them.
    stream_client->set_frame_queue(&frame_queue);
}

void new_display_thread::run()
{
    log_info(QStringLiteral("run display & buffer thread"));
    if (buffer_ms > 0) {
        start_stream_parser();
        buffering_calculation();
    } else {
        direct_playout();
    }
}

void new_display_thread::start_stream_parser()
{
    log_info(QStringLiteral("start stream parser"));
    if (stop.load()) {
        log_warn(QStringLiteral("start stream parser :: stop thread detected"));
        return;
    }
    pause = false;
    previous_frame_displayed = true;
    finished = false;
    // A restart of the client while the playout runs (its stream error) keeps the playout's
    // place: the client's frame ids go on, and starting again from id 0 would replay the
    // oldest buffered frames.
    if (QThread::currentThread() == this || !isRunning()) {
        previous_frame_id = 0;
        frame_rate = -1;
    }
    if (!stream_client)
        return;

    QString path = stream_client->get_url_path();
    if (path.contains(QStringLiteral("playback")) || path.contains(QStringLiteral("playbacksync"))) {
        QString time = last_keyframe_timestamp;
        if (!time.isEmpty() || last_timestamp.isEmpty()) {
            log_info(QStringLiteral("start stream parser :: in playback with keyframe timestamp :: ") + time);
        } else {
            time = last_timestamp;
            log_warn(QStringLiteral("start stream parser :: in playback with timestamp, but not a keyframe"));
        }
        if (!time.isEmpty()) {
            QString old_parameter;
            for (const QString& part : path.split(QLatin1Char('&'))) {
                if (part.contains(QStringLiteral("starttime")))
                    old_parameter = part;
            }
            if (!old_parameter.isEmpty()) {
                const QString start = QDateTime::fromString(time, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
                                          .toString(QStringLiteral("yyyyMMddHHmmss"));
                if (!start.isEmpty())
                    path.replace(old_parameter, QStringLiteral("starttime=") + start);
                if (!path.isEmpty())
                    stream_client->set_url_path(path);
            }
        }
    }
    // A client that asked for its restart is ending its transfer: wait for it, not past a stop.
    for (int waited = 0; stream_client->isRunning() && waited < kParserWaitLimitMs && !stop.load(); waited += 100)
        stream_client->wait(100);
    if (stream_client->isRunning()) {
        log_warn(QStringLiteral("start stream parser :: stream parser already running"));
        return;
    }
    if (!stop.load())
        stream_client->start(QThread::InheritPriority);
}

void new_display_thread::setup_scaler(int w, int h, AVPixelFormat origin_pix_fmt)
{
    log_info(QStringLiteral("setup scaler :: ") + QString::number(w) + QLatin1Char('x') + QString::number(h)
             + QStringLiteral(" fmt=") + format_name(origin_pix_fmt));
    if (!m_scaler) {
        log_error(QStringLiteral("setup_scaler :: m_scaler is NULL"));
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
    last_paint_report = now_ns();
}

void new_display_thread::get_replay_frame_displayed()
{
    // Called from the display's paint: the marker stays on screen a second, but the paint
    // does not sleep for it.
    if (!replay_wait.load())
        return;
    QTimer::singleShot(1000, this, &new_display_thread::end_replay_wait);
}

void new_display_thread::end_replay_wait()
{
    if (!replay_wait.exchange(false))
        return;
    log_info(QStringLiteral("unwait threads"));
    if (stream_client)
        stream_client->replay_frame_displayed();
}

void new_display_thread::set_stop()
{
    log_info(QStringLiteral("set stop"));
    stop = true;
    frame_queue.wake();
    if (stream_client) {
        if (stream_client->isRunning()) {
            log_info(QStringLiteral("set stop :: stream parser is running. Set Stop"));
            stream_client->threadStop(true);
        } else {
            log_info(QStringLiteral("set stop :: stream parser is not running. Send delete"));
            stream_client->destroy();
        }
    }
    if (buffer_ms == 0) {
        log_info(QStringLiteral("set stop :: self async delete"));
        deleteLater();
    }
}

void new_display_thread::set_pause()
{
    log_info(QStringLiteral("set_pause"));
    pause = true;
    frame_queue.wake();
    if (stream_client)
        stream_client->threadPause();
}

void new_display_thread::delete_stream_parser()
{
    log_info(QStringLiteral("delete stream parser"));
    // While the playout loop runs it reads the client's flags: the client then goes with this
    // object's destruction, after the loop has ended.
    const bool loop_running = isRunning() && QThread::currentThread() != this;
    if (stream_client && stream_client->isRunning()) {
        log_warn(QStringLiteral("delete stream parser :: stream parser is running, could not delete"));
        stream_client->threadStop(true);
        if (!loop_running)
            stream_client->self_delete();
    } else if (stream_client && !loop_running) {
        stream_client_deleted = true;
        disconnect(stream_client, nullptr, this, nullptr);
        delete stream_client.data();
        stream_client = nullptr;
    }
    if (!pause.load()) {
        log_info(QStringLiteral("delete stream parser :: self async delete"));
        deleteLater();
    }
}

void new_display_thread::get_streamparser_error()
{
    log_info(QStringLiteral("get streamparser error"));
    emit streamparser_error();
}

void new_display_thread::get_streamparser_codecSize(int width, int height)
{
    emit set_codec_size(width, height);
}

void new_display_thread::get_streamparser_displayError(QString error_overlay, QString error_message, bool is_opacity)
{
    emit send_displayError(error_overlay, error_message, is_opacity);
}

void new_display_thread::get_streamparser_speed(double speed)
{
    emit send_streamparser_speed(speed);
}

void new_display_thread::get_streamparser_scaler_dewrap(int width, int height)
{
    emit send_streamparser_scaler_dewrap(width, height);
}

void new_display_thread::get_streamparser_stop_buffering()
{
    emit send_streamparser_stop_buffering();
}

void new_display_thread::get_display_hidden(bool paused)
{
    display_hidden = true;
    const QString path = stream_client ? stream_client->get_url_path() : QString();
    if (path.contains(QStringLiteral("playback")) || path.contains(QStringLiteral("playbacksync"))
        || path.contains(QStringLiteral("zrstreammptvideo")))
        return;
    log_info(QStringLiteral("Display is hidden :: pause ") + QString::number(paused ? 1 : 0));
    if (paused)
        set_pause();
}

void new_display_thread::get_display_show()
{
    log_info(QStringLiteral("Display is visible"));
    display_hidden = false;
    const QString path = stream_client ? stream_client->get_url_path() : QString();
    if (path.contains(QStringLiteral("playback")) || stop.load())
        return;
    if (buffer_ms > 0) {
        start();
        return;
    }
    // The direct playout has its own loop; a client that runs already is left alone.
    if (stream_client && !stream_client->isRunning())
        start_stream_parser();
    start();
}

void new_display_thread::stop_and_restart_parser()
{
    log_info(QStringLiteral("set stop and restart parser"));
    // The count starts again with the new transfer: one bad minute must not restart forever.
    send_error_count = 0;
    if (stream_client)
        stream_client->set_stream_error(true);
}

// ---- playout ----

void new_display_thread::buffering_calculation()
{
    const qint64 start_ticks = now_ticks();
    last_rate_step = start_ticks;
    wait_frame_start = start_ticks;
    last_paint_report = now_ns();
    buffering_percent = -1.0;
    while (!stop.load() && !pause.load()) {
        trim_queue();
        const int result = choose_and_send_frame();
        if (result < 0 || send_error_count.load() > 50) {
            log_info(QStringLiteral("buffer calculation :: send frame ERROR [%1]").arg(send_error_count.load()));
            stop_and_restart_parser();
            previous_frame_displayed = true;
            last_paint_report = now_ns();
            continue;
        }
        double elapsed = (now_ns() - last_paint_report.load()) / 1000.0;
        while (!previous_frame_displayed.load()) {
            if (stop.load() || pause.load() || buffering || elapsed >= kPaintWaitLimitUs)
                break;
            sleep_ms(1);
            elapsed = (now_ns() - last_paint_report.load()) / 1000.0;
            if (display_hidden.load() || pause_received.load()) {
                previous_frame_displayed = true;
                last_paint_report = now_ns();
                sleep_ms(100);
            }
        }
        if (stop.load() || pause.load())
            break;
        if (!previous_frame_displayed.load() && !buffering && elapsed >= kPaintWaitLimitUs) {
            log_info(QStringLiteral("buffering calculation :: previous_frame_displayed WAIT too long, send error. ")
                     + QString::number(static_cast<qint64>(elapsed / 1000000.0)));
            log_info(QStringLiteral("buffering calculation :: previous_frame_displayed WAIT too long, first frame ")
                     + QString::number(first_frame ? 1 : 0));
            stop_and_restart_parser();
            previous_frame_displayed = true;
            last_paint_report = now_ns();
        }
        if (stop.load() || pause.load())
            break;
        if (!first_frame && previous_frame_displayed.load()) {
            paint_duration_us += static_cast<quint64>(elapsed);
            aimed_rate = centred_rate();
            wait_frame_interval(aimed_rate, true);
        }
    }
    log_info(QStringLiteral("buffering calculation :: out"));
    if (!pause.load()) {
        uninit_frames();
        if (stream_client) {
            log_info(QStringLiteral("buffering calculation :: send stop signal to parser"));
            stream_client->threadStop(true);
        } else if (stream_client_deleted) {
            log_warn(QStringLiteral("buffering calculation :: parser is currently deleted"));
        }
    } else {
        frame_queue.clear();
    }
    finished = true;
    log_info(QStringLiteral("buffering calculation :: quit"));
}

int new_display_thread::choose_and_send_frame()
{
    const size_t size = frame_queue.size();
    const int max = max_list_size;
    if (size == 0 || max < 0 || static_cast<qint64>(size) < max / 2 - 1)
        return fill_step(size);
    return playout_step(size);
}

void new_display_thread::set_rates_from(const DecodedFrame* frame, bool playout_phase)
{
    double fps = frame->get_fps();
    if (!(fps > 0.0))
        fps = ZRStreamParser::kDefaultFps; // a first part without a rate still starts the playout
    stream_frame_rate = fps;
    frame_rate = fps < 2.0 ? 1 : static_cast<int>(fps);
    playout_rate = frame_rate;
    if (frame->get_buffer_size() > 0)
        picture_bytes = static_cast<qint64>(frame->get_buffer_size());
    max_list_size = list_size_for(fps);
    read_index = static_cast<quint64>(max_list_size / (playout_phase ? 2 : 4));
}

int new_display_thread::fill_step(size_t size)
{
    if (size == 0) {
        sleep_ms(50);
        return 0;
    }
    DecodedFrame* front = frame_at(0);
    if (front && front->get_frametag().contains(QStringLiteral("noobjects"))) {
        DecodedFrame* taken = frame_queue.take();
        write_log(QStringLiteral("[INFO] Display [") + display_id + QStringLiteral("] ::  with noobjects"));
        if (taken) {
            send_frame(taken, taken->get_frame(), taken->get_width(), taken->get_height(), taken->get_pix_fmt(),
                       taken->get_is_keyframe());
            delete taken;
        }
        return 0;
    }
    if (frame_rate < 0 && front)
        set_rates_from(front, false);
    const int max = max_list_size;
    if (static_cast<qint64>(size) < max / 2 - 1)
        sleep_ms(20);
    buffering = true;
    if (max > 0) {
        const unsigned percent = static_cast<unsigned>(size) * 100u / static_cast<unsigned>(max);
        if (percent > buffering_percent && percent <= 100) {
            buffering_percent = percent;
            emit send_buffering(true, buffering_percent);
        }
    }
    return 0;
}

void new_display_thread::advance_to_newer(int previous, int& id)
{
    const size_t size = frame_queue.size();
    while (read_index + 1 < size) {
        ++read_index;
        const DecodedFrame* f = frame_at(read_index);
        if (!f) {
            write_log(QStringLiteral("[WARN 704] Display :: frame null at index ") + QString::number(read_index));
            write_log(QStringLiteral("[WARN] Display :: circulat buffer size  ") + QString::number(size));
            continue;
        }
        id = f->get_frameid();
        if (id == kReplayMarker || id == previous + 1 || id >= previous + 5)
            break;
    }
}

int new_display_thread::playout_step(size_t size)
{
    if (!wait_for_frame && buffering)
        emit send_buffering(false, 100.0);
    buffering = false;
    const int max = max_list_size;
    drift_mark = static_cast<quint64>(max * 0.4);
    low_mark = static_cast<quint64>(max * 0.2);
    frame_ready = false;
    if (previous_frame_id == 999999)
        previous_frame_id = 0;
    if (read_index >= size)
        read_index = size - 1;
    DecodedFrame* f = frame_at(read_index);
    if (!f) {
        write_log(QStringLiteral("[WARN 560] Display :: frame null at index ") + QString::number(read_index));
        write_log(QStringLiteral("[WARN] Display :: circulat buffer size  ") + QString::number(size));
    }
    if (frame_rate < 0 && f) {
        set_rates_from(f, true);
        if (read_index >= size)
            read_index = size - 1;
        f = frame_at(read_index);
    }
    int id = f ? f->get_frameid() : -1;
    const double fps = f ? f->get_fps() : -1.0;
    if (fps > 0.0) {
        stream_frame_rate = fps;
        if (frame_rate < 2) {
            frame_rate = std::max(1, static_cast<int>(fps));
            playout_rate = frame_rate;
        }
    }

    if (wait_for_frame) {
        // The transfer ended while waiting: its replay marker is next.
        const DecodedFrame* newest = frame_at(size - 1);
        if (newest && newest->get_frameid() == kReplayMarker) {
            wait_for_frame = false;
            read_index = size - 1;
            id = kReplayMarker;
        } else {
            return wait_for_frame_step(id, size);
        }
    }

    const int previous = previous_frame_id;
    if (id == kReplayMarker) {
        // handled below
    } else if (previous < 0 || previous == id - 1) {
        frame_ready = true;
    } else if (previous >= id) {
        advance_to_newer(previous, id);
        if (id != kReplayMarker && id <= previous) {
            // Nothing newer has arrived: the playout caught up with the stream.
            log_info(QStringLiteral("NO DISPLAY FRAME / Out Of bound %1 / %2").arg(read_index.load()).arg(size - 1));
            frame_ready = false;
            read_index = static_cast<quint64>(max / 2);
            wait_frame_start = now_ticks();
            wait_for_frame = true;
            const DecodedFrame* middle = frame_at(read_index);
            return wait_for_frame_step(middle ? middle->get_frameid() : -1, size);
        }
        frame_ready = true;
    } else {
        while (read_index > 0 && id != previous + 1) {
            --read_index;
            const DecodedFrame* older = frame_at(read_index);
            if (!older) {
                write_log(QStringLiteral("[WARN 845] Display :: frame null at index ") + QString::number(read_index));
                write_log(QStringLiteral("[WARN] Display :: circulat buffer size  ") + QString::number(size));
                continue;
            }
            id = older->get_frameid();
            if (id <= previous) {
                // Ids are not contiguous here: the next newer one is the one to show.
                ++read_index;
                id = frame_at(read_index) ? frame_at(read_index)->get_frameid() : -1;
                break;
            }
        }
        frame_ready = true;
    }
    f = frame_at(read_index);
    if (f && f->get_frameid() == kReplayMarker) {
        log_info(QStringLiteral("send replay frame"));
        emit send_displayError(QStringLiteral("REPLAY..."), QString(), true);
        replay_wait = true;
        const qint64 started = now_ns();
        while (replay_wait.load() && !stop.load() && !pause.load()) {
            if (now_ns() - started >= qint64(kReplayWaitLimitMs) * 1000000) {
                log_warn(QStringLiteral("send replay frame :: no confirmation, reconnect"));
                end_replay_wait();
                break;
            }
            sleep_ms(100);
        }
        // The marker leaves the buffer, so the playout goes on with the new transfer's frames.
        {
            QMutexLocker lock(&frame_queue.mutex);
            auto it = std::find(frame_queue.frames.begin(), frame_queue.frames.end(), f);
            if (it != frame_queue.frames.end()) {
                delete *it;
                frame_queue.frames.erase(it);
            }
        }
        previous_frame_id = -1;
        return 1;
    }

    const QString tag = f ? f->get_frametag() : QString();
    const bool tagged_stream = stream_client && stream_client->has_frametag();
    if ((tagged_stream && tag.isEmpty()) || (stream_client && stream_client->is_error_reply()))
        frame_ready = false;
    // The rate follows every frame that plays (read literally, the test would leave ordinary
    // untagged frames out).
    if (!tagged_stream || !tag.isEmpty())
        adapt_rate(size, fps);
    return send_step(f, id);
}

// The adaptive rate alone moves the chosen frame from one mark to the other (its steps only
// act near the ends of the buffer); the interval's rate also pulls it toward the middle, in
// proportion to its distance, so it settles there.
double new_display_thread::centred_rate()
{
    const int max = max_list_size;
    const double rate = playout_rate;
    // Only a full buffer has a middle: while it fills, the chosen frame is its newest.
    if (max < 3 || wait_for_frame || static_cast<qint64>(frame_queue.size()) < max - 1)
        return rate;
    const double offset = kCentringPerFrame * (max / 2 - static_cast<double>(read_index.load()));
    return std::clamp(rate + offset, 1.0, std::max(1.0, stream_frame_rate + 300.0));
}

void new_display_thread::adapt_rate(size_t size, double fps)
{
    const qint64 max = max_list_size;
    const qint64 index = static_cast<qint64>(read_index.load());
    const qint64 low = static_cast<qint64>(low_mark);
    const qint64 drift = static_cast<qint64>(drift_mark);
    const double cap = stream_frame_rate + 300.0;
    if (static_cast<qint64>(size) >= max - 1) {
        if (index <= low) {
            playout_rate = std::min(playout_rate + 0.5, cap);
            wait_for_frame = false;
            late = true;
            if (skip_count == 0)
                skip_count = 1;
        } else if ((max - 1) - index <= low) {
            const double r = playout_rate - 0.5;
            playout_rate = r <= 1.0 ? 1.0 : r;
            skip_count = 0;
            late = false;
        } else if (index > max / 2 - 2 && index < max / 2 + 2) {
            late = false;
        }
    }
    const qint64 now = now_ticks();
    if (now - last_rate_step >= kTicksPerSecond) {
        ++seconds_count;
        max_list_size_update(fps);
        if (index <= drift) {
            playout_rate = std::min(playout_rate + 0.01, cap);
        } else if ((max - 1) - index <= drift) {
            const double r = playout_rate - 0.01;
            playout_rate = r <= 1.0 ? 1.0 : r;
        }
        last_rate_step = now;
    }
}

int new_display_thread::wait_for_frame_step(int id, size_t size)
{
    const int previous = previous_frame_id;
    log_info(QStringLiteral("Wait frame - _current_frame_id ") + QString::number(id));
    log_info(QStringLiteral("Wait frame - previous frame id ") + QString::number(previous));
    if (id != kReplayMarker && id >= 0 && (previous == id - 1 || previous < id)) {
        wait_for_frame = false;
        buffering = false;
        frame_ready = true;
        emit send_buffering(false, 100.0);
    } else {
        if (now_ticks() - wait_frame_start >= qint64(wait_frame_timeout_ms) * 10000) {
            log_info(QStringLiteral("wait_frame too long, send error."));
            wait_for_frame = false;
            return -1;
        }
        buffering = true;
        const int max = max_list_size;
        if (max > 0)
            buffering_percent = static_cast<double>(size * 100 / static_cast<size_t>(max));
        emit send_buffering(true, 100.0);
    }
    if (stop.load() || pause.load())
        return 1;
    if (!finished.load()) {
        pacing = true;
        wait_frame_interval(playout_rate, false);
    }
    return send_step(frame_at(read_index), id);
}

int new_display_thread::send_step(DecodedFrame* f, int id)
{
    if (skip_count == -1)
        skip_count = 0;
    if (!frame_ready || !f) {
        sleep_ms(100);
        return 0;
    }
    AVFrame* picture = f->get_frame();
    if (!picture) {
        if (f->get_frametag() == QLatin1String("PAUSE")) {
            pause_received = true;
            previous_frame_displayed = false;
        } else {
            ++send_error_count; // a part that did not decode: the playout moves past it
        }
        previous_frame_id = id;
        return 0;
    }
    pause_received = false;
    const bool key = f->get_is_keyframe();
    if (!late) {
        pacing = true;
        send_frame(f, picture, f->get_width(), f->get_height(), f->get_pix_fmt(), key);
    } else if (skip_count >= 1 && !key) {
        pacing = false;
        --skip_count;
        if (skip_count < 1)
            skip_count = -1;
        ++frames_skipped;
    } else {
        pacing = true;
        send_frame(f, picture, f->get_width(), f->get_height(), f->get_pix_fmt(), key);
        if (!key) {
            late = false;
            skip_count = 0;
        }
    }
    previous_frame_id = id;
    return 0;
}

void new_display_thread::send_frame(DecodedFrame* frame, AVFrame* picture, int width, int height, int pix_fmt,
                                    bool is_keyframe)
{
    if (!picture) {
        log_error(QStringLiteral("frame is NULL"));
        ++send_error_count;
        return;
    }
    const int format = picture->format != -1 ? picture->format : pix_fmt;
    const char* stamp = frame->get_timestamp();
    const QString time_text = (stamp && *stamp) ? QString::fromLatin1(stamp) : QStringLiteral("ERROR");
    const QString tag = frame->get_frametag();
    if (decoding_disabled)
        return;
    if (picture->width < 1 || picture->height < 1 || picture->width > 999999999 || picture->height > 999999999) {
        emit send_displayError(time_text,
                               QStringLiteral("Decoded frame size %1x%2").arg(picture->width).arg(picture->height),
                               true);
        ++send_error_count;
        return;
    }
    if (!m_scaler) {
        log_error(QStringLiteral("m_scaler is NULL"));
        ++send_error_count;
        return;
    }
    if (first_frame || picture->width != scaler_width || picture->height != scaler_height || format != scaler_format) {
        setup_scaler(picture->width, picture->height, AVPixelFormat(format));
        if (frame->get_fps() > 0.0)
            stream_frame_rate = frame->get_fps();
        if (frame->get_buffer_size() > 0)
            picture_bytes = static_cast<qint64>(frame->get_buffer_size());
        if (buffer_ms > 0) {
            max_list_size = list_size_for(stream_frame_rate);
            read_index = static_cast<quint64>(max_list_size / 2);
        }
    }
    // Pictures already in the display's format (the direct mode's) are handed on as they are.
    AVFrame* converted = format == AV_PIX_FMT_BGRA ? picture : m_scaler->scale(picture);
    if (!converted || !converted->data[0]) {
        if (first_frame)
            log_warn(QStringLiteral("send frame :: scale failed (fmt=%1 src=%2x%3)")
                         .arg(format_name(format))
                         .arg(picture->width)
                         .arg(picture->height));
        ++send_error_count;
    } else {
        if (first_frame)
            log_info(QStringLiteral("send frame :: send to display frame %1 :: frame size %2x%3 :: src=%4x%5")
                         .arg(frame->get_frameid())
                         .arg(width)
                         .arg(height)
                         .arg(picture->width)
                         .arg(picture->height));
        if (first_frame || width != picture->width || height != picture->height) {
            emit set_codec_size(width, height);
            emit send_streamparser_scaler_dewrap(width, height);
        }
        first_frame = false;
        buffering = false;
        previous_frame_displayed = false;
        if (!display_hidden.load()) {
            if (time_text == last_timestamp) {
                previous_frame_displayed = true;
                paint_duration_us = 0;
                ++repeat_count;
                if (repeat_count > 10)
                    sleep_ms(100);
            } else {
                last_timestamp = time_text;
                repeat_count = 0;
                if (is_keyframe)
                    last_keyframe_timestamp = time_text;
                hand_to_display(converted, width, height, time_text, frame, is_keyframe);
            }
        }
    }
    if (!tag.isEmpty())
        emit send_displayError(time_text, tag.contains(QStringLiteral("noobjects")) ? QStringLiteral("NO ACTIVITY") : tag,
                               true);
}

void new_display_thread::hand_to_display(AVFrame* picture, int width, int height, const QString& time_text,
                                         DecodedFrame* frame, bool is_keyframe)
{
    // The display gets its own reference: the scaler's next picture, a size change or this
    // thread's end cannot pull the pixels from under it. The reference is dropped by a call
    // queued behind the frame's delivery in the display's thread.
    auto held = std::make_shared<HeldPicture>();
    if (!held->frame || av_frame_ref(held->frame, picture) < 0) {
        ++send_error_count;
        previous_frame_displayed = true;
        return;
    }
    Q_UNUSED(width);
    Q_UNUSED(height);
    ++frames_sent;
    send_error_count = 0; // frames flow again
    emit set_display_frame(held->frame->data[0], held->frame->linesize[0], held->frame->width, held->frame->height,
                           time_text, frame->get_drawoverlay(), false, frame->get_frameid(), stream_frame_rate,
                           is_keyframe);
    QObject* context = QAbstractEventDispatcher::instance(thread());
    if (!context)
        context = QCoreApplication::instance();
    if (context)
        QMetaObject::invokeMethod(context, [held]() {}, Qt::QueuedConnection);
}

void new_display_thread::max_list_size_update(double fps)
{
    fps_sum += fps;
    const double average = seconds_count > 0 ? fps_sum / seconds_count : 0.0;
    if (seconds_count > 10) {
        const int candidate = list_size_for(average);
        if (candidate > max_list_size + 3) {
            stream_frame_rate = average;
            max_list_size = candidate;
            log_info(QStringLiteral("set Max List size to ") + QString::number(candidate) + QStringLiteral(" with FPS ")
                     + QString::number(average, 'g', 6));
        }
        fps_sum = 0.0;
        seconds_count = 0;
    }
}

double new_display_thread::wait_frame_interval(double fps, bool compensate)
{
    const FrameWait w = plan_frame_wait(fps, pacing, compensate, static_cast<qint64>(paint_duration_us.load()));
    if (!pacing) {
        last_sleep_ms = 0;
        return w.rate;
    }
    last_sleep_ms = w.late ? 0 : w.sleep_ms;
    if (w.late) {
        late = true;
        skip_count = w.skip_count;
    } else {
        sleep_ms(w.sleep_ms);
    }
    return w.rate;
}

// Without a buffer: the newest picture the client decoded is shown as soon as the display
// has painted the one before.
void new_display_thread::direct_playout()
{
    log_info(QStringLiteral("direct display"));
    last_paint_report = now_ns();
    while (!stop.load() && !pause.load()) {
        const double since_paint = (now_ns() - last_paint_report.load()) / 1000.0;
        if (!previous_frame_displayed.load() && !display_hidden.load() && since_paint < kPaintWaitLimitUs) {
            sleep_ms(1);
            continue;
        }
        DecodedFrame* f = nullptr;
        {
            QMutexLocker lock(&frame_queue.mutex);
            while (frame_queue.frames.size() > 1) {
                delete frame_queue.frames.front();
                frame_queue.frames.pop_front();
            }
            if (frame_queue.frames.empty() && !stop.load() && !pause.load())
                frame_queue.changed.wait(&frame_queue.mutex, 100);
            if (!frame_queue.frames.empty()) {
                f = frame_queue.frames.back();
                frame_queue.frames.pop_back();
                while (!frame_queue.frames.empty()) {
                    delete frame_queue.frames.front();
                    frame_queue.frames.pop_front();
                }
            }
        }
        if (!f)
            continue;
        if (f->get_frame()) {
            last_paint_report = now_ns();
            send_frame(f, f->get_frame(), f->get_width(), f->get_height(), f->get_pix_fmt(), f->get_is_keyframe());
        }
        delete f;
    }
    uninit_frames();
    finished = true;
    log_info(QStringLiteral("direct display :: quit"));
}
