#include "widgetplayer/TagsModel.h"

#include "widgetplayer/VignetteText.h"

#include <QStringList>

TagsModel::TagsModel(QList<Vignette> vignettes, QObject* parent)
    : QAbstractListModel(parent)
    , vignettes(std::move(vignettes))
{
}

int TagsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(vignettes.size());
}

int TagsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant TagsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= vignettes.size())
        return QVariant();
    const Vignette& v = vignettes.at(index.row());
    if (role == Qt::DisplayRole)
        return QStringList{VignetteText::moment(v.timestamp()), v.tag_name, v.tag_description};
    if (role == Qt::BackgroundRole)
        return v.file_path;
    return QVariant();
}

Vignette TagsModel::get_vignette(int row) const
{
    if (row < 0 || row >= vignettes.size())
        return Vignette();
    return vignettes.at(row);
}
