#pragma once

#include <QAbstractListModel>
#include <QString>

class Download_presentation;
class Presentation_Interface;

// One list of the download window ("download", "success" or "error") as a model: the rows
// are widgets placed on the view; the model gives their count, a tooltip and their removal.
class DownloadPresentationModel : public QAbstractListModel
{
    Q_OBJECT

public:
    DownloadPresentationModel(Download_presentation* window, QString kind, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // Removes only rows that have ended (succeeded, or failed with "Relancer" on offer).
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

    // The window adds rows through these (announcing them to the view).
    void append_row(Presentation_Interface* row);
    // Takes the row out of its list by identity and releases it; false when it is not there.
    bool take_row(Presentation_Interface* row);

    QString kind() const { return m_kind; }

private:
    QList<Presentation_Interface*>* list() const;

    Download_presentation* window;
    QString m_kind;
};
