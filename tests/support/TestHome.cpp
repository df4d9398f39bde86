#include "tests/support/TestHome.h"

#include <QDir>

#include <cstdlib>

namespace zrtest {

TestHome::TestHome()
    : dir(QDir::tempPath() + QStringLiteral("/zrtest-home-XXXXXX"))
{
    hadPrevious = qEnvironmentVariableIsSet("HOME");
    previous = qgetenv("HOME");
    qputenv("HOME", dir.path().toLocal8Bit());
}

TestHome::~TestHome()
{
    if (hadPrevious)
        qputenv("HOME", previous);
    else
        qunsetenv("HOME");
}

QString TestHome::path() const { return dir.path(); }

QString TestHome::userFolder() const { return dir.path() + QStringLiteral("/.ZRPlayer"); }

} // namespace zrtest
