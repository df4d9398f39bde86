#include "widgetplayer/ZRTimeline.h"

#include "app/Log.h"
#include "media/ZRSeekTable.h"
#include "store/ZRTag.h"
#include "widgetplayer/TagToolTip.h"
#include "widgetplayer/TimeRange.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

ZRTimeline::ZRTimeline(QString hour_label, QWidget* parent)
    : QWidget(parent)
    , name(std::move(hour_label))
{
    setMinimumHeight(25);
    setMaximumHeight(25);
    setMouseTracking(true);
}

void ZRTimeline::set_label(QLabel* hour_label)
{
    label = hour_label;
    if (!label)
        return;
    label->setMinimumHeight(2);
    label_text = label->text();
}

void ZRTimeline::clear_all_minutes()
{
    minutes.fill(0);
}

void ZRTimeline::set_minutes_recorded(int first, int count)
{
    for (int i = first; i < first + count; ++i) {
        if (i >= 0 && i < int(minutes.size()))
            minutes[size_t(i)] = 1;
    }
}

void ZRTimeline::clear_minutes(int first, int count)
{
    for (int i = first; i < first + count; ++i) {
        if (i >= 0 && i < int(minutes.size()))
            minutes[size_t(i)] = 0;
    }
}

void ZRTimeline::set_minutes_from_frames(const QList<ZRFrame>& frames)
{
    int previous = -1;
    for (const ZRFrame& frame : frames) {
        const QTime t = ZRSeekTable::time_of_day(frame.get_timestamp());
        if (!t.isValid())
            continue;
        const int minute = t.minute();
        if (minute != previous)
            set_minutes_recorded(minute, 1);
        previous = minute;
    }
}

int ZRTimeline::minute_slot(int minute) const
{
    if (minute < 0 || minute >= int(minutes.size()))
        return 0;
    return minutes[size_t(minute)] == 1 ? 1 : 0;
}

QList<ZRTag*> ZRTimeline::get_tags() const
{
    QList<ZRTag*> out;
    for (const QPointer<ZRTag>& tag : tags) {
        if (tag)
            out.append(tag.data());
    }
    return out;
}

void ZRTimeline::check_and_add_tags(const QList<ZRTag*>& candidates, int camera)
{
    tags.clear();
    const TimeRange range(name);
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
        write_log("[INFO] ZRTimeline :: tag insert " + when);
    }
}

QTime ZRTimeline::time_at(int x) const
{
    if (paint_rect.isEmpty() || paint_rect.width() < 1)
        return QTime();
    const QTime start = QTime::fromString(label_text.split(QStringLiteral(" - ")).value(0), QStringLiteral("HH:mm:ss"));
    return start.addSecs(x * 3600 / paint_rect.width());
}

bool ZRTimeline::event(QEvent* e)
{
    if (e->type() == QEvent::Leave) {
        if (label)
            label->setText(label_text);
        update();
    }
    return QWidget::event(e);
}

void ZRTimeline::mousePressEvent(QMouseEvent* e)
{
    Q_UNUSED(e);
}

void ZRTimeline::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || paint_rect.isEmpty())
        return;
    const QString time = time_at(e->position().toPoint().x()).toString(QStringLiteral("HH:mm:ss"));
    write_log("[INFO] ZRTimeline :: mouse release event :: " + time + " / " + QString::number(camera_id));
    emit clicked(time, camera_id);
}

void ZRTimeline::mouseMoveEvent(QMouseEvent* e)
{
    const QPoint at = e->position().toPoint();
    if (isVisible())
        TagToolTip::show_for(get_tags(), at.x(), e->globalPosition().toPoint());
    if (!isVisible() || !label || paint_rect.isEmpty() || paint_rect.width() < 1) {
        if (label)
            label->setText(label_text);
    } else {
        label->setText(label_text + QStringLiteral(" > ") + time_at(at.x()).toString(QStringLiteral("HH:mm:ss")));
    }
    update();
    QWidget::mouseMoveEvent(e);
}

void ZRTimeline::paintEvent(QPaintEvent* e)
{
    // The whole strip, whatever part of it needs repainting: the marks are laid out on it.
    const QRect r = rect();
    paint_rect = r;
    const int h = height();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRect(r.x(), r.y() + 10, r.width(), r.height() - 10), Qt::black);
    const int mark = int(r.width() * 1.3 / 60.0);
    for (int i = 0; i < int(minutes.size()); ++i) {
        if (minutes[size_t(i)] == 1)
            painter.fillRect(QRect(r.width() * i / 60, 10, mark, h - 10), Qt::red);
    }
    const int tag_width = int(r.width() * 0.8 / 60.0);
    for (const QPointer<ZRTag>& tag : tags) {
        if (!tag)
            continue;
        const QTime t = TimeRange::time_of_stamp(tag->get_tag_datetime());
        const int x = t.minute() * r.width() / 60;
        tag->set_x(x);
        tag->set_width(tag_width);
        painter.setBrush(Qt::green);
        painter.drawEllipse(QRect(x - 3, 3, 9, 9));
        painter.fillRect(QRect(x, 10, tag_width, h - 10), Qt::green);
    }
    painter.end();
    QWidget::paintEvent(e);
}
