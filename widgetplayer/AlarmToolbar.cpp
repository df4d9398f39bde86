#include "widgetplayer/AlarmToolbar.h"

#include "app/Log.h"

#include <QMouseEvent>
#include <QPainter>

AlarmToolbar::AlarmToolbar(QWidget* parent)
    : QWidget(parent)
{
}

QSize AlarmToolbar::sizeHint() const
{
    return QSize(140, 120);
}

void AlarmToolbar::set_alarm(const QString& title_text, const QImage& alarm_image, const Vignette& record)
{
    title = title_text;
    image = alarm_image;
    vignette = record;
    update();
}

void AlarmToolbar::set_placeholder(const QImage& placeholder_image)
{
    placeholder = placeholder_image;
    update();
}

void AlarmToolbar::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    QFont font = painter.font();
    font.setPointSize(8);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(8, 2, 110, 15), title, QTextOption());
    const QRect picture(8, 20, 110, 80);
    if (image.isNull()) {
        write_log("AlarmToolbar::paintEvent << image is null");
        painter.drawImage(picture, placeholder);
    } else {
        painter.drawImage(picture, image);
    }
}

void AlarmToolbar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit send(vignette);
}
