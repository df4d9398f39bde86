#pragma once

#include <QHash>
#include <QImage>
#include <QMutex>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <memory>

class NativePTZInterface;
class QNetworkAccessManager;
class new_display_thread;

// The display's parameters and state, shared by the widget's code and its hosts. A plain
// class: Canvas is its QObject side.
class DisplayInterface
{
public:
    DisplayInterface();
    virtual ~DisplayInterface();
    DisplayInterface(const DisplayInterface&) = delete;
    DisplayInterface& operator=(const DisplayInterface&) = delete;

    virtual void set_zones(QString zones_base64) = 0;
    virtual void set_camera_id(QString camera_id) = 0;
    virtual void set_video_quality(int flags) = 0;

    // 100-nanosecond ticks of the system clock.
    static qint64 now_ticks();

    QString get_display_id() const { return display_id; }
    void set_display_id(const QString& id) { display_id = id; }
    QString get_timestamp() const { return timestamp; }
    void set_timestamp(const QString& text) { timestamp = text; }
    QString get_title_text() const { return title_text; }
    void set_title_text(const QString& text) { title_text = text; }

    QString get_stream_scheme() const { return stream_scheme; }
    QString get_stream_host() const { return stream_host; }
    QString get_stream_port() const { return stream_port; }
    QString get_stream_argument() const { return stream_argument; }
    QString get_stream_path() const { return stream_path; }
    QString get_stream_codec() const { return stream_codec.toLower(); }
    QString get_stream_option() const { return stream_option; }
    // Live-stream parameters come from a host that gives the display a stream.
    void set_stream(const QString& scheme, const QString& host, const QString& port, const QString& argument,
                    const QString& path, const QString& codec, const QString& option)
    {
        stream_scheme = scheme;
        stream_host = host;
        stream_port = port;
        stream_argument = argument;
        stream_path = path;
        stream_codec = codec;
        stream_option = option;
    }
    void set_stream_path(const QString& path) { stream_path = path; }
    void set_stream_codec(const QString& codec) { stream_codec = codec; }

    QString get_ptz_url() const { return ptz_url; }
    void set_ptz_url(const QString& url) { ptz_url = url; }
    QString& get_ptz_session_id() { return ptz_session_id; }
    void set_ptz_session_id(const QString& id) { ptz_session_id = id; }
    QStringList get_gesture_events() const { return gesture_events; }
    void set_gesture_events(const QStringList& events) { gesture_events = events; }
    void set_camera_label(const QString& label) { camera_label = label; }
    QString get_camera_label() const { return camera_label; }
    int get_ptz_speed() const { return ptz_speed.isEmpty() ? 0 : ptz_speed.toInt(nullptr, 10); }
    void set_ptz_speed(const QString& speed) { ptz_speed = speed; }
    NativePTZInterface* get_native_ptz() const { return native_ptz; }
    // A host's native driver; the display deletes it when it is destroyed.
    void set_native_ptz(NativePTZInterface* driver) { native_ptz = driver; }
    void set_native_ptz_enabled(bool value) { native_ptz_enabled = value; }
    QRect get_ptz_rectangle() const { return ptz_rectangle; }
    bool is_ptz_idle() const { return ptz_idle; }
    int get_ptz_message_status() const { return ptz_message_status; }
    // 0 command, 1 fault, 2 driver.
    QString get_ptz_message_text(int index) const
    {
        return index >= 0 && index < 3 ? ptz_message_texts[index] : QString();
    }
    void set_wheel_zoom_speed(double speed) { wheel_zoom_speed = speed; }

    int get_codec_width() const { return codec_width; }
    void set_codec_width(int w) { codec_width = w; }
    int get_codec_height() const { return codec_height; }
    void set_codec_height(int h) { codec_height = h; }
    int get_buffer_ms() const { return buffer_ms; }
    void set_buffer_ms(int ms) { buffer_ms = ms; }
    int get_text_size() const { return text_size; }
    void set_text_size(const QString& size);
    int get_camera_id() const { return camera_id; }
    int get_video_quality() const { return video_quality; }

    bool is_ending() const { return ending; }
    void set_ending_flag(bool value) { ending = value; }
    void set_ending_and_stop_timer(bool value)
    {
        if (ending_timer && ending_timer->isActive())
            ending_timer->stop();
        if (ending != value)
            ending = value;
    }
    bool is_keep_aspect_ratio() const { return keep_aspect_ratio; }
    void set_keep_aspect_ratio(bool value) { keep_aspect_ratio = value; }
    bool is_fullscreen_enabled() const { return fullscreen_enabled; }
    void set_fullscreen_enabled(bool value) { fullscreen_enabled = value; }
    bool is_fullscreen_shown() const { return fullscreen_shown; }
    void set_fullscreen_shown(bool value) { fullscreen_shown = value; }
    bool is_overlay_enabled() const { return overlay_enabled; }
    void set_overlay_enabled(bool value) { overlay_enabled = value; }
    bool is_digital_zoom_enabled() const { return digital_zoom_enabled; }
    void set_digital_zoom_enabled(bool value) { digital_zoom_enabled = value; }
    bool is_ptz_enabled() const { return ptz_enabled; }
    void set_ptz_enabled(bool value) { ptz_enabled = value; }
    bool is_only_objects() const { return only_objects; }
    void set_only_objects(bool value) { only_objects = value; }
    bool is_dewarp_view() const { return dewarp_view; }
    void set_dewarp_view(bool value) { dewarp_view = value; }
    bool is_dewarp_enabled() const { return dewarp_enabled; }
    void set_dewarp_enabled(bool value) { dewarp_enabled = value; }
    bool is_reconnect() const { return reconnect; }
    bool is_native_ptz_enabled() const { return native_ptz_enabled; }
    bool is_bandeau() const { return bandeau; }
    void set_bandeau(bool value) { bandeau = value; }
    bool is_track_timestamp() const { return track_timestamp; }
    void set_track_timestamp(bool value) { track_timestamp = value; }
    bool is_drawoverlay_enabled() const { return drawoverlay_enabled; }
    void set_drawoverlay_enabled(bool value) { drawoverlay_enabled = value; }
    void set_overlay_ref_size(int w, int h)
    {
        overlay_ref_width = w;
        overlay_ref_height = h;
    }
    bool is_show_buffer_details() const { return show_buffer_details; }
    void set_show_buffer_details(bool value) { show_buffer_details = value; }
    bool is_track_seconds() const { return track_seconds; }
    void set_track_seconds(bool value) { track_seconds = value; }
    bool is_track_timestamp_text() const { return track_timestamp_text; }
    void set_track_timestamp_text(bool value) { track_timestamp_text = value; }

    static QString bandwidth_text(double bytes_per_second);

    // Posts the image as "test.jpg" in a multipart form with the fields and the session.
    void uploadImage_multipart(QImage image, QHash<QString, QString> fields, QString upload_url,
                               QString session_id);

protected:
    qint64 frame_arrival_time = 0;
    qint64 paint_start_time = 0;
    qint64 fps_sample_time = 0;
    qint64 paint_latency = 0;
    QPointer<new_display_thread> display_thread;
    QTimer* ending_timer = nullptr;
    int frame_width = 0;
    int frame_height = 0;
    int overlay_ref_width = 0;
    int overlay_ref_height = 0;
    QRect ptz_rectangle;
    // The sender's pixels, valid only during the displayFrame call that set it: the picture is
    // copied there, and afterwards this is only a "a frame has come" mark, never read through.
    uint8_t* frame_data = nullptr;
    int frame_linesize = -1;
    QMutex mutex;
    int last_frame_id = -1;
    int limit_retries = 0;
    bool paused = false;
    bool initial_repaint = true;
    QString speed_text;
    QStringList gesture_events;
    QString stream_scheme;
    QString stream_host;
    QString stream_port;
    QString stream_argument;
    QString stream_path;
    QString stream_codec;
    QString ptz_url;
    QString display_id;
    QString title_text;
    QString timestamp;
    QString ptz_session_id;
    QString stream_option;
    bool ptz_enabled = false;
    bool bandeau = false;
    bool fullscreen_shown = false;
    bool overlay_enabled = false;
    bool track_timestamp = false;
    bool drawoverlay_enabled = false;
    bool digital_zoom_enabled = false;
    bool only_objects = false;
    bool dewarp_view = false;
    bool show_buffer_details = false;
    bool ending = false;
    bool reconnect = true;
    bool fullscreen_enabled = true;
    bool dewarp_enabled = false;
    bool track_seconds = false;
    bool track_timestamp_text = false;
    bool keep_aspect_ratio = false;
    int text_size = 16;
    int buffer_ms = 0;
    int codec_width = -1;
    int codec_height = -1;
    NativePTZInterface* native_ptz = nullptr;
    QString ptz_speed;
    QString proxy_host;
    QString proxy_port;
    QString camera_label;
    QString ptz_message_texts[3];
    QString zones_text;
    int video_quality = -1;
    int camera_id = -1;
    double wheel_zoom_speed = 0.5;
    bool native_ptz_enabled = false;
    bool stream_flag = false;
    bool ptz_idle = true;
    int ptz_busy_ticks = 0;
    int ptz_message_status = 0;

private:
    // One manager for every upload, made on first use in the GUI thread.
    std::unique_ptr<QNetworkAccessManager> upload_manager;
};
