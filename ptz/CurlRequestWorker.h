#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>

// One HTTP request with libcurl for camera interfaces that take XML or JSON bodies, run
// synchronously in the calling thread: Basic or Digest authentication, a retry with the
// scheme the camera asks for after a 401, and for "/ISAPI/" URLs XML bodies and one more
// retry after a receive error.
class CurlRequestWorker : public QObject
{
    Q_OBJECT
public:
    // A camera answer larger than this is refused.
    static constexpr qint64 max_response_bytes = 1024 * 1024;
    static constexpr long connect_timeout_ms = 5000;
    static constexpr long total_timeout_ms = 15000;
    static constexpr long low_speed_limit = 1;  // bytes per second...
    static constexpr long low_speed_time = 10;  // ...for this many seconds

    CurlRequestWorker(QString url, QString username, QString password, QByteArray data = QByteArray(),
                      bool insecure = false, QObject* parent = nullptr);

    void set_url(const QString& value) { url = value; }
    void set_data(const QByteArray& value) { data = value; }

signals:
    void finished(QString response);
    void error(QString message);
    void result(QString response, int httpStatus, int curlCode);

public slots:
    void run_put_request();
    void run_get_request();
    void run_post_request();
    // Thread-safe: the transfer in progress stops at its next progress callback.
    void requestCancel();

private:
    enum class Method { Get, Put, Post };
    void run(Method method);

    QString url;
    QString username;
    QString password;
    QByteArray data;
    std::atomic<bool> cancel_requested{false};
    bool insecure_tls = false;
};
