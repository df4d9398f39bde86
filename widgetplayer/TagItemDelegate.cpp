#include "widgetplayer/TagItemDelegate.h"

#include "widgetplayer/ListEntryButtons.h"
#include "widgetplayer/WidgetPlayerResources.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QStringList>

TagItemDelegate::TagItemDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
    init_widgetplayer_resources();
}

void TagItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QRect r = option.rect;
    const QStringList texts = index.data(Qt::DisplayRole).toStringList();
    const QString path = index.data(Qt::BackgroundRole).toString();
    const auto text = [&texts](int i) { return i < texts.size() ? texts.at(i) : QString(); };
    painter->save();
    painter->setPen(Qt::white);
    painter->setFont(QFont(QStringLiteral("DejaVu Sans Condensed"), 10));
    painter->drawImage(QRect(r.x(), r.y() + r.height() / 2 - 16, 32, 32), QImage(QStringLiteral(":/imgs/tag.png")));
    painter->drawText(QRect(r.x() + 40, r.y() + 5, r.width(), 15), text(0), QTextOption());
    painter->drawText(QRect(r.x() + 40, r.y() + 25, r.width(), 15), text(1) + QStringLiteral(" - ") + text(2),
                      QTextOption());
    painter->drawLine(r.x(), r.y() + r.height(), r.x() + r.width(), r.y() + r.height());
    if (!path.isNull()) {
        const QImage image(path);
        if (!image.isNull())
            painter->drawImage(QRect(r.x(), r.y() + 25, r.width(), r.height() - 25), image);
    }
    if (option.state & QStyle::State_MouseOver)
        painter->fillRect(r, QColor(204, 204, 204, 80));
    painter->restore();
}

QWidget* TagItemDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const
{
    if (index.column() == 1)
        return ListEntryButtons::create_editor(parent, index);
    return QStyledItemDelegate::createEditor(parent, option, index);
}

void TagItemDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    if (index.column() == 1)
        ListEntryButtons::set_editor_data(editor, index);
    else
        QStyledItemDelegate::setEditorData(editor, index);
}

void TagItemDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    if (index.column() == 1)
        ListEntryButtons::set_model_data(editor, model, index);
    else
        QStyledItemDelegate::setModelData(editor, model, index);
}

bool TagItemDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                  const QModelIndex& index)
{
    Q_UNUSED(model);
    if (event->type() != QEvent::MouseButtonPress)
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (ListEntryButtons::in_corner(option.rect, mouse->position().toPoint())) {
        emit cellDownloadButtonClicked(index);
        return true;
    }
    emit cellButtonClicked(index);
    return false;
}
