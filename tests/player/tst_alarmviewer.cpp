//! labels: gui
#include "player/AlarmViewer.h"
#include "tests/player/ModalScript.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QImage testPicture(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(QColor(200, 40, 40));
    for (int y = 0; y < height / 2; ++y)
        for (int x = 0; x < width / 2; ++x)
            picture.setPixel(x, y, qRgb(20, 180, 60));
    return picture;
}

// Answers the save dialog with a path, like an operator typing it and pressing Enter.
zrtest::ModalScript::Handler saveAs(const QString& target, QString* suggested)
{
    return [target, suggested](QWidget* widget) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        if (!dialog) {
            widget->close();
            return;
        }
        if (suggested) {
            const QString typed = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
            *suggested = QDir(dialog->directory()).filePath(typed);
        }
        QTimer::singleShot(0, dialog, [dialog, target] {
            const QFileInfo info(target);
            dialog->setDirectory(info.absolutePath());
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(info.fileName());
            QMetaObject::invokeMethod(dialog, "accept");
        });
    };
}

// Reads the box's title and text and presses its button.
zrtest::ModalScript::Handler answerBox(QString* title, QString* text,
                                       QMessageBox::StandardButton button = QMessageBox::Ok)
{
    return [title, text, button](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (!box) {
            widget->close();
            return;
        }
        *title = box->windowTitle();
        *text = box->text();
        QAbstractButton* press = box->button(button);
        QTimer::singleShot(0, box, [box, press] {
            if (press)
                press->click();
            else
                box->reject();
        });
    };
}

void triggerSave(AlarmViewer* viewer)
{
    QAction* save = viewer->findChild<QAction*>(QStringLiteral("saveAction"));
    QVERIFY(save);
    QTimer::singleShot(0, save, &QAction::trigger);
}

bool deleted(const QPointer<AlarmViewer>& viewer)
{
    return zrtest::waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return viewer.isNull();
    });
}

} // namespace

class TestAlarmViewer : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY(QDir().mkpath(QDir::homePath() + QStringLiteral("/Downloads")));
    }

    void cleanedNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("cleaned");
        QTest::newRow("frame time") << "2025-06-19 09:16:25.123.jpg" << "2025-06-19 09_16_25.123.jpg";
        QTest::newRow("every forbidden character") << "a\\b/c:d*e?f\"g<h>i|j.jpg" << "a_b_c_d_e_f_g_h_i_j.jpg";
        QTest::newRow("trailing dots and blanks") << "name?..  " << "name_";
        QTest::newRow("only dots and blanks") << ". . ." << "fichier";
        QTest::newRow("empty") << "" << "fichier";
        QTest::newRow("no frame shown yet") << ".jpg" << ".jpg";
    }

    void cleanedNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, cleaned);
        QCOMPARE(AlarmViewer::cleanFileName(name), cleaned);
    }

    void alarmSaveNames_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("camera");
        QTest::addColumn<QString>("expected");
        QTest::newRow("camera, alarm, day, time") << "12_345_20250619_091625-thumb.jpg" << "Hall Nord"
                                                  << "HallNord_345_2025-06-19_091625.jpg";
        QTest::newRow("three parts") << "12_20250619_091625-thumb.jpg" << "Quai" << "Quai_2025-06-19_091625.jpg";
        QTest::newRow("five parts") << "12_20250619_091625_a_b-thumb.jpg" << "Quai" << "Quai_2025-06-19_091625";
        QTest::newRow("too few parts keep the name") << "alarm-thumb.jpg" << "Quai" << "Quai_alarm.jpg";
        QTest::newRow("camera name unfit for a file") << "12_345_20250619_091625-thumb.jpg" << "Entrée A/B"
                                                      << "EntréeA_B_345_2025-06-19_091625.jpg";
    }

    void alarmSaveNames()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, camera);
        QFETCH(QString, expected);
        QCOMPARE(AlarmViewer::alarmSaveName(fileName, camera), expected);
    }

    void snapshotSavesJpegAndDeletesItself()
    {
        zrtest::LogCatcher log;
        QPointer<AlarmViewer> viewer = new AlarmViewer(testPicture(400, 300), QStringLiteral("2025-06-19 09:16:25.123.jpg"));
        viewer->show();
        QCOMPARE(viewer->saveName(), QStringLiteral("2025-06-19 09_16_25.123.jpg"));
        QVERIFY(log.contains(QStringLiteral("[INFO] AlarmViewer :: load image 2025-06-19 09_16_25.123.jpg")));
        QCOMPARE(viewer->size(), QSize(400, 300));

        const QString target = dir.filePath(QStringLiteral("snapshot.jpg"));
        QString suggested, title, text;
        zrtest::ModalScript script;
        script.then(saveAs(target, &suggested)).thenOnly("QMessageBox", answerBox(&title, &text));
        triggerSave(viewer);

        QVERIFY(deleted(viewer));
        QCOMPARE(script.pending(), 0);
        QVERIFY(!script.timedOut());
        QCOMPARE(QDir::cleanPath(suggested),
                 QDir::cleanPath(QDir::homePath() + QStringLiteral("/Downloads/2025-06-19 09_16_25.123.jpg")));
        QCOMPARE(title, QStringLiteral("Information"));
        QCOMPARE(text, QStringLiteral("Fichier enregistré avec succés."));

        QImageReader reader(target);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        const QImage saved = reader.read();
        QCOMPARE(saved.size(), QSize(400, 300));
        // A JPEG is lossy; the two colour areas must still be where they were.
        QVERIFY(qGreen(saved.pixel(5, 5)) > 120 && qRed(saved.pixel(5, 5)) < 100);
        QVERIFY(qRed(saved.pixel(390, 290)) > 150 && qGreen(saved.pixel(390, 290)) < 100);
    }

    void snapshotWithoutSuffixIsStillJpeg()
    {
        QPointer<AlarmViewer> viewer = new AlarmViewer(testPicture(32, 32), QStringLiteral("x.jpg"));
        const QString target = dir.filePath(QStringLiteral("no-suffix"));
        QString title, text;
        zrtest::ModalScript script;
        script.then(saveAs(target, nullptr)).thenOnly("QMessageBox", answerBox(&title, &text));
        triggerSave(viewer);
        QVERIFY(deleted(viewer));
        QCOMPARE(title, QStringLiteral("Information"));
        QCOMPARE(QImageReader(target).format(), QByteArray("jpeg"));
    }

    void cancelledSaveKeepsViewerOpen()
    {
        QPointer<AlarmViewer> viewer = new AlarmViewer(testPicture(32, 32), QStringLiteral("x.jpg"));
        viewer->show();
        zrtest::ModalScript script;
        script.then([](QWidget* w) { QTimer::singleShot(0, w, [w] { qobject_cast<QDialog*>(w)->reject(); }); });
        triggerSave(viewer);
        QVERIFY(zrtest::waitUntil([&] { return script.pending() == 0 && !QApplication::activeModalWidget(); }));
        QTest::qWait(50);
        QVERIFY(viewer);
        QVERIFY(viewer->isVisible());
        viewer->close();
        QVERIFY(deleted(viewer));
    }

    void alarmImageIsCopiedAndExistingTargetFails()
    {
        // Only the file's own name loses its mark, not a folder that happens to carry it.
        const QString day = dir.filePath(QStringLiteral("alarms-thumb"));
        QVERIFY(QDir().mkpath(day));
        const QString full = day + QStringLiteral("/12_345_20250619_091625.jpg");
        const QString thumb = day + QStringLiteral("/12_345_20250619_091625-thumb.jpg");
        QVERIFY(testPicture(120, 90).save(full, "JPG"));
        QVERIFY(testPicture(40, 30).save(thumb, "JPG"));

        Vignette alarm(QStringLiteral("12_345_20250619_091625-thumb.jpg"), thumb, QStringLiteral("Hall Nord"),
                       QStringLiteral("12"), QStringLiteral("20250619"), QStringLiteral("091625"));

        zrtest::LogCatcher log;
        QPointer<AlarmViewer> viewer = new AlarmViewer(alarm);
        viewer->show();
        QVERIFY(log.contains(QStringLiteral("[INFO] AlarmViewer :: filename ") + full));
        QCOMPARE(viewer->saveName(), QStringLiteral("HallNord_345_2025-06-19_091625.jpg"));
        // The full-size picture is shown, not the thumbnail.
        auto* label = viewer->findChild<QLabel*>(QStringLiteral("alarmViewerImage"));
        QCOMPARE(label->pixmap().size(), QSize(120, 90));

        const QString target = dir.filePath(QStringLiteral("alarm-copy.jpg"));
        QString title, text;
        zrtest::ModalScript script;
        script.then(saveAs(target, nullptr)).thenOnly("QMessageBox", answerBox(&title, &text));
        triggerSave(viewer);
        QVERIFY(deleted(viewer));
        QCOMPARE(title, QStringLiteral("Information"));
        QFile a(full), b(target);
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QCOMPARE(b.readAll(), a.readAll());

        // Saving onto an existing file: the dialog asks to replace, the copy refuses, the
        // operator is told, and the viewer still goes.
        QPointer<AlarmViewer> again = new AlarmViewer(alarm);
        QString replaceTitle, replaceText;
        zrtest::ModalScript second;
        second.then(saveAs(target, nullptr))
            .thenOnly("QMessageBox", answerBox(&replaceTitle, &replaceText, QMessageBox::Yes))
            .thenOnly("QMessageBox", answerBox(&title, &text));
        triggerSave(again);
        QVERIFY(deleted(again));
        QVERIFY(!second.timedOut());
        QCOMPARE(title, QStringLiteral("Attention"));
        QCOMPARE(text, QStringLiteral("Erreur lors de l'enregistrement du fichier"));
    }

    void unreadablePictureIsReported()
    {
        QString title, text;
        zrtest::ModalScript script;
        script.thenOnly("QMessageBox", answerBox(&title, &text));
        Vignette missing(QStringLiteral("1_2_20250619_091625-thumb.jpg"), dir.filePath(QStringLiteral("gone-thumb.jpg")),
                         QStringLiteral("Quai"), QStringLiteral("1"), QStringLiteral("20250619"), QStringLiteral("091625"));
        QPointer<AlarmViewer> viewer = new AlarmViewer(missing);
        QCOMPARE(text, QStringLiteral("Cannot load %1.").arg(QDir::toNativeSeparators(dir.filePath(QStringLiteral("gone.jpg")))));
        QVERIFY(viewer->findChild<QLabel*>(QStringLiteral("alarmViewerImage"))->pixmap().isNull());
        viewer->close();
        QVERIFY(deleted(viewer));

        zrtest::ModalScript empty;
        empty.thenOnly("QMessageBox", answerBox(&title, &text));
        QPointer<AlarmViewer> blank = new AlarmViewer(QImage(), QStringLiteral("blank.jpg"));
        QCOMPARE(text, QStringLiteral("Cannot load blank.jpg."));
        blank->close();
        QVERIFY(deleted(blank));
    }

    void largePictureOpensAtHalfSize()
    {
        const QSize available = QGuiApplication::primaryScreen()->availableSize();
        const QSize big(available.width() * 2 + 1, available.height() * 2 + 1);
        QPointer<AlarmViewer> viewer = new AlarmViewer(testPicture(big.width(), big.height()), QStringLiteral("big.jpg"));
        QCOMPARE(viewer->size(), QSize(qRound(big.width() / 2.0), qRound(big.height() / 2.0)));
        QCOMPARE(viewer->pos(), QPoint(0, 0));
        viewer->close();
        QVERIFY(deleted(viewer));
    }
};

ZR_TEST_MAIN_GUI(TestAlarmViewer)
#include "tst_alarmviewer.moc"
