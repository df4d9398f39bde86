//! labels: gui
//! libs: zr_player
#include "player/IntegrityDialog.h"
#include "store/IntegrityCheck.h"
#include "tests/integrity/IntegrityFixture.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace integritytest;

// Stands for the interface controller: wires the check and the dialog as it does and releases
// both once the dialog has finished.
class Creator : public QObject
{
    Q_OBJECT

public:
    QPointer<IntegrityCheck> check;
    QPointer<IntegrityDialog> dialog;

    void open(const QString& root, const QString& date)
    {
        check = new IntegrityCheck(root + QLatin1Char('/') + date);
        dialog = new IntegrityDialog(root, date);
        connect(check, SIGNAL(hash_file_found(bool)), dialog, SLOT(is_hash_file_found(bool)));
        connect(check, SIGNAL(file_count(int)), dialog, SLOT(get_file_count(int)));
        connect(check, SIGNAL(file_count_check(bool)), dialog, SLOT(is_file_count_check(bool)));
        connect(check, SIGNAL(start_check()), dialog, SLOT(start_check()));
        connect(check, SIGNAL(end_check(bool)), dialog, SLOT(end_check(bool)));
        connect(check, SIGNAL(begin_check_file(QString)), dialog, SLOT(begin_check_file(QString)));
        connect(check, SIGNAL(end_check_file(QString,bool)), dialog, SLOT(end_check_file(QString,bool)));
        connect(dialog, SIGNAL(user_stopped()), check, SLOT(user_stop()));
        connect(dialog, SIGNAL(finished(int)), this, SLOT(integrity_check_done()));
        dialog->show();
        check->start();
    }

public slots:
    void integrity_check_done()
    {
        if (dialog)
            dialog->deleteLater();
        if (check)
            check->deleteLater();
        dialog = nullptr;
        check = nullptr;
    }
};

class TestIntegrityDialog : public QObject
{
    Q_OBJECT

    static QStringList resultLines(QDialog* dialog)
    {
        QWidget* column = dialog->findChild<QWidget*>(QStringLiteral("result_column"));
        QStringList out;
        for (QLabel* label : column->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
            out << label->text();
        return out;
    }

    static QLabel* resultLabel(QDialog* dialog, const QString& text)
    {
        QWidget* column = dialog->findChild<QWidget*>(QStringLiteral("result_column"));
        for (QLabel* label : column->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
            if (label->text() == text)
                return label;
        return nullptr;
    }

    static QProgressBar* bar(QDialog* d) { return d->findChild<QProgressBar*>(QStringLiteral("progress_bar")); }
    static QPushButton* button(QDialog* d) { return d->findChild<QPushButton*>(QStringLiteral("action_button")); }

    static QString finalBarStyle(const QString& chunk)
    {
        return QStringLiteral("QProgressBar { border: 1px solid grey; border-radius: 5px; text-align: center; "
                              "font-weight: bold; font-size: 14px; background-color: rgba(255,255,255,0.2);"
                              "padding-top:3px; padding-bottom:3px; }QProgressBar::chunk { background-color: ")
            + chunk + QStringLiteral("; width: 20px; }");
    }

    // Colour of the bar's middle pixel, once the style has painted it.
    static QColor barCentre(QProgressBar* b)
    {
        const QImage img = b->grab().toImage();
        return img.pixelColor(img.width() / 4, img.height() / 2);
    }

private slots:
    void waitingState()
    {
        IntegrityDialog d(QStringLiteral("/media/usb/zrnova_aaaa-bbbb-cccc-dddd"), QStringLiteral("2026-12-01"));
        QCOMPARE(bar(&d)->format(), QStringLiteral("Vérification en attente ..."));
        QCOMPARE(bar(&d)->value(), 0);
        QCOMPARE(button(&d)->text(), QStringLiteral("Fermer"));
        QVERIFY(d.testAttribute(Qt::WA_DeleteOnClose));
        QCOMPARE(d.windowModality(), Qt::ApplicationModal);
        QCOMPARE(d.windowFlags(), Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
        QStringList labels;
        for (QLabel* l : d.findChildren<QLabel*>())
            labels << l->text();
        QVERIFY(labels.contains(QStringLiteral("Vérification d'intégrité de la journée du 2026-12-01")));
        QVERIFY(labels.contains(QStringLiteral("[/media/usb/zrnova_aaaa-bbbb-cccc-dddd]")));
        QVERIFY(resultLines(&d).isEmpty());
        d.setAttribute(Qt::WA_DeleteOnClose, false);
    }

    void lightAndDarkStyles()
    {
        const QPalette saved = QApplication::palette();
        QPalette dark = saved;
        dark.setColor(QPalette::Window, QColor(30, 30, 30));
        QApplication::setPalette(dark);
        {
            IntegrityDialog d(QStringLiteral("/x"), QStringLiteral("2026-12-01"));
            d.setAttribute(Qt::WA_DeleteOnClose, false);
            QVERIFY(d.styleSheet().startsWith(QStringLiteral("QWidget { background-color: #121212; color: #EEEEEE; }")));
            QVERIFY(d.styleSheet().contains(QStringLiteral("QProgressBar::chunk { background-color: #00C853; width: 20px; }")));
        }
        QPalette light = saved;
        light.setColor(QPalette::Window, QColor(128, 128, 128)); // lightness 128 is light
        QApplication::setPalette(light);
        {
            IntegrityDialog d(QStringLiteral("/x"), QStringLiteral("2026-12-01"));
            d.setAttribute(Qt::WA_DeleteOnClose, false);
            QVERIFY(d.styleSheet().startsWith(QStringLiteral("QWidget { background-color: palette(window); color: black; }")));
            QVERIFY(d.styleSheet().contains(
                QStringLiteral("QPushButton { background-color: #f0f0f0; color: black; border: 1px solid #aaa; padding: 6px 12px; }")));
        }
        QApplication::setPalette(saved);
    }

    void progressText()
    {
        IntegrityDialog d(QStringLiteral("/x"), QStringLiteral("2026-12-01"));
        d.setAttribute(Qt::WA_DeleteOnClose, false);
        d.get_file_count(4);
        d.start_check();
        d.begin_check_file(QStringLiteral("a.zrvideo"));
        QCOMPARE(bar(&d)->format(), QStringLiteral("25 %  [ a.zrvideo ]"));
        d.begin_check_file(QStringLiteral("b.zrvideo"));
        QCOMPARE(bar(&d)->format(), QStringLiteral("50 %  [ b.zrvideo ]"));
        QCOMPARE(bar(&d)->text(), QStringLiteral("50 %  [ b.zrvideo ]"));
        QCOMPARE(bar(&d)->value(), 2);
        IntegrityDialog zero(QStringLiteral("/x"), QStringLiteral("2026-12-01"));
        zero.setAttribute(Qt::WA_DeleteOnClose, false);
        zero.begin_check_file(QStringLiteral("a"));
        QCOMPARE(zero.findChild<QProgressBar*>()->format(), QStringLiteral("0 %  [ a ]"));
    }

    void validatedRun()
    {
        HandMadeDay day;
        day.add(QStringLiteral("cam/a.zrvideo"), "a");
        day.add(QStringLiteral("cam/b.zrvideo"), "b");
        QVERIFY(day.writeHashList());
        Creator creator;
        creator.open(day.exportPath, QStringLiteral("2026-12-01"));
        QPointer<IntegrityDialog> d = creator.dialog;
        QVERIFY(zrtest::waitUntil([&] { return bar(d)->format() == QStringLiteral("Intégrité validée"); }, 10000));
        QCOMPARE(resultLines(d), (QStringList{QStringLiteral("Fichier HASH trouvé : OK"),
                                              QStringLiteral("Nombre de fichiers à vérifier : 2"),
                                              QStringLiteral("État de la vérification d'intégrité : OK"),
                                              QStringLiteral("Intégrité du compte de fichiers : OK"),
                                              QStringLiteral("Vérification d'intégrité terminée et validée")}));
        QCOMPARE(resultLabel(d, QStringLiteral("Fichier HASH trouvé : OK"))->styleSheet(), QString());
        QCOMPARE(resultLabel(d, QStringLiteral("Vérification d'intégrité terminée et validée"))->styleSheet(),
                 QStringLiteral("font-weight: bold;"));
        QCOMPARE(bar(d)->styleSheet(), finalBarStyle(QStringLiteral("green")));
        QCOMPARE(bar(d)->value(), 2);
        const QColor c = barCentre(bar(d));
        QVERIFY2(c.green() > 100 && c.red() < 60, qPrintable(c.name()));
        QCOMPARE(button(d)->text(), QStringLiteral("Fermer"));
        QVERIFY(button(d)->isEnabled());

        QTest::mouseClick(button(d), Qt::LeftButton);
        QVERIFY(zrtest::waitUntil([&] { return d.isNull() && creator.check.isNull(); }));
    }

    void failedRun()
    {
        HandMadeDay day;
        day.add(QStringLiteral("cam/a.zrvideo"), "a");
        day.add(QStringLiteral("cam/b.zrvideo"), "b");
        QVERIFY(day.writeHashList());
        QVERIFY(writeBytes(day.dayPath + QStringLiteral("/cam/a.zrvideo"), "A"));
        Creator creator;
        creator.open(day.exportPath, QStringLiteral("2026-12-01"));
        QPointer<IntegrityDialog> d = creator.dialog;
        QVERIFY(zrtest::waitUntil([&] { return bar(d)->format() == QStringLiteral("Intégrité non valide"); }, 10000));
        QCOMPARE(resultLines(d), (QStringList{QStringLiteral("Fichier HASH trouvé : OK"),
                                              QStringLiteral("Nombre de fichiers à vérifier : 2"),
                                              QStringLiteral("État de la vérification d'intégrité : ERREUR"),
                                              QStringLiteral("Intégrité du compte de fichiers : OK"),
                                              QStringLiteral("Erreur lors de la vérification du fichier : a.zrvideo"),
                                              QStringLiteral("Vérification d'intégrité terminée et non conforme")}));
        QCOMPARE(resultLabel(d, QStringLiteral("Erreur lors de la vérification du fichier : a.zrvideo"))->styleSheet(),
                 QStringLiteral("color: red;"));
        QCOMPARE(resultLabel(d, QStringLiteral("Vérification d'intégrité terminée et non conforme"))->styleSheet(),
                 QStringLiteral("font-weight: bold;color: red;"));
        QCOMPARE(bar(d)->styleSheet(), finalBarStyle(QStringLiteral("red")));
        // Failed at the first of two files, yet the bar is full.
        QCOMPARE(bar(d)->maximum(), 2);
        QCOMPARE(bar(d)->value(), 2);
        QCOMPARE(bar(d)->text(), QStringLiteral("Intégrité non valide"));
        const QColor c = barCentre(bar(d));
        QVERIFY2(c.red() > 150 && c.green() < 60, qPrintable(c.name()));
        d->close();
        QVERIFY(zrtest::waitUntil([&] { return d.isNull() && creator.check.isNull(); }));
    }

    void noHashListRun()
    {
        HandMadeDay day;
        day.add(QStringLiteral("cam/a.zrvideo"), "a");
        Creator creator;
        creator.open(day.exportPath, QStringLiteral("2026-12-01"));
        QPointer<IntegrityDialog> d = creator.dialog;
        QVERIFY(zrtest::waitUntil([&] { return bar(d)->format() == QStringLiteral("Intégrité non valide"); }, 10000));
        QCOMPARE(resultLines(d), (QStringList{QStringLiteral("Fichier HASH trouvé : ERREUR"),
                                              QStringLiteral("Nombre de fichiers à vérifier : 0"),
                                              QStringLiteral("État de la vérification d'intégrité : ERREUR"),
                                              QStringLiteral("Intégrité du compte de fichiers : ERREUR"),
                                              QStringLiteral("Vérification d'intégrité terminée et non conforme")}));
        QCOMPARE(resultLabel(d, QStringLiteral("Fichier HASH trouvé : ERREUR"))->styleSheet(), QStringLiteral("color: red;"));
        QCOMPARE(resultLabel(d, QStringLiteral("Intégrité du compte de fichiers : ERREUR"))->styleSheet(),
                 QStringLiteral("color: red;"));
        // A full red bar, although nothing was counted.
        QCOMPARE(bar(d)->maximum(), 100);
        QCOMPARE(bar(d)->value(), 100);
        QCOMPARE(bar(d)->text(), QStringLiteral("Intégrité non valide"));
        d->close();
        QVERIFY(zrtest::waitUntil([&] { return d.isNull(); }));
    }

    void stoppedRun()
    {
        HandMadeDay day;
        for (int i = 0; i < 4; ++i)
            day.add(QStringLiteral("cam/f%1.zrvideo").arg(i), QByteArray(100, char('a' + i)));
        QVERIFY(day.writeHashList());
        Creator creator;
        creator.open(day.exportPath, QStringLiteral("2026-12-01"));
        QPointer<IntegrityDialog> d = creator.dialog;
        // Hold the check inside its first file until the operator has pressed "Arrêter".
        QSemaphore go;
        connect(creator.check, &IntegrityCheck::begin_check_file, creator.check,
                [&](const QString&) { go.tryAcquire(1, 10000); }, Qt::DirectConnection);
        QVERIFY(zrtest::waitUntil([&] { return button(d)->text() == QStringLiteral("Arrêter"); }));
        QTest::mouseClick(button(d), Qt::LeftButton);
        QVERIFY(!button(d)->isEnabled());
        QVERIFY(resultLines(d).contains(QStringLiteral("Arrêt de la vérification demandé par l'utilisateur.")));
        QCOMPARE(resultLabel(d, QStringLiteral("Arrêt de la vérification demandé par l'utilisateur."))->styleSheet(),
                 QStringLiteral("color: orange;"));
        go.release(10);
        QVERIFY(zrtest::waitUntil([&] { return bar(d)->format() == QStringLiteral("Vérification arrêtée"); }, 10000));
        const QStringList lines = resultLines(d);
        QVERIFY(lines.contains(QStringLiteral("État de la vérification : interrompue par l'utilisateur")));
        QVERIFY(lines.contains(QStringLiteral("Vérification interrompue avant la fin.")));
        QCOMPARE(resultLabel(d, QStringLiteral("Vérification interrompue avant la fin."))->styleSheet(),
                 QStringLiteral("font-weight: bold; color: orange;"));
        QCOMPARE(lines.last(), QString()); // the empty summary
        QVERIFY(!lines.contains(QStringLiteral("Vérification d'intégrité terminée et validée")));
        QCOMPARE(bar(d)->styleSheet(), finalBarStyle(QStringLiteral("grey")));
        QCOMPARE(button(d)->text(), QStringLiteral("Fermer"));
        QVERIFY(button(d)->isEnabled());
        d->close();
        QVERIFY(zrtest::waitUntil([&] { return d.isNull() && creator.check.isNull(); }));
    }

    void stopOnLastFileIsStillShownAsStopped()
    {
        IntegrityDialog d(QStringLiteral("/x"), QStringLiteral("2026-12-01"));
        d.setAttribute(Qt::WA_DeleteOnClose, false);
        QSignalSpy stopped(&d, &IntegrityDialog::user_stopped);
        d.is_hash_file_found(true);
        d.get_file_count(1);
        d.start_check();
        d.is_file_count_check(true);
        d.begin_check_file(QStringLiteral("a"));
        d.handle_close_or_stop();
        QCOMPARE(stopped.count(), 1);
        d.end_check_file(QStringLiteral("a"), true);
        d.end_check(true);
        QCOMPARE(d.findChild<QProgressBar*>()->format(), QStringLiteral("Vérification arrêtée"));
        QVERIFY(!resultLines(&d).contains(QStringLiteral("Vérification d'intégrité terminée et validée")));
    }

    // Escape while the check runs: the check is stopped, and released only once its thread ended.
    void closingMidCheck_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("escape key") << true;
        QTest::newRow("window close") << false;
    }

    void closingMidCheck()
    {
        QFETCH(bool, escape);
        HandMadeDay day;
        for (int i = 0; i < 3; ++i)
            day.add(QStringLiteral("cam/f%1.zrvideo").arg(i), QByteArray(4 * 1024 * 1024, char('a' + i)));
        QVERIFY(day.writeHashList());
        zrtest::LogCatcher log;
        Creator creator;
        creator.open(day.exportPath, QStringLiteral("2026-12-01"));
        QPointer<IntegrityCheck> check = creator.check;
        QPointer<IntegrityDialog> d = creator.dialog;
        std::atomic<bool> threadFinished{false};
        connect(check, &QThread::finished, check, [&] { threadFinished = true; }, Qt::DirectConnection);
        QSemaphore go;
        QSemaphore inside;
        connect(check, &IntegrityCheck::begin_check_file, check, [&](const QString&) {
            inside.release();
            go.tryAcquire(1, 10000);
        }, Qt::DirectConnection);
        QVERIFY(zrtest::waitUntil([&] { return button(d)->text() == QStringLiteral("Arrêter"); }));
        QVERIFY(inside.tryAcquire(1, 10000));

        // Let the check go on only once the GUI thread may already be releasing it.
        std::thread releaser([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            go.release(10);
        });
        if (escape)
            QTest::keyClick(d, Qt::Key_Escape);
        else
            d->close();
        QVERIFY(log.contains(QStringLiteral("[INFO] Integrity check :: stopped by user")));
        QVERIFY(zrtest::waitUntil([&] { return d.isNull() && check.isNull(); }, 10000));
        releaser.join();
        QVERIFY(threadFinished.load());
        QVERIFY(log.contains(QStringLiteral("[ERROR] Integrity check :: INTEGRITY NOT CONFIRMED")));
    }
};

ZR_TEST_MAIN_GUI(TestIntegrityDialog)
#include "tst_integritydialog.moc"
