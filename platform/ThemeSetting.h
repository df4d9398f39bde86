#pragma once

// Whether applications should use a light theme: the user's setting on Windows, the
// lightness of the application palette's window colour elsewhere.
namespace zrplatform {
bool apps_use_light_theme();
}
