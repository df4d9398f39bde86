#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace zrtest {

// Catches every Qt message (write_log's included) while it lives, then passes it on to the
// handler that was installed before. Thread-safe: messages come from every thread.
class LogCatcher
{
public:
    LogCatcher();
    ~LogCatcher();
    LogCatcher(const LogCatcher&) = delete;
    LogCatcher& operator=(const LogCatcher&) = delete;

    // The caught messages as given to the handler (a write_log text arrives quoted).
    QStringList lines() const;
    // The caught messages with write_log's quoting removed: exactly the logged texts.
    QStringList texts() const;
    bool contains(const QString& fragment) const;
    int count(const QString& fragment) const;
    int indexOf(const QString& fragment, int from = 0) const;
    // Runs the event loop until a text containing fragment has been logged.
    bool waitFor(const QString& fragment, int timeoutMs = 30000) const;
    void clear();
    // Prints every caught text (for a failing test's output).
    void dump() const;

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message);
    void add(const QString& message);

    mutable QMutex mutex;
    QStringList caught;
    QtMessageHandler previous = nullptr;
    LogCatcher* outer = nullptr;
};

// write_log's text from a debug message: strips the debug stream's quotes and escapes.
QString unquoteLogMessage(const QString& message);

} // namespace zrtest
