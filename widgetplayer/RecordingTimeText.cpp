#include "widgetplayer/RecordingTimeText.h"

#include "store/StoreLayout.h"

#include <QDate>
#include <QTime>
#include <QFileSystemModel>

QVariant RecordingTimeText::answer(const QFileSystemModel* model, const QModelIndex& index, int role)
{
    const QVariant base = model->QFileSystemModel::data(index, Qt::DisplayRole);
    const QString name = base.toString();
    QString camera, date, time;
    if (!name.contains(QLatin1String(".zrvideo")) || !splitRecordingBaseName(name, &camera, &date, &time))
        return base;
    // Date and time apart: a wall-clock name inside a daylight-saving gap is still a time.
    const QDate day = QDate::fromString(date, QStringLiteral("yyyyMMdd"));
    const QTime clock = QTime::fromString(time, QStringLiteral("HHmmss"));
    if (!day.isValid() || !clock.isValid())
        return QString();
    const QString clockText = clock.toString(QStringLiteral("HH:mm:ss"));
    if (role == Qt::DisplayRole)
        return clockText;
    return day.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') + clockText;
}
