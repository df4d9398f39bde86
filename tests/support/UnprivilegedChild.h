#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>

namespace zrtest {

// Runs one test function of the running test program again, in a child process that file
// permissions bind. The superuser writes through them, so a test about a folder that cannot
// be written, run as root (as CI does), runs that function as the unprivileged user 65534
// through setpriv; run by anyone else, the test's own process is already bound by them.
class UnprivilegedChild
{
public:
    static constexpr int kUid = 65534;

    // True in a test process running as root that must hand the function to a child.
    static bool needed();
    // True in the child.
    static bool isChild();
    // Why no child can be started here; empty when one can.
    static QString unavailable();

    // "<this program> <function>" as user and group 65534, with a private writable temporary
    // folder as TMPDIR, HOME, XDG_RUNTIME_DIR and working folder, a copy of the X authority
    // file when there is one, and extra on top of the current environment. The program is
    // copied where the child can run it when its own folder is out of the child's reach.
    // Returns the exit code, or -1 when the child did not start or finish in time; output
    // gets what it printed.
    static int run(const QString& function, const QProcessEnvironment& extra, QByteArray* output,
                   int timeoutMs = 600000);

    // The child's own verdict from its output: every line but its debug and info messages.
    static QString verdict(const QByteArray& output);

    // Lets the child reach path: every folder from path up to the root gains search
    // permission for others (read permission too for path itself), without write permission.
    static bool makeReachable(const QString& path);
};

} // namespace zrtest
