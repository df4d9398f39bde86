#pragma once

namespace zrplatform {

// Whether the graphics the QML views render with can start on this platform. Without it the
// scene graph would crash the program as soon as a view is shown (the headless "offscreen"
// and "minimal" platforms, a display without OpenGL). Needs the application object.
bool scene_graph_available();

} // namespace zrplatform
