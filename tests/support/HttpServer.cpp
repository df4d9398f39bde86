#include "tests/support/HttpServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QTimer>

#if defined(Q_OS_UNIX)
#include <sys/socket.h>
#endif

namespace zrtest {

namespace {

QByteArray reasonFor(int status)
{
    switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

class ServerWorker : public QObject
{
public:
    explicit ServerWorker(HttpServer* owner) : owner(owner) {}

    quint16 listen(const TlsIdentity& tls)
    {
        if (tls.isNull()) {
            server = new QTcpServer(this);
        } else {
            const QSslCertificate certificate(tls.certificatePem, QSsl::Pem);
            const QSslKey key(tls.keyPem, QSsl::Ec, QSsl::Pem);
            if (certificate.isNull() || key.isNull())
                return 0;
            auto* sslServer = new QSslServer(this);
            QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
            configuration.setLocalCertificate(certificate);
            configuration.setPrivateKey(key);
            configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
            sslServer->setSslConfiguration(configuration);
            server = sslServer;
        }
        if (!server->listen(QHostAddress::LocalHost, 0))
            return 0;
        const auto takeConnections = [this] {
            while (QTcpSocket* socket = server->nextPendingConnection()) {
                socket->setParent(this);
                QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onData(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                // A TLS socket is handed over after its handshake, when the request may
                // already be waiting in its buffer.
                if (socket->bytesAvailable() > 0)
                    QMetaObject::invokeMethod(this, [this, socket = QPointer<QTcpSocket>(socket)] {
                        if (socket)
                            onData(socket);
                    }, Qt::QueuedConnection);
            }
        };
        QObject::connect(server, &QTcpServer::newConnection, this, takeConnections);
        // A TLS server queues a connection only once its handshake is done, and says so here.
        QObject::connect(server, &QTcpServer::pendingConnectionAvailable, this, takeConnections);
        return server->serverPort();
    }

    void shutdown()
    {
        if (server)
            server->close();
        const auto sockets = findChildren<QTcpSocket*>();
        for (QTcpSocket* s : sockets)
            s->abort();
        qDeleteAll(findChildren<QTimer*>());
    }

private:
    void onData(QTcpSocket* socket)
    {
        QByteArray& buffer = buffers[socket];
        buffer += socket->readAll();
        for (;;) {
            const int headerEnd = buffer.indexOf("\r\n\r\n");
            if (headerEnd < 0)
                return;
            HttpRequest request;
            const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
            const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
            request.method = first.value(0);
            request.target = first.value(1);
            request.version = first.value(2);
            const int q = request.target.indexOf('?');
            request.path = q >= 0 ? request.target.left(q) : request.target;
            for (int i = 1; i < lines.size(); ++i) {
                const QByteArray line = lines.at(i).trimmed();
                const int colon = line.indexOf(':');
                if (colon > 0)
                    request.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
            }
            const qint64 length = request.headers.value("content-length", "0").toLongLong();
            if (buffer.size() < headerEnd + 4 + length)
                return;
            request.body = buffer.mid(headerEnd + 4, int(length));
            buffer.remove(0, int(headerEnd + 4 + length));
            respond(socket, owner->dispatch(request));
        }
    }

    void respond(QTcpSocket* socket, const HttpReply& reply)
    {
        if (reply.closeWithoutReply) {
            socket->abort();
            return;
        }
        if (reply.resetWithoutReply) {
#if defined(Q_OS_UNIX)
            // A zero linger time makes the close a reset instead of an orderly end.
            const linger noLinger{1, 0};
            ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
#endif
            socket->abort();
            return;
        }
        if (reply.stall)
            return;
        QPointer<QTcpSocket> guard(socket);
        auto send = [this, guard, reply] {
            if (!guard)
                return;
            QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' '
                + (reply.reason.isEmpty() ? reasonFor(reply.status) : reply.reason) + "\r\n";
            bool hasType = false;
            for (const auto& h : reply.headers) {
                head += h.first + ": " + h.second + "\r\n";
                if (h.first.toLower() == "content-type")
                    hasType = true;
            }
            if (!hasType && !reply.body.isEmpty() && !reply.noContentType)
                head += "Content-Type: application/octet-stream\r\n";
            if (reply.sendContentLength)
                head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
            else
                head += "Connection: close\r\n";
            head += "\r\n";
            guard->write(head);
            if (reply.dropAfterBytes >= 0 || reply.stallAfterBytes >= 0) {
                const bool drop = reply.dropAfterBytes >= 0;
                guard->write(reply.body.left(drop ? reply.dropAfterBytes : reply.stallAfterBytes));
                if (drop) {
                    guard->flush();
                    guard->waitForBytesWritten(1000);
                    guard->abort();
                }
                return;
            }
            if (reply.chunkSize <= 0) {
                guard->write(reply.body);
                if (!reply.sendContentLength)
                    guard->disconnectFromHost();
                return;
            }
            sendPieces(guard, reply, 0);
        };
        if (reply.delayMs > 0)
            QTimer::singleShot(reply.delayMs, this, send);
        else
            send();
    }

    void sendPieces(QPointer<QTcpSocket> socket, HttpReply reply, int offset)
    {
        if (!socket)
            return;
        socket->write(reply.body.mid(offset, reply.chunkSize));
        const int next = offset + reply.chunkSize;
        if (next >= reply.body.size()) {
            if (!reply.sendContentLength)
                socket->disconnectFromHost();
            return;
        }
        QTimer::singleShot(reply.chunkIntervalMs, this, [this, socket, reply, next] { sendPieces(socket, reply, next); });
    }

    HttpServer* owner;
    QTcpServer* server = nullptr;
    QMap<QTcpSocket*, QByteArray> buffers;
};

} // namespace

HttpReply HttpReply::text(const QByteArray& body, int status, const QByteArray& contentType)
{
    HttpReply r;
    r.status = status;
    r.body = body;
    r.headers.append({"Content-Type", contentType});
    return r;
}

HttpReply HttpReply::json(const QByteArray& body, int status)
{
    return text(body, status, "application/json");
}

HttpReply HttpReply::redirect(const QByteArray& location, int status)
{
    HttpReply r;
    r.status = status;
    r.headers.append({"Location", location});
    return r;
}

HttpServer::HttpServer(Handler h)
    : handler(std::move(h))
{
    start(TlsIdentity());
}

HttpServer::HttpServer(Handler h, const TlsIdentity& tls)
    : handler(std::move(h))
    , secure(!tls.isNull())
{
    start(tls);
}

void HttpServer::start(const TlsIdentity& tls)
{
    thread = new QThread();
    thread->setObjectName(QStringLiteral("zrtest-http"));
    auto* w = new ServerWorker(this);
    worker = w;
    w->moveToThread(thread);
    thread->start();
    QMetaObject::invokeMethod(w, [this, w, &tls] { listeningPort = w->listen(tls); }, Qt::BlockingQueuedConnection);
}

HttpServer::~HttpServer()
{
    auto* w = static_cast<ServerWorker*>(worker);
    QMetaObject::invokeMethod(w, [w] { w->shutdown(); delete w; }, Qt::BlockingQueuedConnection);
    thread->quit();
    thread->wait();
    delete thread;
}

void HttpServer::setHandler(Handler h)
{
    QMutexLocker locker(&mutex);
    handler = std::move(h);
}

void HttpServer::route(const QByteArray& path, const HttpReply& reply)
{
    QMutexLocker locker(&mutex);
    routes.insert(path, reply);
}

quint16 HttpServer::port() const { return listeningPort; }

QString HttpServer::baseUrl() const
{
    return (secure ? QStringLiteral("https://127.0.0.1:%1") : QStringLiteral("http://127.0.0.1:%1")).arg(listeningPort);
}

QString HttpServer::url(const QString& path) const
{
    return baseUrl() + (path.startsWith(QLatin1Char('/')) ? path : QLatin1Char('/') + path);
}

QList<HttpRequest> HttpServer::requests() const
{
    QMutexLocker locker(&mutex);
    return received;
}

int HttpServer::requestCount() const
{
    QMutexLocker locker(&mutex);
    return received.size();
}

bool HttpServer::waitForRequests(int n, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return requestCount() >= n; }, timeoutMs);
}

HttpReply HttpServer::dispatch(const HttpRequest& request)
{
    Handler h;
    {
        QMutexLocker locker(&mutex);
        received.append(request);
        auto it = routes.constFind(request.path);
        if (it != routes.constEnd())
            return it.value();
        h = handler;
    }
    if (h)
        return h(request);
    return HttpReply::text("not found", 404);
}

} // namespace zrtest
