#include "store/Vignette.h"

#include <QStringList>

Vignette::Vignette(QString file_name, QString file_path, QString camera_name, QString camera_id,
                   QString date, QString time)
    : file_name(std::move(file_name))
    , camera_name(std::move(camera_name))
    , file_path(std::move(file_path))
    , date(std::move(date))
    , time(std::move(time))
    , camera_id(std::move(camera_id))
{
}

Vignette::Vignette(QString tag_file_name, QString folder_path, QFileInfo file, QString camera_name,
                   QString date_time, QString tag_name, QString tag_description, QString tag_id,
                   QString tag_camera_id)
    : file_info(std::move(file))
    , tag_file_name(std::move(tag_file_name))
    , camera_name(std::move(camera_name))
    , m_timestamp(std::move(date_time))
    , tag_name(std::move(tag_name))
    , tag_description(std::move(tag_description))
{
    Q_UNUSED(folder_path);
    Q_UNUSED(tag_id);
    Q_UNUSED(tag_camera_id);
}

QString Vignette::timestamp() const
{
    if (!m_timestamp.isEmpty())
        return m_timestamp;
    if (file_name.isEmpty())
        return QString();

    // Alarm names: camera_alarm_day_time (four parts) or camera_day_time[...].
    const QStringList parts = file_name.split(QLatin1Char('_'));
    if (parts.size() < 3)
        return QString();
    const bool fourParts = parts.size() == 4;
    const QString day = parts.at(fourParts ? 2 : 1);
    QString time = parts.at(fourParts ? 3 : 2);
    const int dash = time.indexOf(QLatin1Char('-'));
    if (dash >= 0)
        time.truncate(dash);
    if (day.isEmpty() || time.isEmpty())
        return QString();
    return day + time;
}

static const int vignetteMetaTypeId = qRegisterMetaType<Vignette>("Vignette");
