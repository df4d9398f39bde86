#pragma once

#include <QFileSystemModel>
#include <QStringList>

// The older twin of the widget player's file model: recording files named by their time,
// without colours or size marks.
class model : public QFileSystemModel
{
    Q_OBJECT

public:
    explicit model(QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;

private:
    QStringList texts;
};
