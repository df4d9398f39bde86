#include "display/FullScreen.h"

#include "app/Log.h"

#include <QCloseEvent>
#include <QKeyEvent>

FullScreen::FullScreen()
    : QFrame(nullptr)
{
    setStyleSheet(QStringLiteral("background-color:#333333;"));
    setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_DeleteOnClose);
}

void FullScreen::close_fullscreen()
{
    write_log("[INFO] FullScreen :: close_fullscreen");
    close();
}

void FullScreen::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        close();
}

void FullScreen::closeEvent(QCloseEvent* event)
{
    write_log("[INFO] FullScreen :: Set Close event");
    event->accept();
}
