#include "tests/support/LogCatcher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

#include <atomic>
#include <cstdio>

namespace zrtest {

namespace {
std::atomic<LogCatcher*> current{nullptr};
}

LogCatcher::LogCatcher()
{
    outer = current.exchange(this);
    previous = qInstallMessageHandler(&LogCatcher::handler);
}

LogCatcher::~LogCatcher()
{
    qInstallMessageHandler(previous);
    current.store(outer);
}

void LogCatcher::handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    LogCatcher* self = current.load();
    if (!self)
        return;
    self->add(message);
    for (LogCatcher* o = self->outer; o; o = o->outer)
        o->add(message);
    // Only the outermost catcher's previous handler is outside the chain: an inner one's is
    // this very handler.
    LogCatcher* first = self;
    while (first->outer)
        first = first->outer;
    if (first->previous)
        first->previous(type, context, message);
    else
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

void LogCatcher::add(const QString& message)
{
    QMutexLocker locker(&mutex);
    caught.append(message);
}

QStringList LogCatcher::lines() const
{
    QMutexLocker locker(&mutex);
    return caught;
}

QStringList LogCatcher::texts() const
{
    QStringList out;
    for (const QString& line : lines())
        out.append(unquoteLogMessage(line));
    return out;
}

bool LogCatcher::contains(const QString& fragment) const
{
    return indexOf(fragment) >= 0;
}

int LogCatcher::count(const QString& fragment) const
{
    int n = 0;
    for (const QString& text : texts())
        if (text.contains(fragment))
            ++n;
    return n;
}

int LogCatcher::indexOf(const QString& fragment, int from) const
{
    const QStringList all = texts();
    for (int i = qMax(0, from); i < all.size(); ++i)
        if (all.at(i).contains(fragment))
            return i;
    return -1;
}

bool LogCatcher::waitFor(const QString& fragment, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return contains(fragment); }, timeoutMs);
}

void LogCatcher::clear()
{
    QMutexLocker locker(&mutex);
    caught.clear();
}

void LogCatcher::dump() const
{
    for (const QString& text : texts())
        std::fprintf(stderr, "  log| %s\n", text.toLocal8Bit().constData());
}

QString unquoteLogMessage(const QString& message)
{
    if (message.size() < 2 || !message.startsWith(QLatin1Char('"')) || !message.endsWith(QLatin1Char('"')))
        return message;
    QString out;
    out.reserve(message.size());
    for (int i = 1; i < message.size() - 1; ++i) {
        const QChar c = message.at(i);
        if (c == QLatin1Char('\\') && i + 1 < message.size() - 1) {
            const QChar n = message.at(++i);
            switch (n.unicode()) {
            case 'n': out += QLatin1Char('\n'); break;
            case 'r': out += QLatin1Char('\r'); break;
            case 't': out += QLatin1Char('\t'); break;
            case '"': out += QLatin1Char('"'); break;
            case '\\': out += QLatin1Char('\\'); break;
            case 'u': {
                bool ok = false;
                const ushort code = message.mid(i + 1, 4).toUShort(&ok, 16);
                if (ok) {
                    out += QChar(code);
                    i += 4;
                } else {
                    out += n;
                }
                break;
            }
            default: out += QLatin1Char('\\'); out += n; break;
            }
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace zrtest
