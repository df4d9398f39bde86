#include "export/SqueezeLabel.h"

#include <QFontMetrics>
#include <QPainter>

SqueezeLabel::SqueezeLabel(QWidget* parent)
    : QLabel(parent)
{
}

void SqueezeLabel::paintEvent(QPaintEvent* event)
{
    const QFontMetrics fm(font());
    if (fm.horizontalAdvance(text()) <= contentsRect().width()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect(), int(alignment()), fm.elidedText(text(), Qt::ElideMiddle, width()));
}
