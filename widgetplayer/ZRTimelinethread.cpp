#include "widgetplayer/ZRTimelinethread.h"

#include "app/Log.h"
#include "media/ZRSeekTable.h"
#include "store/StoreLayout.h"
#include "store/ZRTag.h"
#include "widgetplayer/TimeRange.h"
#include "widgetplayer/ZRSlidertimeline.h"
#include "widgetplayer/ZRTimeline.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>

namespace {

// The newest thread of each set of timelines; only that one installs its result.
QMutex& registry_mutex()
{
    static QMutex mutex;
    return mutex;
}

QHash<const void*, ZRTimelinethread*>& registry()
{
    static QHash<const void*, ZRTimelinethread*> newest;
    return newest;
}

ZRFrame empty_frame()
{
    ZRFrame frame;
    frame.set_timestamp(QString(""));
    frame.set_stream_id(QString(""));
    frame.set_codec(QString(""));
    frame.set_resolution(QString(""));
    frame.set_keyframe_text(QString(""));
    frame.set_kind(QString(""));
    frame.set_size(-1);
    frame.set_offset(-1);
    return frame;
}

// A seek stamp, "yyyyMMddHHmmss" or "yyyyMMddHHmmsszzz", as a time of day.
QTime stamp_time(const QString& stamp)
{
    qint64 ms = 0;
    if (!ZRSeekTable::parse_seconds_stamp(stamp, &ms) && !ZRSeekTable::parse_stamp(stamp, &ms))
        return QTime();
    constexpr qint64 kDay = 24 * 3600 * 1000;
    return QTime::fromMSecsSinceStartOfDay(int(((ms % kDay) + kDay) % kDay));
}

} // namespace

ZRTimelinethread::ZRTimelinethread()
    : QThread(nullptr)
{
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

ZRTimelinethread::ZRTimelinethread(QHash<QString, ZRTimeline*>* timelines, QStringList labels,
                                   ZRSlidertimeline* day_slider, int camera, QFileInfoList videos,
                                   QFileInfoList audios, QList<ZRTag*> tag_list)
    : QThread(nullptr)
    , slider(day_slider)
    , camera_id(camera)
    , video_files(std::move(videos))
    , audio_files(std::move(audios))
    , hour_labels(std::move(labels))
{
    // Everything the run needs is copied here, in the caller's thread: the window may empty
    // its table of timelines, or delete them, while the run goes on.
    for (const QString& label : std::as_const(hour_labels))
        hour_timelines.append(timelines ? QPointer<ZRTimeline>(timelines->value(label)) : QPointer<ZRTimeline>());
    for (ZRTag* tag : tag_list)
        tags.append(QPointer<ZRTag>(tag));
    hour_minutes.resize(hour_labels.size());
    hour_camera.fill(-1, hour_labels.size());

    target = timelines ? static_cast<const void*>(timelines) : static_cast<const void*>(day_slider);
    if (target) {
        QMutexLocker lock(&registry_mutex());
        if (ZRTimelinethread* older = registry().value(target))
            older->stop_requested = true;
        registry().insert(target, this);
    }
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

ZRTimelinethread::~ZRTimelinethread()
{
    stop_requested = true;
    wait();
    if (target) {
        QMutexLocker lock(&registry_mutex());
        if (registry().value(target) == this)
            registry().remove(target);
    }
}

void ZRTimelinethread::run()
{
    for (int i = 0; i < hour_labels.size() && !stop_requested; ++i) {
        if (!hour_timelines.at(i))
            continue;
        hour_camera[i] = camera_id;
        hour_minutes[i].fill(0);
        if (!video_files.isEmpty())
            get_minute_diff(hour_labels.at(i), &hour_minutes[i], video_files);
        if (!audio_files.isEmpty())
            get_minute_diff(hour_labels.at(i), &hour_minutes[i], audio_files);
    }
    if (stop_requested)
        return;
    QMetaObject::invokeMethod(this, &ZRTimelinethread::install_result, Qt::QueuedConnection);
}

void ZRTimelinethread::install_result()
{
    if (target) {
        QMutexLocker lock(&registry_mutex());
        if (registry().value(target) != this)
            return; // a newer thread fills these timelines
        registry().remove(target);
    }
    if (stop_requested)
        return;

    QList<ZRTag*> live_tags;
    for (const QPointer<ZRTag>& tag : std::as_const(tags)) {
        if (tag)
            live_tags.append(tag.data());
    }
    for (int i = 0; i < hour_timelines.size(); ++i) {
        ZRTimeline* timeline = hour_timelines.at(i);
        if (!timeline)
            continue;
        timeline->clear_all_minutes();
        timeline->check_and_add_tags(live_tags, hour_camera.at(i));
        timeline->set_camera_id(hour_camera.at(i));
        for (int m = 0; m < 60; ++m) {
            if (hour_minutes.at(i)[size_t(m)] == 1)
                timeline->set_minutes_recorded(m, 1);
        }
        timeline->update();
    }
    if (slider) {
        for (int m = 0; m < int(day_minutes.size()); ++m) {
            if (day_minutes[size_t(m)] == 1)
                slider->set_minutes_recorded(m, 1);
        }
        slider->update();
    }
    emit finished();
}

void ZRTimelinethread::mark(std::array<int, 60>* minutes, const QTime& file_start, int count)
{
    for (int k = 0; k < count; ++k) {
        const int m = file_start.minute() + k;
        if (m < 60)
            (*minutes)[size_t(m)] = 1;
        const int d = file_start.hour() * 60 + m;
        if (d < int(day_minutes.size()))
            day_minutes[size_t(d)] = 1;
    }
}

void ZRTimelinethread::get_minute_diff(const QString& label, std::array<int, 60>* minutes, const QFileInfoList& files)
{
    const TimeRange range(label);
    QTime next_start;
    for (int i = 0; i < files.size() && !stop_requested; ++i) {
        const QFileInfo& file = files.at(i);
        QString camera, date, start;
        if (!splitRecordingName(file.fileName(), &camera, &date, &start))
            continue;
        if (camera_id == -1)
            camera_id = camera.toInt();
        if (camera.toInt() != camera_id)
            continue;
        const QTime file_start = QTime::fromString(start, QStringLiteral("HHmmss"));

        // Gap rule: the spacing to the next entry, whatever its camera.
        if (i + 1 < files.size()) {
            QString next_camera, next_date, next_time;
            next_start = splitRecordingName(files.at(i + 1).fileName(), &next_camera, &next_date, &next_time)
                ? QTime::fromString(next_time, QStringLiteral("HHmmss"))
                : QTime();
        }
        if (next_start.isValid() && file_start.isValid() && next_start > file_start) {
            const int g = file_start.msecsTo(next_start) / 60000;
            if (g > 1 && g < 10 && (minute_diff == -1.0 || g < minute_diff))
                minute_diff = g;
        }

        // Seek rule: the length of this recording from its seek table's last line.
        if (minute_diff == -1.0) {
            write_log("[INFO] ZTimeline thread :: get minute diff :: filepath :: " + file.filePath());
            const QString seek = seekTablePathOf(file.filePath());
            const ZRFrame last = seek.isEmpty() ? empty_frame() : seek_last_frame(seek);
            write_log("[INFO] ZTimeline thread :: frame_timestamp " + last.get_timestamp());
            next_start = stamp_time(last.get_timestamp());
            if (next_start.isValid() && file_start.isValid() && next_start > file_start) {
                const double length = file_start.msecsTo(next_start) / 1000.0 / 60.0;
                if (length > 1 && length < 10)
                    minute_diff = length;
                else if (length < 1)
                    minute_diff = 1.0;
            }
        }

        if (file_start.isValid() && range.contains(file_start))
            mark(minutes, file_start, int(minute_diff));
    }
}

ZRFrame ZRTimelinethread::seek_last_frame(const QString& path)
{
    const QString kind = path.contains(QLatin1String(".zraudio")) ? QStringLiteral("audio") : QStringLiteral("video");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        write_log("[WARN] ZRTimelinethread :: seek last frame :: Error Opening Seek File " + path);
        return empty_frame();
    }

    char buffer[512];
    qint64 n = 0;
    QString last;
    do {
        n = file.readLine(buffer, sizeof(buffer));
        if (n <= 0)
            break;
        last = QString::fromUtf8(buffer, int(n));
        const QStringList fields = last.split(QLatin1Char(':'));
        if (fields.size() > 1 && fields.at(1).contains(QLatin1String("video")) && !stream_ids.contains(fields.at(1)))
            stream_ids.append(fields.at(1));
    } while (file.bytesAvailable() > 0 && !stop_requested);

    if (n <= 0) {
        write_log("[WARN] ZRTimelinethread :: seek last frame :: read return value  :: " + QString::number(n));
        write_log("[WARN] ZRTimelinethread :: seek last frame :: buffer check       :: 1");
        write_log("[WARN] ZRTimelinethread :: seek last frame :: return empty frame");
        return empty_frame();
    }

    ZRFrame frame = empty_frame();
    const QStringList fields = last.trimmed().split(QLatin1Char(':'));
    const QString stamp = fields.value(0);
    if (!stamp.isEmpty() && ZRSeekTable::parse_stamp(stamp)) {
        frame.set_timestamp(stamp);
        frame.set_kind(kind);
        if (kind == QLatin1String("video")) {
            frame.set_stream_id(QString(fields.value(1)).remove(QStringLiteral("video")));
            frame.set_codec(fields.value(2));
            frame.set_resolution(fields.value(3));
            frame.set_keyframe_text(fields.value(4));
            frame.set_size(ZRSeekTable::parse_size(fields.value(5)));
        } else {
            frame.set_stream_id(QString(fields.value(1)).remove(QStringLiteral("audio")));
            frame.set_codec(fields.value(2));
            frame.set_size(ZRSeekTable::parse_size(fields.value(3)));
        }
        frame.set_data_file(path);
    }
    return frame;
}
