#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QString>

#include "tests/support/TlsIdentity.h"

#include <functional>

class QThread;

namespace zrtest {

struct HttpRequest
{
    QByteArray method;
    QByteArray target;            // path and query as sent
    QByteArray path;              // target without the query
    QByteArray version;           // "HTTP/1.1", "HTTP/1.0"
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

struct HttpReply
{
    int status = 200;
    QByteArray reason;                         // default: derived from the status
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    bool sendContentLength = true;             // false: body ends when the connection closes
    int delayMs = 0;                           // wait before the status line
    bool stall = false;                        // never answer; the connection stays open
    bool closeWithoutReply = false;            // drop the connection at once
    bool resetWithoutReply = false;            // reset the connection at once (TCP RST)
    int chunkSize = 0;                         // >0: send the body in pieces of this size...
    int chunkIntervalMs = 0;                   // ...with this pause between them
    int dropAfterBytes = -1;                   // >=0: send this much of the body, then drop the connection
    int stallAfterBytes = -1;                  // >=0: send this much of the body, then go silent (connection open)
    bool noContentType = false;                // send no Content-Type header at all

    static HttpReply text(const QByteArray& body, int status = 200,
                          const QByteArray& contentType = "text/plain");
    static HttpReply json(const QByteArray& body, int status = 200);
    static HttpReply redirect(const QByteArray& location, int status = 302);
};

// A small HTTP/1.1 server on 127.0.0.1 (port chosen by the system) running on its own
// thread. Replies come from the handler, which runs on the server thread.
class HttpServer
{
public:
    using Handler = std::function<HttpReply(const HttpRequest&)>;

    explicit HttpServer(Handler handler = Handler());
    // An HTTPS server presenting this identity (see TlsIdentity::generateSelfSigned);
    // baseUrl() then starts with "https://". port() is 0 when the identity is unusable.
    HttpServer(Handler handler, const TlsIdentity& tls);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    void setHandler(Handler handler);
    // Fixed reply for one path (query ignored); consulted before the handler.
    void route(const QByteArray& path, const HttpReply& reply);

    quint16 port() const;
    QString baseUrl() const; // "http://127.0.0.1:<port>" ("https://" with TLS)
    QString url(const QString& path) const;

    QList<HttpRequest> requests() const;
    int requestCount() const;
    // Spins the caller's event loop until n requests were received.
    bool waitForRequests(int n, int timeoutMs = 30000) const;

    // Used by the server thread.
    HttpReply dispatch(const HttpRequest& request);

private:
    void start(const TlsIdentity& tls);

    mutable QMutex mutex;
    Handler handler;
    QMap<QByteArray, HttpReply> routes;
    QList<HttpRequest> received;
    QThread* thread = nullptr;
    QObject* worker = nullptr;
    quint16 listeningPort = 0;
    bool secure = false;
};

} // namespace zrtest
