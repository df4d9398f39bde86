#include "export/ZRDownload_thread.h"

#include "app/CurlGlobal.h"
#include "app/Http_singleton.h"
#include "app/Log.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>

#include <curl/curl.h>

#include <cstdio>

namespace {

QString tr_(const char* text)
{
    return QCoreApplication::translate("DownloadMultiItems_Presentation", text);
}

QByteArray firstLineOf(const QByteArray& data)
{
    const int end = data.indexOf('\n');
    return end >= 0 ? data.left(end) : data;
}

} // namespace

ZRDownload_thread::ZRDownload_thread(DownloadMultiItems_Presentation* owner, QString url)
    : QThread(nullptr)
    , owner(owner)
    , url(std::move(url))
{
}

ZRDownload_thread::~ZRDownload_thread()
{
    set_stop();
    wait();
}

void ZRDownload_thread::set_output_path(const QString& path)
{
    outputPath = path;
}

void ZRDownload_thread::set_stop()
{
    stopRequested = true;
    QMutexLocker locker(&multiMutex);
    if (multi)
        curl_multi_wakeup(multi);
}

ZRDownload_thread::ContentClass ZRDownload_thread::classify(const QString& type)
{
    if (type.isEmpty() || type.contains(QStringLiteral("force-download")) || type.contains(QStringLiteral("application")))
        return ContentClass::File;
    if (type.contains(QStringLiteral("html")))
        return ContentClass::ErrorPage;
    if (type.contains(QStringLiteral("json")))
        return ContentClass::ErrorObject;
    return ContentClass::Other;
}

QString ZRDownload_thread::error_page_text(const QByteArray& firstLine)
{
    return firstLine.contains("500 Internal Server Error") ? QStringLiteral("Server error 500") : QStringLiteral("IO FAILED");
}

QString ZRDownload_thread::return_code_text(const QByteArray& body)
{
    const QJsonObject object = QJsonDocument::fromJson(body).object();
    const QJsonValue code = object.value(QStringLiteral("ZRRETURN_CODE"));
    return code.isString() ? code.toString() : QString();
}

QString ZRDownload_thread::download_error_text(const QString& detail)
{
    return tr_("Erreur de téléchargement - %1").arg(detail);
}

void ZRDownload_thread::fail(const QString& message)
{
    failed = true;
    if (errorMessage.isEmpty())
        errorMessage = message;
}

size_t ZRDownload_thread::header_callback(char* data, size_t size, size_t count, void* user)
{
    auto* self = static_cast<ZRDownload_thread*>(user);
    const size_t bytes = size * count;
    // libcurl hands over whole header lines; keep only a bounded piece of one.
    const QString line = QString::fromLatin1(data, int(qMin<size_t>(bytes, size_t(kMaxHeaderText))));
    if (line.contains(QStringLiteral("Content-Type:")))
        self->contentType = line;
    if (line.contains(QStringLiteral("Content-Digest:"))) {
        QString value = line;
        value.remove(QStringLiteral("Content-Digest: sha-256="));
        self->digest = value;
    }
    return bytes;
}

int ZRDownload_thread::progress_callback(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t)
{
    auto* self = static_cast<ZRDownload_thread*>(user);
    if (self->stopRequested) {
        write_log("[INFO] ZRDownload thread :: progress_callback :: stop thread detected");
        return 1;
    }
    if (dlnow != self->lastReceived || dltotal != self->lastTotal) {
        self->lastReceived = dlnow;
        self->lastTotal = dltotal;
        emit self->downloadProgress(qlonglong(dlnow), qlonglong(dltotal));
    }
    return 0;
}

size_t ZRDownload_thread::write_callback(char* data, size_t size, size_t count, void* user)
{
    auto* self = static_cast<ZRDownload_thread*>(user);
    const size_t bytes = size * count;
    if (!data) {
        write_log("[ERROR] ZRDownload thread :: get stream :: buffer curl is null");
        return bytes;
    }
    self->process_block(data, bytes);
    return bytes;
}

void ZRDownload_thread::process_block(const char* data, size_t size)
{
    if (stopRequested || failed)
        return;

    switch (classify(contentType)) {
    case ContentClass::File: {
        if (outputPath.isEmpty())
            return;
        if (!output.isOpen()) {
            write_log(QStringLiteral("[INFO] ZRDownload thread :: read stream :: output set filename : ") + outputPath);
            output.setFileName(part_path());
            emit owner_file_name(QFileInfo(outputPath).fileName());
            emit statusChanged();
            // The ".part" file is ours: a previous attempt's remains are dropped.
            if (!output.open(QIODevice::ReadWrite | QIODevice::Truncate)) {
                write_log("[ERROR] ZRDownload thread :: output ERROR opening");
                const QString text = tr_("Erreur à l'ouverture du fichier : %1").arg(output.errorString());
                emit owner_info(text);
                stopRequested = true;
                fail(text);
                emit owner_stop();
                emit statusChanged();
                return;
            }
            emit statusChanged();
        }
        if (output.write(data, qint64(size)) != qint64(size)) {
            const QString text = tr_("Erreur à l'enregistrement : %1").arg(output.errorString());
            emit owner_info(text);
            stopRequested = true;
            fail(text);
            emit owner_stop();
        }
        return;
    }
    case ContentClass::ErrorPage: {
        write_log(QStringLiteral("[WARN] ZRDownload thread :: read stream :: content type :: ") + contentType);
        const QByteArray first = firstLineOf(QByteArray(data, int(qMin<size_t>(size, size_t(kMaxFirstLine)))));
        write_log(QStringLiteral("[INFO] ZRDownload thread :: read stream :: contain HTML :: data :: ") + QString::fromUtf8(first));
        stopRequested = true;
        const QString detail = error_page_text(first);
        emit owner_info(download_error_text(detail));
        fail(detail);
        emit statusChanged();
        return;
    }
    case ContentClass::ErrorObject: {
        write_log(QStringLiteral("[WARN] ZRDownload thread :: read stream :: content type :: ") + contentType);
        const QByteArray body(data, int(size));
        write_log(QStringLiteral("[INFO] ZRDownload thread :: contain JSON  :: ") + QString::fromUtf8(body));
        const QString code = return_code_text(body);
        write_log(QStringLiteral("[INFO] ZRDownload thread :: ZRRETURN_CODE + ") + code);
        stopRequested = true;
        emit owner_stop();
        emit owner_info(download_error_text(code));
        emit owner_try_again_shown();
        fail(code.isEmpty() ? tr_("Erreur de téléchargement") : code);
        emit statusChanged();
        return;
    }
    case ContentClass::Other:
        write_log(QStringLiteral("[WARN] ZRDownload thread :: read stream :: content type :: ") + contentType);
        stopRequested = true;
        emit owner_stop();
        emit owner_info(tr_("Erreur de téléchargement"));
        fail(tr_("Erreur de téléchargement"));
        emit statusChanged();
        return;
    }
}

void ZRDownload_thread::run()
{
    write_log(QStringLiteral("[INFO] ZRDownload thread :: get data with libcurl :: ") + url);
    running = 1;
    failed = false;
    errorMessage.clear();
    contentType.clear();
    digest.clear();
    lastReceived = lastTotal = -1;

    curl_global_once();
    const QByteArray urlUtf8 = url.toUtf8();
    easy = curl_easy_init();
    {
        QMutexLocker locker(&multiMutex);
        multi = easy ? curl_multi_init() : nullptr;
    }
    if (!easy || !multi) {
        fail(QString::fromUtf8(curl_easy_strerror(CURLE_FAILED_INIT)));
    } else {
        curl_easy_setopt(easy, CURLOPT_URL, urlUtf8.constData());
        if (url.contains(QStringLiteral("https://"))) {
            curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
            curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
            curl_easy_setopt(easy, CURLOPT_CA_CACHE_TIMEOUT, 604800L);
        }
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &ZRDownload_thread::write_callback);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &ZRDownload_thread::header_callback);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &ZRDownload_thread::progress_callback);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, 60L);
        curl_easy_setopt(easy, CURLOPT_TIMEOUT, 0L);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        const QString version = Http_singleton::instance()->get_version();
        if (version.contains(QStringLiteral(".DEV")) || version.contains(QStringLiteral(".patch")))
            curl_easy_setopt(easy, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0));
        curl_multi_add_handle(multi, easy);
        write_log("[INFO] ZRDownload thread :: get stream :: get data");

        bool done = false;
        while (running) {
            CURLMcode mc = curl_multi_perform(multi, &running);
            if (mc == CURLM_OK && running)
                mc = curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
            if (mc != CURLM_OK) {
                write_log("[INFO] ZRDownload thread :: get stream :: break after mc");
                fail(QString::fromUtf8(curl_multi_strerror(mc)));
                break;
            }
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                if (message->msg != CURLMSG_DONE) {
                    write_log(QStringLiteral("[WARN] ZRDownload thread :: get stream :: transfer not completed :: ")
                              + QString::fromUtf8(curl_easy_strerror(message->data.result)));
                    continue;
                }
                done = true;
                if (message->data.result == CURLE_OK) {
                    write_log(QStringLiteral("[INFO] ZRDownload thread :: get stream :: transfer completed :: ")
                              + QString::fromUtf8(curl_easy_strerror(CURLE_OK)));
                } else {
                    const QString text = QString::fromUtf8(curl_easy_strerror(message->data.result));
                    write_log(QStringLiteral("[ERROR] ZRDownload thread :: get stream :: transfer not completed :: ") + text);
                    fail(text);
                    break;
                }
            }
            // A stop does not wait for libcurl's next progress report.
            if (running && stopRequested) {
                fail(QString::fromUtf8(curl_easy_strerror(CURLE_ABORTED_BY_CALLBACK)));
                break;
            }
        }
        if (!done && !failed)
            fail(tr_("Erreur de téléchargement"));

        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        // A file body under an error status is the server's failure, not the file.
        if (!failed && status >= 400)
            fail(QStringLiteral("Server error %1").arg(status));

        write_log(QStringLiteral("[INFO] ZRDownload thread :: get stream :: curl handle cleanup :: ") + QString::number(running));
        curl_multi_remove_handle(multi, easy);
    }
    {
        QMutexLocker locker(&multiMutex);
        if (multi)
            curl_multi_cleanup(multi);
        multi = nullptr;
    }
    if (easy)
        curl_easy_cleanup(easy);
    easy = nullptr;

    finish_run();
}

void ZRDownload_thread::finish_run()
{
    if (stopRequested && !failed)
        fail(QString::fromUtf8(curl_easy_strerror(CURLE_ABORTED_BY_CALLBACK)));

    if (!failed) {
        if (!output.isOpen()) {
            write_log("[WARN] ZRDownload thread :: item finished :: output not open");
            fail(tr_("Fichier non lisible"));
            emit owner_stop();
            emit owner_info(download_error_text(tr_("Fichier non lisible")));
            emit owner_open_folder_hidden();
        } else if (digest.isEmpty()) {
            // Without a digest, a server that failed may have written its error into the file.
            output.seek(0);
            const QByteArray line = output.readLine(kMaxFirstLine);
            if (line.trimmed().isEmpty()) {
                write_log("[WARN] ZRDownload thread :: item finished :: line is empty");
            } else if (line.contains("Error")) {
                write_log("[INFO] ZRDownload thread :: item finished :: file in error, delete it");
                fail(tr_("Fichier vide"));
                emit owner_stop();
                emit owner_info(download_error_text(tr_("Fichier vide")));
                emit owner_open_folder_hidden();
            }
        } else {
            output.flush();
            output.seek(0);
            QCryptographicHash hash(QCryptographicHash::Sha256);
            const bool hashed = hash.addData(&output);
            const QString expected = digest.trimmed().toLower();
            const QString actual = QString::fromLatin1(hash.result().toHex());
            write_log(QStringLiteral("[INFO] ZRDownload thread :: item finished :: check sha :: ") + actual);
            if (!hashed || expected != actual) {
                const QString detail = tr_("Empreinte SHA-256 différente");
                fail(detail);
                emit owner_info(download_error_text(detail));
            }
        }
    }

    if (!failed && !put_in_place()) {
        const QString text = tr_("Erreur à l'enregistrement : %1").arg(outputPath);
        fail(text);
        emit owner_info(text);
    }

    if (failed) {
        if (output.isOpen() || QFile::exists(part_path())) {
            write_log(QStringLiteral("[INFO] ZRDownload thread :: item finished :: file in error, delete it :: ") + output.fileName());
            output.close();
            const bool removed = output.remove();
            write_log(QStringLiteral("[INFO] ZRDownload thread :: item finished :: file in error, delete :: ") + QString::number(removed ? 1 : 0));
        }
        emit download_error(url, errorMessage);
        return;
    }
    emit download_finished(digest);
}

bool ZRDownload_thread::put_in_place()
{
    output.close();
    const QByteArray from = QFile::encodeName(part_path());
    const QByteArray to = QFile::encodeName(outputPath);
    // Replaces the target in one step where the system allows it.
    if (std::rename(from.constData(), to.constData()) == 0)
        return true;
    if (QFile::exists(outputPath) && !QFile::remove(outputPath))
        return false;
    return QFile::rename(part_path(), outputPath);
}
