#pragma once

#include "store/Vignette.h"

#include <QAbstractListModel>
#include <QList>

// The alarm list of one day: one row per alarm thumbnail, showing its date and time.
class AlarmModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit AlarmModel(QList<Vignette> vignettes, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // Role 0: "yyyy-MM-dd HH:mm:ss"; role 8: the thumbnail path.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // A copy of the record at a valid row (an empty record otherwise).
    Vignette get_vignette(int row) const;

private:
    QList<Vignette> vignettes;
};
