//! labels: unit
#include "store/Encrypt.h"
#include "store/Vignette.h"
#include "store/ZRFile.h"
#include "store/ZRTag.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QTemporaryDir>
#include <QVariant>
#include <QtTest>

#include <memory>

class TestTagsVignette : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString writeTag(const QString& name, const QByteArray& json)
    {
        const QString path = dir.filePath(name);
        Encrypt().encrypt_to_file(json.toStdString(), path);
        return path;
    }

private slots:
    void fullTag()
    {
        const QString path = writeTag("1_5_20240501_101500.zrtag",
            R"({"tag_id":"t-5","tag_datetime":"20240501101500","tag_user_id":"u1","tag_name":"Livraison",)"
            R"("tag_created_at":"2024-05-01 10:16:02","tag_description":"Camion à quai","file_encoded_at":"x","tag_cam_id":7})");
        std::unique_ptr<ZRTag> tag(ZRFile::parse_tags_file(QFileInfo(path)));
        QVERIFY(tag);
        QCOMPARE(tag->get_tag_id(), QString("t-5"));
        QCOMPARE(tag->get_tag_datetime(), QString("20240501101500"));
        QCOMPARE(tag->get_tag_cam_id(), QString("7"));
        QCOMPARE(tag->get_tag_name(), QString("Livraison"));
        QCOMPARE(tag->get_tag_description(), QString("Camion à quai"));
        QVERIFY(!tag->is_empty());
        QCOMPARE(tag->get_x(), 0);
        QCOMPARE(tag->get_width(), 0);
        tag->set_x(40);
        tag->set_width(12);
        QCOMPARE(tag->get_x(), 40);
        QCOMPARE(tag->get_width(), 12);
    }

    void tagShapes_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("record");
        QTest::addColumn<QString>("camId");
        QTest::addColumn<QString>("name");
        QTest::newRow("tags list with one element") << QByteArray(R"({"tags":[{"tag_name":"a"}],"tag_name":"b"})") << false << QString() << QString();
        QTest::newRow("empty tags list beside keys") << QByteArray(R"({"tags":[],"tag_name":"b","tag_cam_id":2})") << true << "2" << "b";
        QTest::newRow("camera id as a string") << QByteArray(R"({"tag_cam_id":"7","tag_name":"n"})") << true << "-1" << "n";
        QTest::newRow("no keys") << QByteArray(R"({})") << true << "-1" << QString();
        QTest::newRow("not json") << QByteArray("tag") << true << "-1" << QString();
        QTest::newRow("name not a string") << QByteArray(R"({"tag_name":3})") << true << "-1" << QString();
    }

    void tagShapes()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, record);
        QFETCH(QString, camId);
        QFETCH(QString, name);
        const QString path = writeTag("shape.zrtag", json);
        std::unique_ptr<ZRTag> tag(ZRFile::parse_tags_file(QFileInfo(path)));
        QCOMPARE(bool(tag), record);
        if (!tag)
            return;
        QCOMPARE(tag->get_tag_cam_id(), camId);
        QCOMPARE(tag->get_tag_name(), name);
        QCOMPARE(tag->get_tag_name().isNull(), name.isNull());
        QVERIFY(!tag->is_empty());
    }

    void unreadableTagFiles()
    {
        zrtest::LogCatcher log;
        QVERIFY(!ZRFile::parse_tags_file(QFileInfo(dir.filePath("missing.zrtag"))));
        QFile f(dir.filePath("empty.zrtag"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(!ZRFile::parse_tags_file(QFileInfo(f.fileName())));
        QCOMPARE(log.count("[ERROR] Encrypt :: Decrypt file :: read failed"), 2);
    }

    void freshRecordIsEmpty()
    {
        ZRTag tag;
        QVERIFY(tag.is_empty());
        QVERIFY(tag.get_tag_id().isNull());
        tag.set_x(3);
        QVERIFY(tag.is_empty());
        tag.set_tag_name(QString());
        QVERIFY(!tag.is_empty());
    }

    void vignetteTimestamp_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("expected");
        QTest::newRow("alarm thumbnail, four parts") << "12_345_20250314_081500-thumb.jpg" << "20250314081500";
        QTest::newRow("alarm image, four parts") << "12_345_20250314_081500" << "20250314081500";
        QTest::newRow("three parts") << "12_20250314_081500-thumb.jpg" << "20250314081500";
        QTest::newRow("five parts") << "12_20250314_081500_a_b" << "20250314081500";
        QTest::newRow("two parts") << "12_20250314.jpg" << QString();
        QTest::newRow("empty day") << "12__081500" << QString();
        QTest::newRow("empty time") << "12_20250314_-thumb.jpg" << QString();
        QTest::newRow("no name") << "" << QString();
    }

    void vignetteTimestamp()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, expected);
        const Vignette v(fileName, "/x/" + fileName, "Cam", "12", "20250314", "081500");
        QCOMPARE(v.timestamp(), expected);
        QCOMPARE(v.timestamp().isNull(), expected.isNull());
    }

    void tagVignetteKeepsItsOwnMoment()
    {
        const QFileInfo recording("/x/1_20240501_100000.zrvideo");
        const Vignette v("1_2_20240501_101500.zrtag", "/x", recording, "Quai", "20240501101500",
                         "Livraison", "Camion", "t-5", "1");
        QCOMPARE(v.timestamp(), QString("20240501101500"));
        QCOMPARE(v.file_info, recording);
        QCOMPARE(v.tag_name, QString("Livraison"));
        QVERIFY(v.file_name.isNull());
        QVERIFY(v.camera_id.isNull());
    }

    // Lists and queued signals copy and assign the record.
    void vignetteIsAValue()
    {
        Vignette a("12_345_20250314_081500-thumb.jpg", "/a/12_345_20250314_081500-thumb.jpg", "Cam", "12", "20250314", "081500");
        Vignette b;
        b = a;
        QCOMPARE(b.timestamp(), a.timestamp());
        QList<Vignette> list{a, b};
        list[1] = Vignette("x", "y", "z", "1", "d", "t");
        QCOMPARE(list.at(0).file_path, a.file_path);
        const QVariant var = QVariant::fromValue(a);
        QCOMPARE(var.value<Vignette>().file_name, a.file_name);
        QVERIFY(QMetaType::fromName("Vignette").isValid());
        Vignette moved(std::move(b));
        QCOMPARE(moved.camera_id, QString("12"));
    }
};

ZR_TEST_MAIN_CORE(TestTagsVignette)
#include "tst_tags_vignette.moc"
