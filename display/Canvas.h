#pragma once

#include "display/ZoneOverlay.h"

#include "display/DigitalZoom.h"
#include "display/DisplayInterface.h"
#include "display/FisheyeDewarp.h"
#include "display/PtzControl.h"
#include "display/ZoomWindow.h"

#include <QImage>
#include <QList>
#include <QPainterPath>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstdint>

class QPainter;
class QTimer;

// The widget that shows the video of one camera. Frames arrive through displayFrame (BGRA
// pixels owned by the sender), are copied into the widget's own image and painted with the
// frame time and status texts.
class Canvas : public QWidget, public DisplayInterface
{
    Q_OBJECT
    friend class PtzControl;

public:
    explicit Canvas(QWidget* parent = nullptr);
    ~Canvas() override;

    void set_zones(QString zones_base64) override;
    void set_camera_id(QString camera_id) override;
    void set_video_quality(int flags) override;

    void setFrameForDisplay(uint8_t* data, int linesize, int w, int h);
    void set_stream_start(bool start);
    void set_ending();
    void set_disconnected(bool disconnected);
    void set_external_feed();
    bool is_external_feed() const { return external_feed; }

    void start_video_stream();
    void restart_video_stream();

    // State readers for hosts and tests.
    QImage current_image();
    QRect get_image_rect() const { return image_rect; }
    bool is_paused() const { return paused; }
    bool is_initial_repaint() const { return initial_repaint; }
    bool is_stream_start() const { return stream_start; }
    bool is_error_shown() const { return error_shown; }
    QString get_error_text() const { return error_text; }
    QString get_snapshot_caption() const { return snapshot_caption; }
    int get_last_frame_id() const { return last_frame_id; }
    int get_frame_width() const { return frame_width; }
    int get_frame_height() const { return frame_height; }
    double get_stream_fps() const { return stream_fps; }
    double get_shown_fps() const { return shown_fps; }
    bool is_buffering_active() const { return buffering_active; }
    int get_buffering_percent() const { return buffering_percent; }
    QString get_speed_text() const { return speed_text; }
    QString get_zones_text() const { return zones_text; }
    new_display_thread* get_display_thread() const;

    // Digital zoom state, for hosts and tests.
    int get_zoom_level() const { return zoom.level(); }
    bool is_zoom_active() const { return zoom.is_active(); }
    QRect get_zoom_rect() const { return zoom.rect(); }
    QList<ZoomWindow> get_zoom_windows() const { return zoom.windows(); }
    bool is_rubber_band_active() const { return zoom.is_rubber_band_active(); }
    QRect get_view_source_rect() const { return zoom.view_source_rect(); }
    QRect get_view_target_rect() const { return zoom.view_target_rect(); }
    int zoom_window_at(QPoint p) const;
    void remove_overlapping_zoom_windows(QRect r);
    void reset_zoom();
    // Fisheye dewarp state, for hosts and tests.
    const FisheyeDewarp& get_dewarp() const { return dewarp; }
    bool is_dewarp_applied() const { return dewarp_applied; }

    // Where a w x h picture lands in a W x H widget when not zoomed.
    static QRect placement(int picture_w, int picture_h, int widget_w, int widget_h, bool keep_aspect,
                           bool fullscreen);
    // The form fields of a snapshot upload address; `address` gets the part before "?".
    // The view snapshot keeps everything after the first "="; the full one stops at the second.
    static QHash<QString, QString> snapshot_form_fields(const QString& upload_uri, bool full_snapshot,
                                                        QString* address);

    // Pan-tilt-zoom: the driver's connection (made at each stream start) and the state.
    void connect_ptz_driver();
    const PtzControl& get_ptz_control() const { return ptz; }

signals:
    void emitPTZ(QRect rect);
    void emitBandeau(QString display_id);
    void ff_stop();
    void ff_closeall();
    void ff_start();
    void ff_pause();
    void ending_done();
    void close_fullscreen();
    void onchange_timestamp(QString timestamp, QString fps, QString speed);
    void send_snapshot(QString text, QImage image);
    void paint_done(qlonglong duration);
    void send_duration(qlonglong duration);
    void replay_frame_displayed();
    void display_stop();
    void display_start();
    void display_pause();
    void signal_set_pause();
    void display_hidden(bool paused);
    void display_show();
    void change_camera_id(int camera_id, int zone_index);
    void hide_all_plugins();
    void show_all_plugins();
    void send_clic_event(QString name, int x, int y, int value);
    void send_status_message(QString message);

private slots:
    void timerEnding();
    void codec_resize(int w, int h);
    void resizeDone();
    void mousehold();
    void mousehold_Stop();
    void snapshot_slot_send();
    void snapshot_slot_uploadProgress(qlonglong sent, qlonglong total);
    void setWheelOn();
    void mouse_release_post_event();
    void display_update();
    void delete_display_thread();

public slots:
    QImage get_snapshot_full(QString session_id, QString upload_uri);
    QImage get_snapshot_full(QString session_id);
    QImage get_snapshot_full();
    QImage get_snapshot(QString session_id, QString upload_uri);
    QImage get_snapshot(QString session_id);
    QImage get_snapshot();
    void checkend();
    void displayFrame(uint8_t* _frame, int _linesize, int frame_width, int frame_height, QString _timestamp,
                      QString _drawoverlay, bool isUnwrapped, int frame_id, double fps, bool is_keyframe);
    void displayError(QString error, QString error_message, bool is_opacity);
    void checkEnding();
    void setPause();
    void setStart();
    void go();
    void pluginptz(QString action, QString type, QString sensibility);
    void speed_receive(double speed);
    void setup_codecSize(int w, int h);
    void setup_scaler_dewrap(int codec_width, int codec_height);
    void stop_buffering();
    void buffering(bool is_buffering, double percentage);
    void onvif_request_finished(int request_code);
    void onvif_request_security();
    void onvif_request_security_stop();
    void get_direct_ptz_message(int status, QString command, QString fault, QString driver);
    void reset_direct_ptz_message();
    void zrptz_request_security_stop();

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void log_info(const QString& text) const;
    void log_warn(const QString& text) const;
    void log_error(const QString& text) const;
    QString speed_integer_text() const;
    QString snapshot_text() const;
    bool has_live_thread() const;
    void connect_display_thread(new_display_thread* t);

    void paint_frame_layers(QPainter& painter, bool buffered);
    void draw_image(QPainter& painter);
    void draw_overlay(QPainter& painter);
    void draw_overlay_string(QPainter& painter);
    void draw_zone_shapes(QPainter& painter);
    void draw_status_text(QPainter& painter);
    void draw_snapshot_time(QPainter& painter, int width);
    void count_display();
    void uncount_display();

    // Gestures.
    bool frame_received() const { return first_frame_logged; }
    QRectF image_area() const;
    bool in_image_area(QPointF p) const;
    int frame_w() const { return codec_width; }
    int frame_h() const { return codec_height; }
    DigitalZoom::View zoom_view() const;
    void zoom_off();
    void set_fullscreen_view(bool full);

    // Pan-tilt-zoom (PtzControl and PtzMarks do the work), dewarp and zone hooks of the
    // gestures; they act only while those features are switched on.
    bool native_ptz_ready() const;
    void update_ptz_rectangle(QPointF p);
    void stop_ptz_move(const char* reason);
    void native_continuous_move(int pan, int tilt);
    void draw_ptz_status(QPainter& painter);
    void draw_ptz_centre_mark(QPainter& painter);
    void draw_ptz_gesture(QPainter& painter);
    void draw_ptz_arrow(QPainter& painter, QPoint from, QPoint to);
    void dewarp_press(QPointF p);
    void dewarp_move(QPointF p, Qt::MouseButtons held);
    void dewarp_release(QPointF p, Qt::MouseButton button);
    bool dewarp_current_frame(const uint8_t* data, int linesize, int w, int h);
    void dewarp_wheel(QWheelEvent* event);
    bool update_zone_highlight(QPointF p);
    int zone_index_at(QPointF p) const;

    QImage image;
    QString drawoverlay;
    bool error_shown = false;
    QString error_text;
    bool error_black = false;
    bool stream_start = true;
    bool external_feed = false;
    bool painting = false;
    bool first_frame_logged = false;
    bool image_logged = false;
    ZoneOverlay zone_overlay;
    bool buffering_active = false;
    int buffering_percent = -1;
    bool dewarp_applied = false;
    double stream_fps = 0.0;
    double shown_fps = 0.0;
    QRect image_rect;
    QWidget* parent_widget = nullptr;
    QTimer* resize_timer = nullptr;
    bool recreate_pending = false;
    // The view snapshot's caption, shown in place of the frame time until the next frame;
    // the frame time itself stays a time.
    QString snapshot_caption;
    // This display is in the identity object's live-display count.
    bool display_counted = false;
    // Gesture dispatch.
    bool pointer_left = false;
    bool release_sent = false;
    QPointF press_pos;

    // Digital zoom and zoom windows.
    DigitalZoom zoom;
    // Fisheye dewarp.
    FisheyeDewarp dewarp;
    // Pan-tilt-zoom gestures and requests.
    PtzControl ptz{*this};
};
