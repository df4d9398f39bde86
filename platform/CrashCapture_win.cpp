#include "platform/CrashCapture.h"

namespace zrplatform {

bool install_crash_capture(const QString&, const QByteArray&)
{
    // The out-of-process crash handler writes the dumps on this system.
    return false;
}

} // namespace zrplatform
