#pragma once

#include <QList>
#include <QPoint>

class ZRTag;

// The tool tip of the tag under the cursor on a strip whose painting stored each tag's x and
// width; hidden when no tag lies under it.
class TagToolTip
{
public:
    static void show_for(const QList<ZRTag*>& tags, int x, const QPoint& global);
};
