#pragma once

#include "display/ZRStreamParser.h"
#include "media/DecodedFrameQueue.h"

#include <QPointer>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <functional>

extern "C" {
#include <libavutil/pixfmt.h>
}

struct AVFrame;
class Canvas;
class DecodedFrame;
class ZRScaler;

// Playout engine of one display for a live stream: owns the display's stream client, the
// queue it fills and a scaler. With a buffer it keeps the queue as a playout buffer, chooses
// the next frame by id, adapts the playout rate to keep its choice in the middle of the buffer
// and hands each frame to the display once the one before is painted. With frames fed from
// outside it is created idle and never started.
class new_display_thread : public QThread
{
    Q_OBJECT
public:
    explicit new_display_thread(Canvas* display = nullptr);
    ~new_display_thread() override;

    bool is_stopped() const { return stop.load(); }
    bool is_paused() const { return pause.load(); }
    bool is_previous_frame_displayed() const { return previous_frame_displayed.load(); }
    qlonglong get_paint_duration_us() const { return static_cast<qlonglong>(paint_duration_us.load()); }

    void set_display_id(const QString& id) { display_id = id; }
    QString get_display_id() const { return display_id; }
    void set_buffer_ms(int ms) { buffer_ms = ms; }
    int get_buffer_ms() const { return buffer_ms; }
    // -1 keeps the current flags.
    void set_video_quality(int flags);
    int get_video_quality() const { return video_quality; }
    void set_decoding_disabled(bool disabled) { decoding_disabled = disabled; }
    bool is_decoding_disabled() const { return decoding_disabled; }
    ZRScaler* scaler() const { return m_scaler; }
    ZRStreamParser* get_stream_client() const { return stream_client; }

    void init_stream_parser(QString scheme, QString host, QString port, QString extra, QString path_and_query,
                            bool only_objects, QString codec, bool reconnect, QString proxy_host, QString proxy_port,
                            bool use_proxy, QString token);

    // The playout state, for the display's hosts, the benchmark and tests.
    int get_max_list_size() const { return max_list_size.load(); }
    int get_read_index() const { return static_cast<int>(read_index.load()); }
    double get_playout_rate() const { return playout_rate.load(); }
    double get_stream_frame_rate() const { return stream_frame_rate.load(); }
    // The rate the last frame interval was waited for: the adaptive rate with the pull
    // toward the middle of the buffer.
    double get_aimed_rate() const { return aimed_rate.load(); }
    // The whole milliseconds the last frame interval slept (0 when it was late).
    int get_last_sleep_ms() const { return last_sleep_ms.load(); }
    int get_wait_frame_timeout_ms() const { return wait_frame_timeout_ms; }
    int get_send_error_count() const { return send_error_count.load(); }
    quint64 get_frames_sent() const { return frames_sent.load(); }
    quint64 get_frames_skipped() const { return frames_skipped.load(); }
    size_t queue_size() { return frame_queue.size(); }
    DecodedFrameQueue& queue() { return frame_queue; }

    // Time and sleep of the playout loop; tests run the loop on a clock of their own. The
    // clock gives nanoseconds of a monotonic time, the sleeper sleeps whole milliseconds.
    using Clock = std::function<qint64()>;
    using Sleeper = std::function<void(int ms)>;
    void set_clock(Clock clock, Sleeper sleeper);

    // The playout loop, run by run() on the thread (tests call it directly with their clock).
    void buffering_calculation();
    // Largest number of buffered frames for a rate: by time, and by bytes for large pictures.
    int list_size_for(double fps) const;

    // The display confirms a replay marker by repainting it; without confirmation the
    // reconnect goes on after this long.
    static constexpr int kReplayWaitLimitMs = 5000;
    // A restart asked while the stream client ends its transfer waits this long at most.
    static constexpr int kParserWaitLimitMs = 10000;
    // Frames per second added to the interval's rate for each frame the chosen position lies
    // below the middle of the buffer (taken off above it).
    static constexpr double kCentringPerFrame = 0.2;

signals:
    void send_buffering(bool is_buffering, double percentage);
    void force_update();
    void set_display_frame(uint8_t* frame, int linesize, int width, int height, QString timestamp,
                           QString drawoverlay, bool isUnwrapped, int frame_id, double fps, bool is_keyframe);
    void send_hardware_display_frame(uint8_t** data, QString timestamp, QString drawoverlay, bool isUnwrapped,
                                     int width, int height, int frame_id, int frames_contained, int bitdepth,
                                     bool isYUV);
    void error();
    void streamparser_stop();
    void streamparser_error();
    void set_codec_size(int width, int height);
    void send_displayError(QString error, QString error_message, bool is_opacity);
    void send_streamparser_speed(double speed);
    void send_streamparser_scaler_dewrap(int width, int height);
    void send_streamparser_stop_buffering();
    void send_status_message(QString message);
    void can_delete();

public slots:
    void setup_scaler(int w, int h, AVPixelFormat origin_pix_fmt);
    // The display has painted the frame sent last.
    void security_unlock_display();
    void get_duration(qlonglong us);
    void get_replay_frame_displayed();
    void set_stop();
    void set_pause();
    void start_stream_parser();
    void delete_stream_parser();
    void get_streamparser_error();
    void get_streamparser_codecSize(int width, int height);
    void get_streamparser_displayError(QString error_overlay, QString error_message, bool is_opacity);
    void get_streamparser_speed(double speed);
    void get_streamparser_scaler_dewrap(int width, int height);
    void get_streamparser_stop_buffering();
    void get_display_hidden(bool paused);
    void get_display_show();

protected:
    void run() override;

private:
    void log_info(const QString& text) const;
    void log_warn(const QString& text) const;
    void log_error(const QString& text) const;
    qint64 now_ns() const;
    qint64 now_ticks() const { return now_ns() / 100; }
    void sleep_ms(int ms);

    int choose_and_send_frame();
    int fill_step(size_t size);
    int playout_step(size_t size);
    int wait_for_frame_step(int id, size_t size);
    void advance_to_newer(int previous, int& id);
    void set_rates_from(const DecodedFrame* frame, bool playout_phase);
    void adapt_rate(size_t size, double fps);
    double centred_rate();
    int send_step(DecodedFrame* frame, int id);
    void send_frame(DecodedFrame* frame, AVFrame* picture, int width, int height, int pix_fmt, bool is_keyframe);
    void hand_to_display(AVFrame* picture, int width, int height, const QString& time_text, DecodedFrame* frame,
                         bool is_keyframe);
    void max_list_size_update(double fps);
    void stop_and_restart_parser();
    void uninit_frames();
    double wait_frame_interval(double fps, bool compensate);
    void trim_queue();
    // Frame at a position of the queue (read under its mutex); null outside it.
    DecodedFrame* frame_at(size_t index);
    void direct_playout();
    void end_replay_wait();

    QString display_id;
    int buffer_ms = 0;
    int frame_rate = -1;
    std::atomic<bool> finished{false};
    DecodedFrameQueue frame_queue;
    Canvas* display = nullptr;
    QPointer<ZRStreamParser> stream_client;
    std::atomic<int> max_list_size{-1};
    int previous_frame_id = 0;
    int skip_count = 0;
    int seconds_count = 0;
    int wait_frame_timeout_ms = 5000;
    int video_quality = 1024;
    std::atomic<int> send_error_count{0};
    int old_frame_count = 0;
    int repeat_count = 0;
    std::atomic<quint64> read_index{0};
    quint64 low_mark = 0;
    quint64 drift_mark = 0;
    std::atomic<quint64> paint_duration_us{1000};
    std::atomic<double> playout_rate{1.0};
    std::atomic<double> stream_frame_rate{0.0};
    std::atomic<double> aimed_rate{1.0};
    std::atomic<int> last_sleep_ms{0};
    double buffering_percent = -1.0;
    double fps_sum = 0.0;
    bool buffering = false;
    bool frame_ready = false;
    bool wait_for_frame = false;
    bool first_frame = true;
    bool late = false;
    bool pacing = true;
    std::atomic<bool> stop{false};
    std::atomic<bool> pause{false};
    std::atomic<bool> previous_frame_displayed{true};
    bool decoding_disabled = true;
    std::atomic<bool> replay_wait{false};
    std::atomic<bool> display_hidden{false};
    std::atomic<bool> pause_received{false};
    bool stream_client_deleted = false;
    QString last_timestamp;
    QString last_keyframe_timestamp;
    std::atomic<qint64> last_paint_report{0};
    qint64 last_rate_step = 0;
    qint64 wait_frame_start = 0;
    // Bytes of one decoded picture of the stream, for the byte cap of the buffer.
    qint64 picture_bytes = 0;
    std::atomic<quint64> frames_sent{0};
    std::atomic<quint64> frames_skipped{0};
    ZRScaler* m_scaler = nullptr;
    int scaler_width = -1;
    int scaler_height = -1;
    int scaler_format = -1;
    Clock clock;
    Sleeper sleeper;
};
