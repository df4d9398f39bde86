#pragma once

#include <QHash>
#include <QPixmap>
#include <QTabBar>

// A tab bar that shows each tab as an icon.
class ZRPlayer_TabBar : public QTabBar
{
    Q_OBJECT

public:
    explicit ZRPlayer_TabBar(const QHash<int, QPixmap>& icons, QWidget* parent = nullptr);
    ~ZRPlayer_TabBar() override;

    // The icon of a tab index; an empty pixmap for an index without one.
    QPixmap icon_of(int index) const { return icons.value(index); }
    bool has_icon_entry(int index) const { return icons.contains(index); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void tabInserted(int index) override;
    void tabRemoved(int index) override;

private:
    QHash<int, QPixmap> icons;
};
