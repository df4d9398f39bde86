#include "widgetplayer/AlarmModel.h"

#include "widgetplayer/VignetteText.h"

AlarmModel::AlarmModel(QList<Vignette> vignettes, QObject* parent)
    : QAbstractListModel(parent)
    , vignettes(std::move(vignettes))
{
}

int AlarmModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(vignettes.size());
}

int AlarmModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant AlarmModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= vignettes.size())
        return QVariant();
    const Vignette& v = vignettes.at(index.row());
    if (role == Qt::DisplayRole)
        return VignetteText::moment(v.timestamp());
    if (role == Qt::BackgroundRole)
        return v.file_path;
    return QVariant();
}

Vignette AlarmModel::get_vignette(int row) const
{
    if (row < 0 || row >= vignettes.size())
        return Vignette();
    return vignettes.at(row);
}
