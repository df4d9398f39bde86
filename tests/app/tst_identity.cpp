//! labels: unit
#include "app/DebugLevel.h"
#include "app/Http_singleton.h"
#include "app/Version.h"
#include "tests/support/TestMain.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QSysInfo>
#include <QThread>
#include <QtTest>

#include <vector>

class TestIdentity : public QObject
{
    Q_OBJECT

private slots:
    void constantAnswers()
    {
        Http_singleton* id = Http_singleton::instance();
        QCOMPARE(id->get_product_name(), QString("ZRPLAYER"));
        QCOMPARE(id->get_application_name(), QString("ZRPlayer"));
        QCOMPARE(id->get_version(), QStringLiteral(ZR_VERSION));
        QVERIFY(QRegularExpression("^\\d+\\.\\d+\\.\\d+$").match(id->get_version()).hasMatch());
        QCOMPARE(id->get_build_date(), QString("20170207"));
        QCOMPARE(id->get_log_file_name(), QString("zrlogfile.log"));
        QVERIFY(id->get_apps_url().startsWith("https://"));
        QVERIFY(id->get_apps_url().endsWith("/zrapps/"));
        QVERIFY(!id->is_dev_build());
        QVERIFY(!id->get_build_flag());
        QVERIFY(!id->get_build_flag());
        QVERIFY(!id->has_custom_settings());
        QVERIFY(!id->skip_crash_report());
        QVERIFY(id->get_log_directory().isNull());
        QCOMPARE(id->get_max_display_count(), 4);
    }

    void oneObjectAcrossThreads()
    {
        std::vector<QThread*> threads;
        QList<void*> seen;
        QMutex m;
        for (int i = 0; i < 8; ++i)
            threads.push_back(QThread::create([&] {
                void* a = Http_singleton::instance();
                void* b = DebugLevel::instance();
                QMutexLocker l(&m);
                seen << a << b;
            }));
        for (auto* t : threads) t->start();
        for (auto* t : threads) { t->wait(); delete t; }
        for (int i = 0; i < seen.size(); i += 2) {
            QCOMPARE(seen[i], static_cast<void*>(Http_singleton::instance()));
            QCOMPARE(seen[i + 1], static_cast<void*>(DebugLevel::instance()));
        }
    }

    void displayCountClamped_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("stored");
        QTest::newRow("negative") << -3 << 0;
        QTest::newRow("two") << 2 << 2;
        QTest::newRow("zero") << 0 << 0;
    }
    void displayCountClamped()
    {
        QFETCH(int, value);
        QFETCH(int, stored);
        Http_singleton::instance()->set_display_count(value);
        QCOMPARE(Http_singleton::instance()->get_display_count(), stored);
        Http_singleton::instance()->set_display_count(0);
    }

    void sha256OfEmptyText()
    {
        QCOMPARE(Http_singleton::sha256_hex(QString()),
                 QString("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
        QCOMPARE(Http_singleton::sha256_hex(QString::fromUtf8("é")),
                 QString::fromLatin1(QCryptographicHash::hash("\xc3\xa9", QCryptographicHash::Sha256).toHex()));
    }

    void accessHeaderShape()
    {
        const QString header = Http_singleton::instance()->build_access_header(QString(), false);
        const QString os = QSysInfo::productType() + "_" + QSysInfo::kernelVersion() + "_" + QSysInfo::currentCpuArchitecture();
        const QRegularExpression shape("^ZRPLAYER/ZRNOVA-ACCESS-3\\.4\\.4 \\(OS " + QRegularExpression::escape(os)
                                       + "; access_time (\\d{14}); nonce ; access_key ([0-9a-f]{64})\\)$");
        const auto m = shape.match(header);
        QVERIFY2(m.hasMatch(), qPrintable(header));
        // Key recomputed here from its definition, with nothing between time and pass phrase.
        const QByteArray input = "ZRNOVA-ACCESS" + m.captured(1).toLatin1() + "Lim@sTundra!";
        QCOMPARE(m.captured(2), QString::fromLatin1(QCryptographicHash::hash(input, QCryptographicHash::Sha256).toHex()));
    }

    void accessHeaderVariants()
    {
        const QString t = "20261210120000";
        const QString plain = Http_singleton::compose_access_header("ZRNOVA ACCESS", "3.4.4", t, QString(), QString());
        QVERIFY2(plain.startsWith("ZRNOVA-ACCESS-3.4.4 (OS "), qPrintable(plain));
        const QString player = Http_singleton::compose_access_header("ZRPLAYER", "3.4.4", t, QString(), QString());
        QVERIFY(player.startsWith("ZRPLAYER/ZRNOVA-ACCESS-3.4.4 (OS "));
        const QString withExtra = Http_singleton::compose_access_header("ZRPLAYER", "3.4.4", t, QString(), "EXTRA");
        const QByteArray key = QCryptographicHash::hash("ZRNOVA-ACCESS" + t.toLatin1() + "Lim@sTundra!EXTRA",
                                                        QCryptographicHash::Sha256).toHex();
        QVERIFY(withExtra.endsWith("access_key " + QString::fromLatin1(key) + ")"));

        // An extra key counts only when the caller allows it.
        const QString denied = Http_singleton::instance()->build_access_header("EXTRA", false);
        const QString allowed = Http_singleton::instance()->build_access_header("EXTRA", true);
        const auto keyOf = [](const QString& h) { return h.mid(h.indexOf("access_key ") + 11, 64); };
        const auto timeOf = [](const QString& h) { return h.mid(h.indexOf("access_time ") + 12, 14); };
        QCOMPARE(keyOf(denied), QString::fromLatin1(QCryptographicHash::hash(
            "ZRNOVA-ACCESS" + timeOf(denied).toLatin1() + "Lim@sTundra!", QCryptographicHash::Sha256).toHex()));
        QCOMPARE(keyOf(allowed), QString::fromLatin1(QCryptographicHash::hash(
            "ZRNOVA-ACCESS" + timeOf(allowed).toLatin1() + "Lim@sTundra!EXTRA", QCryptographicHash::Sha256).toHex()));
    }
};

ZR_TEST_MAIN_CORE(TestIdentity)
#include "tst_identity.moc"
