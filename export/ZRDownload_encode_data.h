#pragma once

#include "media/DecodedFrameQueue.h"

#include <QMutex>
#include <QString>
#include <QThread>

#include <atomic>

class ZRStreamParser;

// The raw data downloader: receives a camera's recorded stream for a time range through the
// live stream client in download mode and turns it into one video file, either by writing the
// encoded frames to a working file and stream-copying it into MP4, or by encoding the decoded
// pictures. It may then write a descriptor and pack both files into a ZIP archive. Ends each
// run with finished() or error(code), the code's text being the export error table's.
class ZRDownload_encode_data : public QThread
{
    Q_OBJECT

public:
    // Tries of one frame that cannot be written or encoded before it is dropped.
    static constexpr int kFrameTries = 10;
    static constexpr int kRemuxAttempts = 50;
    static constexpr int kMinEncodedFrames = 50;

    ZRDownload_encode_data();
    ~ZRDownload_encode_data() override;

    // What the creator fills before the start.
    void set_stream(QString scheme, QString host, QString port, QString pathQuery);
    // "yyyy-MM-dd HH:mm:ss.zzz", the frames' time-stamp form.
    void set_end_time(QString end) { endTime = std::move(end); }
    void set_video_path(QString path) { videoPath = std::move(path); }
    // "raw" (any case) copies the stream; otherwise an encoder name ("h264", "h265" accepted).
    void set_video_format(QString format) { videoFormat = std::move(format); }
    void set_overlay(int on, QString text) { overlay = on; overlayText = std::move(text); }
    // Content as Base64, and the file it is appended to.
    void set_descriptor(QString data, QString path) { descriptorData = std::move(data); descriptorPath = std::move(path); }
    // Empty: no archive.
    void set_archive_path(QString path) { archivePath = std::move(path); }
    void set_duration_seconds(int seconds) { durationSeconds = seconds; }

    // The file a run produced: the video (a stream copy's file name has its blanks turned into
    // "_"), or the archive that holds it.
    QString result_path() const;
    QString get_last_timestamp() const;
    QString get_end_time() const { return endTime; }

    // The per-user working folder of the stream copy; created when missing.
    static QString working_folder();

public slots:
    void set_stop();
    void set_stop_from_user();
    void get_error();

signals:
    void start_download();
    void frame_downloaded_encoded(QString current, QString end);
    void generic_message(QString message);
    void finished();
    void error(int code);

protected:
    void run() override;

private:
    void start_parser(bool raw);
    void stop_parser();
    // Takes the front frame off the queue and destroys it.
    void drop_front();
    DecodedFrame* front();
    // The front frame, waited for (waitMs at a time) while the run goes on. Null once a stop is
    // asked, or once the wait has brought nothing kMaxWaits times in a row: the run is then
    // stopped and *timedOut set. The name of the run (who) leads its log line.
    DecodedFrame* wait_front(int waitMs, const QString& who, bool* timedOut);
    void stream_copy();
    void encode();
    int write_descriptor();
    int build_archive(const QString& video);
    int check_archive(const QString& video);
    void remove_file(const QString& path, const QString& warnPrefix);

    ZRStreamParser* parser = nullptr;
    QMutex parserMutex; // the stop slots reach the client from the GUI thread
    DecodedFrameQueue queue;

    QString host;
    QString port;
    QString pathQuery;
    QString scheme;
    QString endTime;
    QString videoPath;
    QString videoFormat;
    QString overlayText;
    QString descriptorData;
    QString descriptorPath;
    QString archivePath;
    QString lastTimestamp;
    mutable QMutex resultMutex;
    QString resultPath;
    int overlay = -1;
    int durationSeconds = -1;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> stoppedByUser{false};
};
