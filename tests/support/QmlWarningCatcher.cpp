#include "tests/support/QmlWarningCatcher.h"

#include <atomic>
#include <cstdio>

namespace zrtest {

namespace {
std::atomic<QmlWarningCatcher*> current{nullptr};
// The catcher whose previous handler runs on this thread: when that handler comes back
// here (a nested catcher, possibly through a LogCatcher) the message goes on to the next
// catcher out instead of round again.
thread_local QmlWarningCatcher* passingOnFrom = nullptr;
} // namespace

QmlWarningCatcher::QmlWarningCatcher(Filter filter)
    : counts(std::move(filter))
{
    outer = current.exchange(this);
    previous = qInstallMessageHandler(&QmlWarningCatcher::handler);
}

QmlWarningCatcher::~QmlWarningCatcher()
{
    qInstallMessageHandler(previous);
    current.store(outer);
}

void QmlWarningCatcher::setExpected(Filter filter)
{
    QMutexLocker locker(&mutex);
    expected = std::move(filter);
}

void QmlWarningCatcher::handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    QmlWarningCatcher* self = passingOnFrom ? passingOnFrom->outer : current.load();
    if (!self) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        return;
    }
    self->record(type, context, message);
    QmlWarningCatcher* const saved = passingOnFrom;
    passingOnFrom = self;
    if (self->previous)
        self->previous(type, context, message);
    else
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    passingOnFrom = saved;
}

void QmlWarningCatcher::record(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtWarningMsg && type != QtCriticalMsg && type != QtFatalMsg)
        return;
    CaughtWarning warning;
    warning.type = type;
    warning.category = QString::fromLatin1(context.category ? context.category : "");
    warning.file = QString::fromLocal8Bit(context.file ? context.file : "");
    warning.text = message;
    if (counts && !counts(warning))
        return;
    Filter isExpected;
    {
        QMutexLocker locker(&mutex);
        isExpected = expected;
    }
    // Called unlocked: a filter that prints comes back here.
    if (isExpected && isExpected(warning))
        return;
    QMutexLocker locker(&mutex);
    caught.append(warning);
}

QList<CaughtWarning> QmlWarningCatcher::warnings() const
{
    QMutexLocker locker(&mutex);
    return caught;
}

QStringList QmlWarningCatcher::texts() const
{
    QStringList out;
    for (const CaughtWarning& warning : warnings())
        out.append(warning.text);
    return out;
}

QStringList QmlWarningCatcher::take()
{
    QStringList out;
    QMutexLocker locker(&mutex);
    for (const CaughtWarning& warning : std::as_const(caught))
        out.append(warning.text);
    caught.clear();
    return out;
}

void QmlWarningCatcher::clear()
{
    QMutexLocker locker(&mutex);
    caught.clear();
}

bool QmlWarningCatcher::isEmpty() const
{
    QMutexLocker locker(&mutex);
    return caught.isEmpty();
}

bool QmlWarningCatcher::fromQml(const CaughtWarning& warning)
{
    return warning.category == QLatin1String("qml") || warning.category == QLatin1String("js")
           || warning.category.startsWith(QLatin1String("qt.qml"))
           || warning.category.startsWith(QLatin1String("qt.quick")) || warning.file.contains(QLatin1String(".qml"))
           || warning.text.contains(QLatin1String(".qml"));
}

bool QmlWarningCatcher::mentionsQml(const CaughtWarning& warning)
{
    return warning.text.contains(QLatin1String("qml"), Qt::CaseInsensitive);
}

} // namespace zrtest
