#pragma once

#include <QUrl>

// Hands a file or address to the desktop's default handler.
namespace zrplatform {
bool open_with_desktop(const QUrl& url);
}
