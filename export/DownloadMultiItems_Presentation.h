#pragma once

#include "export/DownloadFileItem.h"
#include "export/Presentation_Interface.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QTimer>

class ZRDownload_thread;

// A download-window row that fetches a list of files one after another into a folder, one
// download thread per file and attempt. Each file is asked for its SHA-256 digest, checked,
// and retried five times (one second apart) before it is listed as failed; the row then goes
// on with the next file. Three lists follow the work: files still to fetch, files that
// failed, files downloaded. Progress counts KiB when the listed sizes are known, else files.
class DownloadMultiItems_Presentation : public Presentation_Interface
{
    Q_OBJECT

public:
    static constexpr int kMaxRetries = 5;
    static constexpr int kRetryPauseMs = 1000;

    DownloadMultiItems_Presentation(QList<DownloadFileItem> pending, QList<DownloadFileItem> done, QString folder);
    ~DownloadMultiItems_Presentation() override;

    QList<DownloadFileItem> pendingItems() const { return m_pending; }
    QList<DownloadFileItem> failedItems() const { return m_failed; }
    QList<DownloadFileItem> doneItems() const { return m_done; }
    QString folder() const { return m_folder; }
    // In error := value; the buttons stay as they are.
    void setInError(bool value) override { m_inError = value; }

    // The address asked for: the digest is requested unless the address already asks for it
    // or names a package (".exe", ".dmg", ".zip").
    static QString digest_url(const QString& url);

    void init() override;
    void setFinished() override;
    void setStarted() override;
    bool isStopped() override { return stoppedByUser; }
    bool downloadedSuccessfully() override;
    QString fileName() override { return displayName; }
    void updateInfoLabel() override;
    QString sizeString(qint64 bytes) override;
    // The network error slot stays beside error(url, code).
    using Presentation_Interface::error;

    Presentation_Interface* filed_row(Filing filing) override;
    bool has_done_items() override { return !m_done.isEmpty(); }
    bool has_failed_items() override { return !m_failed.isEmpty(); }

    // A retry is waiting for its pause to end.
    bool retry_pending() const { return retryTimer.isActive(); }
    int retry_count() const { return retries; }
    qint64 total_kib() const { return totalKiB; }

signals:
    void tryAgainFromError(QString type);

public slots:
    void finished() override;
    void start_downloading_item() override;
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal) override;
    void stop() override;

    void error(QString url, QString code);
    void stop_button();
    void item_finished(QString file_sha);

private slots:
    void tryAgain() override;
    void open() override;
    void openRep() override;

private:
    void get_data(const QString& url);
    void release_thread();
    // The saved file's SHA-256, lowercase hexadecimal; empty when it cannot be read.
    static QString file_sha256(const QString& path);

    ZRDownload_thread* thread = nullptr;
    // Reports of an attempt are taken only while it is the current one.
    quint64 attempt = 0;
    qint64 currentReceived = 0;
    qint64 currentTotal = 0;
    qint64 doneBytes = 0;
    QElapsedTimer timer;
    QList<DownloadFileItem> m_pending;
    QList<DownloadFileItem> m_failed;
    QList<DownloadFileItem> m_done;
    DownloadFileItem current;
    QString urlText;
    QString outputName;
    QString displayName;
    QString m_folder;
    bool stoppedByUser = false;
    bool showStopMessage = false;
    qint64 totalKiB = -1;
    int retries = 0;
    // The pause before a retry runs in the event loop: the window stays live and a stop
    // pressed meanwhile cancels the retry.
    QTimer retryTimer;
};
