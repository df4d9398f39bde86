#pragma once

#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>

extern "C" {
#include <libavutil/pixfmt.h>
}

class Canvas;
class ZRScaler;

// Playout engine of one display for a live stream: owns the display's scaler (and, with
// the live stream, its stream client and playout buffer). With frames fed from outside it
// is created idle and never started.
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
    void set_stop();
    void set_pause();

protected:
    void run() override;

private:
    void log_info(const QString& text) const;

    QString display_id;
    int buffer_ms = 0;
    int frame_rate = -1;
    Canvas* display = nullptr;
    int max_list_size = -1;
    int wait_frame_timeout_ms = 5000;
    int video_quality = 1024;
    std::atomic<quint64> paint_duration_us{1000};
    std::atomic<qint64> last_paint_report{0};
    bool decoding_disabled = true;
    std::atomic<bool> finished_flag{false};
    std::atomic<bool> stop{false};
    std::atomic<bool> pause{false};
    std::atomic<bool> previous_frame_displayed{true};
    std::atomic<bool> replay_wait{false};
    std::atomic<bool> display_hidden{false};
    ZRScaler* m_scaler = nullptr;
    int scaler_width = -1;
    int scaler_height = -1;
    int scaler_format = -1;
};
