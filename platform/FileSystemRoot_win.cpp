#include "platform/FileSystemRoot.h"

#include <QDir>

namespace zrplatform {

QString file_system_root()
{
    // The drive the system runs from; "C:/" on nearly every machine.
    const QString drive = QDir::rootPath();
    return drive.isEmpty() ? QStringLiteral("C:/") : drive;
}

} // namespace zrplatform
