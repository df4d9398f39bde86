#include "support/DumpSender.h"

#include "app/Http_singleton.h"
#include "app/Log.h"

#include <algorithm>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QSysInfo>

#ifndef ZR_CRASH_REPORT_URL
#define ZR_CRASH_REPORT_URL "https://apps.zrnova.invalid/zrapps/crashreport/upload"
#endif

namespace {

constexpr int kTransferTimeoutMs = 60000;

QByteArray crlf() { return QByteArrayLiteral("\r\n"); }

// "OK", or "ERROR" with code 4 (the server already has it), counts as received.
bool part_received(const QJsonObject& answer, const QString& part)
{
    const QJsonObject info = answer.value(part).toObject().value(QStringLiteral("status_info")).toObject();
    const QString status = info.value(QStringLiteral("status")).toString();
    const int code = info.value(QStringLiteral("error_code")).toInt(-1);
    if (status.contains(QLatin1String("OK")))
        return true;
    return status.contains(QLatin1String("ERROR")) && code == 4;
}

QByteArray sha256_hex(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

} // namespace

DumpSender::DumpSender(QObject* parent)
    : QObject(parent)
    , url(default_url())
{
}

DumpSender::~DumpSender()
{
    if (reply) {
        reply->disconnect(this);
        reply->abort();
    }
}

QUrl DumpSender::default_url()
{
    return QUrl(QStringLiteral(ZR_CRASH_REPORT_URL));
}

void DumpSender::set_url(const QUrl& address) { url = address; }
QUrl DumpSender::get_url() const { return url; }
void DumpSender::set_email(const QString& text) { email = text; }
void DumpSender::set_comment(const QString& text) { comment = text; }

QString DumpSender::os_description()
{
    return QStringLiteral("OS ") + QSysInfo::productType() + QLatin1Char('_') + QSysInfo::kernelVersion()
        + QLatin1Char('_') + QSysInfo::currentCpuArchitecture();
}

QString DumpSender::log_file_path()
{
    Http_singleton* identity = Http_singleton::instance();
    return QDir::homePath() + QStringLiteral("/.") + identity->get_application_name() + QLatin1Char('/')
        + identity->get_log_file_name();
}

QString DumpSender::escape_file_name(const QString& name)
{
    QString escaped = name;
    escaped.replace(QLatin1Char('"'), QLatin1String("%22"));
    escaped.replace(QLatin1Char('\r'), QLatin1String("%0D"));
    escaped.replace(QLatin1Char('\n'), QLatin1String("%0A"));
    return escaped;
}

QByteArray DumpSender::boundary_for(const QList<QByteArray>& contents)
{
    QByteArray boundary(kBoundary);
    auto occurs = [&contents](const QByteArray& b) {
        return std::any_of(contents.begin(), contents.end(), [&b](const QByteArray& c) { return c.contains(b); });
    };
    // The fixed text unless a part holds it; then fresh digits until none does.
    while (occurs(boundary)) {
        boundary = QByteArray(27, '-');
        for (int i = 0; i < 24; ++i)
            boundary += char('0' + QRandomGenerator::global()->bounded(10));
    }
    return boundary;
}

bool DumpSender::redirect_allowed(const QUrl& from, const QUrl& to)
{
    const QString fromScheme = from.scheme().toLower();
    const QString toScheme = to.scheme().toLower();
    auto defaultPort = [](const QString& scheme) { return scheme == QLatin1String("https") ? 443 : 80; };
    if (toScheme != QLatin1String("https") && toScheme != QLatin1String("http"))
        return false;
    // Never down from https to plain http.
    if (fromScheme == QLatin1String("https") && toScheme != QLatin1String("https"))
        return false;
    return to.host().compare(from.host(), Qt::CaseInsensitive) == 0
        && to.port(defaultPort(toScheme)) == from.port(defaultPort(fromScheme));
}

void DumpSender::empty_log_file()
{
    ::empty_log_file(log_file_path());
}

void DumpSender::send_dump(const QString& dumpPath)
{
    if (reply) {
        write_log("[WARN] ZRDumpSender :: send dump :: an upload is already running");
        return;
    }
    dump_path = dumpPath;

    Http_singleton* identity = Http_singleton::instance();
    // Read each file once: the digest and the uploaded part must be the very same bytes.
    delete dump_file;
    dump_file = new QFile(dump_path, this);
    bool have_dump = false;
    QByteArray dump_bytes;
    QDateTime dump_date;
    if (!dump_path.isEmpty() && dump_file->open(QIODevice::ReadOnly)) {
        dump_bytes = dump_file->readAll();
        dump_file->close();
        dump_date = QFileInfo(dump_path).lastModified();
        have_dump = true;
    }

    const QString log_path = log_file_path();
    QFile log_file(log_path);
    bool have_log = false;
    QByteArray log_bytes;
    if (log_file.open(QIODevice::ReadOnly)) {
        log_bytes = log_file.readAll();
        sent_log = log_bytes;
        log_file.close();
        have_log = true;
    }

    QString version = identity->get_version();
    if (version.isEmpty())
        version = QStringLiteral("1.0.0");

    QHash<QString, QString> fields;
    fields.insert(QStringLiteral("os"), os_description());
    fields.insert(QStringLiteral("product_name"), identity->get_product_name());
    fields.insert(QStringLiteral("version"), version);
    if (have_dump) {
        fields.insert(QStringLiteral("dumpdate"), dump_date.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        fields.insert(QStringLiteral("sha_dump"), QString::fromLatin1(sha256_hex(dump_bytes)));
    }
    if (!email.isEmpty())
        fields.insert(QStringLiteral("email"), email);
    if (!comment.isEmpty())
        fields.insert(QStringLiteral("comment"), comment);
    if (have_log)
        fields.insert(QStringLiteral("sha_log"), QString::fromLatin1(sha256_hex(log_bytes)));

    const QString dump_file_name = QFileInfo(dump_path).baseName() + QStringLiteral(".dmp");
    const QString log_file_name = QDir::toNativeSeparators(log_path);
    QList<QByteArray> contents{dump_bytes, log_bytes, escape_file_name(dump_file_name).toUtf8(),
                               escape_file_name(log_file_name).toUtf8()};
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it)
        contents << it.key().toUtf8() << it.value().toUtf8();
    const QByteArray boundary = boundary_for(contents);

    QByteArray body;
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it) {
        write_log(QStringLiteral("add to header    :: ") + it.key() + QLatin1Char('/') + it.value());
        body += "--" + boundary + crlf();
        body += "Content-Disposition: form-data; name=\"" + it.key().toUtf8() + "\"" + crlf();
        body += crlf();
        body += it.value().toUtf8() + crlf();
    }
    if (have_dump) {
        body += "--" + boundary + crlf();
        body += "Content-Disposition: form-data; name=\"upload_file_minidump\"; filename=\""
            + escape_file_name(dump_file_name).toUtf8() + "\"" + crlf();
        body += "Content-Type: application/octet-stream" + crlf();
        body += crlf();
        body += dump_bytes + crlf();
    }
    if (have_log) {
        body += "--" + boundary + crlf();
        body += "Content-Disposition: form-data; name=\"upload_file_log\"; filename=\""
            + escape_file_name(log_file_name).toUtf8() + "\"" + crlf();
        body += "Content-Type: application/octet-stream" + crlf();
        body += crlf();
        body += log_bytes + crlf();
    }
    body += "--" + boundary + "--" + crlf();

    QNetworkRequest request(url);
    request.setRawHeader("Referer", url.toString().toUtf8());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("multipart/form-data; boundary=") + boundary);
    request.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
    // The report carries process memory, an address and the log: certificates are checked,
    // and a failed check is handled like any unanswered upload.
    request.setTransferTimeout(kTransferTimeoutMs);
    // The report may only be re-posted to the server it was meant for.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);

    if (!manager)
        manager = new QNetworkAccessManager(this);
    reply = manager->post(request, body);
    connect(reply, &QNetworkReply::redirected, this, [this](const QUrl& target) {
        if (!reply)
            return;
        if (redirect_allowed(url, target)) {
            emit reply->redirectAllowed();
        } else {
            write_log(QStringLiteral("[WARN] ZRDumpSender :: redirect refused :: ") + target.toString());
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, &DumpSender::slot_send_request_finished);
    connect(reply, &QNetworkReply::uploadProgress, this, &DumpSender::slot_uploadprogress);
    connect(reply, &QNetworkReply::errorOccurred, this, &DumpSender::slot_error);
}

void DumpSender::parse_answer(const QByteArray& answer, bool* dumpReceived, bool* logReceived)
{
    *dumpReceived = false;
    *logReceived = false;
    QJsonParseError parse_error;
    const QJsonDocument document = QJsonDocument::fromJson(answer, &parse_error);
    if (parse_error.error != QJsonParseError::NoError || !document.isObject())
        return;
    const QJsonObject object = document.object();
    *dumpReceived = part_received(object, QStringLiteral("upload_file_minidump"));
    *logReceived = part_received(object, QStringLiteral("upload_file_log"));
}

void DumpSender::slot_send_request_finished()
{
    QNetworkReply* finished = reply;
    if (!finished)
        return;
    reply = nullptr;
    const QByteArray answer = finished->readAll();
    if (finished->error() != QNetworkReply::NoError)
        write_log(QStringLiteral("[WARN] ZRDumpSender :: send_request_finished :: ") + finished->errorString());
    finished->deleteLater();
    write_log(QStringLiteral("ZRDumpSender :: send_request_finished + ") + QString::fromUtf8(answer));

    bool dump_received = false;
    bool log_received = false;
    parse_answer(answer, &dump_received, &log_received);

    if (dump_received) {
        write_log(QStringLiteral("ZRDumpSender :: send_request_finished :: DUMPFILE IS OK + ") + dump_path);
        if (!dump_path.isEmpty() && QFile::exists(dump_path))
            QFile::remove(dump_path);
    }
    // Only what was sent goes: lines written since the copy was taken stay.
    if (log_received)
        drop_log_prefix(log_file_path(), sent_log);
    emit report_handled(dump_received, log_received);
}

void DumpSender::slot_manager_request_finished(QNetworkReply* finished)
{
    if (!finished)
        return;
    write_log(QStringLiteral("ZRDumpSender :: slot_manager_request_finished + ") + QString::fromUtf8(finished->readAll()));
}

void DumpSender::slot_uploadprogress(qlonglong sent, qlonglong total)
{
    write_log(QStringLiteral("ZRDumpSender :: upload progress ") + QString::number(sent) + QStringLiteral(" / ")
              + QString::number(total));
}

void DumpSender::slot_error(QNetworkReply::NetworkError error)
{
    Q_UNUSED(error);
}

void DumpSender::remove_dump(const QString& dumpPath)
{
    write_log(QStringLiteral("ZRDumpSender :: remove dump :: check file ") + dumpPath);
    if (!dumpPath.isEmpty() && QFile::exists(dumpPath)) {
        write_log(QStringLiteral("ZRDumpSender :: remove dump :: remove file ") + dumpPath);
        QFile::remove(dumpPath);
    }
    empty_log_file();
}
