#pragma once

#include "media/DecodedFrameQueue.h"
#include "media/ZRFrame.h"

#include <QByteArray>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <deque>
#include <memory>

class VideoDecoder;
class QWaitCondition;

// Reads, on a thread of its own, every frame of one camera stream inside a time window of a
// day's recording files, decodes it and pushes it as a DecodedFrame onto its consumer's queue,
// waiting while the consumer lags behind. In byte-buffer mode a frame's undecoded bytes go to
// `buffer` instead. The consumer learns of the end from QThread::finished().
class ZRAudioVideoFileReader : public QThread
{
    Q_OBJECT

public:
    ZRAudioVideoFileReader(QList<QFileInfo> files, QString stream_id, QString start_time, QString end_time);
    ZRAudioVideoFileReader(QList<QFileInfo> files, QString stream_id);
    ZRAudioVideoFileReader();
    // Neither stops nor waits: the owner deletes the reader once run() has returned.
    ~ZRAudioVideoFileReader() override;

    // The consumer's queue and (through the public pointer) its mutex, assigned before start.
    void set_frame_queue(std::deque<DecodedFrame*>* queue);
    // The same three parts at once from a DecodedFrameQueue, with its wake-up condition.
    void set_frame_queue(DecodedFrameQueue* queue);
    void set_max_queue_size(int limit);
    void set_camera_names(QHash<int, QString> names);
    // Callable from any thread.
    void stop();

    double get_stream_fps() const { return fps.load(); }
    // Frames of the seek table being read, -1 when there are none. Callable from any thread.
    int get_frame_count() const;
    ZRFrame get_frame(int index) const;
    int get_frame_index_for_timestamp(QString time) const;
    // Every frame queued so far (all files). Callable from any thread.
    int get_queued_count() const { return frames_queued.load(); }
    // Files of the window whose seek table or data could not be read (whole or in part) and
    // were passed over. Read it after the thread has finished.
    QStringList get_skipped_files() const;

    QList<ZRFrame> read_seek_file(QList<QFileInfo> files, QString stream_id, QString start_time, QString end_time,
                                  bool first_only);
    bool read_frame(bool probe, int index, QString stream_id);

    QMutex* queue_mutex = nullptr;
    QByteArray buffer;
    bool buffer_mode = false;

signals:
    void valueChanged(int);
    void endingsignal();
    void error(int);

protected:
    void run() override;

private:
    bool init_displayer_for_stream(QString id);
    bool init_decoder_for_stream(QString id);
    void read_all_frames();
    // Waits (at most one step) while the queue is full; true when there is room.
    bool wait_for_room();
    void note_skipped(const QString& path, const QString& why);
    void set_frames(QList<ZRFrame> list);
    void estimate_fps();

    std::deque<DecodedFrame*>* frame_queue = nullptr;
    QWaitCondition* queue_changed = nullptr;
    QList<QFileInfo> files;
    QList<QFileInfo> parsed_files;
    QList<ZRFrame> frames;
    QHash<int, QString> camera_names;
    std::unique_ptr<VideoDecoder> decoder;
    QString stream_id;
    QString start_time;
    QString end_time;
    int max_queue_size = -1;
    std::atomic<bool> stop_requested{false};
    std::atomic<double> fps{-1.0};
    std::atomic<int> frame_count{-1};
    std::atomic<int> frames_queued{0};
    int frames_read = 0;
    QStringList skipped_files;
    mutable QMutex state_mutex; // guards frames and skipped_files against readers of other threads
};
