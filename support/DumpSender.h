#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QFile;
class QNetworkAccessManager;

// Uploads one crash dump with the log, the operator's address and description as a
// multipart form, and deletes what the server says it received.
class DumpSender : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* kBoundary = "---------------------------10757404324422";

    explicit DumpSender(QObject* parent = nullptr);
    ~DumpSender() override;

    // The endpoint given at build time; tests point the sender elsewhere.
    static QUrl default_url();
    void set_url(const QUrl& url);
    QUrl get_url() const;

    void set_email(const QString& email);
    void set_comment(const QString& comment);

    void send_dump(const QString& dumpPath);
    void remove_dump(const QString& dumpPath);

    // "OS <type>_<kernel>_<architecture>", as the report and the details dialog show it.
    static QString os_description();
    // The per-user log file, "/" separated.
    static QString log_file_path();
    // Multipart file names: quotes, CR and LF percent-escaped so they cannot end the header.
    static QString escape_file_name(const QString& name);
    // The multipart boundary: the usual text, or random digits when some content holds it.
    static QByteArray boundary_for(const QList<QByteArray>& contents);
    // A redirect of the upload is followed only to the same host and port, never down to http.
    static bool redirect_allowed(const QUrl& from, const QUrl& to);
    // Which parts the server's answer says it received; both false for anything but a JSON object.
    static void parse_answer(const QByteArray& answer, bool* dumpReceived, bool* logReceived);

signals:
    void uploadProgress(qlonglong bytesSent, qlonglong bytesTotal);
    // The server's answer (or the failure) has been handled.
    void report_handled(bool dumpReceived, bool logReceived);

public slots:
    void slot_send_request_finished();
    void slot_manager_request_finished(QNetworkReply* reply);
    void slot_uploadprogress(qlonglong sent, qlonglong total);
    void slot_error(QNetworkReply::NetworkError error);

private:
    QByteArray sent_log; // the log exactly as uploaded
    static void empty_log_file();

    QUrl url;
    QString dump_path;
    QString email;
    QString comment;
    QPointer<QNetworkReply> reply;
    QNetworkAccessManager* manager = nullptr;
    QFile* dump_file = nullptr;
};
