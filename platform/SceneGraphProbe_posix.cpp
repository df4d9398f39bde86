#include "platform/SceneGraphProbe.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>

namespace zrplatform {

bool scene_graph_available()
{
    // The headless platforms cannot show the widgets' rendered views at all: their backing
    // store has no way to present them, even when an OpenGL context can be had.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return false;
    // The "rhi" scene graph renders with OpenGL here.
    QOpenGLContext context;
    if (!context.create())
        return false;
    QOffscreenSurface surface;
    surface.create();
    const bool ok = surface.isValid() && context.makeCurrent(&surface);
    if (ok)
        context.doneCurrent();
    return ok;
}

} // namespace zrplatform
