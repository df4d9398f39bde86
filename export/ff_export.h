#pragma once

#include "media/DecodedFrameQueue.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <memory>

class ZRAudioVideoFileReader;
class ZRStreamEncoder;

// Encodes the frames of one camera's recordings between a start and an end time into one
// video file. run() starts a recording file reader thread that decodes the range into a queue
// the two threads share, and feeds every picture to a video encoder.
//
// How it ends (signals reach the GUI thread through queued connections):
// - success, or a stop by the operator: the file is finished (a stop keeps the frames encoded
//   so far), files_skipped() when part of the range could not be read, then endingsignal();
// - failure: error(code) and no endingsignal(): -5 encoder initialisation, -9 the file could
//   not be written (the partial file is removed), -10 no frame in the range (no file).
// In every case the thread's finished() comes last; the object may be deleted once its
// thread has finished (the destructor stops and waits for a running export).
class ff_export : public QThread
{
    Q_OBJECT

public:
    ff_export();
    ~ff_export() override;

    void set_files(QFileInfoList files);
    void set_start_time(QString time);   // "HHmmss"
    void set_end_time(QString time);     // "HHmmss"
    void set_camera_names(QHash<int, QString> names);
    void set_stream_id(QString id);
    // The two ints are not used. Always true.
    bool set_encoder_parameters(QString output_path, QString codec, int encoder_parameter, int, int,
                                bool overlay_enabled, QString overlay_size);

signals:
    // Progress: 100 per encoded frame over the frame count of the seek table being read.
    void valueChanged(int);
    void endingsignal();
    void error(int);
    // The encoded frame's time stamp "yyyyMMddHHmmsszzz" and the end time "HHmmss".
    void frame_downloaded_encoded(QString, QString);
    // Before endingsignal(): the recording files of the range that could not be read (whole
    // or in part) and were passed over.
    void files_skipped(QStringList files);

public slots:
    void readerFinished();
    void set_stop();

protected:
    void run() override;

private:
    std::unique_ptr<ZRStreamEncoder> create_encoder(const DecodedFrame* head, int* code);
    // Stops the reader, waits for its thread, deletes it; the files it passed over.
    QStringList finish_reader();
    void fail(int code, bool remove_output);

    ZRAudioVideoFileReader* reader = nullptr;
    QMutex reader_mutex; // guards `reader` against set_stop from another thread
    DecodedFrameQueue frame_queue;
    std::atomic<bool> stop_requested{false};
    std::atomic<bool> stopped_by_user{false};
    bool overlay_enabled = false;
    std::atomic<bool> reader_finished{false};
    QString output_path;
    QString codec;
    QString overlay_size;
    int encoder_parameter = 0;
    QFileInfoList files;
    QString start_time;
    QString end_time;
    QString stream_id;
    QHash<int, QString> camera_names;
};
