#pragma once

#include <QObject>
#include <QString>

// One tag read from a ".zrtag" file, with where a timeline last drew it.
class ZRTag : public QObject
{
    Q_OBJECT
public:
    ZRTag() = default;
    ~ZRTag() override = default;

    QString get_tag_id() const { return tag_id; }
    QString get_tag_datetime() const { return tag_datetime; }
    QString get_tag_cam_id() const { return tag_cam_id; }
    QString get_tag_name() const { return tag_name; }
    QString get_tag_description() const { return tag_description; }
    int get_x() const { return x; }
    int get_width() const { return width; }

    void set_tag_id(const QString& value);
    void set_tag_datetime(const QString& value);
    void set_tag_cam_id(const QString& value);
    void set_tag_user_id(const QString& value);
    void set_tag_name(const QString& value);
    void set_tag_created_at(const QString& value);
    void set_tag_description(const QString& value);
    void set_file_encoded_at(const QString& value);
    void set_x(int value) { x = value; }
    void set_width(int value) { width = value; }

    // True until any of the eight texts is set.
    bool is_empty() const { return empty; }

private:
    QString tag_id;
    QString tag_datetime;
    QString tag_cam_id;
    QString tag_user_id;
    QString tag_name;
    QString tag_created_at;
    QString tag_description;
    QString file_encoded_at;
    int x = 0;
    int width = 0;
    bool empty = true;
};
