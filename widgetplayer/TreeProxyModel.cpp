#include "widgetplayer/TreeProxyModel.h"

#include <QDate>

bool TreeProxyModel::filterAcceptsRow(int source_row, const QModelIndex& source_parent) const
{
    QAbstractItemModel* source = sourceModel();
    if (!source)
        return false;
    const QString parent_text = source->data(source_parent, Qt::DisplayRole).toString();
    if (QDate::fromString(parent_text, QStringLiteral("yyyy-MM-dd")).isValid()) {
        const QModelIndex own = source->index(source_row, 0, source_parent);
        const QString text = source->data(own, Qt::DisplayRole).toString();
        const QModelIndex start = source->index(0, 0, source_parent);
        const QModelIndexList hits =
            source->match(start, Qt::DisplayRole, text, 2, Qt::MatchExactly | Qt::MatchRecursive);
        if (hits.size() > 1)
            return false;
    }
    return QSortFilterProxyModel::filterAcceptsRow(source_row, source_parent);
}
