#pragma once

#include "player/IntegrityRun.h"
#include "store/DayListing.h"

#include <QFileInfo>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QVariantList>

class Canvas;
class IntegrityCheck;
class PopupExport;
class IntegrityDialog;
class ZRIndexController;
class ZRStreamReadAndControl;

// The object the QML interface drives ("videoWidget"): it holds the selected export folder,
// day, camera and stream, the day's media lists and camera table, and the one playback reader.
// Everything runs in the GUI thread except the camera listing (the store's DayListing), which
// builds its result on the global thread pool and hands it back by a queued call.
class ZRPlayerInferfaceController : public QObject
{
    Q_OBJECT

public:
    // The parent is ignored: the owner deletes the controller.
    explicit ZRPlayerInferfaceController(QObject* parent = nullptr);
    ~ZRPlayerInferfaceController() override;

    void setCanvas(Canvas* canvas);
    ZRStreamReadAndControl* get_reader() const { return reader; }

    // For the widget player window (GUI thread).
    QList<QFileInfo> get_day_video_list() const { return day_video_list; }
    QList<QFileInfo> get_day_alarm_list() const { return day_alarm_list; }
    QList<QFileInfo> get_day_tags_list() const { return day_tag_list; }
    QList<QFileInfo> get_day_audio_list() const { return day_audio_list; }
    void clear_day_video_list() { day_video_list.clear(); }
    void clear_day_alarm_list() { day_alarm_list.clear(); }
    void clear_day_audio_list() { day_audio_list.clear(); }
    void clear_day_timestamp_list() { minute_list.clear(); }

    QList<QFileInfo> get_days_list(QString directory);
    // Loads a day folder's lists; when its index is stale and rebuild_when_stale holds, a
    // rebuild of that folder starts (indexGenerated or indexFailed tells its end). True when a
    // rebuild started.
    bool init_day_video_list(QString day_directory, bool rebuild_when_stale = true);
    QList<QFileInfo> zrnfo_with_multiple_directory(QString day_directory);

    // State readers for hosts and tests.
    int get_playback_state() const { return playback_state; }
    QString get_current_file() const { return current_file; }
    QString get_root_directory() const { return root_directory; }
    QString get_read_time() const { return read_time; }
    int get_camera_id() const { return camera_id; }
    int get_stream_id() const { return stream_id; }
    int get_rate() const { return rate; }
    // The integrity dialog on show, null when none.
    IntegrityDialog* get_integrity_dialog() const { return integrity_run.dialog(); }
    IntegrityCheck* get_integrity_check() const { return integrity_run.check(); }
    // The export dialog opened last, null when none.
    PopupExport* get_export_dialog() const;
    QHash<int, QString> get_camera_table() const { return m_hash_camera_id_name; }

signals:
    void dataChanged();
    void timeChanged();
    void startRead();
    void stopRead();
    void startIndexGeneration();
    void indexGenerated();
    void indexFailed();
    void updateStreams();
    void camerasForDateReady(QStringList cameras);
    void camerasForDateError(QString message);

public slots:
    void set_next_file();
    void set_previous_file();
    void setTime(QTime time);
    void recv_available_videostream(QStringList streams);
    void integrity_check_done();
    void video_export_end();

public:
    Q_INVOKABLE QStringList get_available_days(QString root_directory);
    Q_INVOKABLE QString selected_date();
    Q_INVOKABLE QString selected_camera();
    Q_INVOKABLE void get_cameras_for_date_async(QString date);
    Q_INVOKABLE void set_selected_camera(QString camera);
    Q_INVOKABLE void set_selected_date(QString date);
    Q_INVOKABLE QList<qint64> day_timestamp_list();
    Q_INVOKABLE QVariantList day_alarm_list_string();
    Q_INVOKABLE QVariantList day_tags_list_string();
    Q_INVOKABLE QStringList day_audio_list_string();
    Q_INVOKABLE QVariantList day_preview_list_string();
    Q_INVOKABLE void set_zrstream_reader_read_timestamp(QString timestamp);
    Q_INVOKABLE int get_current_read_time_is_ms();
    Q_INVOKABLE void pause_button();
    Q_INVOKABLE void start_button();
    Q_INVOKABLE void snapshot_full_button();
    Q_INVOKABLE void snapshot_button();
    Q_INVOKABLE void previous_frame_button();
    Q_INVOKABLE void next_frame_button();
    Q_INVOKABLE void set_playback_rate(int playback);
    Q_INVOKABLE void check_integrity();
    Q_INVOKABLE void video_export();
    Q_INVOKABLE QString get_alarm_thumbnail_path(QString datetime);
    Q_INVOKABLE QStringList get_videostreams_list();
    Q_INVOKABLE void set_selected_videostream(int idstream);
    Q_INVOKABLE void open_alarm_popup(QString image_path);
    Q_INVOKABLE void regenerate_index();
    Q_INVOKABLE void regenerate_index_for_current_date();
    Q_INVOKABLE bool is_zrnova_directory(QString directory);

private:
    void install_camera_listing(quint64 request, const DayListing::CameraListing& result);
    void install_day(const DayListing::DayLoad& day);
    void clear_day_lists();
    void ensure_index_controller(bool for_current_date);
    bool start_index_generation(const QString& path);
    bool regenerate_index_for_folder(const QString& day_directory);

    bool timeline_send_click_get_datetime(QString timestamp, int camera_id);
    void change_camera(QFileInfo file);
    void set_file(QString direction);
    // Opens an image viewer on what the display shows.
    void open_snapshot(bool full);
    QList<QFileInfo> get_selected_camera_video_list();
    // The day's video and audio files whose seek table can be read, as the locator sees them.
    QList<QFileInfo> playable_files(const QList<QFileInfo>& files, const char* operation);
    // The selection shared by the camera list and the recorded minutes: the folder name of
    // each accepted file comes back in minute_folder.
    bool is_selected_camera_video(const QFileInfo& file, QString* day_text = nullptr,
                                  QString* minute_folder = nullptr);

    ZRStreamReadAndControl* reader = nullptr;
    Canvas* canvas = nullptr;
    int playback_state = 0;
    ZRIndexController* index_controller = nullptr;
    // The dialog deletes itself when closed: the guard sees it go.
    IntegrityRun integrity_run;
    QList<QFileInfo> day_video_list;
    QList<QFileInfo> day_alarm_list;
    QList<QFileInfo> day_tag_list;
    QList<QFileInfo> day_audio_list;
    QList<QFileInfo> day_preview_list;
    QStringList stream_list;
    QList<qint64> minute_list;
    QHash<int, QString> m_hash_camera_id_name;
    int file_length = 60;
    QString m_selected_date;
    QString m_selected_camera;
    int camera_id = -1;
    int stream_id = 1;
    QString root_directory;
    QString current_file;
    QString read_time;
    int rate = 1;

    // Camera listings: only the newest request's result is installed; the destructor waits
    // for every task still running.
    quint64 listing_request = 0;
    QList<QFuture<void>> listing_tasks;
    // The export dialog opened last; earlier ones stay only while their raw copy runs.
    QPointer<PopupExport> export_dialog;
    QList<QPointer<PopupExport>> running_export_dialogs;
};
