#pragma once

#include "export/ExportFormat.h"

#include <QDateTime>
#include <QDialog>
#include <QFileInfo>
#include <QHash>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTime>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;
class QToolButton;
class Download_presentation;
class RawExport;
class export_error;
class ff_export;

// The export dialog: camera, start and end time, output file, format and date-and-time
// overlay of one export from the recordings of one day. "Exporter" checks the choice and
// launches a raw copy (progress and end relayed through this dialog) or an encoded export
// shown as a row of a new download window. One dialog per export request.
class PopupExport : public QDialog
{
    Q_OBJECT

public:
    PopupExport(QFileInfoList video_files, int camera_id, QString stream_id, QStringList, QString day_directory,
                QString timestamp);
    ~PopupExport() override;

    void closeall();
    QString get_export_path() const { return export_path; }

    bool launch_export();
    QString find_file_for_time(QString time, bool must_contain);
    static QString read_last_seek_timestamp(QString path);
    QStringList camera_names_from_files();
    QString default_export_filename(QString folder) const;
    QString apply_format_suffix(QString path) const;
    // A path that names no existing file: the path itself, or the same name with "_1", "_2"…
    // before its format tag. The file is created empty, so that no other export takes it.
    static QString reserve_free_path(const QString& path, const ExportFormat& format);

    // What the set-up decided, for the owner and tests.
    int get_camera_id() const { return camera_id; }
    QFileInfoList get_camera_files() const { return camera_files; }
    QHash<int, QString> get_camera_names() const { return camera_names; }
    // The download window of the last encoded export (null when none or closed).
    Download_presentation* get_download_window() const;
    // Files a finished raw copy could not copy.
    int get_raw_failures() const { return raw_failures; }
    bool is_raw_running() const;
    RawExport* get_raw_exporter() const;

signals:
    void valueChanged(int);
    void endingsignal();
    void error(int);

public slots:
    void doExport();
    void getvalueChanged(int value);
    void getendingsignal();
    void change_export_path();
    void startTimeChanged(QTime time);
    void updateExportFilename();
    void adjustPopupWidthToFilename();

private slots:
    void start_export_enabled();
    void get_copy_failures(int count);

private:
    void build_form();
    QString start_folder() const;

    QFileInfoList video_files;
    int camera_id = -1;
    QString stream_id;
    QString day_directory;
    QDateTime export_timestamp;
    QComboBox* cameraCombo = nullptr;
    QLabel* dateLabel = nullptr;
    QTimeEdit* startTimeEdit = nullptr;
    QTimeEdit* endTimeEdit = nullptr;
    QLineEdit* fileNameEdit = nullptr;
    QToolButton* folderButton = nullptr;
    QComboBox* formatCombo = nullptr;
    QCheckBox* overlayCheck = nullptr;
    QComboBox* overlaySizeCombo = nullptr;
    QPushButton* exportButton = nullptr;
    QString export_path;
    QFileInfoList camera_files;
    QHash<int, QString> camera_names;
    QString last_dir;
    const QString settings_organisation = QStringLiteral("ZRNova");
    const QString settings_application = QStringLiteral("ZRPlayer");
    // The export thread belongs to its download row once launched; the guard only sees it go.
    QPointer<ff_export> exporter;
    QPointer<RawExport> raw_exporter;
    export_error* error_popup = nullptr;
    QPointer<Download_presentation> download_window;
    int raw_failures = 0;
};
