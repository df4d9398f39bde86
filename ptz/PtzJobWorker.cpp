#include "ptz/PtzJobWorker.h"

#include "app/CurlGlobal.h"
#include "app/Log.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QTimer>

#include <curl/curl.h>

namespace {

// What one transfer's callbacks share.
struct Transfer
{
    const std::atomic<bool>* cancel = nullptr;
    QByteArray body;
    bool too_large = false;
};

} // namespace

PtzJobWorker::PtzJobWorker(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<PtzHeaders>("PtzHeaders");
    curl_global_once();
}

PtzJobWorker::~PtzJobWorker() = default;

void PtzJobWorker::set_policy(QueuePolicy p)
{
    QMutexLocker locker(&mutex);
    policy = p;
}

PtzJobWorker::QueuePolicy PtzJobWorker::get_policy() const
{
    QMutexLocker locker(&mutex);
    return policy;
}

void PtzJobWorker::shutdown()
{
    stopped.store(true);
    cancel_requested.store(true);
}

void PtzJobWorker::enqueueJob(int typeInt, QString url, QByteArray data, QString username, QString password,
                              QString command, QString contentType, PtzHeaders headers)
{
    Job job;
    job.type = typeInt;
    job.url = url;
    job.data = data;
    job.username = username;
    job.password = password;
    job.command = command;
    job.contentType = contentType;
    job.headers = headers;

    QMutexLocker locker(&mutex);
    if (busy && policy == QueueAll) {
        queue.append(job);
        if (verbose)
            write_log(QStringLiteral("[DEBUG] PTZ JOB WORKER :: enqueueJob: busy → queued, size=")
                      + QString::number(queue.size()));
        return;
    }
    if (busy) {
        pending = job;
        if (verbose)
            write_log(QStringLiteral("[DEBUG] PTZ JOB WORKER :: enqueueJob: busy → pending replaced"));
        return;
    }
    busy = true;
    active = job;
    locker.unlock();
    QTimer::singleShot(0, this, &PtzJobWorker::processActive);
}

void PtzJobWorker::requestCancel()
{
    if (verbose)
        write_log(QStringLiteral("[INFO] PTZ JOB WORKER  :: request cancel"));
    QMutexLocker locker(&mutex);
    cancel_requested.store(true);
}

void PtzJobWorker::processActive()
{
    Job job;
    {
        QMutexLocker locker(&mutex);
        job = active;
    }

    QString response;
    if (stopped.load()) {
        // The owner is going away: nothing more reaches the camera.
        response = QStringLiteral("Request cancelled");
        emit jobError(job.command, response);
    } else if (perform(job, response)) {
        emit jobFinished(job.command, response);
    } else {
        emit jobError(job.command, response);
    }

    // A job that was already waiting goes next, whatever arrives now.
    std::optional<Job> earlier;
    {
        QMutexLocker locker(&mutex);
        if (!stopped.load())
            cancel_requested.store(false);
        earlier.swap(pending);
    }
    // Jobs (and cancels) sent during the transfer wait as queued calls: take them in now, so
    // that under LatestWins a burst collapses into its newest job.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);

    QMutexLocker locker(&mutex);
    if (policy == QueueAll && !queue.isEmpty()) {
        active = queue.takeFirst();
        if (verbose)
            write_log(QStringLiteral("[DEBUG] PTZ JOB WORKER :: processActive: dequeue next, remaining=")
                      + QString::number(queue.size()));
        QTimer::singleShot(0, this, &PtzJobWorker::processActive);
    } else if (policy == LatestWins && (earlier || pending)) {
        if (earlier) {
            active = *earlier;
        } else {
            active = *pending;
            pending.reset();
        }
        if (verbose)
            write_log(QStringLiteral("[DEBUG] PTZ JOB WORKER :: processActive: pending → active (LatestWins)"));
        QTimer::singleShot(0, this, &PtzJobWorker::processActive);
    } else {
        busy = false;
        active = Job();
    }
}

int PtzJobWorker::progress_callback(void* clientp, long long, long long, long long, long long)
{
    const auto* transfer = static_cast<const Transfer*>(clientp);
    return transfer->cancel->load() ? 1 : 0;
}

size_t PtzJobWorker::write_callback(char* data, size_t size, size_t count, void* userdata)
{
    auto* transfer = static_cast<Transfer*>(userdata);
    const size_t bytes = size * count;
    if (qint64(transfer->body.size()) + qint64(bytes) > max_response_bytes) {
        transfer->too_large = true;
        return 0; // libcurl ends the transfer with a write error
    }
    transfer->body.append(data, qsizetype(bytes));
    return bytes;
}

bool PtzJobWorker::perform(const Job& job, QString& response)
{
    CURL* easy = curl_easy_init();
    if (!easy) {
        response = QStringLiteral("Échec d'initialisation de libcurl");
        return false;
    }
    if (verbose)
        write_log(QStringLiteral("[INFO] PTZ JOB WORKER :: perform :: ") + job.url);

    Transfer transfer;
    transfer.cancel = &cancel_requested;

    const QByteArray url = job.url.toUtf8();
    const QByteArray user = job.username.toUtf8();
    const QByteArray pass = job.password.toUtf8();
    curl_easy_setopt(easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    if (job.url.startsWith(QLatin1String("https://"))) {
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
        curl_easy_setopt(easy, CURLOPT_CA_CACHE_TIMEOUT, 604800L);
    }
    if (!job.username.isEmpty()) {
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, long(CURLAUTH_ANY));
        curl_easy_setopt(easy, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, pass.constData());
    }
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, connect_timeout_ms);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, total_timeout_ms);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &PtzJobWorker::progress_callback);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &PtzJobWorker::write_callback);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);

    curl_slist* header_list = nullptr;
    switch (job.type) {
    case 0:
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        break;
    case 1:
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, "PUT");
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, long(job.data.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, job.data.constData());
        break;
    case 2:
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, long(job.data.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, job.data.constData());
        break;
    default:
        break;
    }
    if (job.type == 1 || job.type == 2) {
        const QString type = !job.contentType.isEmpty()
            ? job.contentType
            : (job.type == 2 ? QStringLiteral("application/json") : QStringLiteral("application/xml"));
        header_list = curl_slist_append(header_list, ("Content-Type: " + type).toUtf8().constData());
        for (const auto& header : job.headers)
            header_list = curl_slist_append(header_list, (header.first + ": " + header.second).toUtf8().constData());
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, header_list);
    }

    const CURLcode code = curl_easy_perform(easy);
    bool ok = false;
    if (code == CURLE_OK) {
        response = QString::fromUtf8(transfer.body);
        ok = true;
    } else if (code == CURLE_ABORTED_BY_CALLBACK) {
        response = QStringLiteral("Request cancelled");
    } else if (transfer.too_large) {
        response = QStringLiteral("Response too large (more than %1 bytes)").arg(max_response_bytes);
    } else {
        response = QString::fromLatin1(curl_easy_strerror(code));
    }
    curl_slist_free_all(header_list);
    curl_easy_cleanup(easy);
    return ok;
}
