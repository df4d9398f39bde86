#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <QTest>

#include <functional>

namespace zrtest {

// One warning, critical or fatal message as the handler saw it.
struct CaughtWarning
{
    QtMsgType type = QtWarningMsg;
    QString category;
    QString file;
    QString text;
};

// Records the warnings a test must not produce (QML's above all) while it lives, and passes
// every message on to the handler installed before (LogCatcher included), so catchers nest
// in any order. Debug and info messages are never recorded. Thread-safe.
class QmlWarningCatcher
{
public:
    // Decides which warnings count; it runs on the thread that printed the message.
    using Filter = std::function<bool(const CaughtWarning&)>;

    // Without a filter every warning counts.
    explicit QmlWarningCatcher(Filter counts = {});
    ~QmlWarningCatcher();
    QmlWarningCatcher(const QmlWarningCatcher&) = delete;
    QmlWarningCatcher& operator=(const QmlWarningCatcher&) = delete;

    // Lines a test deliberately causes: a warning this filter accepts is not recorded.
    void setExpected(Filter expected);

    QList<CaughtWarning> warnings() const;
    QStringList texts() const;
    // The recorded texts, then forgets them.
    QStringList take();
    void clear();
    bool isEmpty() const;

    // Filters. The message comes from the QML side: its category, its source file or its
    // text names QML.
    static bool fromQml(const CaughtWarning& warning);
    // The text mentions "qml" in any case (the engine's warnings, load errors, "[QML]" lines).
    static bool mentionsQml(const CaughtWarning& warning);

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message);
    void record(QtMsgType type, const QMessageLogContext& context, const QString& message);

    mutable QMutex mutex;
    QList<CaughtWarning> caught;
    const Filter counts;
    Filter expected;
    QtMessageHandler previous = nullptr;
    QmlWarningCatcher* outer = nullptr;
};

} // namespace zrtest

// Fails the test with the recorded warnings, if any, and forgets them.
#define ZR_VERIFY_NO_WARNINGS(catcher)                                                    \
    do {                                                                                  \
        const QStringList zrCaughtWarnings_ = (catcher).take();                           \
        QVERIFY2(zrCaughtWarnings_.isEmpty(), qPrintable(zrCaughtWarnings_.join('\n'))); \
    } while (false)
