#pragma once

#include "ptz/PtzHeaders.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>
#include <optional>

// Performs the native drivers' HTTP requests one at a time with libcurl, on the thread it
// was moved to. Jobs that arrive while one runs either replace each other (LatestWins: only
// the newest waits) or wait in arrival order (QueueAll).
class PtzJobWorker : public QObject
{
    Q_OBJECT
public:
    enum QueuePolicy { LatestWins = 0, QueueAll = 1 };
    Q_ENUM(QueuePolicy)

    struct Job
    {
        int type = 0; // 0 GET, 1 PUT, 2 POST
        QString url;
        QByteArray data;
        QString username;
        QString password;
        QString command;
        QString contentType;
        PtzHeaders headers;
    };

    // A camera answer larger than this is refused: a control reply is a few kilobytes.
    static constexpr qint64 max_response_bytes = 1024 * 1024;
    static constexpr long connect_timeout_ms = 2000;
    static constexpr long total_timeout_ms = 8000;

    explicit PtzJobWorker(QObject* parent = nullptr);
    ~PtzJobWorker() override;

    void set_verbose(bool on) { verbose = on; }
    void set_policy(QueuePolicy p);
    QueuePolicy get_policy() const;

    // Thread-safe, callable from the owner's thread: aborts the running transfer and every
    // later job for good. Used when the owner goes away.
    void shutdown();

signals:
    void jobFinished(QString command, QString response);
    void jobError(QString command, QString errorMessage);

public slots:
    void enqueueJob(int typeInt, QString url, QByteArray data, QString username, QString password,
                    QString command, QString contentType, PtzHeaders headers);
    void requestCancel();

private slots:
    void processActive();

private:
    // Runs one transfer; true with the body in response, false with the failure text.
    bool perform(const Job& job, QString& response);
    static int progress_callback(void* clientp, long long dltotal, long long dlnow, long long ultotal,
                                 long long ulnow);
    static size_t write_callback(char* data, size_t size, size_t count, void* userdata);

    mutable QMutex mutex;
    bool busy = false;
    Job active;
    std::optional<Job> pending;
    QList<Job> queue;
    QueuePolicy policy = LatestWins;
    bool verbose = false;
    // Read by the transfer's progress callback while another thread may set it.
    std::atomic<bool> cancel_requested{false};
    std::atomic<bool> stopped{false};
};
