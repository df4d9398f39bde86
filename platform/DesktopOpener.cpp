#include "platform/DesktopOpener.h"

#include <QDesktopServices>

namespace zrplatform {

bool open_with_desktop(const QUrl& url)
{
    // QDesktopServices honours setUrlHandler, which is how tests intercept the hand-over.
    return QDesktopServices::openUrl(url);
}

} // namespace zrplatform
