#include "widgetplayer/model.h"

#include "app/Log.h"
#include "widgetplayer/RecordingTimeText.h"

model::model(QObject* parent)
    : QFileSystemModel(parent)
{
}

QVariant model::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return QVariant();
    if (role != Qt::DisplayRole && role != 15)
        return QFileSystemModel::data(index, role);
    return RecordingTimeText::answer(this, index, role);
}

bool model::setData(const QModelIndex& index, const QVariant& value, int role)
{
    write_log("Model:: Set data " + value.toString());
    if (role == Qt::CheckStateRole) {
        write_log("Model:: Set data " + value.toString());
        emit dataChanged(index, index);
        return true;
    }
    return QFileSystemModel::setData(index, value, role);
}

int model::rowCount(const QModelIndex& parent) const
{
    return QFileSystemModel::rowCount(parent);
}
