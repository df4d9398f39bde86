//! labels: unit
#include "platform/ReleasePlatform.h"
#include "support/DownloadBinary.h"
#include "tests/support/TestMain.h"

#include <QCryptographicHash>
#include <QtTest>


namespace {

// JSON written with single quotes, which keeps the fixtures readable.
QByteArray json(const char* text)
{
    return QByteArray(text).replace('\'', '"');
}

ReleaseEntry entry(const QString& name, const QString& arch = zrplatform::release_asset_arch(),
                   const QString& id = QString())
{
    ReleaseEntry e;
    e.name = name;
    e.id = id;
    e.arch = arch;
    e.url = QUrl(QStringLiteral("https://example.invalid/") + (name.isEmpty() ? QStringLiteral("x") : name));
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    e.suffix = dot < 0 ? QString() : name.mid(dot + 1).toLower();
    DownloadBinary::parseEntryVersion(e);
    return e;
}

} // namespace

class TestReleaseParsing : public QObject
{
    Q_OBJECT

private slots:
    void trackListFormats_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("tracks");
        QTest::newRow("mixed listing")
            << QByteArray("<a href=\"3.4/\">x</a> <a href='3.5/'>y</a> <td>3.3/</td>"
                          "<ListBucketResult><Contents><Key>3.6/</Key></Contents></ListBucketResult>")
            << QStringList{"3.3", "3.4", "3.5", "3.6"};
        QTest::newRow("apache index, track twice")
            << QByteArray("<a href=\"3.4/\">3.4/</a>\n<a HREF=\"3.4/\">3.4/</a>")
            << QStringList{"3.4"};
        QTest::newRow("numeric order") << QByteArray("<a href=\"3.10/\"></a><a href=\"3.9/\"></a>")
                                       << QStringList{"3.9", "3.10"};
        QTest::newRow("no track folder") << QByteArray("<a href=\"../\">..</a><a href=\"3.4.1/\">x</a>"
                                                       "<a href=\"notes/\">notes/</a>")
                                         << QStringList{};
        QTest::newRow("garbage") << QByteArray("\xff\xfe\x00<>>>/<<href=") << QStringList{};
    }
    void trackListFormats()
    {
        QFETCH(QByteArray, body);
        QFETCH(QStringList, tracks);
        QCOMPARE(DownloadBinary::orderTracks(DownloadBinary::parseTrackList(body)), tracks);
    }

    void trackChoice_data()
    {
        QTest::addColumn<QStringList>("tracks");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("expected");
        QTest::newRow("nearest below") << QStringList{"3.2", "3.3", "3.5"} << "3.4" << "3.3";
        QTest::newRow("all above: greatest") << QStringList{"3.5", "3.6"} << "3.4" << "3.6";
        QTest::newRow("none") << QStringList{} << "3.4" << "3.4";
        QTest::newRow("exact") << QStringList{"3.3", "3.4", "3.5"} << "3.4" << "3.4";
        QTest::newRow("numeric, not text") << QStringList{"3.9", "3.10", "3.11"} << "3.10" << "3.10";
        QTest::newRow("numeric below") << QStringList{"3.9", "3.11"} << "3.10" << "3.9";
        QTest::newRow("older major") << QStringList{"2.9", "4.0"} << "3.4" << "2.9";
    }
    void trackChoice()
    {
        QFETCH(QStringList, tracks);
        QFETCH(QString, current);
        QFETCH(QString, expected);
        QCOMPARE(DownloadBinary::chooseTrack(tracks, current), expected);
    }

    void versionAndStamp_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("version");
        QTest::addColumn<qlonglong>("stamp");
        QTest::addColumn<QString>("majorMinor");
        QTest::newRow("release") << "3.4.4" << "3.4.4" << -1LL << "3.4";
        QTest::newRow("dev build") << "3.4.4.DEV202612101230" << "3.4.4" << 202612101230LL << "3.4";
        QTest::newRow("lower-case dev marker") << "3.4.4.dev202612101230" << "3.4.4" << -1LL << "3.4";
        QTest::newRow("short stamp") << "3.4.4.DEV2026121012" << "3.4.4" << -1LL << "3.4";
        QTest::newRow("major only") << "7" << "7" << -1LL << "7.0";
        QTest::newRow("four parts") << "3.4.4.9" << "3.4.4" << -1LL << "3.4";
        QTest::newRow("no digits") << "abc" << "" << -1LL << "0.0";
    }
    void versionAndStamp()
    {
        QFETCH(QString, text);
        QFETCH(QString, version);
        QFETCH(qlonglong, stamp);
        QFETCH(QString, majorMinor);
        const QVersionNumber v = DownloadBinary::versionFromText(text);
        QCOMPARE(v.toString(), version);
        QCOMPARE(DownloadBinary::buildStampFromText(text), stamp);
        QCOMPARE(DownloadBinary::majorMinorText(v), majorMinor);
    }

    void entryVersion_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("versionText");
        QTest::addColumn<QString>("version");
        QTest::addColumn<qlonglong>("stamp");
        QTest::addColumn<int>("lts");
        QTest::addColumn<bool>("devBuild");
        QTest::newRow("name") << "ZRPlayer-3.4.5-setup.exe" << "" << "3.4.5" << "3.4.5" << -1LL << -1 << false;
        QTest::newRow("dev name") << "ZRPlayer-3.4.5.DEV202612011200.zip" << "" << "3.4.5.DEV202612011200"
                                  << "3.4.5" << 202612011200LL << -1 << true;
        QTest::newRow("id only") << "ZRPlayer-setup.exe" << "zrplayer-3.5.0.DEV202701020304" << "3.5.0.DEV202701020304"
                                 << "3.5.0" << 202701020304LL << -1 << true;
        QTest::newRow("name wins over id") << "ZRPlayer-3.4.6.exe" << "x-3.9.9" << "3.4.6" << "3.4.6" << -1LL << -1 << false;
        QTest::newRow("lts") << "ZRPlayer-24LTS-3.4.7.exe" << "" << "3.4.7" << "3.4.7" << -1LL << 24 << false;
        QTest::newRow("nothing") << "CHANGELOG.md" << "" << "" << "" << -1LL << -1 << false;
    }
    void entryVersion()
    {
        QFETCH(QString, name);
        QFETCH(QString, id);
        ReleaseEntry e;
        e.name = name;
        e.id = id;
        DownloadBinary::parseEntryVersion(e);
        QTEST(e.versionText, "versionText");
        QTEST(e.version.toString(), "version");
        QTEST(qlonglong(e.buildStamp), "stamp");
        QTEST(e.lts, "lts");
        QTEST(e.devBuild, "devBuild");
    }

    void indexParsing()
    {
        const QByteArray body =
            json("["
            "{'name':'ZRPlayer-3.4.5-setup.exe','url':'https://h.invalid/a/ZRPlayer-3.4.5-setup.exe',"
            "'size':123456,'arch':'Windows/64','sha256':'AB:CD','id':'zrplayer-3.4.5','id_sha256':'ff'},"
            "{'name':'ZRPlayer-3.4.5.ZIP','url':'https://h.invalid/a/z.zip','size':'2048','arch':'windows/64'},"
            "'not an object', 42,"
            "{'name':'bad-url-3.9.9.exe','url':'http://[::1','arch':'Windows/64'},"
            "{'name':'nosize-3.4.5.exe','url':'https://h.invalid/n.exe','size':'many'},"
            "{'type':'CHANGELOG','url':'https://h.invalid/CHANGES.txt'}"
            "]");
        const QList<ReleaseEntry> entries = DownloadBinary::parseReleaseIndex(body);
        QCOMPARE(entries.size(), 4);
        const ReleaseEntry& a = entries.at(0);
        QCOMPARE(a.name, QStringLiteral("ZRPlayer-3.4.5-setup.exe"));
        QCOMPARE(a.url, QUrl(QStringLiteral("https://h.invalid/a/ZRPlayer-3.4.5-setup.exe")));
        QCOMPARE(a.size, 123456);
        QCOMPARE(a.arch, QStringLiteral("Windows/64"));
        QCOMPARE(a.sha256, QStringLiteral("AB:CD"));
        QCOMPARE(a.id, QStringLiteral("zrplayer-3.4.5"));
        QCOMPARE(a.idSha256, QStringLiteral("ff"));
        QCOMPARE(a.suffix, QStringLiteral("exe"));
        QCOMPARE(a.version, QVersionNumber(3, 4, 5));
        QCOMPARE(entries.at(1).size, 2048);
        QCOMPARE(entries.at(1).suffix, QStringLiteral("zip"));
        QCOMPARE(entries.at(2).size, 0);
        QVERIFY(entries.at(3).version.isNull());

        QVERIFY(DownloadBinary::parseReleaseIndex("not json").isEmpty());
        QVERIFY(DownloadBinary::parseReleaseIndex("").isEmpty());
        QVERIFY(DownloadBinary::parseReleaseIndex("\"text\"").isEmpty());
        QVERIFY(DownloadBinary::parseReleaseIndex("[1,2,3]").isEmpty());

        // A lone object is read, but names no platform and so never gets chosen.
        const QList<ReleaseEntry> single = DownloadBinary::parseReleaseIndex(
            json("{'name':'','url':'https://h.invalid/p/ZRPlayer.EXE','sha256':'aa','version':'3.5.0.DEV202701010101'}"));
        QCOMPARE(single.size(), 1);
        QCOMPARE(single.at(0).version, QVersionNumber(3, 5, 0));
        QCOMPARE(single.at(0).buildStamp, 202701010101LL);
        QCOMPARE(single.at(0).suffix, QStringLiteral("exe"));
        QVERIFY(!DownloadBinary::pickPlatformAsset(single, false, false).url.isValid());
    }

    void changelog_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QUrl>("url");
        QTest::newRow("type in capitals")
            << json("[{'name':'a.exe','url':'https://h.invalid/a.exe'},{'type':'CHANGELOG','url':'https://h.invalid/c1'}]")
            << QUrl("https://h.invalid/c1");
        QTest::newRow("name in lower case, first wins")
            << json("[{'name':'changelog.md','url':'https://h.invalid/c2'},{'type':'changelog','url':'https://h.invalid/c3'}]")
            << QUrl("https://h.invalid/c2");
        QTest::newRow("invalid url skipped")
            << json("[{'type':'changelog','url':'http://[::1'},{'name':'CHANGELOG.md','url':'https://h.invalid/c4'}]")
            << QUrl("https://h.invalid/c4");
        QTest::newRow("none") << json("[{'name':'a.exe','url':'https://h.invalid/a.exe'}]") << QUrl();
        QTest::newRow("object") << json("{'type':'changelog','url':'https://h.invalid/c'}") << QUrl();
    }
    void changelog()
    {
        QFETCH(QByteArray, body);
        QFETCH(QUrl, url);
        QCOMPARE(DownloadBinary::findChangelogUrl(body), url);
    }

    void assetScoring_data()
    {
        QTest::addColumn<bool>("buildFlag");
        QTest::addColumn<bool>("inBin");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("score");
        const struct { const char* name; int scores[3]; } rows[] = {
            {"ZRPlayer-3.4.5.zip", {1, 2, 2}},
            {"ZRPlayer-LAUNCHER-3.4.5.zip", {0, 0, 3}},
            {"ZRPlayer-3.4.5.exe", {2, 1, 1}},
            {"ZRPlayer-Launcher-3.4.5.exe", {2, 1, 1}},
            {"ZRPlayer-3.4.5.msi", {0, 0, 0}},
            {"CHANGELOG.md", {0, 0, 0}},
        };
        const struct { bool build; bool inBin; const char* tag; } flags[] = {
            {false, false, "release"}, {true, false, "build"}, {true, true, "build in bin"}};
        for (const auto& row : rows)
            for (int f = 0; f < 3; ++f)
                QTest::addRow("%s, %s", row.name, flags[f].tag)
                    << flags[f].build << flags[f].inBin << QString::fromLatin1(row.name) << row.scores[f];
        QTest::newRow("release in bin, exe") << false << true << "ZRPlayer-3.4.5.exe" << 2;
    }
    void assetScoring()
    {
        QFETCH(bool, buildFlag);
        QFETCH(bool, inBin);
        QFETCH(QString, name);
        QFETCH(int, score);
        QCOMPARE(DownloadBinary::assetScore(buildFlag, inBin, entry(name)), score);
        // The launcher mark counts in the id as well.
        if (!name.contains(QLatin1String("launcher"), Qt::CaseInsensitive) && name.endsWith(QLatin1String(".zip")))
            QCOMPARE(DownloadBinary::assetScore(buildFlag, inBin, entry(name, zrplatform::release_asset_arch(), "launcher-pkg")),
                     buildFlag && inBin ? 3 : 0);
    }

    void assetChoice_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("archs");
        QTest::addColumn<int>("chosen"); // index, -1: none
        const QString w = zrplatform::release_asset_arch();
        // Another platform's packages, whichever this one is.
        const QString other = w == QLatin1String("Windows/64") ? QStringLiteral("Linux/64") : QStringLiteral("Windows/64");
        QTest::newRow("exe over zip") << QStringList{"ZRPlayer-3.4.5.zip", "ZRPlayer-3.4.5.exe"} << QStringList{w, w} << 1;
        QTest::newRow("newest exe") << QStringList{"ZRPlayer-3.4.6.exe", "ZRPlayer-3.4.5.exe"} << QStringList{w, w} << 0;
        QTest::newRow("newest exe, listed second") << QStringList{"ZRPlayer-3.4.5.exe", "ZRPlayer-3.4.6.exe"} << QStringList{w, w} << 1;
        QTest::newRow("equal: first listed") << QStringList{"a-3.4.5.exe", "b-3.4.5.exe"} << QStringList{w, w} << 0;
        QTest::newRow("stamp decides") << QStringList{"a-3.4.5.DEV202601010000.exe", "b-3.4.5.DEV202602010000.exe"}
                                       << QStringList{w, w} << 1;
        QTest::newRow("stamped beats unstamped") << QStringList{"a-3.4.5.DEV202601010000.exe", "b-3.4.5.exe"}
                                                 << QStringList{w, w} << 0;
        QTest::newRow("launcher zip loses") << QStringList{"ZRPlayer-launcher-3.9.0.zip", "ZRPlayer-3.4.5.exe"}
                                            << QStringList{w, w} << 1;
        QTest::newRow("other platform ignored") << QStringList{"ZRPlayer-3.9.0.exe", "ZRPlayer-3.4.5.exe"}
                                                << QStringList{other, w.toUpper()} << 1;
        QTest::newRow("no platform asset") << QStringList{"ZRPlayer-3.9.0.exe"} << QStringList{"Windows/32"} << -1;
    }
    // The packages offered are this platform's own, under the name the release server uses.
    void platformAssetName()
    {
#if defined(Q_OS_LINUX) && defined(Q_PROCESSOR_X86_64)
        QCOMPARE(zrplatform::release_asset_arch(), QStringLiteral("Linux/64"));
#endif
        QVERIFY(!zrplatform::release_asset_arch().isEmpty());
        QList<ReleaseEntry> entries{entry("ZRPlayer-3.9.0-setup.exe", "Windows/64"),
                                    entry("zrplayer-3.4.5.tar.gz", zrplatform::release_asset_arch())};
        if (zrplatform::release_asset_arch() != QLatin1String("Windows/64"))
            QCOMPARE(DownloadBinary::pickPlatformAsset(entries, false, false).name, QStringLiteral("zrplayer-3.4.5.tar.gz"));
    }

    void assetChoice()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, archs);
        QFETCH(int, chosen);
        QList<ReleaseEntry> entries;
        for (int i = 0; i < names.size(); ++i)
            entries.append(entry(names.at(i), archs.at(i)));
        const ReleaseEntry pick = DownloadBinary::pickPlatformAsset(entries);
        if (chosen < 0) {
            QVERIFY(!pick.url.isValid());
            QVERIFY(pick.name.isEmpty());
        } else {
            QCOMPARE(pick.name, names.at(chosen));
            QCOMPARE(pick.url, entries.at(chosen).url);
        }
    }

    void releaseOrder_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("order");
        QTest::newRow("version") << "x-3.4.6.exe" << "x-3.4.5.exe" << 1;
        QTest::newRow("numeric version") << "x-3.10.0.exe" << "x-3.9.0.exe" << 1;
        QTest::newRow("same") << "x-3.4.5.exe" << "y-3.4.5.zip" << 0;
        QTest::newRow("stamp") << "x-3.4.5.DEV202601010000.exe" << "x-3.4.5.DEV202601010001.exe" << -1;
        QTest::newRow("no stamp is older") << "x-3.4.5.exe" << "x-3.4.5.DEV202601010000.exe" << -1;
        QTest::newRow("versionless is oldest") << "CHANGELOG.md" << "x-0.0.1.exe" << -1;
    }
    void releaseOrder()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, order);
        QCOMPARE(compareReleases(entry(a), entry(b)), order);
        QCOMPARE(compareReleases(entry(b), entry(a)), -order);
    }

    void formatters()
    {
        QCOMPARE(DownloadBinary::formatSize(0), QStringLiteral("0 octets"));
        QCOMPARE(DownloadBinary::formatSize(500), QStringLiteral("500 octets"));
        QCOMPARE(DownloadBinary::formatSize(1023), QStringLiteral("1023 octets"));
        QCOMPARE(DownloadBinary::formatSize(1536), QStringLiteral("1.50 Ko"));
        QCOMPARE(DownloadBinary::formatSize(50 * 1024 + 512), QStringLiteral("50.5 Ko"));
        QCOMPARE(DownloadBinary::formatSize(500 * 1024), QStringLiteral("500 Ko"));
        QCOMPARE(DownloadBinary::formatSize(1048576), QStringLiteral("1.00 Mo"));
        QCOMPARE(DownloadBinary::formatSize(3LL * 1024 * 1024 * 1024), QStringLiteral("3.00 Go"));
        QCOMPARE(DownloadBinary::formatSize(2048LL * 1024 * 1024 * 1024 * 1024), QStringLiteral("2048 To"));

        QCOMPARE(DownloadBinary::formatDuration(65), QStringLiteral("1:05"));
        QCOMPARE(DownloadBinary::formatDuration(0), QStringLiteral("0:00"));
        QCOMPARE(DownloadBinary::formatDuration(-5), QStringLiteral("0:00"));
        QCOMPARE(DownloadBinary::formatDuration(3599), QStringLiteral("59:59"));
        QCOMPARE(DownloadBinary::formatDuration(2 * 3600 + 3 * 60 + 4), QStringLiteral("2:03:04"));
        QCOMPARE(DownloadBinary::formatDuration(100 * 3600), QStringLiteral("100:00:00"));

        QCOMPARE(DownloadBinary::formatBuildStamp(202612101230), QStringLiteral("2026-12-10 12:30"));
        QCOMPARE(DownloadBinary::formatBuildStamp(202613401230), QStringLiteral("202613401230"));
        QCOMPARE(DownloadBinary::formatBuildStamp(42), QStringLiteral("42"));
    }

    void serverFileNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("safe");
        QTest::newRow("plain") << "ZRPlayer-3.4.5-setup.exe" << "ZRPlayer-3.4.5-setup.exe";
        QTest::newRow("empty") << "" << "update.bin";
        QTest::newRow("dot") << "." << "update.bin";
        QTest::newRow("dot dot") << ".." << "update.bin";
        QTest::newRow("slashes") << "../../.bashrc" << ".bashrc";
        QTest::newRow("backslashes") << "..\\..\\Windows\\evil.exe" << "evil.exe";
        QTest::newRow("ends in separator") << "dir/" << "update.bin";
        QTest::newRow("drive") << "C:evil.exe" << "Cevil.exe";
        QTest::newRow("control characters") << QString::fromUtf8("a\nb\rc\x01.exe") << "abc.exe";
        QTest::newRow("only control") << QString::fromUtf8("\x01\x02") << "update.bin";
        QTest::newRow("colons and dots") << ":.:" << "update.bin";
        QTest::newRow("three dots") << "..." << "update.bin";
        QTest::newRow("dots and blanks") << " . . " << "update.bin";
        QTest::newRow("dots inside a name") << "a..b.exe" << "a..b.exe";
    }
    void serverFileNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, safe);
        QCOMPARE(DownloadBinary::safeFileName(name), safe);
    }

    void trackListAddress()
    {
        const QString prefix = QString::fromLatin1(
            QCryptographicHash::hash("ZRPLAYER", QCryptographicHash::Md5).toHex().left(5));
        QCOMPARE(DownloadBinary::trackListUrlFor(QStringLiteral("https://apps.example.invalid/zrapps/"),
                                                 QStringLiteral("ZRPLAYER")),
                 QUrl(QStringLiteral("https://apps.example.invalid/zrapps/%1_ZRPLAYER/").arg(prefix)));
        QCOMPARE(DownloadBinary::trackListUrlFor(QStringLiteral("http://127.0.0.1:8080/zrapps"),
                                                 QStringLiteral("ZR PLAYER")),
                 QUrl(QStringLiteral("http://127.0.0.1:8080/zrapps/%1_ZRPLAYER/").arg(prefix)));
    }
};

ZR_TEST_MAIN_CORE(TestReleaseParsing)
#include "tst_release_parsing.moc"
