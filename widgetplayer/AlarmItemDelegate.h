#pragma once

#include <QStyledItemDelegate>

// Paints an alarm entry (time, thumbnail, download button) and tells a press on the
// download corner from a press on the entry.
class AlarmItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit AlarmItemDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

signals:
    void cellDownloadButtonClicked(QModelIndex index);
    void cellButtonClicked(QModelIndex index);
};
