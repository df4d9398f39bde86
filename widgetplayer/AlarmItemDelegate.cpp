#include "widgetplayer/AlarmItemDelegate.h"

#include "app/Log.h"
#include "widgetplayer/ListEntryButtons.h"
#include "widgetplayer/WidgetPlayerResources.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>

AlarmItemDelegate::AlarmItemDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
    init_widgetplayer_resources();
}

void AlarmItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QRect r = option.rect;
    const QString text = index.data(Qt::DisplayRole).toString();
    const QString thumbnail = index.data(Qt::BackgroundRole).toString();
    painter->save();
    if (!thumbnail.isNull()) {
        painter->setPen(Qt::white);
        painter->setFont(QFont(QStringLiteral("DejaVu Sans Condensed"), 10));
        painter->drawText(QRect(r.x(), r.y() + 5, r.width(), 15), text, QTextOption());
        const QImage image(thumbnail);
        if (!image.isNull())
            painter->drawImage(QRect(r.x(), r.y() + 25, r.width(), r.height() - 25), image);
    }

    QStyleOptionButton button;
    button.rect = QRect(r.x() + r.width() - ListEntryButtons::kCorner, r.y(), ListEntryButtons::kCorner,
                        ListEntryButtons::kCorner);
    button.state = QStyle::State_Enabled;
    button.icon = QIcon(QStringLiteral(":/imgs/download_white.png"));
    button.iconSize = QSize(15, 15);
    QApplication::style()->drawControl(QStyle::CE_PushButtonLabel, &button, painter);

    if (option.state & QStyle::State_MouseOver)
        painter->fillRect(r, QColor(204, 204, 204, 80));
    painter->restore();
}

QWidget* AlarmItemDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const
{
    if (index.column() == 1)
        return ListEntryButtons::create_editor(parent, index);
    return QStyledItemDelegate::createEditor(parent, option, index);
}

void AlarmItemDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    if (index.column() == 1)
        ListEntryButtons::set_editor_data(editor, index);
    else
        QStyledItemDelegate::setEditorData(editor, index);
}

void AlarmItemDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    if (index.column() == 1)
        ListEntryButtons::set_model_data(editor, model, index);
    else
        QStyledItemDelegate::setModelData(editor, model, index);
}

bool AlarmItemDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                    const QModelIndex& index)
{
    Q_UNUSED(model);
    if (event->type() != QEvent::MouseButtonPress)
        return false;
    write_log("[INFO] AlarmItemDelegate :: Mouse MouseButtonPress");
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (ListEntryButtons::in_corner(option.rect, mouse->position().toPoint())) {
        emit cellDownloadButtonClicked(index);
        return true;
    }
    emit cellButtonClicked(index);
    return false;
}
