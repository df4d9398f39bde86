//! labels: unit gui
// The controller's export: nothing opens before a frame is shown; the dialog opens at the
// shown frame's time with the day's cameras; a raw copy ends with the operator's message,
// which says how many files could not be copied; a dialog replaced while its copy runs still
// gets its end.
#include "display/Canvas.h"
#include "export/PopupExport.h"
#include "media/ZRStreamReadAndControl.h"
#include "player/ZRPlayerInferfaceController.h"
#include "tests/controller/ControllerFixture.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/ModalAnswerer.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimeEdit>
#include <QtTest>

#include <memory>

using namespace zrtest;

class TestControllerExport : public QObject
{
    Q_OBJECT

    ExportGenerator gen;
    GeneratedExport ex;
    std::unique_ptr<Canvas> canvas;
    std::unique_ptr<ZRPlayerInferfaceController> c;

    // The controller's dialog is modal: the answerer leaves it alone and answers the rest.
    static void leaveDialogs(ModalAnswerer& a)
    {
        a.setAnswer([](QWidget* modal) { return qobject_cast<PopupExport*>(modal) != nullptr; });
    }
    static QList<ModalSeen> boxes(const ModalAnswerer& a)
    {
        QList<ModalSeen> out;
        for (const ModalSeen& m : a.seen())
            if (m.className == QLatin1String("QMessageBox"))
                out << m;
        return out;
    }
    // Chooses a raw copy of 10:00:05 - 10:00:15 into dest and presses "Exporter".
    static void rawCopy(PopupExport* d, const QString& dest)
    {
        d->findChild<QTimeEdit*>("startTimeEdit")->setTime(QTime(10, 0, 5));
        d->findChild<QTimeEdit*>("endTimeEdit")->setTime(QTime(10, 0, 15));
        d->findChild<QComboBox*>("formatCombo")->setCurrentIndex(4);
        d->findChild<QLineEdit*>("fileNameEdit")->setText(dest + "/copy.zrnova");
        QTest::mouseClick(d->findChild<QPushButton*>("exportButton"), Qt::LeftButton);
    }

private slots:
    void initTestCase()
    {
        ex = gen.generate({"--cameras", "2", "--minutes", "1", "--start", "10:00:00", "--size", "160x90", "--seed",
                           "17"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        canvas = std::make_unique<Canvas>(nullptr);
        canvas->set_external_feed();
        canvas->resize(320, 180);
        canvas->show();
        c = std::make_unique<ZRPlayerInferfaceController>(nullptr);
        c->setCanvas(canvas.get());
        connect(c->get_reader(), &ZRStreamReadAndControl::set_display_frame, canvas.get(), &Canvas::displayFrame);
        QCOMPARE(c->get_available_days(ex.exportPath), ex.days);
        QStringList cameras;
        QVERIFY(openDay(*c, ex.days.first(), &cameras));
        c->set_selected_camera(ex.cameras.at(1).name);
    }
    void cleanupTestCase()
    {
        c.reset();
        canvas.reset();
    }

    // Before any frame is shown the export opens nothing.
    void nothingBeforeAFrame()
    {
        LogCatcher log;
        c->video_export();
        QVERIFY(log.contains("[INFO] ZRPlayer Interface Controller :: export ::  timestamp "));
        QVERIFY(!c->get_export_dialog());
    }

    // The dialog opens at the shown frame's time with the selected camera; a raw copy ends
    // with "Votre exportation est terminée." and the dialog goes; the same copy again ends
    // with the count of the files that were not copied.
    void rawCopyEnds()
    {
        c->set_zrstream_reader_read_timestamp(QString(ex.days.first()).remove('-') + "100010");
        QTRY_VERIFY_WITH_TIMEOUT(canvas->get_timestamp().contains(" 10:00:1"), 10000);
        c->pause_button();
        const QString shown = canvas->get_timestamp();
        ModalAnswerer answer;
        leaveDialogs(answer);
        c->video_export();
        QPointer<PopupExport> d = c->get_export_dialog();
        QVERIFY(d && d->isVisible() && d->isModal());
        QCOMPARE(d->findChild<QTimeEdit*>("startTimeEdit")->text(), shown.mid(11, 8));
        QCOMPARE(d->findChild<QComboBox*>("cameraCombo")->currentData().toInt(), ex.cameras.at(1).id);
        const QString dest = gen.tempPath() + "/raw";
        rawCopy(d, dest);
        QTRY_COMPARE_WITH_TIMEOUT(boxes(answer).size(), 1, 60000);
        QCOMPARE(answer.last().title, QStringLiteral("Information"));
        QCOMPARE(answer.last().text, QStringLiteral("Votre exportation est terminée."));
        QTRY_VERIFY(!d);
        QVERIFY(!c->get_export_dialog());

        c->video_export();
        d = c->get_export_dialog();
        QVERIFY(d);
        rawCopy(d, dest);
        QTRY_COMPARE_WITH_TIMEOUT(boxes(answer).size(), 2, 60000);
        // The video, its seek table and every camera-information file were there already.
        int infos = 0;
        QDirIterator it(ex.exportPath, {"*.zrnfo"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            ++infos;
        }
        QVERIFY(infos >= 2);
        QCOMPARE(answer.last().text,
                 QStringLiteral("Votre exportation est terminée.\n%1 fichiers n'ont pas pu être copiés.").arg(2 + infos));
    }

    // A new dialog while a copy runs: the old one stays until its copy ends, then goes with
    // the end message; the new one stays open.
    void replacedDialogStillEnds()
    {
        ModalAnswerer answer;
        leaveDialogs(answer);
        c->video_export();
        QPointer<PopupExport> first = c->get_export_dialog();
        QVERIFY(first);
        rawCopy(first, gen.tempPath() + "/raw2");
        c->video_export();
        QPointer<PopupExport> second = c->get_export_dialog();
        QVERIFY(second && second != first);
        QTRY_VERIFY_WITH_TIMEOUT(!first, 60000);
        QTRY_COMPARE(boxes(answer).size(), 1);
        QCOMPARE(boxes(answer).last().text, QStringLiteral("Votre exportation est terminée."));
        QVERIFY(second && c->get_export_dialog() == second);
        second->close();
    }
};

ZR_TEST_MAIN_GUI(TestControllerExport)
#include "tst_controller_export.moc"
