#include "platform/ThemeSetting.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

namespace zrplatform {

bool apps_use_light_theme()
{
    // Without a GUI application there is no palette to ask: light is the safe default.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return true;
    return QGuiApplication::palette().color(QPalette::Window).lightness() >= 128;
}

} // namespace zrplatform
