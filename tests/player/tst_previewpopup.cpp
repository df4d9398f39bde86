//! labels: gui
#include "player/PreviewPopup.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

class TestPreviewPopup : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString picture;

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        picture = dir.filePath(QStringLiteral("alarm-thumb.jpg"));
        QImage image(160, 90, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QVERIFY(image.save(picture, "JPG"));
    }

    void captions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::newRow("alarm time") << "20250619091625" << "2025-06-19 09:16:25";
        QTest::newRow("other text") << "abc" << "abc";
        QTest::newRow("impossible date") << "20251319091625" << "20251319091625";
    }

    void captions()
    {
        QFETCH(QString, text);
        QFETCH(QString, caption);
        PreviewPopup popup;
        popup.showAtGlobal(400, 300, picture, text);
        QCOMPARE(popup.findChild<QLabel*>(QStringLiteral("previewCaption"))->text(), caption);
        // An empty text leaves the caption as it was.
        popup.showAtGlobal(400, 300, picture);
        QCOMPARE(popup.findChild<QLabel*>(QStringLiteral("previewCaption"))->text(), caption);
    }

    void placedAboveThePointAndFadesIn()
    {
        PreviewPopup popup;
        QVERIFY(popup.testAttribute(Qt::WA_ShowWithoutActivating));
        QVERIFY(popup.windowFlags() & Qt::ToolTip);
        popup.showAtGlobal(500, 400, picture, QStringLiteral("20250619091625"));
        QVERIFY(popup.isVisible());
        QVERIFY(popup.width() <= 280 && popup.height() <= 210);
        QCOMPARE(popup.pos(), QPoint(500 - popup.width() / 2, 400 - popup.height() - 20));
        auto* image = popup.findChild<QLabel*>(QStringLiteral("previewImage"));
        QVERIFY(!image->pixmap().isNull());
        auto* effect = qobject_cast<QGraphicsOpacityEffect*>(image->graphicsEffect());
        QVERIFY(effect);
        QVERIFY(effect->opacity() < 1.0);
        QVERIFY(zrtest::waitUntil([&] { return effect->opacity() >= 1.0; }));

        // A second call moves it and starts the fade again.
        popup.showAtGlobal(700, 500, picture);
        QVERIFY(effect->opacity() < 1.0);
        QCOMPARE(popup.pos(), QPoint(700 - popup.width() / 2, 500 - popup.height() - 20));
        popup.hidePopup();
        QVERIFY(!popup.isVisible());
    }

    void missingPictureShowsCaptionAlone()
    {
        zrtest::LogCatcher log;
        PreviewPopup popup;
        popup.showAtGlobal(400, 300, picture, QStringLiteral("first"));
        const QString missing = dir.filePath(QStringLiteral("gone.jpg"));
        popup.showAtGlobal(400, 300, missing, QStringLiteral("20250619091625"));
        QVERIFY(popup.isVisible());
        QVERIFY(popup.findChild<QLabel*>(QStringLiteral("previewImage"))->pixmap().isNull());
        QCOMPARE(popup.findChild<QLabel*>(QStringLiteral("previewCaption"))->text(), QStringLiteral("2025-06-19 09:16:25"));
        QVERIFY(log.contains(QStringLiteral("[PreviewPopup] Image non chargée:")));
        QVERIFY(log.contains(missing));
    }
};

ZR_TEST_MAIN_GUI(TestPreviewPopup)
#include "tst_previewpopup.moc"
