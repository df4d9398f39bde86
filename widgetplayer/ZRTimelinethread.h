#pragma once

#include "media/ZRFrame.h"

#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVector>

#include <array>
#include <atomic>

class ZRSlidertimeline;
class ZRTag;
class ZRTimeline;

// Works out, on its own thread, which minutes of one camera's day are recorded, from the
// recordings' names, their spacing and (while a recording's length is unknown) the last line
// of a seek table, and collects the video stream ids of the tables it reads.
//
// The thread never touches a widget: the constructor takes what it needs from the window's
// table of hour timelines, the run fills results of its own, and the results are installed
// into the timelines and the slider by a queued call in the GUI thread, which then emits
// finished(). A newer thread for the same timelines supersedes an older one: the older stops,
// its result is dropped and it emits nothing. Every started thread deletes itself once it
// has ended, so read its results in the slot of finished() and keep no pointer to it.
class ZRTimelinethread : public QThread
{
    Q_OBJECT

public:
    ZRTimelinethread();
    ZRTimelinethread(QHash<QString, ZRTimeline*>* timelines, QStringList hour_labels, ZRSlidertimeline* slider,
                     int camera_id, QFileInfoList video_files, QFileInfoList audio_files, QList<ZRTag*> tags);
    // Stops a running fill and waits for it.
    ~ZRTimelinethread() override;

    // The distinct video stream ids of the seek tables read ("video1", ...), after finished().
    QStringList get_stream_ids() const { return stream_ids; }
    // Minutes that one recording covers as measured by the run; -1 when it stayed unknown.
    double get_file_minutes() const { return minute_diff; }

    // Marks the recordings of files that start in the hour label's range into minutes (the
    // hour's 60 slots) and into the day's slots.
    void get_minute_diff(const QString& label, std::array<int, 60>* minutes, const QFileInfoList& files);
    // The record of a seek table's last line; an empty record (sizes -1) when the table cannot
    // be read or its last line does not begin with a time stamp.
    ZRFrame seek_last_frame(const QString& path);

signals:
    // Hides QThread::finished: emitted in the GUI thread once the results are installed.
    void finished();

protected:
    void run() override;

private slots:
    void install_result();

private:
    void mark(std::array<int, 60>* minutes, const QTime& file_start, int count);

    QPointer<ZRSlidertimeline> slider;
    int camera_id = -1;
    QFileInfoList video_files;
    QFileInfoList audio_files;
    double minute_diff = -1.0;
    QStringList hour_labels;
    // The timeline of each hour label when the thread was made (null when there was none).
    QList<QPointer<ZRTimeline>> hour_timelines;
    QList<QPointer<ZRTag>> tags;
    QStringList stream_ids;

    // Results, written by the run and read by install_result after it.
    QVector<std::array<int, 60>> hour_minutes;
    QVector<int> hour_camera;
    std::array<int, 1440> day_minutes{};

    const void* target = nullptr;
    std::atomic<bool> stop_requested{false};
};
