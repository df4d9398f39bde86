#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

namespace zrtest {

// One encoded frame to serve, with the part headers it travels with.
struct StreamFrame
{
    QByteArray data;
    QByteArray timestamp; // "yyyyMMddHHmmsszzz"
    QByteArray codec = "h264";
    bool key = false;
};

// A live multipart frame stream on 127.0.0.1 (own thread): every connection gets the response
// head, then one part per tick from the part source until the source returns an empty array
// (the connection is closed) or the test ends. Misbehaviour is scripted through the source and
// the options.
class StreamServer
{
public:
    // Bytes of part i of a connection (its index among that connection's parts).
    using PartSource = std::function<QByteArray(int connection, int index)>;

    struct Options
    {
        QByteArray head = "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=myboundary\r\n\r\n";
        int intervalMs = 40;       // between parts; 0 sends as fast as the socket takes them
        int stallAfterParts = -1;  // >=0: go silent after this many parts (connection stays open)
    };

    StreamServer(PartSource source, Options options);
    StreamServer(PartSource source) : StreamServer(std::move(source), Options()) {}
    ~StreamServer();
    StreamServer(const StreamServer&) = delete;
    StreamServer& operator=(const StreamServer&) = delete;

    quint16 port() const { return m_port; }
    int connections() const;
    int partsSent() const;
    QByteArray lastRequest() const;

    // A well-formed part with every usual header; `extra` lines ("Name: value\n") are added.
    static QByteArray part(const StreamFrame& frame, const QByteArray& fps = " 25.00", const QByteArray& extra = QByteArray());
    // Serves frames in a loop (or once, then closes), each part with part().
    static PartSource loop(QList<StreamFrame> frames, bool once = false, const QByteArray& fps = " 25.00");

    // Used by the server thread.
    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
    QThread* m_thread = nullptr;
    quint16 m_port = 0;
};

} // namespace zrtest
