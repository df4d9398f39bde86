#include "platform/FileSystemRoot.h"

namespace zrplatform {

QString file_system_root()
{
    return QStringLiteral("/");
}

} // namespace zrplatform
