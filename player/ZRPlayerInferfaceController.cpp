#include "player/ZRPlayerInferfaceController.h"

#include "app/Log.h"
#include "display/Canvas.h"
#include "export/PopupExport.h"
#include "media/ZRStreamReadAndControl.h"
#include "player/AlarmViewer.h"
#include "store/DayListing.h"
#include "store/StoreLayout.h"
#include "store/ZRFile.h"
#include "store/ZRIndexController.h"
#include "store/Vignette.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QMap>
#include <QMessageBox>
#include <QRegularExpression>
#include <QThreadPool>
#include <QUrl>
#include <QVariantMap>
#include <QtConcurrent/QtConcurrentRun>

namespace {

const QString kInfo = QStringLiteral("[INFO] ZRPlayer Interface Controller :: ");
const QString kWarn = QStringLiteral("[WARN] ZRPlayer Interface Controller :: ");
const QString kError = QStringLiteral("[ERROR] ZRPlayer Interface Controller :: ");

constexpr qint64 kMsPerDay = 24LL * 3600 * 1000;

void show_attention(const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Attention"), text);
    box.exec();
}

// "yyyyMMddHHmmss" read as a wall-clock date and time, without a time zone (a time inside a
// daylight-saving gap is as good as any other).
bool parse_full_stamp(const QString& text, QDate* date, QTime* time)
{
    if (text.size() != 14)
        return false;
    for (QChar c : text)
        if (!c.isDigit())
            return false;
    const QDate d = QDate::fromString(text.left(8), QStringLiteral("yyyyMMdd"));
    const QTime t = QTime::fromString(text.mid(8), QStringLiteral("HHmmss"));
    if (!d.isValid() || !t.isValid())
        return false;
    if (date)
        *date = d;
    if (time)
        *time = t;
    return true;
}

QString stamp_text(const QDate& date, const QTime& time)
{
    if (!date.isValid() || !time.isValid())
        return QString();
    return date.toString(QStringLiteral("yyyyMMdd")) + time.toString(QStringLiteral("HHmmss"));
}

QString local_path(const QString& path)
{
    if (path.isEmpty())
        return path;
    return normalizePath(path);
}

} // namespace

ZRPlayerInferfaceController::ZRPlayerInferfaceController(QObject* /*parent*/)
    : QObject(nullptr)
{
    write_log(kInfo + QStringLiteral("construct"));
    reader = new ZRStreamReadAndControl();
    connect(reader, &ZRStreamReadAndControl::set_next_file, this, &ZRPlayerInferfaceController::set_next_file);
    connect(reader, &ZRStreamReadAndControl::set_previous_file, this,
            &ZRPlayerInferfaceController::set_previous_file);
    connect(reader, &ZRStreamReadAndControl::setTime, this, &ZRPlayerInferfaceController::setTime);
    // Emitted from pool threads too: the automatic connection queues those to this thread.
    connect(reader, &ZRStreamReadAndControl::send_available_videostream, this,
            &ZRPlayerInferfaceController::recv_available_videostream);
    connect(&integrity_run, &IntegrityRun::dialog_finished, this, &ZRPlayerInferfaceController::integrity_check_done);
}

ZRPlayerInferfaceController::~ZRPlayerInferfaceController()
{
    write_log(kInfo + QStringLiteral("destruct"));
    // The listing tasks post back to this object: none may outlive it. Their queued results
    // are dropped with the object.
    for (QFuture<void>& task : listing_tasks)
        task.waitForFinished();
    listing_tasks.clear();
    // The index workers report to functors bound to this object; their controller waits for
    // them when it goes.
    if (index_controller) {
        disconnect(index_controller, nullptr, this, nullptr);
        delete index_controller;
        index_controller = nullptr;
    }
    // A dialog with a raw copy running tells the copy to stop; the copy goes once it has ended.
    for (const QPointer<PopupExport>& dialog : std::as_const(running_export_dialogs))
        delete dialog.data();
    running_export_dialogs.clear();
    delete export_dialog.data();
    delete reader;
    reader = nullptr;
}

void ZRPlayerInferfaceController::setCanvas(Canvas* c)
{
    canvas = c;
}

// ---------------------------------------------------------------------------------------------
// Folder, day and camera listing

bool ZRPlayerInferfaceController::is_zrnova_directory(QString directory)
{
    return isExportFolderPath(directory);
}

QStringList ZRPlayerInferfaceController::get_available_days(QString root)
{
    QStringList days;
    if (root.isEmpty())
        return days;
    write_log(kInfo + QStringLiteral("get available days :: in directory ") + root);
    // A local-file URL becomes the path it names, on every platform.
    if (root.startsWith(QLatin1String("file:")))
        root = QUrl(root).toLocalFile();
    root.remove(QStringLiteral("file:///"));
    root = local_path(root);

    const QDir dir(root);
    if (root.isEmpty() || !dir.exists()) {
        write_log(kWarn + QStringLiteral("get available days :: ") + root + QStringLiteral("is not a directory"));
    } else {
        const QFileInfoList entries = dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo& entry : entries) {
            const QDate date = QDate::fromString(entry.fileName(), QStringLiteral("yyyy-MM-dd"));
            if (!date.isValid())
                continue;
            const QString text = date.toString(QStringLiteral("yyyy-MM-dd"));
            days.append(text);
            write_log(kInfo + QStringLiteral("get available days :: available day append ") + text);
        }
        root_directory = root;
        if (!days.isEmpty())
            m_selected_date = days.last();
    }
    if (days.isEmpty())
        show_attention(QStringLiteral("Aucun enregistrement trouvé dans le dossier ") + root);
    return days;
}

QList<QFileInfo> ZRPlayerInferfaceController::get_days_list(QString directory)
{
    return DayListing::get_days_list(directory);
}

QString ZRPlayerInferfaceController::selected_date()
{
    return m_selected_date;
}

QString ZRPlayerInferfaceController::selected_camera()
{
    return m_selected_camera;
}

void ZRPlayerInferfaceController::set_selected_date(QString date)
{
    m_selected_date = date;
}

QList<QFileInfo> ZRPlayerInferfaceController::zrnfo_with_multiple_directory(QString day_directory)
{
    return DayListing::zrnfo_with_multiple_directory(day_directory);
}

bool ZRPlayerInferfaceController::init_day_video_list(QString day_directory, bool rebuild_when_stale)
{
    const DayListing::DayLoad day = DayListing::load_day(day_directory);
    install_day(day);
    // The folder that was loaded is the one rebuilt: a caller that never chose a root folder
    // and date still gets its own day indexed.
    if (day.rebuild && rebuild_when_stale)
        return regenerate_index_for_folder(day_directory);
    return false;
}

bool ZRPlayerInferfaceController::regenerate_index_for_folder(const QString& day_directory)
{
    ensure_index_controller(true);
    if (index_controller->isRunning())
        return false;
    write_log(kInfo + QStringLiteral("start regenerate index for folder :: ") + day_directory);
    if (day_directory.isEmpty() || !QFileInfo(day_directory).isDir()) {
        write_log(kWarn + QStringLiteral("regenerate index :: path does not exist :: ") + day_directory);
        return false;
    }
    emit startIndexGeneration();
    index_controller->start(day_directory);
    return index_controller->isRunning();
}

void ZRPlayerInferfaceController::install_day(const DayListing::DayLoad& day)
{
    day_video_list = day.video;
    day_alarm_list = day.alarm;
    day_tag_list = day.tag;
    day_audio_list = day.audio;
    day_preview_list = day.preview;
}

void ZRPlayerInferfaceController::clear_day_lists()
{
    day_video_list.clear();
    day_alarm_list.clear();
    day_tag_list.clear();
    day_audio_list.clear();
    day_preview_list.clear();
}

void ZRPlayerInferfaceController::get_cameras_for_date_async(QString date)
{
    write_log(kInfo + QStringLiteral("get cameras for date async"));
    const QString root = root_directory;
    const quint64 request = ++listing_request;
    listing_tasks.erase(std::remove_if(listing_tasks.begin(), listing_tasks.end(),
                                       [](const QFuture<void>& f) { return f.isFinished(); }),
                        listing_tasks.end());
    listing_tasks.append(QtConcurrent::run(QThreadPool::globalInstance(), [this, root, date, request]() {
        const DayListing::CameraListing result = DayListing::list_cameras_for_date(root, date);
        QMetaObject::invokeMethod(
            this, [this, request, result]() { install_camera_listing(request, result); }, Qt::QueuedConnection);
    }));
}

void ZRPlayerInferfaceController::install_camera_listing(quint64 request, const DayListing::CameraListing& result)
{
    // An older listing that finishes late must not replace the day the operator picked since.
    if (request != listing_request)
        return;
    m_hash_camera_id_name = result.table;
    if (result.day_loaded)
        install_day(result.day);
    else
        clear_day_lists(); // another day's lists would play the wrong day
    if (result.day_loaded && result.day.rebuild)
        regenerate_index_for_current_date();
    if (result.error.isEmpty())
        emit camerasForDateReady(result.cameras);
    else
        emit camerasForDateError(result.error);
}

// ---------------------------------------------------------------------------------------------
// Index regeneration

void ZRPlayerInferfaceController::ensure_index_controller(bool for_current_date)
{
    if (index_controller)
        return;
    index_controller = new ZRIndexController(this);
    connect(index_controller, &ZRIndexController::allFinished, this, [this, for_current_date]() {
        if (for_current_date)
            write_log(kInfo + QStringLiteral("finished regenerate index for current date :: ") + root_directory
                      + QLatin1Char('/') + m_selected_date);
        emit indexGenerated();
    });
    connect(index_controller, &ZRIndexController::errorOccurred, this, [this, for_current_date](QString message) {
        show_attention(message);
        if (for_current_date)
            write_log(kInfo + QStringLiteral("failed to regenerate index for current date :: ") + root_directory
                      + QLatin1Char('/') + m_selected_date);
        emit indexFailed();
    });
}

bool ZRPlayerInferfaceController::start_index_generation(const QString& path)
{
    // A removed drive or a day that is gone starts no worker and would leave the busy view up.
    if (root_directory.isEmpty() || !QFileInfo(path).isDir()) {
        write_log(kWarn + QStringLiteral("regenerate index :: path does not exist :: ") + path);
        show_attention(QStringLiteral("Le chemin n'existe pas : ") + path);
        emit indexFailed();
        return false;
    }
    emit startIndexGeneration();
    index_controller->start(path);
    return true;
}

void ZRPlayerInferfaceController::regenerate_index()
{
    ensure_index_controller(false);
    write_log(kInfo + QStringLiteral("start regenerate full index :: ") + root_directory);
    start_index_generation(root_directory);
}

void ZRPlayerInferfaceController::regenerate_index_for_current_date()
{
    ensure_index_controller(true);
    const QString path = root_directory + QLatin1Char('/') + m_selected_date;
    write_log(kInfo + QStringLiteral("start regenerate index for current date :: ") + path);
    start_index_generation(path);
}

// ---------------------------------------------------------------------------------------------
// Camera choice, seeking and file navigation

void ZRPlayerInferfaceController::set_next_file()
{
    set_file(QStringLiteral("next"));
}

void ZRPlayerInferfaceController::set_previous_file()
{
    set_file(QStringLiteral("previous"));
}

void ZRPlayerInferfaceController::setTime(QTime time)
{
    read_time = time.toString(QStringLiteral("HHmmss"));
    emit timeChanged();
}

void ZRPlayerInferfaceController::recv_available_videostream(QStringList streams)
{
    stream_list = streams;
    emit updateStreams();
}

QStringList ZRPlayerInferfaceController::get_videostreams_list()
{
    return stream_list;
}

int ZRPlayerInferfaceController::get_current_read_time_is_ms()
{
    const QTime t = QTime::fromString(read_time, QStringLiteral("HHmmss"));
    return t.isValid() ? t.msecsSinceStartOfDay() : 0;
}

void ZRPlayerInferfaceController::set_selected_camera(QString camera)
{
    m_selected_camera = camera;
    camera_id = -1;
    current_file.clear();
    for (auto it = m_hash_camera_id_name.cbegin(); it != m_hash_camera_id_name.cend(); ++it)
        if (it.value() == camera)
            camera_id = it.key();
    stream_list.clear();
    reader->stop();
    playback_state = 0;
    if (canvas)
        canvas->set_disconnected(true);
    emit dataChanged();

    if (!read_time.isEmpty()) {
        write_log(kInfo + QStringLiteral("set selected camera to ") + camera + QStringLiteral(" at read time ") + read_time);
        set_zrstream_reader_read_timestamp(read_time);
        playback_state = 1;
    } else {
        write_log(kWarn + QStringLiteral("set selected camera to ") + camera + QStringLiteral(" to empty read time ")
                  + read_time);
        if (canvas)
            canvas->set_disconnected(true);
    }
}

void ZRPlayerInferfaceController::set_selected_videostream(int idstream)
{
    stream_id = idstream;
    write_log(kInfo + QStringLiteral("set video stream id to ") + QString::number(idstream) + QStringLiteral(" at read time ")
              + read_time);
    set_zrstream_reader_read_timestamp(read_time);
    playback_state = 1;
}

void ZRPlayerInferfaceController::set_zrstream_reader_read_timestamp(QString timestamp)
{
    const QString camera = QString::number(camera_id);
    const QDate day = QDate::fromString(m_selected_date, QStringLiteral("yyyy-MM-dd"));
    QString target;
    const QTime time_only = QTime::fromString(timestamp, QStringLiteral("HHmmss"));
    if (parse_full_stamp(timestamp, nullptr, nullptr)) {
        target = timestamp;
        write_log(kInfo + QStringLiteral("set zrstream reader read timestamp ") + timestamp + QStringLiteral(" for camera ")
                  + camera);
    } else if (time_only.isValid()) {
        target = stamp_text(day, time_only);
        write_log(kInfo + QStringLiteral("set zrstream reader create timestamp from time ") + target
                  + QStringLiteral(" for camera ") + camera);
    } else if (!timestamp.isEmpty()) {
        bool ok = false;
        qint64 ms = timestamp.trimmed().toLongLong(&ok, 10);
        if (!ok) {
            write_log(kWarn + QStringLiteral("set zrstream reader read timestamp :: not a time :: ") + timestamp);
            return;
        }
        // A step past either end of the day stays on the day.
        ms = std::clamp<qint64>(ms, 0, kMsPerDay - 1);
        target = stamp_text(day, QTime::fromMSecsSinceStartOfDay(int(ms)));
        write_log(kInfo + QStringLiteral("set zrstream reader create timestamp from ms ") + target
                  + QStringLiteral(" for camera ") + camera);
    } else if (day_video_list.isEmpty()) {
        write_log(kError + QStringLiteral("file liste empty for camera ") + camera);
    } else {
        const QFileInfo first = day_video_list.first();
        write_log(kInfo + QStringLiteral("set zrstream reader create from first file ") + first.fileName()
                  + QStringLiteral(" for camera ") + camera);
        QString c, d, t;
        if (matchVideoRecordingName(first.fileName(), &c, &d, &t)) {
            target = stamp_text(day, QTime::fromString(t, QStringLiteral("HHmmss")));
            write_log(kInfo + QStringLiteral("set zrstream reader create timestamp from time ") + target
                      + QStringLiteral(" for camera ") + camera);
        }
    }

    if (target.isEmpty()) {
        write_log(kWarn + QStringLiteral("set zrstream reader read from empty timestamp"));
        return;
    }
    const bool found = timeline_send_click_get_datetime(target, camera_id);
    if (current_file.isEmpty()) {
        write_log(kWarn + QStringLiteral("set zrstream reader read on empty file"));
        reader->stop();
        playback_state = 0;
        if (canvas)
            canvas->set_disconnected(true);
    } else if (found) {
        reader->set_read_timestamp(target);
        playback_state = 1;
        emit startRead();
    } else {
        write_log(kWarn + QStringLiteral("fail to get datetime"));
    }
}

QList<QFileInfo> ZRPlayerInferfaceController::playable_files(const QList<QFileInfo>& files, const char* operation)
{
    QList<QFileInfo> kept;
    kept.reserve(files.size());
    for (const QFileInfo& file : files) {
        const QString path = file.filePath();
        const QFileInfo seek(seekTablePathFor(path));
        if (!seek.exists()) {
            write_log(kInfo + QLatin1String(operation) + QStringLiteral(" :: remove ") + path);
            continue;
        }
        const QFileInfo data(path);
        if (seek.size() == 0 && data.exists() && data.size() == 0) {
            if (qstrcmp(operation, "set file") == 0)
                write_log(kInfo + QLatin1String(operation) + QStringLiteral(" :: remove ") + path);
            else
                write_log(kInfo + QLatin1String(operation) + QStringLiteral(" :: file") + data.fileName()
                          + QStringLiteral(" size ") + QString::number(data.size()));
            continue;
        }
        kept.append(file);
    }
    return kept;
}

bool ZRPlayerInferfaceController::timeline_send_click_get_datetime(QString timestamp, int wanted_camera)
{
    write_log(kInfo + QStringLiteral("timeline send click get datetime :: time ") + timestamp
              + QStringLiteral(" // camera_id ") + QString::number(wanted_camera) + QStringLiteral(" // approx ")
              + QString::number(0));
    const QList<QFileInfo> media = day_video_list + day_audio_list;
    if (media.isEmpty()) {
        write_log(kWarn + QStringLiteral("timeline get datetime :: medialist is empty"));
        return false;
    }
    const QList<QFileInfo> candidates = playable_files(media, "timeline get datetime");

    QDate wanted_day;
    QTime wanted_time;
    if (!parse_full_stamp(timestamp, &wanted_day, &wanted_time)) {
        write_log(kWarn + QStringLiteral("timeline get datetime :: file not found"));
        return false;
    }
    const qint64 wanted_ms = wanted_time.msecsSinceStartOfDay();
    const qint64 length_ms = qint64(file_length) * 1000;

    for (const QFileInfo& file : candidates) {
        QString camera_text, date_text, time_text;
        if (!splitRecordingName(file.fileName(), &camera_text, &date_text, &time_text))
            continue;
        if (wanted_camera == -1)
            wanted_camera = camera_text.toInt();
        if (camera_text.toInt() != wanted_camera)
            continue;
        if (QDate::fromString(date_text, QStringLiteral("yyyyMMdd")) != wanted_day)
            continue;
        const QTime start = QTime::fromString(time_text, QStringLiteral("HHmmss"));
        if (!start.isValid())
            continue;
        // Ends counted in milliseconds of the day, so the day's last minute can be found too.
        const qint64 start_ms = start.msecsSinceStartOfDay();
        if (start_ms <= wanted_ms && wanted_ms < start_ms + length_ms) {
            change_camera(file);
            return true;
        }
    }
    write_log(kWarn + QStringLiteral("timeline get datetime :: file not found"));
    return false;
}

void ZRPlayerInferfaceController::change_camera(QFileInfo file)
{
    const QString path = file.filePath();
    write_log(kInfo + QStringLiteral("change camera :: ") + path);
    if (!path.contains(QLatin1String(".zrvideo")) && !path.contains(QLatin1String(".zraudio")))
        return;
    const QString sid = QString::number(stream_id);
    if (reader->get_idstream() != sid) {
        if (canvas)
            canvas->set_ending();
        write_log(kInfo + QStringLiteral("change camera :: init decoder :: ") + path);
        const QString seek = seekTablePathFor(path);
        if (reader->init_displayer_for_stream(QFileInfo(seek), sid, get_selected_camera_video_list())) {
            playback_state = 1;
            current_file = path;
            if (canvas) {
                canvas->set_stream_start(true);
                canvas->set_overlay_enabled(true);
                canvas->set_text_size(QStringLiteral("normal"));
                canvas->set_camera_label(m_selected_camera);
            }
            reader->read_forward();
            emit startRead();
        } else {
            playback_state = 0;
        }
        return;
    }
    write_log(kInfo + QStringLiteral("change camera :: continue decoding :: filename ") + path);
    const QString direction = rate < 0 ? QStringLiteral("previous") : QStringLiteral("next");
    if (reader->continue_read(path, sid, true, direction)) {
        current_file = path;
        playback_state = 1;
    }
}

bool ZRPlayerInferfaceController::is_selected_camera_video(const QFileInfo& file, QString* day_text,
                                                           QString* minute_folder)
{
    static const QRegularExpression day_pattern(QStringLiteral("\\d{4}-\\d{2}-\\d{2}"));
    static const QRegularExpression minute_pattern(QStringLiteral("\\d{6}"));
    const QStringList parts = file.absoluteFilePath().split(QLatin1Char('/'));
    const qsizetype n = parts.size();
    if (n < 4)
        return false;
    const QString& export_name = parts.at(n - 4);
    const QString& day = parts.at(n - 3);
    const QString& folder = parts.at(n - 2);
    const QString& name = parts.at(n - 1);
    if (!isExportFolderName(export_name))
        return false;
    if (!day_pattern.match(day).hasMatch() || day != m_selected_date)
        return false;
    if (!minute_pattern.match(folder).hasMatch())
        return false;
    if (!name.endsWith(QLatin1String(".zrvideo"), Qt::CaseInsensitive))
        return false;
    if (!name.contains(QLatin1Char('_')) || recordingCameraText(name) != QString::number(camera_id))
        return false;
    if (day_text)
        *day_text = day;
    if (minute_folder)
        *minute_folder = folder;
    return true;
}

QList<QFileInfo> ZRPlayerInferfaceController::get_selected_camera_video_list()
{
    QList<QFileInfo> list;
    for (const QFileInfo& f : std::as_const(day_video_list))
        if (is_selected_camera_video(f))
            list.append(f);
    return list;
}

void ZRPlayerInferfaceController::set_file(QString direction)
{
    if (current_file.isEmpty()) {
        write_log(kWarn + QStringLiteral("set file :: current file empty :: ") + current_file);
        return;
    }
    write_log(kInfo + QStringLiteral("set file :: current file :: ") + current_file);
    const QFileInfo current(current_file);
    QString camera_text, date_text, time_text;
    if (!splitRecordingName(current.fileName(), &camera_text, &date_text, &time_text))
        return;
    const bool forward = direction.contains(QLatin1String("next"));
    const QTime time = QTime::fromString(time_text, QStringLiteral("HHmmss"));
    const QString new_time = time.addSecs(forward ? file_length : -file_length).toString(QStringLiteral("HHmmss"));

    QString wanted;
    QList<QFileInfo> list;
    if (current_file.contains(QLatin1String(".zrvideo"))) {
        wanted = recordingFileName(camera_text, date_text, new_time, QStringLiteral(".zrvideo"));
        list = day_video_list;
    } else if (current_file.contains(QLatin1String(".zraudio"))) {
        wanted = recordingFileName(camera_text, date_text, new_time, QStringLiteral(".zraudio"));
        list = day_audio_list;
    }

    QString folder = current.path();
    if (folder.contains(QLatin1Char('/') + time_text) && !new_time.isEmpty())
        folder.replace(time_text, new_time);

    QString new_path;
    bool listed = false;
    for (const QFileInfo& f : std::as_const(list))
        if (!wanted.isEmpty() && f.fileName() == wanted)
            listed = true;
    if (listed) {
        new_path = folder + QLatin1Char('/') + wanted;
    } else {
        write_log(kInfo + QStringLiteral("set file :: day video list NOT contain ") + wanted);
        const QList<QFileInfo> candidates = playable_files(list, "set file");
        QString best_time;
        for (const QFileInfo& f : candidates) {
            QString c, d, t;
            if (!splitRecordingName(f.fileName(), &c, &d, &t) || c != camera_text)
                continue;
            if (forward) {
                if (t > time_text) {
                    new_path = f.filePath();
                    break;
                }
            } else {
                if (!(t < time_text))
                    break;
                if (best_time.isEmpty() || t > best_time) {
                    best_time = t;
                    new_path = f.filePath();
                }
            }
        }
    }
    write_log(kInfo + QStringLiteral("set file :: new file :: ") + new_path);

    const QString sid = QString::number(stream_id);
    if (playback_state == 1) {
        const QString play_direction = rate > 0 ? QStringLiteral("next") : QStringLiteral("previous");
        if (reader->continue_read(new_path, sid, true, play_direction))
            current_file = new_path;
    } else if (playback_state == 2) {
        // Paused stays paused: the reader is positioned in the new file without playing.
        if (reader->continue_read(new_path, sid, false, direction))
            current_file = new_path;
    }
}

// ---------------------------------------------------------------------------------------------
// Day media lists for the timeline

QList<qint64> ZRPlayerInferfaceController::day_timestamp_list()
{
    QList<qint64> result;
    for (const QFileInfo& f : std::as_const(day_video_list)) {
        QString day, folder;
        if (!is_selected_camera_video(f, &day, &folder))
            continue;
        if (!QDate::fromString(day, QStringLiteral("yyyy-MM-dd")).isValid())
            continue;
        QTime minute = QTime::fromString(folder, QStringLiteral("hhmmss"));
        if (!minute.isValid()) {
            // Media folders named after the camera: the recording's own start time.
            QString c, d, t;
            if (splitRecordingName(f.fileName(), &c, &d, &t))
                minute = QTime::fromString(t, QStringLiteral("HHmmss"));
        }
        if (minute.isValid())
            result.append(minute.msecsSinceStartOfDay());
    }
    return result;
}

QVariantList ZRPlayerInferfaceController::day_alarm_list_string()
{
    QMap<QString, QVariantMap> alarms;
    for (const QFileInfo& f : std::as_const(day_alarm_list)) {
        const QString name = f.fileName();
        const QString base = alarmImageKey(name);
        QVariantMap& map = alarms[base];
        if (name.contains(QLatin1String("-thumb")))
            map.insert(QStringLiteral("thumbnail"), f.absoluteFilePath());
        else
            map.insert(QStringLiteral("image"), f.absoluteFilePath());
        map.insert(QStringLiteral("filename"), base + QStringLiteral(".jpg"));
        QString camera, alarm, datetime;
        if (matchAlarmImageName(base, &camera, &alarm, &datetime)) {
            map.insert(QStringLiteral("cameraId"), camera);
            map.insert(QStringLiteral("alarmId"), alarm);
            map.insert(QStringLiteral("datetime"), datetime);
            map.insert(QStringLiteral("severity"), QStringLiteral("medium"));
            map.insert(QStringLiteral("type"), datetime);
        }
    }
    QVariantList result;
    for (auto it = alarms.cbegin(); it != alarms.cend(); ++it)
        if (it.value().value(QStringLiteral("cameraId")).toInt() == camera_id)
            result.append(it.value());
    return result;
}

QVariantList ZRPlayerInferfaceController::day_tags_list_string()
{
    QStringList texts;
    for (const QFileInfo& f : std::as_const(day_tag_list)) {
        write_log(kInfo + QStringLiteral("day_tags_list_string ") + f.absoluteFilePath());
        const QString text = ZRFile::read_decrypted_file(f);
        write_log(kInfo + QStringLiteral("day_tags_list_string :: json value ") + text);
        texts.append(text);
    }
    QVariantList result;
    for (const QString& text : std::as_const(texts)) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject()) {
            qWarning() << "Erreur de parsing JSON:" << error.errorString();
            continue;
        }
        const QJsonObject obj = doc.object();
        const QJsonValue cam = obj.value(QStringLiteral("tag_cam_id"));
        if (cam.isDouble() && cam.toInt() == camera_id)
            result.append(obj.toVariantMap());
    }
    return result;
}

QStringList ZRPlayerInferfaceController::day_audio_list_string()
{
    QStringList result;
    for (const QFileInfo& f : std::as_const(day_audio_list))
        result.append(f.absoluteFilePath());
    return result;
}

QVariantList ZRPlayerInferfaceController::day_preview_list_string()
{
    QVariantList result;
    for (const QFileInfo& f : std::as_const(day_preview_list)) {
        QString camera, date, hms;
        if (!matchPreviewImageName(f.fileName(), &camera, &date, &hms))
            continue;
        const QTime time = QTime::fromString(hms, QStringLiteral("hhmmss"));
        if (!time.isValid())
            continue;
        QString path = f.absoluteFilePath();
        const qsizetype marker = path.lastIndexOf(QLatin1String("::"));
        if (marker >= 0)
            path = path.mid(marker + 2);
        path = path.trimmed();
        path.remove(QLatin1Char('"'));
        const int id = camera.toInt();
        if (id != camera_id)
            continue;
        QVariantMap map;
        map.insert(QStringLiteral("id"), id);
        map.insert(QStringLiteral("date"), date);
        map.insert(QStringLiteral("ms"), qint64(time.msecsSinceStartOfDay()));
        map.insert(QStringLiteral("url"), QUrl::fromLocalFile(path).toString());
        result.append(map);
    }
    return result;
}

QString ZRPlayerInferfaceController::get_alarm_thumbnail_path(QString datetime)
{
    for (const QFileInfo& f : std::as_const(day_alarm_list)) {
        const QString name = f.fileName();
        QString camera, alarm, stamp;
        if (!matchAlarmImageName(name, &camera, &alarm, &stamp) || camera.toInt() != camera_id)
            continue;
        if (stamp != datetime || !name.contains(QLatin1String("-thumb")))
            continue;
        return f.absoluteFilePath();
    }
    return QString();
}

// ---------------------------------------------------------------------------------------------
// Transport, snapshots and launched tools

void ZRPlayerInferfaceController::pause_button()
{
    if (playback_state != 1)
        return;
    reader->toggle_pause();
    playback_state = 2;
}

void ZRPlayerInferfaceController::start_button()
{
    write_log(kInfo + QStringLiteral("start button"));
    if (playback_state == 2)
        reader->toggle_pause();
    else
        set_zrstream_reader_read_timestamp(read_time);
    playback_state = 1;
}

void ZRPlayerInferfaceController::next_frame_button()
{
    write_log(kInfo + QStringLiteral("next frame button"));
    if (playback_state == 1) {
        reader->toggle_pause();
        playback_state = 2;
    }
    reader->read_and_display_next_frame(true);
}

void ZRPlayerInferfaceController::previous_frame_button()
{
    if (playback_state == 1) {
        reader->toggle_pause();
        playback_state = 2;
    }
    reader->read_and_display_previous_frame(true);
}

void ZRPlayerInferfaceController::set_playback_rate(int playback)
{
    write_log(kInfo + QStringLiteral("set playback rate ") + QString::number(playback));
    playback_state = 1;
    rate = playback;
    reader->change_rate(double(playback));
}

void ZRPlayerInferfaceController::open_snapshot(bool full)
{
    if (!canvas) {
        write_log(kWarn + QStringLiteral("snapshot :: no display"));
        return;
    }
    // Empty session and address: nothing is uploaded.
    const QImage image = full ? canvas->get_snapshot_full(QString(), QString())
                              : canvas->get_snapshot(QString(), QString());
    const QString name = canvas->get_timestamp() + QStringLiteral(".jpg");
    auto* viewer = new AlarmViewer(image, name);
    viewer->show();
}

void ZRPlayerInferfaceController::snapshot_full_button()
{
    open_snapshot(true);
}

void ZRPlayerInferfaceController::snapshot_button()
{
    open_snapshot(false);
}

void ZRPlayerInferfaceController::open_alarm_popup(QString image_path)
{
    write_log(kInfo + QStringLiteral("open alarm popup :: ") + image_path);
    Vignette vignette;
    vignette.file_info = QFileInfo(image_path);
    vignette.file_name = vignette.file_info.fileName();
    vignette.camera_name = m_selected_camera;
    vignette.file_path = image_path;
    auto* viewer = new AlarmViewer(vignette);
    viewer->show();
}

void ZRPlayerInferfaceController::check_integrity()
{
    if (integrity_run.dialog())
        return;
    // A dialog destroyed without finishing leaves its check behind.
    integrity_run.release_check();
    // Without a folder and a day the path would name the file system's root.
    const QDate day = QDate::fromString(m_selected_date, QStringLiteral("yyyy-MM-dd"));
    if (root_directory.isEmpty() || !day.isValid()) {
        write_log(kWarn + QStringLiteral("check integrity :: no day selected :: ") + root_directory
                  + QLatin1Char('/') + m_selected_date);
        return;
    }
    write_log(kInfo + QStringLiteral("check integrity :: ") + root_directory + QLatin1Char('/') + m_selected_date);
    integrity_run.start(root_directory + QLatin1Char('/') + m_selected_date, root_directory, m_selected_date, nullptr);
}

void ZRPlayerInferfaceController::integrity_check_done()
{
    write_log(kInfo + QStringLiteral("integrity check done"));
    integrity_run.end();
}

PopupExport* ZRPlayerInferfaceController::get_export_dialog() const
{
    return export_dialog.data();
}

void ZRPlayerInferfaceController::video_export()
{
    write_log(kInfo + QStringLiteral("export :: ") + root_directory + QLatin1Char('/') + m_selected_date);
    const QString timestamp = canvas ? canvas->get_timestamp() : QString();
    write_log(kInfo + QStringLiteral("export ::  timestamp ") + timestamp);
    if (!QDateTime::fromString(timestamp, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).isValid())
        return;
    // The dialog opened before goes now, unless its raw copy still runs: that one is kept for
    // the end of its copy.
    running_export_dialogs.removeIf([](const QPointer<PopupExport>& d) { return d.isNull(); });
    if (export_dialog) {
        if (export_dialog->is_raw_running())
            running_export_dialogs.append(export_dialog);
        else
            export_dialog->deleteLater();
    }
    export_dialog = new PopupExport(day_video_list, camera_id, QString::number(stream_id), QStringList(),
                                    root_directory + QLatin1Char('/') + m_selected_date, timestamp);
    connect(export_dialog.data(), &PopupExport::endingsignal, this, &ZRPlayerInferfaceController::video_export_end);
    export_dialog->setModal(true);
    export_dialog->show();
}

void ZRPlayerInferfaceController::video_export_end()
{
    // The dialog whose copy ended, which need not be the one opened last.
    PopupExport* dialog = qobject_cast<PopupExport*>(sender());
    if (!dialog)
        dialog = export_dialog.data();
    int failures = 0;
    if (dialog) {
        dialog->closeall();
        failures = dialog->get_raw_failures();
        running_export_dialogs.removeAll(QPointer<PopupExport>(dialog));
        if (dialog == export_dialog)
            export_dialog = nullptr;
        dialog->deleteLater();
    }
    QString text = QStringLiteral("Votre exportation est terminée.");
    // The operator learns about the files that are missing from the copy.
    if (failures == 1)
        text += QStringLiteral("\n1 fichier n'a pas pu être copié.");
    else if (failures > 1)
        text += QStringLiteral("\n%1 fichiers n'ont pas pu être copiés.").arg(failures);
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), text);
    box.exec();
}
