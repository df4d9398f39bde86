#include "platform/ReleasePlatform.h"

#include <QSysInfo>

namespace zrplatform {

QString release_asset_arch()
{
#if defined(Q_OS_LINUX) && defined(Q_PROCESSOR_X86_64)
    return QStringLiteral("Linux/64");
#else
    // Other systems and processors get a name of their own, so no foreign package matches.
    return QSysInfo::kernelType() + QLatin1Char('/') + QSysInfo::buildCpuArchitecture();
#endif
}

} // namespace zrplatform
