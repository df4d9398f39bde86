#pragma once

#include "media/ZRFrame.h"

#include <QList>
#include <QPointer>
#include <QSlider>
#include <QString>
#include <QTime>

#include <array>

class ZRTag;

// The day slider: a minute of the day as its value, drawn over a groove that shows the
// camera's recorded minutes in red and its tags in green. Releasing it reports the chosen
// minute with the camera id.
class ZRSlidertimeline : public QSlider
{
    Q_OBJECT

public:
    explicit ZRSlidertimeline(QWidget* parent = nullptr);

    void clear_all_minutes();
    void set_minutes_recorded(int first, int count);
    void clear_minutes(int first, int count);
    void set_camera_id(int id) { camera_id = id; }
    int get_camera_id() const { return camera_id; }
    void set_minutes_from_frames(const QList<ZRFrame>& frames);
    // 1 for a recorded minute, 0 otherwise (also outside 0..1439).
    int minute_slot(int minute) const;

    void check_and_add_tags(const QList<ZRTag*>& tags, int camera_id);
    QList<ZRTag*> get_tags() const;
    QString get_value_text() const { return value_text; }

signals:
    void change_value(QString value_text, int camera_id);
    void slider_move(QTime time);

public:
    using QAbstractSlider::setValue;

public slots:
    // The playback reader's position: the minute of a "yyyyMMddHHmmsszzz" stamp; the integer
    // is not used.
    void setValue(int unused, QString time_stamp);
    void get_value_changed(int value);
    void release();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    std::array<int, 1440> minutes{};
    int camera_id = -1;
    QString value_text;
    // Guarded: the records belong to whoever built the list.
    QList<QPointer<ZRTag>> tags;
    QString range_text;
};
