//! labels: unit net
#include "ptz/DomParser.h"
#include "ptz/Fujiptz.h"
#include "ptz/Hanwhaptz.h"
#include "ptz/HikPtz.h"
#include "ptz/Onvif.h"
#include "ptz/Onvif_ptz.h"
#include "tests/support/HttpServer.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

#include <functional>
#include <memory>

using zrtest::HttpReply;
using zrtest::HttpRequest;
using zrtest::HttpServer;

Q_DECLARE_METATYPE(zrtest::HttpReply)

namespace {

const QByteArray kProfiles =
    "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
    "xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\"><s:Body><trt:GetProfilesResponse>"
    "<trt:Profiles token=\"main&amp;1\" fixed=\"true\"><tt:Name xmlns:tt=\"x\">Main</tt:Name></trt:Profiles>"
    "<trt:Profiles token=\"sub\"/></trt:GetProfilesResponse></s:Body></s:Envelope>";

const QByteArray kFault =
    "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body><s:Fault><s:Code><s:Value>s:Sender</s:Value>"
    "</s:Code><s:Reason><s:Text xml:lang=\"en\">no-ptz: profile has no PTZ configuration</s:Text></s:Reason></s:Fault>"
    "</s:Body></s:Envelope>";

// Camera answers every request with the reply that the test set last.
struct Camera
{
    std::shared_ptr<HttpReply> reply = std::make_shared<HttpReply>(HttpReply::text(""));
    HttpServer server{[r = reply](const HttpRequest& req) {
        if (req.path == "/onvif/media_service")
            return HttpReply::text(kProfiles, 200, "application/soap+xml");
        return *r;
    }};
    QString port() const { return QString::number(server.port()); }
};

HttpReply isapiStatus(int code, const QByteArray& sub)
{
    return HttpReply::text("<?xml version=\"1.0\" encoding=\"UTF-8\"?><ResponseStatus version=\"2.0\" "
                           "xmlns=\"http://www.hikvision.com/ver20/XMLSchema\"><requestURL>/ISAPI/x</requestURL>"
                           "<statusCode>" + QByteArray::number(code) + "</statusCode><statusString>Invalid Operation</statusString>"
                           "<subStatusCode>" + sub + "</subStatusCode></ResponseStatus>",
                           code == 1 ? 200 : 403, "application/xml");
}

} // namespace

Q_DECLARE_METATYPE(std::function<NativePTZInterface*(QString)>)
Q_DECLARE_METATYPE(std::function<void(NativePTZInterface*)>)

class TestPtzDrivers : public QObject
{
    Q_OBJECT

private slots:
    // Every stop slot sends its stop request to the camera.
    void stopSlots_data()
    {
        using Make = std::function<NativePTZInterface*(QString)>;
        using Slot = std::function<void(NativePTZInterface*)>;
        QTest::addColumn<Make>("make");
        QTest::addColumn<Slot>("stop");
        QTest::addColumn<QString>("logLine");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QByteArray>("body");

        QTest::newRow("Hanwha security stop") << Make([](QString p) { return new Hanwhaptz("http", "127.0.0.1", p, "u", "p", "2"); })
                                              << Slot([](NativePTZInterface* d) { static_cast<Hanwhaptz*>(d)->security_stop(); })
                                              << QString()
                                              << QByteArray("GET")
                                              << QByteArray("/stw-cgi/ptzcontrol.cgi?msubmenu=stop&action=control&Channel=2&OperationType=All")
                                              << QByteArray();
        QTest::newRow("Hanwha stop false clic, no channel") << Make([](QString p) { return new Hanwhaptz("http", "127.0.0.1", p, "u", "p", ""); })
                                                            << Slot([](NativePTZInterface* d) { static_cast<Hanwhaptz*>(d)->stop_false_clic(); })
                                                            << "[INFO] HANWHA PTZ :: stop false clic"
                                                            << QByteArray("GET")
                                                            << QByteArray("/stw-cgi/ptzcontrol.cgi?msubmenu=stop&action=control&Channel=0&OperationType=All")
                                                            << QByteArray();
        QTest::newRow("Hik security stop") << Make([](QString p) { return new HikPtz("http", "127.0.0.1", p, "u", "p", "3"); })
                                           << Slot([](NativePTZInterface* d) { static_cast<HikPtz*>(d)->security_stop(); })
                                           << "[INFO] HIK PTZ :: security stop"
                                           << QByteArray("PUT")
                                           << QByteArray("/ISAPI/PTZCtrl/channels/3/continuous")
                                           << QByteArray("<PTZData><pan>0</pan><tilt>0</tilt><zoom>0</zoom></PTZData>");
        QTest::newRow("Fuji security stop") << Make([](QString p) { return new Fujiptz("http", "127.0.0.1", p, "u", "p", "4"); })
                                            << Slot([](NativePTZInterface* d) { static_cast<Fujiptz*>(d)->security_stop(); })
                                            << "[INFO] FUJI PTZ :: security stop"
                                            << QByteArray("POST")
                                            << QByteArray("/api/ptz/continuous")
                                            << QByteArray("{\"channel\":1,\"pan\":0,\"tilt\":0,\"zoom\":0}");
        QTest::newRow("ONVIF stop false clic") << Make([](QString p) { return new Onvif("http", "127.0.0.1", p, "u", "p", "1"); })
                                               << Slot([](NativePTZInterface* d) { static_cast<Onvif*>(d)->stop_false_clic(); })
                                               << QString()
                                               << QByteArray("POST")
                                               << QByteArray("/onvif/ptz_service")
                                               << Onvif::envelope("<Stop xmlns=\"http://www.onvif.org/ver20/ptz/wsdl\"><ProfileToken>main&amp;1</ProfileToken>"
                                                                  "<PanTilt>true</PanTilt><Zoom>true</Zoom></Stop>");
    }

    void stopSlots()
    {
        QFETCH(std::function<NativePTZInterface*(QString)>, make);
        QFETCH(std::function<void(NativePTZInterface*)>, stop);
        QFETCH(QString, logLine);
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, target);
        QFETCH(QByteArray, body);
        Camera camera;
        zrtest::LogCatcher log;
        std::unique_ptr<NativePTZInterface> driver(make(camera.port()));
        QVERIFY(zrtest::waitUntil([&] { return driver->is_ready(); }, 10000));
        const int before = camera.server.requestCount();
        QSignalSpy finished(driver.get(), &NativePTZInterface::send_request_finished);
        stop(driver.get());
        QVERIFY(camera.server.waitForRequests(before + 1, 10000));
        const HttpRequest r = camera.server.requests().at(before);
        QCOMPARE(r.method, method);
        QCOMPARE(r.target, target);
        QCOMPARE(r.body, body);
        if (!logLine.isEmpty())
            QVERIFY(log.contains(logLine));
        QVERIFY(zrtest::waitForSignals(finished, 1, 10000));
        QCOMPARE(finished.at(0).at(0).toInt(), 1);
    }

    // Camera refusals reach the operator through the one status_message signal, whichever way
    // it was connected.
    void refusalsReachTheOperator_data()
    {
        using Make = std::function<NativePTZInterface*(QString)>;
        QTest::addColumn<Make>("make");
        QTest::addColumn<HttpReply>("reply");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("fault");

        const Make hik = [](QString p) { return new HikPtz("http", "127.0.0.1", p, "admin", "wrong", "1"); };
        const Make fuji = [](QString p) { return new Fujiptz("http", "127.0.0.1", p, "admin", "x", "1"); };
        const Make hanwha = [](QString p) { return new Hanwhaptz("http", "127.0.0.1", p, "admin", "x", "0"); };
        const Make onvif = [](QString p) { return new Onvif("http", "127.0.0.1", p, "admin", "x", "1"); };
        QTest::newRow("Hik status") << hik << isapiStatus(4, "notSupport") << -2 << "HTTP 403 (Forbidden)";
        QTest::newRow("Hik status 200") << hik << [] { HttpReply r = isapiStatus(4, "notSupport"); r.status = 200; return r; }() << -1 << "notSupport";
        QTest::newRow("Hik garbage") << hik << HttpReply::text("<ResponseStatus><statusCode>1</statusCode><<<\x01") << -1 << "Invalid XML";
        QTest::newRow("Hik endless") << hik << [] { HttpReply r = HttpReply::text(QByteArray(3 << 20, '<')); r.sendContentLength = false; return r; }()
                                     << -2 << QString();
        QTest::newRow("Fuji malformed JSON") << fuji << HttpReply::json("{\"result\": tru") << -1 << "Invalid JSON";
        QTest::newRow("Fuji error") << fuji << HttpReply::json("{\"error\":\"motor busy\"}") << -1 << "motor busy";
        QTest::newRow("Hanwha NG") << hanwha << HttpReply::text("NG\r\nError Code: 600\r\nError Details: Not supported\r\n") << -1 << "Not supported";
        QTest::newRow("Hanwha HTML") << hanwha << HttpReply::text("<html><body>404</body></html>", 404, "text/html") << -2 << "HTTP/HTML error response";
        QTest::newRow("ONVIF fault") << onvif << HttpReply::text(kFault, 400, "application/soap+xml") << -1
                                     << "no-ptz: profile has no PTZ configuration";
        QTest::newRow("ONVIF garbage") << onvif << HttpReply::text(QByteArray(70, '<') + "Envelope") << -1 << QString();
    }

    void refusalsReachTheOperator()
    {
        using Make = std::function<NativePTZInterface*(QString)>;
        QFETCH(Make, make);
        QFETCH(HttpReply, reply);
        QFETCH(int, status);
        QFETCH(QString, fault);
        Camera camera;
        *camera.reply = reply;
        std::unique_ptr<NativePTZInterface> driver(make(camera.port()));
        QVERIFY(zrtest::waitUntil([&] { return driver->is_ready(); }, 10000));
        QSignalSpy typed(driver.get(), &NativePTZInterface::status_message);
        // A connection by name finds the most derived class's signal of that name first.
        QSignalSpy byName(driver.get(), SIGNAL(status_message(int, QString, QString, QString)));
        QVERIFY(byName.isValid());

        driver->send_command("ContinuousMove", false, 20, 10, 0, 640, 480, 0, -1, -1);
        QVERIFY(zrtest::waitForSignals(typed, 1, 15000));
        QCOMPARE(typed.at(0).at(0).toInt(), status);
        QCOMPARE(typed.at(0).at(1).toString(), QStringLiteral("ContinuousMove"));
        if (!fault.isEmpty())
            QCOMPARE(typed.at(0).at(2).toString(), fault);
        else
            QVERIFY(!typed.at(0).at(2).toString().isEmpty());
        QCOMPARE(typed.at(0).at(3).toString(), driver->driver_name);
        QCOMPARE(byName.count(), 1);
        QCOMPARE(byName.at(0), typed.at(0));
    }

    // Requests of the move commands.
    void moveRequests()
    {
        Camera camera;
        {
            Hanwhaptz hanwha("http", "127.0.0.1", camera.port(), "u", "p", "0");
            hanwha.send_command("ContinuousMove", false, 30, -40, 0, 1920, 1080, 0, -1, -1);
            QVERIFY(camera.server.waitForRequests(1));
            QCOMPARE(camera.server.requests().last().target,
                     QByteArray("/stw-cgi/ptzcontrol.cgi?msubmenu=continuous&action=control&Channel=0&Pan=30&Tilt=-40&Zoom=0"));
            hanwha.send_command("area", false, 100, 50, 300, 1920, 1080, 0, 400, 200);
            QVERIFY(camera.server.waitForRequests(2));
            QCOMPARE(camera.server.requests().last().target,
                     QByteArray("/stw-cgi/ptzcontrol.cgi?msubmenu=areazoom&action=control&Channel=0&X1=100&Y1=50&X2=500&Y2=250&TileWidth=1920&TileHeight=1080"));
        }
        {
            HikPtz hik("http", "127.0.0.1", camera.port(), "u", "p", "1");
            hik.send_command("area", false, 960, 540, 200, 1920, 1080, 0, 960, 540);
            QVERIFY(camera.server.waitForRequests(3, 10000));
            const HttpRequest r = camera.server.requests().last();
            QCOMPARE(r.target, QByteArray("/ISAPI/PTZCtrl/channels/1/position3D"));
            QCOMPARE(r.headers.value("content-type"), QByteArray("application/xml; charset=utf-8"));
            QCOMPARE(r.body, QByteArray("<position3D><StartPoint><positionX>63</positionX><positionY>63</positionY></StartPoint>"
                                        "<EndPoint><positionX>191</positionX><positionY>191</positionY></EndPoint></position3D>"));
        }
        {
            Onvif onvif("http", "127.0.0.1", camera.port(), "u", "p", "1");
            QVERIFY(zrtest::waitUntil([&] { return onvif.is_ready(); }, 10000));
            QCOMPARE(onvif.get_profile_token(), QStringLiteral("main&1"));
            const int before = camera.server.requestCount();
            onvif.send_command("ContinuousMove", false, 50, -100, 25, 640, 480, 0, -1, -1);
            QVERIFY(camera.server.waitForRequests(before + 1, 10000));
            const HttpRequest r = camera.server.requests().last();
            QCOMPARE(r.headers.value("content-type"), QByteArray("application/soap+xml; charset=utf-8"));
            QVERIFY2(r.body.contains("<ProfileToken>main&amp;1</ProfileToken><Velocity><PanTilt xmlns=\"http://www.onvif.org/ver10/schema\" x=\"0.5\" y=\"-1\"/>"
                                     "<Zoom xmlns=\"http://www.onvif.org/ver10/schema\" x=\"0.25\"/></Velocity>"),
                     r.body.constData());
        }
    }

    // The Hik driver keeps one request in flight; a burst behind it leaves only its newest,
    // and destroying the driver while the camera stalls returns at once.
    void hikSerialisesAndStops()
    {
        HttpServer server([](const HttpRequest& r) {
            HttpReply reply = isapiStatus(1, "ok");
            if (r.body.contains("<pan>1</pan>"))
                reply.delayMs = 500;
            return reply;
        });
        auto hik = std::make_unique<HikPtz>("http", "127.0.0.1", QString::number(server.port()), "u", "p", "1");
        QSignalSpy finished(hik.get(), &NativePTZInterface::send_request_finished_ex);
        for (int n = 1; n <= 50; ++n)
            hik->send_command("ContinuousMove", false, n, 0, 0, 640, 480, 0, -1, -1);
        QVERIFY(zrtest::waitForSignals(finished, 2, 15000));
        QTest::qWait(200);
        QCOMPARE(server.requestCount(), 2);
        QVERIFY(server.requests().at(0).body.contains("<pan>1</pan>"));
        QVERIFY(server.requests().at(1).body.contains("<pan>50</pan>"));

        HttpReply stall;
        stall.stall = true;
        server.route("/ISAPI/PTZCtrl/channels/1/continuous", stall);
        hik->security_stop();
        QVERIFY(server.waitForRequests(3, 10000));
        QElapsedTimer clock;
        clock.start();
        hik.reset();
        QVERIFY(clock.elapsed() < 3000);
    }

    void hikPresets()
    {
        bool ok = false;
        const auto presets = HikPtz::parse_presets(
            "<PTZPresetList><PTZPreset><id>1</id><presetName> Door </presetName></PTZPreset>"
            "<PTZPreset><id>7</id><presetName>Gate</presetName></PTZPreset><PTZPreset><presetName>no id</presetName></PTZPreset></PTZPresetList>",
            &ok);
        QVERIFY(ok);
        QCOMPARE(presets.size(), 2);
        QCOMPARE(presets.at(0).token, QStringLiteral("1"));
        QCOMPARE(presets.at(0).name, QStringLiteral("Door"));
        QCOMPARE(presets.at(1).token, QStringLiteral("7"));
        HikPtz::parse_presets("<PTZPresetList><PTZPreset><id>1</id>", &ok);
        QVERIFY(!ok);
        HikPtz::parse_presets(QString(50000, QLatin1Char('<')), &ok);
        QVERIFY(!ok);

        Camera camera;
        *camera.reply = HttpReply::text("<PTZPresetList><PTZPreset><id>3</id><presetName>Dock</presetName></PTZPreset></PTZPresetList>");
        HikPtz hik("http", "127.0.0.1", camera.port(), "u", "p", "2");
        QSignalSpy listed(&hik, qOverload<QList<NativePTZInterface::PresetInfo>>(&NativePTZInterface::presetsListed));
        hik.send_preset("ListPresets", "", "");
        QVERIFY(zrtest::waitForSignals(listed, 1, 10000));
        QCOMPARE(camera.server.requests().last().target, QByteArray("/ISAPI/PTZCtrl/channels/2/presets"));
        const auto got = listed.at(0).at(0).value<QList<NativePTZInterface::PresetInfo>>();
        QCOMPARE(got.size(), 1);
        QCOMPARE(got.at(0).name, QStringLiteral("Dock"));
        hik.send_preset("GotoPreset", "3", "");
        QVERIFY(camera.server.waitForRequests(2, 10000));
        QCOMPARE(camera.server.requests().last().method, QByteArray("PUT"));
        QCOMPARE(camera.server.requests().last().target, QByteArray("/ISAPI/PTZCtrl/channels/2/presets/3/goto"));
    }

    // ONVIF answers: ranges, faults, hostile documents.
    void domParser()
    {
        DomParser parser;
        QCOMPARE(parser.ptz->pan_velocity, Onvif_ptz::Range(-1.0f, 1.0f));
        QVERIFY(!parser.ptz->continuous_supported);
        QVERIFY(parser.parse("<Options><Spaces><ContinuousPanTiltVelocitySpace><URI>u</URI><XRange><Min>-0.5</Min><Max>0.5</Max></XRange>"
                             "<YRange><Min>-0.25</Min><Max>0.25</Max></YRange></ContinuousPanTiltVelocitySpace>"
                             "<ContinuousZoomVelocitySpace><XRange><Min>-2</Min><Max>2</Max></XRange></ContinuousZoomVelocitySpace>"
                             "</Spaces></Options>"));
        QCOMPARE(parser.ptz->pan_velocity, Onvif_ptz::Range(-0.5f, 0.5f));
        QCOMPARE(parser.ptz->tilt_velocity, Onvif_ptz::Range(-0.25f, 0.25f));
        QCOMPARE(parser.ptz->zoom_velocity, Onvif_ptz::Range(-2.0f, 2.0f));
        QVERIFY(parser.ptz->continuous_supported);

        DomParser fault;
        QVERIFY(fault.parse(kFault));
        QCOMPARE(fault.fault, QStringLiteral("no-ptz: profile has no PTZ configuration"));
        QCOMPARE(fault.values.value("Value"), QStringLiteral("s:Sender"));

        DomParser profiles;
        QVERIFY(profiles.parse(kProfiles));
        QCOMPARE(profiles.profile_tokens, (QStringList{"main&1", "sub"}));

        DomParser deep;
        QByteArray nested;
        for (int i = 0; i < 200; ++i)
            nested += "<a>";
        QVERIFY(!deep.parse(nested));
        DomParser huge;
        QVERIFY(!huge.parse(QByteArray(2 * 1024 * 1024, ' ')));
        DomParser many;
        QByteArray flat = "<r>";
        for (int i = 0; i < 30000; ++i)
            flat += "<b/>";
        QVERIFY(!many.parse(flat + "</r>"));
        DomParser broken;
        QVERIFY(!broken.parse("<a><b></a>"));
        QVERIFY(!broken.error.isEmpty());
    }

    // A camera without ONVIF media answers is not ready and says so.
    void onvifWithoutProfiles()
    {
        HttpServer server([](const HttpRequest&) { return HttpReply::text("<html>nothing here</html>", 404, "text/html"); });
        Onvif onvif("http", "127.0.0.1", QString::number(server.port()), "u", "p", "1");
        QSignalSpy messages(&onvif, &NativePTZInterface::status_message);
        QVERIFY(zrtest::waitForSignals(messages, 1, 10000));
        QCOMPARE(messages.at(0), (QList<QVariant>{-1, "GetProfiles", "ONVIF no profile", "onvif"}));
        QVERIFY(!onvif.is_ready());
        onvif.send_command("ContinuousMove", false, 10, 0, 0, 640, 480, 0, -1, -1);
        QCOMPARE(messages.count(), 2);
        QCOMPARE(server.requestCount(), 1);
    }
};

ZR_TEST_MAIN_CORE(TestPtzDrivers)
#include "tst_ptzdrivers.moc"
