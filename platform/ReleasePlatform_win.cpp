#include "platform/ReleasePlatform.h"

namespace zrplatform {

QString release_asset_arch()
{
    return QStringLiteral("Windows/64");
}

} // namespace zrplatform
