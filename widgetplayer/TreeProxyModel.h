#pragma once

#include <QSortFilterProxyModel>

// The widget player's folder tree between the file model and the view: inside a day folder,
// an entry whose text appears twice or more below that day is hidden, every copy of it.
class TreeProxyModel : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int source_row, const QModelIndex& source_parent) const override;
};
