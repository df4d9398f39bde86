#include "widgetplayer/ZRPlayer_TabBar.h"

#include "app/Log.h"

#include <QPainter>
#include <QStyle>

ZRPlayer_TabBar::ZRPlayer_TabBar(const QHash<int, QPixmap>& icon_table, QWidget* parent)
    : QTabBar(parent)
    , icons(icon_table)
{
}

ZRPlayer_TabBar::~ZRPlayer_TabBar()
{
    icons.clear();
}

void ZRPlayer_TabBar::paintEvent(QPaintEvent* event)
{
    for (int i = 0; i < count(); ++i) {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        // An index without an icon gets an empty entry, which draws nothing.
        const QPixmap icon = icons[i].isNull()
            ? QPixmap()
            : icons[i].scaled(36, 36, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (!icon.isNull())
            style()->drawItemPixmap(&painter, tabRect(i), Qt::AlignCenter, icon);
    }
    QTabBar::paintEvent(event);
}

void ZRPlayer_TabBar::resizeEvent(QResizeEvent* event)
{
    Q_UNUSED(event);
    write_log("[INFO] ZRPlayer Tab :: resize event");
}

void ZRPlayer_TabBar::tabInserted(int index)
{
    write_log("[INFO] ZRPlayer Tab :: tab inserted :: " + QString::number(index));
    QTabBar::tabInserted(index);
}

void ZRPlayer_TabBar::tabRemoved(int index)
{
    write_log("[INFO] ZRPlayer Tab :: tab removed ::  " + QString::number(index));
    QTabBar::tabRemoved(index);
}
