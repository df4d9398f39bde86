#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

namespace zrtest {

// Pointer input delivered straight to a widget, as the window system would send it.
inline void send(QWidget& w, QEvent::Type type, QPointF p, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent e(type, p, w.mapToGlobal(p), button, held, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}
inline void press(QWidget& w, QPointF p, Qt::MouseButton b = Qt::LeftButton)
{
    send(w, QEvent::MouseButtonPress, p, b, b);
}
inline void move(QWidget& w, QPointF p, Qt::MouseButtons held = Qt::LeftButton)
{
    send(w, QEvent::MouseMove, p, Qt::NoButton, held);
}
inline void release(QWidget& w, QPointF p, Qt::MouseButton b = Qt::LeftButton)
{
    send(w, QEvent::MouseButtonRelease, p, b, Qt::NoButton);
}
inline void click(QWidget& w, QPointF p, Qt::MouseButton b = Qt::LeftButton)
{
    press(w, p, b);
    release(w, p, b);
}
// What a window system sends for a double click: press, release, double click, release.
inline void doubleClick(QWidget& w, QPointF p, Qt::MouseButton b = Qt::LeftButton)
{
    press(w, p, b);
    release(w, p, b);
    send(w, QEvent::MouseButtonDblClick, p, b, b);
    release(w, p, b);
}
inline void wheel(QWidget& w, QPointF p, int dy, int dx = 0)
{
    QWheelEvent e(p, w.mapToGlobal(p), QPoint(), QPoint(dx, dy), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                  false);
    QApplication::sendEvent(&w, &e);
}

} // namespace zrtest
