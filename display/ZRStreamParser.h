#pragma once

#include "display/MultipartFrameRecognizer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>

extern "C" {
#include <libavutil/pixfmt.h>
}

struct AVFrame;
class DecodedFrame;
struct DecodedFrameQueue;
class VideoDecoder;

// Client of one live multipart frame stream: receives the endless response over libcurl on a
// thread of its own, recognises its parts, decodes each frame and pushes it as a DecodedFrame
// into its consumer's queue. At the end of a transfer it reconnects, goes idle, hands itself
// over for deletion or asks its owner for a restart, as its flags say.
class ZRStreamParser : public QThread
{
    Q_OBJECT
public:
    ZRStreamParser(QString scheme, QString host, QString port, QString extra, QString path_and_query,
                   bool only_objects, QString codec, bool reconnect, QObject* owner);
    explicit ZRStreamParser(QObject* owner);
    ~ZRStreamParser() override;

    void set_name(const QByteArray& n) { name = n; }
    QByteArray get_name() const { return name; }

    // The consumer's deque; the consumer also writes its mutex into frame_mutex.
    void set_frame_queue(std::deque<DecodedFrame*>* queue) { frame_queue = queue; }
    // The same for a DecodedFrameQueue, whose condition also wakes a waiting consumer.
    void set_frame_queue(DecodedFrameQueue* queue);
    QMutex* frame_mutex = nullptr;

    void set_token(QString t) { token = std::move(t); }
    void set_proxy(QString host, QString port, bool use);
    void set_url_path(QString p);
    QString get_url_path() const;
    void set_video_quality(int q) { video_quality = q; }
    void set_max_queue_size(int n) { max_queue_size = n; }
    void set_decoding_disabled(bool v) { decoding_disabled = v; }
    void set_buffered_display(bool v) { buffered_display = v; }
    void set_download_mode(bool v) { download_mode = v; }
    void set_raw_mode(bool v) { raw_mode = v; }
    void set_stream_error(bool v) { stream_error = v; }

    bool is_stopped() const { return stop.load(); }
    bool is_error_reply() const { return error_reply.load(); }
    bool has_frametag() const { return frametag_seen.load(); }
    bool is_only_objects() const { return only_objects.load(); }
    bool is_connected() const { return connected.load(); }
    bool is_buffered_display() const { return buffered_display.load(); }
    // The text overlay value ("failed to open decoder", "ERROR :: Corrupted frames" or the server's).
    QString get_text_overlay() const;
    // Parts dropped by the recogniser for impossible lengths or endless headers.
    quint64 dropped_parts() const { return dropped.load(); }

    void destroy();
    void force_libcurl_stop();
    void replay_frame_displayed() { replay_pending = false; }

    static constexpr int kMaxPictureSide = 16384;
    static constexpr double kDefaultFps = 25.0;

signals:
    void send_status_message(QString message);
    void can_delete();
    void set_restart();
    // Declared for owners that connect them; the client itself reports through the queue and logs.
    void error(QString error, QString message);
    void error();
    void stop_display_thread();
    void signal_network_fps(int fps, bool is_keyframe);
    void set_codec_size(int width, int height);
    void signal_setup_scaler_dewrap(int width, int height);
    void speed_send(double speed);

public slots:
    void threadStop(bool delete_after_reply);
    void threadPause();
    void self_delete();
    void calc_network_fps();
    void restart_network_fps(int frame_bytesReceived, bool is_keyframe);

protected:
    void run() override;

private:
    friend struct ZRStreamParserCurl;
    int get_stream();
    // 0: the chain ends; 1: start another transfer (reconnect).
    int stream_parsing_finished();
    void read_stream_data(const char* data, size_t size);
    void check_error_reply();
    bool handle_part(MultipartFrameRecognizer::Part& part);
    void push_frame(DecodedFrame* frame);
    bool open_decoder_for(const QString& content_type);
    void reset_recognition();
    void log(const char* level, const QString& text) const;
    void info(const QString& text) const { log("INFO", text); }

    QByteArray name;
    std::deque<DecodedFrame*>* frame_queue = nullptr;
    DecodedFrameQueue* decoded_queue = nullptr;
    QObject* owner = nullptr;

    QString scheme, host, port, path_and_query, codec, proxy_host, proxy_port, extra;
    mutable QMutex config_mutex; // path and text overlay, read by the owner
    bool use_proxy = false;
    QString token;

    std::atomic<bool> only_objects{false};
    bool reconnect = false;
    std::atomic<bool> buffered_display{false};
    bool download_mode = false;
    bool raw_mode = false;
    bool decoding_disabled = false;
    int video_quality = -1;
    int max_queue_size = -1;

    std::atomic<bool> stop{false};
    std::atomic<bool> pause{false};
    std::atomic<bool> stream_error{false};
    std::atomic<bool> delete_after_reply{false};
    std::atomic<bool> self_delete_flag{false};
    std::atomic<bool> can_delete_sent{false};
    std::atomic<bool> replay_pending{false};
    std::atomic<bool> error_reply{false};
    std::atomic<bool> frametag_seen{false};
    std::atomic<bool> connected{false};
    std::atomic<bool> force_stop{false};
    std::atomic<int> running_handles{-1};
    std::atomic<quint64> dropped{0};

    void* multi_handle = nullptr; // CURLM*, touched by the client's thread only
    QMutex wake_mutex;            // guards multi_handle's life for a wake from another thread
    QByteArray response_headers;

    MultipartFrameRecognizer recognizer;
    QString text_overlay;
    int frame_id = 1;
    int first_frame_done = 0;
    int undecodable = 0;
    int undecodable_limit = 100;
    int last_width = -1;
    int last_height = -1;
    double last_good_fps = 0.0;

    std::unique_ptr<VideoDecoder> decoder;
    bool decoder_open = false;

    qint64 bytes_since_frame = 0;
    QElapsedTimer window;
    qint64 window_bytes = 0;
    QElapsedTimer last_chunk;
};
