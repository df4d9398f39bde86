#pragma once

#include <QString>

namespace zrplatform {

// The "arch" value of the release assets built for the running platform: the update
// client offers only those ("Windows/64" on Windows).
QString release_asset_arch();

} // namespace zrplatform
