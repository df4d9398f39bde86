#pragma once

#include "export/PopupExport.h"
#include "player/IntegrityDialog.h"
#include "player/IntegrityRun.h"
#include "store/Vignette.h"

#include <QDate>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QModelIndex>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QWidget>

class AlarmItemDelegate;
class AlarmModel;
class Canvas;
class IntegrityCheck;
class QComboBox;
class QTimer;
class QTreeView;
class QVBoxLayout;
class TagItemDelegate;
class TagsModel;
class TreeProxyModel;
class Ui_ZR_Player_presentation;
class ZRPlayerInferfaceController;
class ZRStreamReadAndControl;
class ZRTag;
class ZRTimeline;
class ZRVideoFileSystemModel;

// The widget-based player window: a tab column (folder tree, hour timelines, alarms, tags)
// beside the display, the day slider, the tool buttons and the transport controls. It plays
// with a playback reader of its own and keeps the chosen day's file lists in an interface
// controller.
class ZR_Player_presentation : public QWidget
{
    Q_OBJECT

public:
    explicit ZR_Player_presentation(QWidget* parent = nullptr);
    ~ZR_Player_presentation() override;

    void set_play_state(int state);
    ZRTimeline* find_timeline_for_time(QString time);
    static void expand_parents(QTreeView* tree, QModelIndex index);
    void init_day_cameras();
    void change_camera(QFileInfo file);
    QFileInfo get_video_file_for_alarm(QString camera_id, QString date, QString time);
    static bool day_video_list_contains(const QList<QFileInfo>& list, const QString& name);
    double current_rate() const;
    QString timeline_send_click_get_datetime(QString time, int camera_id, int approx);

    // State readers for hosts and tests.
    int get_play_state() const { return play_state; }
    Canvas* get_display() const { return display; }
    ZRStreamReadAndControl* get_reader() const { return reader; }
    ZRPlayerInferfaceController* get_controller() const { return controller; }
    QString get_day_folder() const { return day_folder; }
    QDate get_selected_date() const { return selected_date; }
    QString get_actual_file() const { return actual_file; }
    QString get_current_file() const { return current_file; }
    QString get_current_camera_id() const { return current_camera_id; }
    QString get_current_time() const { return current_time; }
    QComboBox* get_camera_combobox() const { return camera_combobox; }
    QHash<QString, ZRTimeline*> get_timelines() const { return timelines; }
    QHash<int, QString> get_cameras() const { return cameras; }
    AlarmModel* get_alarm_model() const { return alarm_model; }
    TagsModel* get_tags_model() const { return tags_model; }
    AlarmItemDelegate* get_alarm_delegate() const { return alarm_delegate; }
    TagItemDelegate* get_tags_delegate() const { return tags_delegate; }
    PopupExport* get_export_dialog() const;
    IntegrityDialog* get_integrity_dialog() const { return integrity_run.dialog(); }
    IntegrityCheck* get_integrity_check() const { return integrity_run.check(); }
    ZRVideoFileSystemModel* get_file_model() const { return file_model; }
    TreeProxyModel* get_tree_proxy() const { return tree_proxy; }
    int get_minute_diff() const { return minute_diff; }
    int get_file_duration_secs() const { return file_duration_secs; }

signals:
    void change_rate(double);
    void change_timestamp(QString);
    void changeRate(double rate);
    void play();
    void pause();

private slots:
    void timeline_thread_finished();
    void integrity_check_done();

public slots:
    void timeline_send_click(QString time, int camera_id);
    void slider_send_click(QString videotime_str, int camera_id);
    void set_all_timelines_background(int camera_id, QFileInfoList files);
    void change_timelines_from_cameraid(int camera_id);
    void change_timelines_from_combobox(int index);
    void change_idstream_from_combobox(int index);
    void change_id_stream(QString id);
    void init_timelines(QFileInfoList VIDEO_filelist, int camera_id, int minute_diff);
    void set_alarm_list_from_cameraid(int camera_id);
    void set_alarm_list_from_index(int index);
    void set_tags_list_from_index(int index);
    void set_tags_list_from_cameraid(int camera_id);
    void setTime(QTime time);
    void snapshot_full_button();
    void snapshot_button();
    void open_button();
    void stop_button();
    void play_button();
    void pause_button();
    void rate_button(double rate);
    void set_next_file();
    void set_previous_file();
    void set_file(QString direction);
    void previous_frame_button_pressed();
    void previous_frame_button();
    void next_frame_button_pressed();
    void next_frame_button();
    void set_frame_button_released();
    void tree_clicked(QModelIndex index);
    void tree_entered(QModelIndex index);
    void combox_index_changed(QString path);
    void set_timestamp(QModelIndex index);
    void tab_changed(int index);
    void export_slot();
    void set_progress(int percent);
    void end_displayer();
    void get_export_endingsignal();
    void open_alarm_popup(QModelIndex index);
    void play_pause_button_pressed();
    void updateRate();
    void fadeOut();
    void check_integrity_slot();

private:
    // The chosen stream ("1" for the item "Video 1"); empty when none.
    QString chosen_stream() const;
    // Fills an empty stream choice from a recording's seek table.
    void fill_stream_choice_from(const QString& data_file);
    // The camera id named by a camera choice's text: the camera table first, else the text
    // "CAMERA n", else -1.
    int camera_id_for_text(const QString& text) const;
    // The display name of a camera: its name in the camera table, else "CAMERA " + id.
    QString camera_display_name(int id) const;
    // The day's video files of one camera, in time order.
    QList<QFileInfo> camera_video_files(const QString& camera) const;
    // Opens a recording of another camera or stream in the reader and starts play.
    void open_in_reader(const QFileInfo& file, const QString& stream);
    // Tears the hour timelines down (the tree tab) and builds them for the day (the timelines tab).
    void remove_timelines();
    void build_timelines();
    // The day's lists from the controller; a stale index is rebuilt for the day shown, and the
    // lists are loaded again once it is.
    void load_day_lists();
    void day_index_rebuilt();
    void day_index_failed();
    // Seconds one recording covers: the measured minutes, 60 while none were measured.
    int file_seconds() const { return minute_diff > 0 ? minute_diff * 60 : 60; }

    Ui_ZR_Player_presentation* ui = nullptr;
    int play_state = 0;
    Canvas* display = nullptr;
    ZRStreamReadAndControl* reader = nullptr;
    ZRPlayerInferfaceController* controller = nullptr;
    QString current_file = QStringLiteral("/");
    QString day_folder;
    ZRVideoFileSystemModel* file_model = nullptr;
    TreeProxyModel* tree_proxy = nullptr;
    QStringList export_stream_list;
    QString actual_file;
    // Guarded: a dialog whose raw copy ended is released by its own signal.
    QPointer<PopupExport> export_dialog;
    IntegrityRun integrity_run;
    QVBoxLayout* timelines_tab_layout = nullptr;
    QWidget* timelines_widget = nullptr;
    QVBoxLayout* timelines_layout = nullptr;
    QComboBox* camera_combobox = nullptr;
    QHash<QString, ZRTimeline*> timelines;
    QStringList hour_labels;
    QString current_camera_id = QStringLiteral("-1");
    QString current_time = QStringLiteral("00:00:00:000");
    QDate selected_date;
    bool time_received = false;
    int file_duration_secs = 60;
    int minute_diff = -1;
    AlarmModel* alarm_model = nullptr;
    TagsModel* tags_model = nullptr;
    AlarmItemDelegate* alarm_delegate = nullptr;
    TagItemDelegate* tags_delegate = nullptr;
    QList<Vignette> alarm_vignettes;
    QList<Vignette> tag_vignettes;
    QHash<int, QString> cameras;
    QList<ZRTag*> tags;
    qint64 timelines_start_ns = 0;
    QTimer* frame_repeat_timer = nullptr;

    // The day folder whose index is being rebuilt at the window's request; empty when none.
    QString rebuilding_day;
    // The day folder whose rebuild has ended; it is not rebuilt again while shown.
    QString indexed_day;
    // Filler threads still running: the override cursor they set is restored once each.
    int fillers_running = 0;
};
