#pragma once

#include "media/ZRFrame.h"

#include <QList>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <array>

class QLabel;
class ZRTag;

// One hour of one camera as a strip of 60 minute slots: recorded minutes red, the hour's
// tags green. Hovering shows the time under the cursor in the companion label; a left click
// reports that time.
class ZRTimeline : public QWidget
{
    Q_OBJECT

public:
    // name is the hour label, "HH:mm:ss - HH:mm:ss".
    explicit ZRTimeline(QString name, QWidget* parent = nullptr);

    void set_label(QLabel* label);
    void set_camera_id(int id) { camera_id = id; }
    int get_camera_id() const { return camera_id; }
    QString get_name() const { return name; }

    void clear_all_minutes();
    void set_minutes_recorded(int first, int count);
    void clear_minutes(int first, int count);
    void set_minutes_from_frames(const QList<ZRFrame>& frames);
    // 1 for a recorded minute, 0 otherwise (also outside 0..59).
    int minute_slot(int minute) const;

    void check_and_add_tags(const QList<ZRTag*>& tags, int camera_id);
    QList<ZRTag*> get_tags() const;

signals:
    void clicked(QString time, int camera_id);

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The time under x once the strip has been painted; invalid before.
    QTime time_at(int x) const;

    std::array<int, 60> minutes{};
    QPointer<QLabel> label;
    QString label_text;
    QRect paint_rect;
    int camera_id = -1;
    // Guarded: the records belong to whoever built the list.
    QList<QPointer<ZRTag>> tags;
    QString name;
};
