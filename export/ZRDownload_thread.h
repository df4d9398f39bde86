#pragma once

#include <QFile>
#include <QMutex>
#include <QString>
#include <QThread>

#include <curl/curl.h>

#include <atomic>
#include <cstddef>

class DownloadMultiItems_Presentation;

// Downloads one URL with libcurl into "<file>.part", classifies the answer by its
// Content-Type, captures the server's "Content-Digest" and, when the file is complete and
// matches that digest, puts it in place of the target. Ends with exactly one report:
// download_finished or download_error. The row it belongs to is only changed through the
// owner_* signals, which reach it queued in the GUI thread.
class ZRDownload_thread : public QThread
{
    Q_OBJECT
public:
    // Longest header value kept; longer lines are cut (a digest then no longer matches).
    static constexpr int kMaxHeaderText = 1024;
    // Longest first line of a saved file that is examined.
    static constexpr int kMaxFirstLine = 4096;

    enum class ContentClass { File, ErrorPage, ErrorObject, Other };

    ZRDownload_thread(DownloadMultiItems_Presentation* owner, QString url);
    ~ZRDownload_thread() override;

    // The file to produce; set before start. Empty: nothing is written.
    void set_output_path(const QString& path);
    QString output_path() const { return outputPath; }
    QString part_path() const { return outputPath.isEmpty() ? QString() : outputPath + QStringLiteral(".part"); }
    QString get_url() const { return url; }
    DownloadMultiItems_Presentation* get_owner() const { return owner; }

    // Any thread: the transfer ends within a second.
    void set_stop();
    bool is_stop_requested() const { return stopRequested.load(); }

    // Protocol helpers.
    static ContentClass classify(const QString& contentType);
    static QString error_page_text(const QByteArray& firstLine);
    static QString return_code_text(const QByteArray& body);
    // "Erreur de téléchargement - %1".
    static QString download_error_text(const QString& detail);

signals:
    void download_finished(QString file_sha);
    void downloadProgress(qlonglong bytesReceived, qlonglong bytesTotal);
    void download_error(QString url, QString error_message);
    void statusChanged();

    // Changes to the owner row, applied by the row in the GUI thread in this order.
    void owner_file_name(QString name);
    void owner_stop();
    void owner_info(QString text);
    void owner_try_again_shown();
    void owner_open_folder_hidden();

protected:
    void run() override;

private:
    static size_t write_callback(char* data, size_t size, size_t count, void* user);
    static size_t header_callback(char* data, size_t size, size_t count, void* user);
    static int progress_callback(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal, curl_off_t ulnow);

    void process_block(const char* data, size_t size);
    void fail(const QString& message);
    void finish_run();
    bool put_in_place();

    QString contentType;
    QString digest;
    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    DownloadMultiItems_Presentation* owner = nullptr;
    int running = -1;
    std::atomic<bool> stopRequested{false};
    bool failed = false;
    QString url;

    QString outputPath;
    QFile output;
    QString errorMessage;
    QMutex multiMutex; // guards the multi handle against a wake-up while it goes
    qint64 lastReceived = -1;
    qint64 lastTotal = -1;

    // Feeds headers and body blocks straight to the callbacks, without a transfer.
    friend struct DownloadThreadFuzz;
};
