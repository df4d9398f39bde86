//! labels: unit gui
// The export error table and the message box that shows a code's text.
#include "export/export_error.h"
#include "tests/support/ModalAnswerer.h"
#include "tests/support/TestMain.h"

#include <QWidget>
#include <QtTest>

class TestExportError : public QObject
{
    Q_OBJECT

private slots:
    void texts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("-34") << -34 << QString("Arrêt de l'utilisateur.");
        QTest::newRow("-21") << -21 << QString("REMUX : Echec d'écriture de l'en-tete de sortie.");
        QTest::newRow("-20") << -20 << QString("REMUX : Error lors de l'ouverture du fichier de sortie.");
        QTest::newRow("-19") << -19 << QString("REMUX : Echec de copie des paramêtres");
        QTest::newRow("-14") << -14 << QString("Erreur de récupération des données vidéos.");
        QTest::newRow("-13") << -13 << QString("Période invalide.");
        QTest::newRow("-10") << -10 << QString("L'intervalle selectionnée ne contient pas de vidéo.");
        QTest::newRow("-9") << -9 << QString("Le fichier d'export n'a pas pu être ouvert.");
        QTest::newRow("-8") << -8 << QString("Erreur d'initialisation de l'encodeur. #4");
        QTest::newRow("-5") << -5 << QString("Erreur d'initialisation de l'encodeur. #1");
        QTest::newRow("-3") << -3 << QString("Erreur à l'initialisation de l'export.");
        QTest::newRow("-1") << -1 << QString("Heure de début d'exportation introuvable.");
        QTest::newRow("0") << 0 << QString("Erreur inconnue.");
        QTest::newRow("1") << 1 << QString("Erreur inconnue.");
        QTest::newRow("-35") << -35 << QString("Erreur inconnue.");
    }

    void texts()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(export_error::message_for_code(code), text);
    }

    // Every code of the table has its own text.
    void everyCodeDistinct()
    {
        QSet<QString> seen;
        for (int code = -34; code <= -1; ++code) {
            const QString t = export_error::message_for_code(code);
            QVERIFY2(t != "Erreur inconnue.", qPrintable(QString::number(code)));
            seen.insert(t);
        }
        QCOMPARE(seen.size(), 34);
    }

    void boxOverTheDialog()
    {
        QWidget dialog;
        dialog.show();
        export_error e(&dialog);
        zrtest::ModalAnswerer answerer;
        e.error_parse(-13);
        QCOMPARE(answerer.count(), 1);
        const zrtest::ModalSeen seen = answerer.last();
        QCOMPARE(seen.className, QString("QMessageBox"));
        QCOMPARE(seen.title, QString("Erreur de paramétrage"));
        QCOMPARE(seen.text, QString("Période invalide."));
        QCOMPARE(seen.icon, QMessageBox::Information);
        QCOMPARE(seen.buttons.size(), 1);
    }
};

ZR_TEST_MAIN_GUI(TestExportError)
#include "tst_export_error.moc"
