#pragma once

#include <QFileInfo>
#include <QMetaType>
#include <QString>

// One entry of an alarm list (a thumbnail with its camera, day and time) or of a tag list
// (a tag with its name, description and moment). A plain value: copied into lists and signals.
class Vignette
{
public:
    Vignette() = default;
    // Alarm entry.
    Vignette(QString file_name, QString file_path, QString camera_name, QString camera_id,
             QString date, QString time);
    // Tag entry; the folder path, tag id and camera id texts are not kept.
    Vignette(QString tag_file_name, QString folder_path, QFileInfo file, QString camera_name,
             QString date_time, QString tag_name, QString tag_description, QString tag_id,
             QString tag_camera_id);

    Vignette(const Vignette&) = default;
    Vignette(Vignette&&) = default;
    Vignette& operator=(const Vignette&) = default;
    Vignette& operator=(Vignette&&) = default;
    ~Vignette() = default;

    // The entry's moment, "yyyyMMddHHmmss": the tag's own, else read from the alarm file's
    // name; a null text when neither gives one.
    QString timestamp() const;

    QFileInfo file_info;
    QString file_name;
    QString tag_file_name;
    QString camera_name;
    QString file_path;
    QString image_path;
    QString date;
    QString time;
    QString camera_id;
    QString m_timestamp; // the tag's moment (the member behind timestamp())
    QString tag_name;
    QString tag_description;
};

Q_DECLARE_METATYPE(Vignette)
