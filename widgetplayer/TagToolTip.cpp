#include "widgetplayer/TagToolTip.h"

#include "store/ZRTag.h"

#include <QRect>
#include <QToolTip>

void TagToolTip::show_for(const QList<ZRTag*>& tags, int x, const QPoint& global)
{
    // The last tag under the cursor wins, so a tag never hides the tool tip of another.
    const ZRTag* under = nullptr;
    for (const ZRTag* tag : tags) {
        if (tag && x >= tag->get_x() && x <= tag->get_x() + tag->get_width())
            under = tag;
    }
    if (under)
        QToolTip::showText(global, under->get_tag_name() + QStringLiteral(" - ") + under->get_tag_description(),
                           nullptr, QRect());
    else
        QToolTip::hideText();
}
