#include "support/TestBandwidth.h"

#include "app/CurlGlobal.h"
#include "app/Log.h"
#include "support/AnalyseTools.h"

#include <curl/curl.h>

#include <cstdio>

TestBandwidth::TestBandwidth(AnalyseTools* owner)
    : QObject(nullptr)
    , owner(owner)
{
}

TestBandwidth::~TestBandwidth()
{
    write_log(QStringLiteral("[INFO] Test Bandwidth :: destroy "));
}

void TestBandwidth::set_url(const QString& base_url)
{
    url = base_url;
}

QString TestBandwidth::get_url() const
{
    return url;
}

size_t TestBandwidth::discard_body(char*, size_t size, size_t count, void*)
{
    return size * count;
}

QString TestBandwidth::data_text(qint64 bytes)
{
    return bytes > 0 ? QString::number(bytes) + QStringLiteral(" bytes") : QString();
}

QString TestBandwidth::time_text(qint64 microseconds)
{
    if (microseconds <= 0)
        return QString();
    return QString::number(microseconds / 1000000) + QLatin1Char('.')
        + QStringLiteral("%1").arg(microseconds % 1000000, 6, 10, QLatin1Char('0')) + QStringLiteral(" sec");
}

QString TestBandwidth::speed_text(qint64 bytes_per_second)
{
    return bytes_per_second > 0 ? QString::number(bytes_per_second / 1024) + QStringLiteral(" kbyte/sec.") : QString();
}

QString TestBandwidth::bandwidth_line(const QString& data, const QString& time, const QString& speed)
{
    return QStringLiteral("[INFO] Bandwidth Usage [ DATA ") + data + QStringLiteral(" / TIME ") + time
        + QStringLiteral(" / SPEED ") + speed + QStringLiteral(" ]");
}

void TestBandwidth::measure_bandwidth()
{
    if (url.isEmpty())
        return;
    bool expected = false;
    if (!busy.compare_exchange_strong(expected, true))
        return;

    const QString target = url + QStringLiteral("/lib/256k.bytes");
    const QByteArray targetUtf8 = target.toUtf8();

    // The process-wide set-up stays: other transfers may be running while this one ends.
    curl_global_once();
    CURL* curl = curl_easy_init();
    if (!curl) {
        std::fprintf(stderr, "Error while fetching '%s' : %s\n", targetUtf8.constData(), curl_easy_strerror(CURLE_FAILED_INIT));
        busy = false;
        return;
    }
    curl_easy_setopt(curl, CURLOPT_URL, targetUtf8.constData());
    if (target.contains(QStringLiteral("https"))) {
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
        curl_easy_setopt(curl, CURLOPT_CA_CACHE_TIMEOUT, 604800L);
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &TestBandwidth::discard_body);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    const CURLcode result = curl_easy_perform(curl);

    if (result == CURLE_OK) {
        curl_off_t size = 0;
        curl_off_t time = 0;
        curl_off_t speed = 0;
        const QString d = curl_easy_getinfo(curl, CURLINFO_SIZE_DOWNLOAD_T, &size) == CURLE_OK ? data_text(qint64(size)) : QString();
        const QString s = curl_easy_getinfo(curl, CURLINFO_TOTAL_TIME_T, &time) == CURLE_OK ? time_text(qint64(time)) : QString();
        const QString v = curl_easy_getinfo(curl, CURLINFO_SPEED_DOWNLOAD_T, &speed) == CURLE_OK ? speed_text(qint64(speed)) : QString();
        if (owner)
            owner->write_output(bandwidth_line(d, s, v));
    } else {
        std::fprintf(stderr, "Error while fetching '%s' : %s\n", targetUtf8.constData(), curl_easy_strerror(result));
    }

    curl_easy_cleanup(curl);
    busy = false;
}
