#pragma once

#include <QFileSystemModel>
#include <QHash>
#include <QSet>
#include <QString>

// The widget player's file tree: recording files named by their time, day folders coloured,
// and the folders that hold larger files marked on request.
class ZRVideoFileSystemModel : public QFileSystemModel
{
    Q_OBJECT

public:
    // The parent is not passed on: the window hands the model to a proxy and owns it itself.
    explicit ZRVideoFileSystemModel(QObject* parent = nullptr);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // Walks the root folder once and keeps every file's size under its path.
    void populateFileToSizeHash();
    // Paths of the files above 51200 bytes and of their folders, from the last identifyPathsOfSize.
    QSet<QString> get_marked_paths() const { return marked_paths; }

    // The role that answers a recording file's full date and time.
    static constexpr int DateTimeRole = 15;

public slots:
    // The limit is fixed at 51200 bytes whatever sizeLimit says.
    void identifyPathsOfSize(int sizeLimit);

private:
    QHash<QString, qint64> file_sizes;
    QSet<QString> marked_paths;
};
