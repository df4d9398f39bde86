#pragma once

#include <QTabWidget>

class ZRPlayer_TabBar;

// The widget player's side tabs: folder tree, playback, alarms and tags, each shown by an icon.
class ZRPlayer_TabWidget : public QTabWidget
{
    Q_OBJECT

public:
    explicit ZRPlayer_TabWidget(QWidget* parent = nullptr);

    ZRPlayer_TabBar* icon_bar() const;
};
