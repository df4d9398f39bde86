#include "tests/support/StreamServer.h"

#include <QHostAddress>
#include <QMutex>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

namespace zrtest {

struct StreamServer::Shared
{
    PartSource source;
    Options options;
    std::atomic<int> connections{0};
    std::atomic<int> parts{0};
    mutable QMutex mutex;
    QByteArray lastRequest;
};

namespace {

class StreamWorker : public QObject
{
public:
    explicit StreamWorker(std::shared_ptr<StreamServer::Shared> shared) : shared(std::move(shared)) {}

    quint16 listen()
    {
        server = new QTcpServer(this);
        if (!server->listen(QHostAddress::LocalHost, 0))
            return 0;
        connect(server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server->nextPendingConnection())
                accept(socket);
        });
        return server->serverPort();
    }

private:
    void accept(QTcpSocket* socket)
    {
        socket->setParent(this);
        const int connection = shared->connections.fetch_add(1);
        auto request = std::make_shared<QByteArray>();
        auto answered = std::make_shared<bool>(false);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, request, answered, connection] {
            request->append(socket->readAll());
            if (*answered || !request->contains("\r\n\r\n"))
                return;
            *answered = true;
            {
                QMutexLocker lock(&shared->mutex);
                shared->lastRequest = request->left(request->indexOf("\r\n\r\n") + 4);
            }
            socket->write(shared->options.head);
            serve(socket, connection);
        });
    }

    void serve(QTcpSocket* socket, int connection)
    {
        auto* timer = new QTimer(socket);
        auto index = std::make_shared<int>(0);
        timer->setInterval(shared->options.intervalMs);
        connect(timer, &QTimer::timeout, socket, [this, socket, timer, index, connection] {
            // Keep the socket's buffer small so the pace is the timer's, not the buffer's.
            if (socket->bytesToWrite() > 4 * 1024 * 1024)
                return;
            if (shared->options.stallAfterParts >= 0 && *index >= shared->options.stallAfterParts) {
                timer->stop();
                return;
            }
            const QByteArray bytes = shared->source(connection, *index);
            if (bytes.isEmpty()) {
                timer->stop();
                socket->disconnectFromHost();
                return;
            }
            socket->write(bytes);
            ++*index;
            shared->parts.fetch_add(1);
        });
        timer->start();
    }

    std::shared_ptr<StreamServer::Shared> shared;
    QTcpServer* server = nullptr;
};

} // namespace

StreamServer::StreamServer(PartSource source, Options options) : m_shared(std::make_shared<Shared>())
{
    m_shared->source = std::move(source);
    m_shared->options = std::move(options);
    m_thread = new QThread;
    m_thread->start();
    auto* worker = new StreamWorker(m_shared);
    worker->moveToThread(m_thread);
    QMetaObject::invokeMethod(worker, [this, worker] { m_port = worker->listen(); }, Qt::BlockingQueuedConnection);
    QObject::connect(m_thread, &QThread::finished, worker, &QObject::deleteLater);
}

StreamServer::~StreamServer()
{
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}

int StreamServer::connections() const { return m_shared->connections.load(); }
int StreamServer::partsSent() const { return m_shared->parts.load(); }

QByteArray StreamServer::lastRequest() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->lastRequest;
}

QByteArray StreamServer::part(const StreamFrame& frame, const QByteArray& fps, const QByteArray& extra)
{
    QByteArray p = "--myboundary\nContent-Type: frame/" + frame.codec + "\nContent-Length: " +
                   QByteArray::number(frame.data.size()) + "\nTimestamp: " + frame.timestamp + "\n";
    if (!fps.isNull())
        p += "Fps:" + fps + "\n";
    p += extra;
    p += "\n" + frame.data + "\r\n";
    return p;
}

StreamServer::PartSource StreamServer::loop(QList<StreamFrame> frames, bool once, const QByteArray& fps)
{
    return [frames = std::move(frames), once, fps](int, int index) -> QByteArray {
        if (frames.isEmpty() || (once && index >= frames.size()))
            return QByteArray();
        return part(frames[index % frames.size()], fps);
    };
}

} // namespace zrtest
