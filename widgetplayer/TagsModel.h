#pragma once

#include "store/Vignette.h"

#include <QAbstractListModel>
#include <QList>

// The tag list of one day: one row per tag, showing its moment, name and description.
class TagsModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit TagsModel(QList<Vignette> vignettes, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // Role 0: the texts [date and time, name, description]; role 8: the record's file path.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // A copy of the record at a valid row (an empty record otherwise).
    Vignette get_vignette(int row) const;

private:
    QList<Vignette> vignettes;
};
