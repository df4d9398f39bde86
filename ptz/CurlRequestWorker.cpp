#include "ptz/CurlRequestWorker.h"

#include "app/CurlGlobal.h"

#include <curl/curl.h>

namespace {

struct Body
{
    QByteArray bytes;
    bool too_large = false;
};

size_t write_body(char* data, size_t size, size_t count, void* userdata)
{
    auto* body = static_cast<Body*>(userdata);
    const size_t bytes = size * count;
    if (qint64(body->bytes.size()) + qint64(bytes) > CurlRequestWorker::max_response_bytes) {
        body->too_large = true;
        return 0;
    }
    body->bytes.append(data, qsizetype(bytes));
    return bytes;
}

int progress(void* clientp, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::atomic<bool>*>(clientp)->load() ? 1 : 0;
}

} // namespace

CurlRequestWorker::CurlRequestWorker(QString url_, QString username_, QString password_, QByteArray data_,
                                     bool insecure, QObject* parent)
    : QObject(parent)
    , url(std::move(url_))
    , username(std::move(username_))
    , password(std::move(password_))
    , data(std::move(data_))
    , insecure_tls(insecure)
{
    curl_global_once();
}

void CurlRequestWorker::run_put_request() { run(Method::Put); }
void CurlRequestWorker::run_get_request() { run(Method::Get); }
void CurlRequestWorker::run_post_request() { run(Method::Post); }

void CurlRequestWorker::requestCancel()
{
    cancel_requested.store(true);
}

void CurlRequestWorker::run(Method method)
{
    CURL* easy = curl_easy_init();
    if (!easy) {
        emit error(QStringLiteral("Échec d'initialisation de libcurl"));
        return;
    }
    const bool isapi = url.contains(QLatin1String("/ISAPI/"), Qt::CaseInsensitive);
    const QByteArray url_bytes = url.toUtf8();
    const QByteArray user = username.toUtf8();
    const QByteArray pass = password.toUtf8();
    char error_buffer[CURL_ERROR_SIZE + 1] = {};

    curl_easy_setopt(easy, CURLOPT_URL, url_bytes.constData());
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC | CURLAUTH_DIGEST));
    // Credentials as their own options: a ":" or "@" in them never reaches the URL.
    curl_easy_setopt(easy, CURLOPT_USERNAME, user.constData());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, pass.constData());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, error_buffer);
    if (url.startsWith(QLatin1String("https://"))) {
        if (insecure_tls) {
            curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
            curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
        }
        curl_easy_setopt(easy, CURLOPT_CA_CACHE_TIMEOUT, 604800L);
    }

    curl_slist* headers = nullptr;
    if (method == Method::Put) {
        if (data.isEmpty()) {
            curl_easy_cleanup(easy);
            emit error(QStringLiteral("PUT body is empty"));
            emit result(QString(), -1, 43);
            return;
        }
        headers = curl_slist_append(headers, "Expect:");
        if (isapi) {
            headers = curl_slist_append(headers, "Content-Type: application/xml; charset=utf-8");
            headers = curl_slist_append(headers, "Accept: application/xml");
        } else {
            headers = curl_slist_append(headers, "Content-Type: application/json");
            headers = curl_slist_append(headers, "Accept: */*");
        }
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, "PUT");
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, data.constData());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, long(data.size()));
    } else if (method == Method::Post) {
        headers = curl_slist_append(headers, "Expect:");
        headers = curl_slist_append(headers, "Content-Type: application/json");
        headers = curl_slist_append(headers, "Accept: application/json");
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, data.constData());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, long(data.size()));
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }

    Body body;
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &write_body);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, connect_timeout_ms);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, total_timeout_ms);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, low_speed_limit);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, low_speed_time);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &progress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &cancel_requested);

    long status = -1;
    const auto perform = [&] {
        body = Body();
        error_buffer[0] = '\0';
        const CURLcode code = curl_easy_perform(easy);
        status = -1;
        long received = 0;
        if (curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &received) == CURLE_OK && received > 0)
            status = received;
        return code;
    };
    const auto retry_with = [&](long scheme) {
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, scheme);
        curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
        const CURLcode code = perform();
        curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 0L);
        curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 0L);
        return code;
    };

    CURLcode code = perform();
    if (code == CURLE_OK && status == 401 && !cancel_requested.load()) {
        long offered = 0;
        curl_easy_getinfo(easy, CURLINFO_HTTPAUTH_AVAIL, &offered);
        if (offered & CURLAUTH_DIGEST)
            code = retry_with(long(CURLAUTH_DIGEST));
        else if (offered & CURLAUTH_BASIC)
            code = retry_with(long(CURLAUTH_BASIC));
    }
    if (isapi && code == CURLE_RECV_ERROR && !cancel_requested.load())
        code = retry_with(long(CURLAUTH_BASIC));

    curl_slist_free_all(headers);
    curl_easy_cleanup(easy);

    const QString response = QString::fromUtf8(body.bytes);
    if (cancel_requested.load()) {
        emit error(QStringLiteral("Requête annulée par l'utilisateur"));
        return;
    }
    if (code != CURLE_OK) {
        QString message = QStringLiteral("Erreur libcurl (%1): %2").arg(int(code)).arg(QString::fromUtf8(curl_easy_strerror(code)));
        if (body.too_large)
            message += QStringLiteral(" | Response too large (more than %1 bytes)").arg(max_response_bytes);
        else if (error_buffer[0] != '\0')
            message += QStringLiteral(" | ") + QString::fromUtf8(error_buffer);
        emit error(message);
        emit result(response, int(status), int(code));
        return;
    }
    if (status < 400) {
        emit finished(response);
        emit result(response, int(status), 0);
        return;
    }
    QString message = QStringLiteral("HTTP %1").arg(status);
    if (status == 401)
        message += QStringLiteral(" (Unauthorized - check login/password or auth scheme)");
    else if (status == 403)
        message += QStringLiteral(" (Forbidden)");
    emit error(message);
    emit result(response, int(status), 0);
}
