//! labels: gui net
#include "app/Version.h"
#include "support/CrashFileChecker.h"
#include "support/DetailDialog.h"
#include "support/DumpSender.h"
#include "support/ReporterWidget.h"
#include "tests/crash/Multipart.h"
#include "tests/support/HttpServer.h"
#include "tests/support/ModalAnswerer.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTextEdit>
#include <QtTest>

namespace {

const QByteArray kBoundary = "---------------------------10757404324422";

QString userFolder() { return QDir::homePath() + "/.ZRPlayer"; }
QString logPath() { return userFolder() + "/zrlogfile.log"; }
QString reportsFolder() { return userFolder() + "/crash_reports/reports"; }

bool writeFile(const QString& path, const QByteArray& bytes, const QDateTime& mtime = QDateTime())
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size() || !f.flush())
        return false;
    return !mtime.isValid() || f.setFileTime(mtime, QFileDevice::FileModificationTime);
}

template <typename T> T* child(QWidget* form, const char* name)
{
    T* w = form->findChild<T*>(QString::fromLatin1(name));
    if (!w)
        qWarning("missing child %s", name);
    return w;
}

QList<ReporterWidget*> forms()
{
    QList<ReporterWidget*> out;
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget* w : widgets)
        if (auto* r = qobject_cast<ReporterWidget*>(w))
            out << r;
    return out;
}

const QDateTime kDumpTime(QDate(2026, 12, 9), QTime(22, 14, 5));

} // namespace

class TestReporterWidget : public QObject
{
    Q_OBJECT

    QString dump;

private slots:
    void init()
    {
        QDir(userFolder()).removeRecursively();
        dump = reportsFolder() + "/5c0b2a1e.dmp";
        QVERIFY(writeFile(dump, QByteArray("MDMP\0\xff\x01", 7), kDumpTime));
        QVERIFY(writeFile(logPath(), "[09/12/2026 22:14:04.000] {Debug} \"last line\"\n"));
    }

    void cleanup()
    {
        qDeleteAll(forms());
    }

    void formTexts()
    {
        ReporterWidget form("5c0b2a1e.dmp", dump, nullptr);
        QCOMPARE(form.objectName(), QString("ReporterWidget"));
        QCOMPARE(form.windowTitle(), QString("Rapport de plantage"));
        QCOMPARE(child<QLabel>(&form, "mainWidgetTopLabel")->text(), QString("Envoi d'un rapport"));
        QCOMPARE(child<QLabel>(&form, "crashdateLabel")->text(),
                 QString::fromUtf8("Date de génération du fichier dump : 2026-12-09 22:14:05"));
        QCOMPARE(child<QLabel>(&form, "label_3")->text(), QString("Email:"));
        QCOMPARE(child<QLineEdit>(&form, "emailLineEdit")->placeholderText(), QString("Entrez votre adresse email"));
        QCOMPARE(child<QPushButton>(&form, "detailButton")->text(), QString::fromUtf8("Détails"));
        QCOMPARE(child<QLabel>(&form, "descritpionLabel")->text(), QString("Description"));
        QTextEdit* comment = child<QTextEdit>(&form, "commentTextEdit");
        QVERIFY(comment->overwriteMode());
        QVERIFY(comment->toPlainText().isEmpty());
        QVERIFY(comment->placeholderText().startsWith(QString::fromUtf8("Merci de décrire le plus précisément")));
        QVERIFY(comment->placeholderText().endsWith("vous pouvez cliquer sur \"Quitter\"."));
        QCOMPARE(child<QPushButton>(&form, "restartButton")->text(), QString("Envoyer"));
        QVERIFY(child<QPushButton>(&form, "restartButton")->isEnabled());
        QCOMPARE(child<QPushButton>(&form, "quitButton")->text(), QString("Quitter"));

        // A language change re-applies the texts and keeps the date and what was typed.
        QTest::keyClicks(comment, "typed");
        QEvent change(QEvent::LanguageChange);
        QApplication::sendEvent(&form, &change);
        QCOMPARE(child<QLabel>(&form, "crashdateLabel")->text(),
                 QString::fromUtf8("Date de génération du fichier dump : 2026-12-09 22:14:05"));
        QCOMPARE(child<QPushButton>(&form, "quitButton")->text(), QString("Quitter"));
        QCOMPARE(comment->toPlainText(), QString("typed"));

        ReporterWidget empty(nullptr);
        QVERIFY(child<QLabel>(&empty, "crashdateLabel")->text().isEmpty());
    }

    void missingInputsWarn_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<bool>("eraseDescription");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        const QString noDetails = QString::fromUtf8("Détails non fournis");
        const QString noDetailsText = QString::fromUtf8(
            "Veuillez entrer un descriptif de la cause du plantage avant de soumettre le rapport.");
        const QString noEmail = QString::fromUtf8("Adresse e-mail non fournis");
        const QString noEmailText = QString::fromUtf8("Veuillez entrer une adresse e-mail avant de soumettre le rapport.");
        QTest::newRow("nothing given") << QString() << false << QString() << noDetails << noDetailsText;
        QTest::newRow("address only") << QString() << false << "a@b.org" << noDetails << noDetailsText;
        QTest::newRow("description only") << "lecture arriere" << false << QString() << noEmail << noEmailText;
        QTest::newRow("description typed and erased") << "abc" << true << QString() << noEmail << noEmailText;
    }

    void missingInputsWarn()
    {
        QFETCH(QString, description);
        QFETCH(bool, eraseDescription);
        QFETCH(QString, email);
        QFETCH(QString, title);
        QFETCH(QString, text);

        zrtest::HttpServer server([](const zrtest::HttpRequest&) { return zrtest::HttpReply::text("{}"); });
        ReporterWidget form("5c0b2a1e.dmp", dump, nullptr);
        form.set_upload_url(QUrl(server.url("/traitement")));
        form.show();
        if (!description.isEmpty())
            QTest::keyClicks(child<QTextEdit>(&form, "commentTextEdit"), description);
        if (eraseDescription)
            child<QTextEdit>(&form, "commentTextEdit")->clear();
        if (!email.isEmpty())
            QTest::keyClicks(child<QLineEdit>(&form, "emailLineEdit"), email);

        zrtest::ModalAnswerer answerer;
        QTest::mouseClick(child<QPushButton>(&form, "restartButton"), Qt::LeftButton);
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(answerer.last().className, QString("QMessageBox"));
        QCOMPARE(answerer.last().title, title);
        QCOMPARE(answerer.last().text, text);
        QCOMPARE(answerer.last().icon, QMessageBox::Warning);
        QCOMPARE(answerer.last().buttons.size(), 1);
        QVERIFY(form.isVisible());
        QTest::qWait(100);
        QCOMPARE(server.requestCount(), 0);
        QVERIFY(QFile::exists(dump));
    }

    void sendUploadsAndClears()
    {
        QByteArray body;
        zrtest::HttpServer server([](const zrtest::HttpRequest&) {
            return zrtest::HttpReply::json("{\"upload_file_minidump\":{\"status_info\":{\"status\":\"OK\",\"error_code\":0}},"
                                           "\"upload_file_log\":{\"status_info\":{\"status\":\"OK\",\"error_code\":0}}}");
        });
        ReporterWidget form("5c0b2a1e.dmp", dump, nullptr);
        form.set_upload_url(QUrl(server.url("/traitement")));
        form.show();
        QSignalSpy emailSpy(&form, &ReporterWidget::emailAdressChanged);
        QSignalSpy commentSpy(&form, &ReporterWidget::commentChanged);
        QTest::keyClicks(child<QTextEdit>(&form, "commentTextEdit"), "Gel ");
        child<QTextEdit>(&form, "commentTextEdit")->insertPlainText(QString::fromUtf8("à l'export"));
        QTest::keyClicks(child<QLineEdit>(&form, "emailLineEdit"), "ops@site.example");
        QCOMPARE(emailSpy.last().at(0).toString(), QString("ops@site.example"));
        QCOMPARE(commentSpy.last().at(0).toString(), QString::fromUtf8("Gel à l'export"));

        zrtest::ModalAnswerer answerer;
        QTest::mouseClick(child<QPushButton>(&form, "restartButton"), Qt::LeftButton);
        QCOMPARE(answerer.count(), 0);
        QVERIFY(!form.isVisible());
        QVERIFY(server.waitForRequests(1));
        const crashtest::FormBody parsed = crashtest::parseForm(server.requests().first().body, kBoundary);
        QVERIFY2(parsed.valid, qPrintable(parsed.error));
        QCOMPARE(parsed.value("email"), QByteArray("ops@site.example"));
        QCOMPARE(parsed.value("comment"), QString::fromUtf8("Gel à l'export").toUtf8());
        QCOMPARE(parsed.value("upload_file_minidump"), QByteArray("MDMP\0\xff\x01", 7));
        QVERIFY(zrtest::waitUntil([&] { return !QFile::exists(dump); }));
        QVERIFY(zrtest::waitUntil([] { return QFileInfo(logPath()).size() == 0; }));
    }

    void quitDeletesDumpAndEmptiesLog()
    {
        CrashFileChecker::check_crash_files();
        QCOMPARE(forms().size(), 1);
        ReporterWidget* form = forms().first();
        QCOMPARE(form->dump_path(), dump);
        QTest::mouseClick(child<QPushButton>(form, "quitButton"), Qt::LeftButton);
        QVERIFY(!form->isVisible());
        QVERIFY(!QFile::exists(dump));
        QVERIFY(QFile::exists(logPath()));
        QCOMPARE(QFileInfo(logPath()).size(), qint64(0));
        qDeleteAll(forms());

        // The next start has nothing to offer.
        CrashFileChecker::check_crash_files();
        QVERIFY(forms().isEmpty());
    }

    void detailsShowWhatIsSent()
    {
        ReporterWidget form("5c0b2a1e.dmp", dump, nullptr);
        form.show();
        QTest::keyClicks(child<QLineEdit>(&form, "emailLineEdit"), "ops@site.example");
        QTest::keyClicks(child<QTextEdit>(&form, "commentTextEdit"), "freeze");
        QTest::mouseClick(child<QPushButton>(&form, "detailButton"), Qt::LeftButton);
        auto* dialog = form.findChild<DetailDialog*>();
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->size(), QSize(640, 480));
        const QString os = "OS " + QSysInfo::productType() + '_' + QSysInfo::kernelVersion() + '_'
            + QSysInfo::currentCpuArchitecture();
        const QString expected = QString::fromUtf8("Les informations suivantes seront envoyées:\n\n")
            + "OS : " + os + "\nNom produit : ZRPLAYER\nVersion : " ZR_VERSION "\nDate du dump : 2026-12-09 22:14:05\n"
            + "Email: ops@site.example\nCommentaires: freeze\n";
        QCOMPARE(dialog->text(), expected);

        // Built once: later edits do not show, and a second click reuses the dialog.
        QTest::keyClicks(child<QTextEdit>(&form, "commentTextEdit"), " again");
        QTest::mouseClick(child<QPushButton>(&form, "detailButton"), Qt::LeftButton);
        QCOMPARE(form.findChildren<DetailDialog*>().size(), 1);
        QCOMPARE(dialog->text(), expected);

        auto* close = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close);
        QVERIFY(close);
        QTest::mouseClick(close, Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QTest::mouseClick(child<QPushButton>(&form, "detailButton"), Qt::LeftButton);
        QVERIFY(dialog->isVisible());
    }

    void detailsWithoutDumpOrInputs()
    {
        ReporterWidget form(nullptr);
        form.show();
        QTest::mouseClick(child<QPushButton>(&form, "detailButton"), Qt::LeftButton);
        auto* dialog = form.findChild<DetailDialog*>();
        QVERIFY(dialog);
        QVERIFY(!dialog->text().contains("Date du dump"));
        QVERIFY(!dialog->text().contains("Email:"));
        QVERIFY(!dialog->text().contains("Commentaires"));
        QVERIFY(dialog->text().endsWith("Version : " ZR_VERSION "\n"));
    }
};

ZR_TEST_MAIN_GUI(TestReporterWidget)
#include "tst_reporterwidget.moc"
