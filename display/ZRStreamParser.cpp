#include "display/ZRStreamParser.h"

#include "app/CurlGlobal.h"
#include "app/Http_singleton.h"
#include "app/Log.h"
#include "media/DecodedFrame.h"
#include "media/DecodedFrameQueue.h"
#include "media/VideoDecoder.h"

#include <QDateTime>
#include <QMetaType>
#include <QTimer>

#include <curl/curl.h>

#include <cmath>

namespace {

QString converted_timestamp(const QByteArray& raw)
{
    const QDateTime t = QDateTime::fromString(QString::fromLatin1(raw), QStringLiteral("yyyyMMddHHmmsszzz"));
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) : QString();
}

QString without_frame_prefix(QString type)
{
    return type.remove(QStringLiteral("frame/"));
}

// Sleeps in short steps until `done` holds, the client stops, or `limit_ms` passed.
template <typename Done>
void wait_until(const std::atomic<bool>& stop, int limit_ms, Done done)
{
    QElapsedTimer t;
    t.start();
    while (!done() && !stop.load() && (limit_ms < 0 || t.elapsed() < limit_ms))
        QThread::msleep(20);
}

} // namespace

// libcurl's C callbacks, with access to the client.
struct ZRStreamParserCurl
{
    static size_t write(char* data, size_t size, size_t nmemb, void* user)
    {
        auto* self = static_cast<ZRStreamParser*>(user);
        const size_t n = size * nmemb;
        self->read_stream_data(data, n);
        if (self->pause.load()) {
            self->info(QStringLiteral("WriteMemoryCallback :: pause thread detected"));
            return n == 0 ? 1 : 0;
        }
        if (self->stream_error.load()) {
            self->info(QStringLiteral("WriteMemoryCallback :: stream error detected"));
            return n == 0 ? 1 : 0;
        }
        return n;
    }
    static size_t header(char* data, size_t size, size_t nmemb, void* user)
    {
        auto* text = static_cast<QByteArray*>(user);
        const size_t n = size * nmemb;
        // A peer cannot grow the header text without bound.
        if (text->size() + static_cast<qint64>(n) > 256 * 1024)
            return 0;
        text->append(data, static_cast<qsizetype>(n));
        return n;
    }
    static int progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        auto* self = static_cast<ZRStreamParser*>(user);
        if (self->stop.load()) {
            self->info(QStringLiteral("progress_callback :: stop thread detected"));
            return 1;
        }
        // A stream error ends a transfer that went silent too, not only one that still sends.
        return (self->force_stop.load() || self->stream_error.load()) ? 1 : 0;
    }
};

ZRStreamParser::ZRStreamParser(QString scheme_, QString host_, QString port_, QString extra_, QString path,
                               bool only_objects_, QString codec_, bool reconnect_, QObject* owner_)
    : QThread(nullptr), owner(owner_), scheme(std::move(scheme_)), host(std::move(host_)), port(std::move(port_)),
      path_and_query(std::move(path)), codec(std::move(codec_)), extra(std::move(extra_)), reconnect(reconnect_)
{
    qRegisterMetaType<AVPixelFormat>("AVPixelFormat");
    only_objects = only_objects_;
    codec.replace(QStringLiteral(".264"), QStringLiteral("264")).replace(QStringLiteral(".265"), QStringLiteral("265"));
    window.start();
    last_chunk.start();
    curl_global_once();
}

ZRStreamParser::ZRStreamParser(QObject* owner_) : QThread(nullptr), owner(owner_)
{
    qRegisterMetaType<AVPixelFormat>("AVPixelFormat");
    window.start();
    last_chunk.start();
    curl_global_once();
}

ZRStreamParser::~ZRStreamParser()
{
    if (isRunning()) {
        log("ERROR", QStringLiteral("destruction :: still running"));
        // The owner should have waited; never leave a thread running over freed members.
        stop = true;
        force_libcurl_stop();
        if (decoded_queue)
            decoded_queue->wake();
        wait(5000);
    }
    decoder.reset();
    info(QStringLiteral("destruction done"));
}

void ZRStreamParser::log(const char* level, const QString& text) const
{
    write_log(QStringLiteral("[%1] Stream parser [%2] :: %3").arg(QLatin1String(level), QString::fromLatin1(name), text));
}

void ZRStreamParser::set_frame_queue(DecodedFrameQueue* queue)
{
    decoded_queue = queue;
    frame_queue = queue ? &queue->frames : nullptr;
    frame_mutex = queue ? &queue->mutex : nullptr;
}

void ZRStreamParser::set_proxy(QString h, QString p, bool use)
{
    proxy_host = std::move(h);
    proxy_port = std::move(p);
    use_proxy = use;
}

void ZRStreamParser::set_url_path(QString p)
{
    QMutexLocker lock(&config_mutex);
    path_and_query = std::move(p);
}

QString ZRStreamParser::get_url_path() const
{
    QMutexLocker lock(&config_mutex);
    return path_and_query;
}

QString ZRStreamParser::get_text_overlay() const
{
    QMutexLocker lock(&config_mutex);
    return text_overlay;
}

void ZRStreamParser::run()
{
    info(QStringLiteral("start "));
    stop = false;
    if (!decoding_disabled) {
        if (decoder) {
            info(QStringLiteral("start :: decoder already created"));
        } else {
            decoder = std::make_unique<VideoDecoder>();
            decoder->set_video_quality(video_quality);
            if (!codec.isEmpty())
                decoder_open = open_decoder_for(codec);
        }
    }
    can_delete_sent = false;
    stream_error = false;
    pause = false;
    // A reconnect chain runs as a loop, so the stack never deepens.
    bool ran_one = false;
    for (;;) {
        const int result = get_stream();
        if (result < 0) {
            if (!ran_one) {
                log("ERROR", QStringLiteral("start :: failed to get stream"));
                if (!can_delete_sent.exchange(true)) {
                    info(QStringLiteral("start :: emit can delete"));
                    emit can_delete();
                }
            }
            break;
        }
        ran_one = true;
        if (stream_parsing_finished() == 0)
            break;
        // One stream error must not abandon every later transfer of the chain.
        stream_error = false;
    }
    if (ran_one)
        pause = false;
}

bool ZRStreamParser::open_decoder_for(const QString& content_type)
{
    const std::string name_ = without_frame_prefix(content_type).toStdString();
    return decoder->open_decoder(name_) || decoder->open_decoder(name_);
}

int ZRStreamParser::get_stream()
{
    const QString path = get_url_path();
    info(QStringLiteral("get stream :: ") + path);
    if (delete_after_reply) {
        log("WARN", QStringLiteral("get stream :: could not get new stream, will be deleted"));
        return -1;
    }
    if (path.contains(QLatin1String("onlyobjframes=1")))
        only_objects = true;
    connected = false;
    response_headers.clear();
    const QByteArray url = scheme.toLatin1() + "://" + host.toLatin1() + ":" + port.toLatin1() + path.toLatin1();
    info(QStringLiteral("get stream :: create url full :: ") + QString::fromLatin1(url));
    if (host.isEmpty() || path.isEmpty()) {
        log("ERROR", QStringLiteral("get stream :: url is empty"));
        return -1;
    }
    running_handles = 1;
    force_stop = false;
    CURL* easy = curl_easy_init();
    curl_slist* headers = nullptr;
    curl_easy_setopt(easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    if (scheme.contains(QLatin1String("https"))) {
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
        curl_easy_setopt(easy, CURLOPT_CA_CACHE_TIMEOUT, 604800L);
    }
    const QByteArray token_line = "x-auth-token: " + token.toLatin1();
    if (!token.isEmpty()) {
        headers = curl_slist_append(headers, token_line.constData());
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    }
    const QByteArray proxy = scheme.toLatin1() + "://" + proxy_host.toLatin1() + ":" + proxy_port.toLatin1();
    if (use_proxy) {
        info(QStringLiteral("get stream :: create proxy url :: ") + QString::fromLatin1(proxy));
        curl_easy_setopt(easy, CURLOPT_PROXY, proxy.constData());
    }
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &ZRStreamParserCurl::write);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &ZRStreamParserCurl::header);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &response_headers);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &ZRStreamParserCurl::progress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, 60L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT, 0L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, 15L);
    curl_easy_setopt(easy, CURLOPT_VERBOSE, Http_singleton::instance()->is_dev_build() ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));

    CURLM* multi = curl_multi_init();
    curl_multi_add_handle(multi, easy);
    {
        QMutexLocker lock(&wake_mutex);
        multi_handle = multi;
    }
    info(QStringLiteral("get stream :: get data"));
    while (running_handles.load() != 0) {
        int running = 0;
        CURLMcode mc = curl_multi_perform(multi, &running);
        running_handles = running;
        if (mc == CURLM_OK && running > 0)
            mc = curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
        if (mc != CURLM_OK) {
            info(QStringLiteral("get stream :: break after mc"));
            break;
        }
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
            if (msg->msg == CURLMSG_DONE)
                info(QStringLiteral("get stream :: transfer completed :: ") + QString::number(msg->data.result));
        }
        // A forced stop ends the loop here, on the thread that owns the handles.
        if (force_stop.load())
            break;
    }
    if (connected)
        emit send_status_message(QStringLiteral("disconnecting"));
    info(QStringLiteral("get stream :: curl handle cleanup :: ") + QString::number(running_handles.load()));
    {
        QMutexLocker lock(&wake_mutex);
        multi_handle = nullptr;
    }
    curl_multi_remove_handle(multi, easy);
    curl_multi_cleanup(multi);
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
    return 1;
}

void ZRStreamParser::read_stream_data(const char* data, size_t size)
{
    if (!data) {
        log("ERROR", QStringLiteral("get stream :: buffer curl is null"));
        return;
    }
    check_error_reply();
    if (running_handles.load() <= 0)
        return;
    last_chunk.restart();
    bytes_since_frame += static_cast<qint64>(size);
    if (window.elapsed() >= 5500) {
        window.restart();
        window_bytes = 0;
    }
    if (size == 0) {
        if (!stop.load())
            QThread::msleep(100);
        return;
    }
    size_t done = 0;
    while (done < size && !stop.load() && !pause.load()) {
        const bool was_in_body = recognizer.in_body();
        bool ready = false;
        done += recognizer.feed(data + done, size - done, &ready);
        dropped = recognizer.dropped_parts();
        if (!first_frame_done && !was_in_body && (recognizer.in_body() || ready))
            info(QStringLiteral("read stream :: start to get data for first frame :: ") +
                 QString::number(recognizer.expected_body_size()));
        if (!ready)
            continue;
        MultipartFrameRecognizer::Part part = recognizer.take_part();
        if (!first_frame_done)
            info(QStringLiteral("read stream :: get data for first frame finished :: %1 / %1").arg(part.body.size()));
        frametag_seen = !part.frame_tag.isEmpty() && !part.frame_tag.contains(QLatin1String("PAUSE"));
        if (!handle_part(part))
            break;
        if (!stop.load() && undecodable >= undecodable_limit) {
            info(QStringLiteral("read stream :: Too Much errors"));
            QMutexLocker lock(&config_mutex);
            text_overlay = QStringLiteral("ERROR :: Corrupted frames");
            undecodable = 0;
        }
    }
}

// One complete part. Returns false when parsing of this chunk must stop.
bool ZRStreamParser::handle_part(MultipartFrameRecognizer::Part& part)
{
    {
        QMutexLocker lock(&config_mutex);
        if (text_overlay != QLatin1String("failed to open decoder") &&
            text_overlay != QLatin1String("ERROR :: Corrupted frames"))
            text_overlay = part.text_overlay;
    }
    // Only a finite, plausible rate counts; anything else keeps the last good one.
    bool fps_ok = false;
    const double fps_value = part.fps.trimmed().toDouble(&fps_ok);
    if (fps_ok && std::isfinite(fps_value) && fps_value > 0.0 && fps_value <= 1000.0)
        last_good_fps = fps_value;
    if (buffered_display && !first_frame_done && last_good_fps <= 0.0)
        info(QStringLiteral("first frame without frame rate, default ") + QString::number(kDefaultFps));
    if (!connected.exchange(true))
        emit send_status_message(QStringLiteral("connected"));
    if (decoding_disabled)
        return true;
    restart_network_fps(static_cast<int>(qMin<qint64>(bytes_since_frame, INT_MAX)), !first_frame_done);
    bytes_since_frame = 0;
    const QString timestamp = converted_timestamp(part.timestamp);

    const bool raw_frame = download_mode && raw_mode;
    if (!raw_frame) {
        if (decoder_open && !part.content_type.isEmpty()) {
            const QString type = without_frame_prefix(part.content_type);
            if (QString::fromStdString(decoder->get_codec_name()) != type) {
                info(QStringLiteral("current decoder codec %1 different from content type %2")
                         .arg(QString::fromStdString(decoder->get_codec_name()), type));
                decoder = std::make_unique<VideoDecoder>();
                decoder->set_video_quality(video_quality);
                decoder_open = false;
            }
        }
        if (!decoder_open) {
            info(QStringLiteral("decoder not open, try with content type ") + part.content_type);
            if (!decoder)
                decoder = std::make_unique<VideoDecoder>();
            decoder_open = open_decoder_for(part.content_type);
            if (!decoder_open) {
                log("ERROR", QStringLiteral("decoder failed to open"));
                {
                    QMutexLocker lock(&config_mutex);
                    text_overlay = QStringLiteral("failed to open decoder");
                }
                stop = true;
                delete_after_reply = false;
                pause = false;
                return false;
            }
        }
    }

    const bool queue_mode = buffered_display || download_mode;
    if (download_mode && max_queue_size > 0 && frame_mutex && frame_queue) {
        // Back-pressure: wait while the consumer holds enough, but never past a stop.
        QMutexLocker lock(frame_mutex);
        while (!stop.load() && static_cast<int>(frame_queue->size()) >= max_queue_size) {
            if (decoded_queue)
                decoded_queue->changed.wait(frame_mutex, 200);
            else {
                lock.unlock();
                QThread::msleep(200);
                lock.relock();
            }
        }
    }
    auto* frame = new DecodedFrame();
    if (raw_frame) {
        frame->set_frame_data(reinterpret_cast<const uint8_t*>(part.body.constData()), static_cast<int>(part.body.size()));
    } else {
        // Direct mode decodes to BGRA for the display; queue mode keeps the codec's own picture.
        AVFrame* picture = decoder->decode_frame(reinterpret_cast<uint8_t*>(part.body.data()),
                                                 static_cast<int>(part.body.size()), !queue_mode);
        const int w = decoder->get_width();
        const int h = decoder->get_height();
        if (picture && (w > kMaxPictureSide || h > kMaxPictureSide || w <= 0 || h <= 0))
            picture = nullptr;
        if (picture) {
            frame->set_frame(picture);
            frame->set_width(w);
            frame->set_height(h);
            frame->set_pix_fmt(queue_mode ? decoder->get_pix_fmt() : AV_PIX_FMT_BGRA);
            frame->set_is_keyframe(decoder->get_is_keyframe());
            if (!first_frame_done || (w != last_width && last_width > 0) || (h != last_height && last_height > 0)) {
                last_width = w;
                last_height = h;
            }
            undecodable = 0;
        } else if (!queue_mode) {
            if (part.frame_tag.isEmpty())
                ++undecodable;
            else
                undecodable = 0;
        }
    }
    frame->set_frameid(frame_id);
    frame->set_timestamp(timestamp.toLatin1().constData());
    frame->set_drawoverlay(part.draw_overlay);
    frame->set_fps(last_good_fps > 0.0 ? last_good_fps : (buffered_display ? kDefaultFps : 0.0));
    frame->set_frametag(part.frame_tag);
    frame->filled = true;
    if (!first_frame_done && owner)
        info(QStringLiteral("read stream :: send frame to display :: ") + QString::fromLatin1(part.timestamp));
    push_frame(frame);
    first_frame_done = 1;

    frame_id = frame_id + 1 >= 1000000 ? 0 : frame_id + 1;
    return true;
}

void ZRStreamParser::push_frame(DecodedFrame* frame)
{
    if (!frame_queue || !frame_mutex) {
        delete frame; // nobody to hand it to
        return;
    }
    QMutexLocker lock(frame_mutex);
    frame_queue->push_back(frame);
    if (decoded_queue)
        decoded_queue->changed.wakeAll();
}

void ZRStreamParser::reset_recognition()
{
    recognizer.reset();
    bytes_since_frame = 0;
    frame_id = 1;
    undecodable = 0;
    undecodable_limit = 100;
}

void ZRStreamParser::check_error_reply()
{
    if (response_headers.isEmpty())
        return;
    for (const QByteArray& line : response_headers.split('\n')) {
        if (line.toLower().contains("content-type:"))
            error_reply = line.contains("text/html") || line.contains("text/plain");
    }
}

int ZRStreamParser::stream_parsing_finished()
{
    info(QStringLiteral("stream parsing finished"));
    // An error reply whose body never arrived is still an error reply.
    check_error_reply();
    const int handles = running_handles.load();
    // A paused client goes idle even when it reconnects: reconnecting would abandon every
    // following transfer at its first chunk for as long as the pause lasts.
    if (reconnect && !stop.load() && !pause.load()) {
        if (buffered_display && frame_queue && frame_mutex) {
            auto* marker = new DecodedFrame();
            marker->set_frameid(-99);
            marker->set_timestamp("REPLAY");
            marker->set_fps(-1.0);
            replay_pending = true;
            push_frame(marker);
            wait_until(stop, -1, [this] { return !replay_pending.load(); });
        } else {
            if (!owner)
                log("ERROR", QStringLiteral("failed to send error"));
            wait_until(stop, 1000, [] { return false; });
        }
        return stop.load() ? 0 : 1;
    }
    if (pause.load()) {
        if (stop.load()) {
            emit send_status_message(QStringLiteral("disconnected"));
            return 0;
        }
        info(QStringLiteral("stream parsing finished :: pause active :: running handles :: ") + QString::number(handles));
        reset_recognition();
        emit send_status_message(QStringLiteral("disconnected"));
        return 0;
    }
    if (stop.load()) {
        info(QStringLiteral("stream parsing finished :: quit :: running handles :: ") + QString::number(handles));
        if (!delete_after_reply) {
            emit send_status_message(QStringLiteral("disconnected"));
        } else if (!self_delete_flag) {
            info(QStringLiteral("stream parsing finished :: emit can delete"));
            can_delete_sent = true;
            emit can_delete();
            emit send_status_message(QStringLiteral("disconnected"));
        } else {
            info(QStringLiteral("stream parsing finished :: self delete"));
            deleteLater();
            emit send_status_message(QStringLiteral("disconnected"));
        }
        return 0;
    }
    info(QStringLiteral("stream parsing finished :: Stream Error"));
    info(QStringLiteral("stream parsing finished :: set restart parser :: running handles :: ") + QString::number(handles));
    if (error_reply.load())
        // A precise timer: a coarse one may fire up to 5 % early and ask the server again
        // before its three seconds are over.
        QTimer::singleShot(3000, Qt::PreciseTimer, this, [this] { emit set_restart(); });
    else
        emit set_restart();
    emit send_status_message(QStringLiteral("disconnected"));
    return 0;
}

void ZRStreamParser::threadStop(bool delete_after)
{
    stop = true;
    delete_after_reply = delete_after;
    pause = false;
    force_libcurl_stop();
    if (decoded_queue)
        decoded_queue->wake();
}

void ZRStreamParser::threadPause()
{
    pause = true;
}

void ZRStreamParser::self_delete()
{
    self_delete_flag = true;
}

void ZRStreamParser::destroy()
{
    info(QStringLiteral("Destroy :: running handles :: ") + QString::number(running_handles.load()));
    owner = nullptr;
    replay_pending = false;
    if (!stop.load()) {
        stop = true;
        delete_after_reply = true;
        pause = false;
    }
    if (decoded_queue)
        decoded_queue->wake();
    if (running_handles.load() != 0 && isRunning()) {
        log("WARN", QStringLiteral("Destroy :: reply not finished yet"));
        delete_after_reply = true;
        force_libcurl_stop();
    } else {
        info(QStringLiteral("Destroy :: emit can delete"));
        can_delete_sent = true;
        emit can_delete();
    }
}

// Ends the transfer loop from any thread: the loop itself removes the handles on its thread.
void ZRStreamParser::force_libcurl_stop()
{
    force_stop = true;
    QMutexLocker lock(&wake_mutex);
    if (multi_handle) {
        info(QStringLiteral("force libcurl stop"));
        curl_multi_wakeup(static_cast<CURLM*>(multi_handle));
    }
}

void ZRStreamParser::calc_network_fps()
{
    window.restart();
    window_bytes = 0;
}

void ZRStreamParser::restart_network_fps(int bytes, bool first)
{
    if (first) {
        window.restart();
        window_bytes = bytes;
    } else {
        window_bytes += bytes;
    }
}
