//! labels: gui
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "widgetplayer/ZRPlayer_TabBar.h"
#include "widgetplayer/ZRPlayer_TabWidget.h"

#include <QtTest>

// The side panel's tab widget: one icon per tab, and its log lines.
class TestTabWidget : public QObject
{
    Q_OBJECT

    // The window's tab style: transparent tabs of 40 x 40 pixels.
    static const char* sheet()
    {
        return "ZRPlayer_TabBar::tab { background: transparent; border: 2px solid #656565; "
               "min-width: 40px; max-width: 40px; min-height: 40px; max-height: 40px; }"
               "ZRPlayer_TabBar::scroller { width: 0px; } ZRPlayer_TabWidget { background: #202020; }";
    }

    static int lightPixels(const QImage& img, const QRect& area)
    {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (img.pixelColor(x, y).lightness() > 250)
                    ++n;
        return n;
    }

private slots:
    void iconsInTableOrder()
    {
        zrtest::LogCatcher log;
        ZRPlayer_TabWidget tabs;
        QVERIFY(log.contains("[INFO] ZRPlayer Tab :: construct"));
        tabs.setStyleSheet(sheet());
        for (int i = 0; i < 4; ++i)
            tabs.addTab(new QWidget, QString());
        for (int i = 0; i < 4; ++i)
            QCOMPARE(log.count("[INFO] ZRPlayer Tab :: tab inserted :: " + QString::number(i)), 1);
        tabs.resize(300, 300);
        tabs.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tabs));
        ZRPlayer_TabBar* bar = tabs.icon_bar();
        QVERIFY(bar);

        // Each tab shows its own icon: the white strokes of the four images differ.
        const QImage shot = bar->grab().toImage();
        QList<QImage> cells;
        for (int i = 0; i < 4; ++i) {
            const QRect r = bar->tabRect(i);
            QVERIFY2(lightPixels(shot, r.adjusted(3, 3, -3, -3)) > 15, qPrintable(QString::number(i)));
            cells << shot.copy(r);
        }
        for (int i = 0; i < 4; ++i)
            for (int j = i + 1; j < 4; ++j)
                QVERIFY(cells.at(i) != cells.at(j));
        const QStringList files{":/imgs/directory.png", ":/imgs/playback.png", ":/imgs/alarms.png", ":/imgs/tag.png"};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(bar->icon_of(i).toImage(), QPixmap(files.at(i)).toImage());

        // A fifth tab has no icon: it draws nothing and gets an empty entry.
        QVERIFY(!bar->has_icon_entry(4));
        tabs.addTab(new QWidget, QString());
        const QImage five = bar->grab().toImage();

        QVERIFY(bar->has_icon_entry(4));
        QVERIFY(bar->icon_of(4).isNull());
        QVERIFY2(bar->rect().contains(bar->tabRect(4)),
                 qPrintable(QString("%1x%2 / %3,%4").arg(bar->width()).arg(bar->height()).arg(bar->tabRect(4).x()).arg(bar->tabRect(4).width())));
        QCOMPARE(lightPixels(five, bar->tabRect(4).adjusted(3, 3, -3, -3)), 0);

        tabs.removeTab(4);
        QCOMPARE(log.count("[INFO] ZRPlayer Tab :: tab removed ::  4"), 1);
    }

    void resizesAreLogged()
    {
        ZRPlayer_TabWidget tabs;
        tabs.addTab(new QWidget, QString());
        tabs.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tabs));
        zrtest::LogCatcher log;
        tabs.icon_bar()->resize(80, 40);
        tabs.icon_bar()->resize(90, 40);
        QCOMPARE(log.count("[INFO] ZRPlayer Tab :: resize event"), 2);
    }
};

ZR_TEST_MAIN_GUI(TestTabWidget)
#include "tst_tab_widget.moc"
