#include "widgetplayer/ZRSlidertimeline.h"

#include "app/Log.h"
#include "media/ZRSeekTable.h"
#include "store/ZRTag.h"
#include "widgetplayer/TagToolTip.h"
#include "widgetplayer/TimeRange.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>

ZRSlidertimeline::ZRSlidertimeline(QWidget* parent)
    : QSlider(parent)
    , range_text(QStringLiteral("00:00:00 - 23:59:59"))
{
    connect(this, &QSlider::valueChanged, this, &ZRSlidertimeline::get_value_changed);
    connect(this, &QSlider::sliderReleased, this, &ZRSlidertimeline::release);
}

void ZRSlidertimeline::clear_all_minutes()
{
    minutes.fill(0);
}

void ZRSlidertimeline::set_minutes_recorded(int first, int count)
{
    for (int i = first; i < first + count; ++i) {
        if (i >= 0 && i < int(minutes.size()))
            minutes[size_t(i)] = 1;
    }
}

void ZRSlidertimeline::clear_minutes(int first, int count)
{
    for (int i = first; i < first + count; ++i) {
        if (i >= 0 && i < int(minutes.size()))
            minutes[size_t(i)] = 0;
    }
}

void ZRSlidertimeline::set_minutes_from_frames(const QList<ZRFrame>& frames)
{
    int previous = -1;
    for (const ZRFrame& frame : frames) {
        const QTime t = ZRSeekTable::time_of_day(frame.get_timestamp());
        if (!t.isValid())
            continue;
        const int m = t.hour() * 60 + t.minute();
        if (m != previous)
            set_minutes_recorded(m, 1);
        previous = m;
    }
}

int ZRSlidertimeline::minute_slot(int minute) const
{
    if (minute < 0 || minute >= int(minutes.size()))
        return 0;
    return minutes[size_t(minute)] == 1 ? 1 : 0;
}

QList<ZRTag*> ZRSlidertimeline::get_tags() const
{
    QList<ZRTag*> out;
    for (const QPointer<ZRTag>& tag : tags) {
        if (tag)
            out.append(tag.data());
    }
    return out;
}

void ZRSlidertimeline::check_and_add_tags(const QList<ZRTag*>& candidates, int camera)
{
    write_log("[INFO] ZRSlidertimeline :: check_and_add_tags");
    tags.clear();
    const TimeRange range(range_text);
    const QString camera_text = QString::number(camera);
    for (ZRTag* tag : candidates) {
        if (!tag)
            continue;
        const QString cam = tag->get_tag_cam_id();
        if (cam.isEmpty() || cam != camera_text)
            continue;
        const QString when = tag->get_tag_datetime();
        if (when.isEmpty())
            continue;
        if (!range.contains(TimeRange::time_of_stamp(when)) || tags.contains(tag))
            continue;
        tags.append(tag);
        write_log("[INFO] ZRSlidertimeline :: tag insert " + when);
    }
}

void ZRSlidertimeline::setValue(int unused, QString time_stamp)
{
    Q_UNUSED(unused);
    if (time_stamp.isEmpty())
        return;
    const QTime t = ZRSeekTable::time_of_day(time_stamp);
    // A stamp that does not parse sends the handle to the start, as an invalid time would.
    QAbstractSlider::setValue(t.isValid() ? t.hour() * 60 + t.minute() : minimum());
}

void ZRSlidertimeline::get_value_changed(int value)
{
    // The end of the range is the day's last second: 24:00:00 is no time of day.
    const QTime t = value >= 1440 ? QTime(23, 59, 59) : QTime(value / 60, value % 60, 0, 0);
    if (value >= 1440)
        value_text = QStringLiteral("23:59:59");
    else
        value_text = QStringLiteral("%1:%2:00").arg(value / 60, 2, 10, QLatin1Char('0')).arg(value % 60, 2, 10, QLatin1Char('0'));
    emit slider_move(t);
}

void ZRSlidertimeline::release()
{
    write_log("[INFO] ZRSlidertimeline :: release :: " + value_text + " :: camera id " + QString::number(camera_id));
    emit change_value(value_text, camera_id);
}

void ZRSlidertimeline::mousePressEvent(QMouseEvent* event)
{
    write_log("[INFO] ZRSlidertimeline :: mousePressEvent");
    if (event->button() == Qt::LeftButton) {
        const QPoint at = event->position().toPoint();
        const qint64 span = qint64(maximum()) - minimum();
        qint64 v = minimum();
        if (orientation() == Qt::Horizontal) {
            if (width() > 0)
                v += span * at.x() / width();
        } else if (height() > 0) {
            v += span * (height() - at.y()) / height();
        }
        QAbstractSlider::setValue(int(v));
        event->accept();
    }
    QSlider::mousePressEvent(event);
}

void ZRSlidertimeline::mouseMoveEvent(QMouseEvent* event)
{
    if (isVisible())
        TagToolTip::show_for(get_tags(), event->position().toPoint().x(), event->globalPosition().toPoint());
    QSlider::mouseMoveEvent(event);
}

void ZRSlidertimeline::paintEvent(QPaintEvent* event)
{
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    opt.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    if (tickPosition() != NoTicks)
        opt.subControls |= QStyle::SC_SliderTickmarks;
    const QRect g = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);

    QSlider::paintEvent(event);

    QPainter painter(this);
    // At least one pixel: on a groove narrower than 744 pixels the two-minute width rounds to
    // nothing and the recorded minutes would not show at all.
    const int mark = std::max(1, (g.width() * 2 - 48) / 1440);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < int(minutes.size()); ++i) {
        if (minutes[size_t(i)] == 1)
            painter.fillRect(QRect(g.left() + 12 + (g.width() - 24) * i / 1440, g.top(), mark, g.height()),
                             QBrush(Qt::red, Qt::SolidPattern));
    }
    for (const QPointer<ZRTag>& tag : tags) {
        if (!tag)
            continue;
        const QTime t = TimeRange::time_of_stamp(tag->get_tag_datetime());
        const int m = t.hour() * 60 + t.minute();
        const int x = (g.width() - 24) * m / 1440 + g.left();
        tag->set_x(x + 12);
        tag->set_width(mark);
        painter.setBrush(Qt::green);
        painter.setPen(QPen());
        painter.drawEllipse(QRect(x + 9, g.top() - 10, 7, 7));
        painter.fillRect(QRect(x + 12, g.top() - 5, mark, g.height() + 10), Qt::green);
    }
    const QRect hr = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    painter.fillRect(QRect(int(hr.left() + hr.width() * 0.2), hr.top(), int(hr.width() * 0.6), hr.height()),
                     QBrush(QColor(QStringLiteral("#656565")), Qt::SolidPattern));
}
