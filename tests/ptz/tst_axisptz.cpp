//! labels: unit net
#include "ptz/AxisPtz.h"
#include "tests/support/HttpServer.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

#include <functional>

using zrtest::HttpReply;
using zrtest::HttpRequest;
using zrtest::HttpServer;

Q_DECLARE_METATYPE(zrtest::HttpReply)

namespace {

const QByteArray kOptics = "/axis-cgi/opticscontrol.cgi";
const QByteArray kPtz = "/axis-cgi/com/ptz.cgi";

HttpReply html404()
{
    return HttpReply::text("<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\n<html><head><title>404 Not Found</title></head>"
                           "<body><h1>Not Found</h1></body></html>",
                           404, "text/html");
}

QByteArray opticsData(const QJsonObject& optic)
{
    return QJsonDocument(QJsonObject{{"apiVersion", "1.2"},
                                     {"context", "zrnova"},
                                     {"data", QJsonObject{{"optics", QJsonArray{optic}}}}})
        .toJson(QJsonDocument::Compact);
}

QByteArray methodOf(const HttpRequest& r)
{
    return QJsonDocument::fromJson(r.body).object().value("method").toString().toLatin1();
}

// An Axis camera on loopback: optics control, ptz.cgi, both or neither, with scripted answers.
struct AxisCamera
{
    bool optics = false;
    bool ptz = false;
    double maxMagnification = 20;
    double magnification = 3;
    // Per-request override: a reply to give instead of the camera's own, or nullopt.
    std::function<std::optional<HttpReply>(const HttpRequest&)> script;

    HttpReply answer(const HttpRequest& r)
    {
        if (script)
            if (auto scripted = script(r))
                return *scripted;
        if (r.path == kOptics) {
            if (!optics)
                return html404();
            const QByteArray method = methodOf(r);
            if (method == "getCapabilities")
                return HttpReply::json(opticsData({{"opticsId", "0"}, {"maxMagnification", maxMagnification}}));
            if (method == "getOptics")
                return HttpReply::json(opticsData({{"opticsId", "0"}, {"magnification", magnification}}));
            if (method == "setMagnification") {
                magnification = QJsonDocument::fromJson(r.body)["params"]["optics"][0]["magnification"].toDouble();
                return HttpReply::json("{\"apiVersion\":\"1.2\",\"data\":{}}");
            }
            return HttpReply::json("{\"error\":{\"code\":2002,\"message\":\"Method not supported\"}}");
        }
        if (r.path == kPtz) {
            if (!ptz)
                return html404();
            if (r.target.contains("query=position"))
                return HttpReply::text("pan=0.0\ntilt=0.0\nzoom=1\n");
            if (r.target.contains("query=presetposall"))
                return HttpReply::text("Preset Positions for camera 1\r\npresetposno1=Door\r\n\r\npresetposno12=  Back gate  \r\n");
            HttpReply done = HttpReply::text("");
            done.status = 204;
            return done;
        }
        return html404();
    }
};

struct Rig
{
    AxisCamera camera;
    HttpServer server{[this](const HttpRequest& r) { return camera.answer(r); }};
    std::unique_ptr<AxisPtz> driver;
    std::unique_ptr<QSignalSpy> messages;
    std::unique_ptr<QSignalSpy> finished;

    void start(bool verbose = false)
    {
        driver = std::make_unique<AxisPtz>("http", "127.0.0.1", QString::number(server.port()), "root", "pass", "1", verbose);
        messages = std::make_unique<QSignalSpy>(driver.get(), &NativePTZInterface::status_message);
        finished = std::make_unique<QSignalSpy>(driver.get(), &NativePTZInterface::send_request_finished_ex);
    }
    bool probed() { return zrtest::waitUntil([&] { return driver->is_probe_done() && driver->has_answered() && !driver->has_held_back_request(); }, 15000); }
    // Waits for n more answers.
    bool answers(int n) { return zrtest::waitForSignals(*finished, n, 15000); }
    QList<QVariant> message(const QString& command) const
    {
        for (const QList<QVariant>& m : *messages)
            if (m.at(1).toString() == command)
                return m;
        return {};
    }
    QList<QByteArray> targets() const
    {
        QList<QByteArray> out;
        for (const HttpRequest& r : server.requests())
            out << (r.method + ' ' + r.target + (r.body.isEmpty() ? QByteArray() : ' ' + r.body));
        return out;
    }
};

QByteArray opticsBody(const char* method) { return QByteArray("{\"apiVersion\":\"1.2\",\"context\":\"zrnova\",\"method\":\"") + method + "\"}"; }

} // namespace

class TestAxisPtz : public QObject
{
    Q_OBJECT

private slots:
    void opticsCamera()
    {
        Rig rig;
        rig.camera.optics = true;
        zrtest::LogCatcher log;
        rig.start();
        QVERIFY(rig.probed());
        QVERIFY(zrtest::waitUntil([&] { return rig.server.requestCount() >= 3 && rig.driver->has_answered(); }));
        QVERIFY(zrtest::waitUntil([&] { return rig.driver->current_magnification() == 3.0; }));

        QVERIFY(rig.driver->has_optics_control());
        QVERIFY(!rig.driver->has_ptz_control());
        QVERIFY(rig.driver->is_zoom_capable());
        QCOMPARE(rig.driver->max_magnification(), 20.0);
        const QList<QByteArray> sent = rig.targets();
        QCOMPARE(sent.mid(0, 3), (QList<QByteArray>{"POST " + kOptics + ' ' + opticsBody("getCapabilities"),
                                                    "POST " + kOptics + ' ' + opticsBody("getCapabilities"),
                                                    "POST " + kOptics + ' ' + opticsBody("getOptics")}));
        const HttpRequest first = rig.server.requests().at(0);
        QCOMPARE(first.headers.value("content-type"), QByteArray("application/json"));
        QCOMPARE(first.headers.value("accept"), QByteArray("application/json"));
        QCOMPARE(first.headers.value("user-agent"), QByteArray("ZRNova"));
        QVERIFY(first.headers.value("authorization").isEmpty()); // the camera asked for none
        QCOMPARE(rig.messages->count(), 1);
        QCOMPARE(rig.messages->at(0), (QList<QVariant>{1, "Capabilities", "AXIS capabilities: OPTICS (zoom)", "axis"}));
        QVERIFY(log.contains("[INFO] AXIS :: probe :: opticscontrol supported"));
        QVERIFY(log.contains("[INFO] AXIS OPTICS :: maxMagnification=20"));
        QVERIFY(log.contains("[INFO] AXIS OPTICS :: current magnification=3"));
        QVERIFY(rig.driver->get_capabilities().contains("opticszoom"));

        // A wheel step in sets the magnification and reads it back.
        const int before = rig.server.requestCount();
        rig.driver->send_command("ContinuousMove", true, 0, 0, 50, 640, 480, 1, -1, -1);
        QVERIFY(zrtest::waitUntil([&] { return rig.server.requestCount() >= before + 2 && rig.driver->has_answered(); }));
        const HttpRequest set = rig.server.requests().at(before);
        QCOMPARE(methodOf(set), QByteArray("setMagnification"));
        QCOMPARE(QJsonDocument::fromJson(set.body)["params"]["optics"][0]["magnification"].toDouble(), 3.75);
        QCOMPARE(methodOf(rig.server.requests().at(before + 1)), QByteArray("getOptics"));
        QVERIFY(zrtest::waitUntil([&] { return rig.driver->current_magnification() == 3.75; }));
        // Pan and tilt are not for a camera without ptz.cgi.
        rig.driver->send_command("PanTilt_ContinuousMove", false, 10, 10, 0, 640, 480, 1, -1, -1);
        QCOMPARE(rig.messages->last().at(0).toInt(), -1);
    }

    void magnificationBounds_data()
    {
        QTest::addColumn<double>("maximum");
        QTest::addColumn<double>("reported");
        QTest::addColumn<double>("stored");
        QTest::newRow("below one") << 20.0 << 0.5 << 1.0;
        QTest::newRow("above maximum") << 20.0 << 30.0 << 20.0;
        QTest::newRow("no maximum") << 0.0 << 30.0 << 30.0;
    }

    void magnificationBounds()
    {
        QFETCH(double, maximum);
        QFETCH(double, reported);
        QFETCH(double, stored);
        Rig rig;
        rig.camera.optics = true;
        rig.camera.maxMagnification = maximum;
        rig.camera.magnification = reported;
        zrtest::LogCatcher log;
        rig.start();
        QVERIFY(log.waitFor("[INFO] AXIS OPTICS :: current magnification=", 15000));
        QCOMPARE(rig.driver->current_magnification(), stored);
        QCOMPARE(rig.driver->is_zoom_capable(), maximum > 1.0);
    }

    // Every command of a pan-tilt-zoom camera and the request it sends.
    void ptzCommands_data()
    {
        using Op = std::function<void(AxisPtz&)>;
        QTest::addColumn<Op>("op");
        QTest::addColumn<QByteArray>("target");
        QTest::newRow("move") << Op([](AxisPtz& d) { d.send_command("ContinuousMove", false, 30, -20, 0, 1920, 1080, 1, -1, -1); })
                              << QByteArray("continuouspantiltmove=30,-20&camera=1");
        QTest::newRow("zoom") << Op([](AxisPtz& d) { d.send_command("ContinuousMove", true, 0, 0, -50, 1920, 1080, 1, -1, -1); })
                              << QByteArray("continuouszoommove=-50&camera=1");
        QTest::newRow("stop") << Op([](AxisPtz& d) { d.send_command("ContinuousMove", false, 0, 0, 0, 1920, 1080, 1, -1, -1); })
                              << QByteArray("continuouspantiltmove=0,0&continuouszoommove=0&camera=1");
        QTest::newRow("security stop") << Op([](AxisPtz& d) { d.security_stop(); })
                                       << QByteArray("continuouspantiltmove=0,0&continuouszoommove=0&camera=1");
        QTest::newRow("onvif-style stop") << Op([](AxisPtz& d) { d.send_command("STOP_PanTilt_ContinuousMove", false, 0, 0, 0, 1920, 1080, 2, -1, -1); })
                                          << QByteArray("continuouspantiltmove=0,0&continuouszoommove=0&camera=2");
        QTest::newRow("clic") << Op([](AxisPtz& d) { d.send_command("clic", false, 400.7f, 300.2f, 0, 1920, 1080, 1, -1, -1); })
                              << QByteArray("center=400,300&imagewidth=1920&imageheight=1080&camera=1");
        QTest::newRow("area") << Op([](AxisPtz& d) { d.send_command("area", false, 960, 540, 250, 1920, 1080, 1, 200, 100); })
                              << QByteArray("areazoom=960,540,250&imagewidth=1920&imageheight=1080&camera=1");
        QTest::newRow("right clic") << Op([](AxisPtz& d) { d.send_command("right_clic", false, 0, 0, 0, 1920, 1080, 1, -1, -1); })
                                    << QByteArray("move=home&camera=1");
        QTest::newRow("goto preset") << Op([](AxisPtz& d) { d.send_preset("GotoPreset", "12", ""); })
                                     << QByteArray("gotoserverpresetno=12&camera=1");
        QTest::newRow("goto preset by name") << Op([](AxisPtz& d) { d.send_preset("GotoPreset", "", "Back gate"); })
                                             << QByteArray("gotoserverpresetname=Back%20gate&camera=1");
        QTest::newRow("set preset") << Op([](AxisPtz& d) { d.send_preset("SetPreset", "3", "Front door&x=1"); })
                                    << QByteArray("setserverpresetname=Front%20door%26x%3D1&setserverpresetno=3&camera=1");
        QTest::newRow("remove preset") << Op([](AxisPtz& d) { d.send_preset("RemovePreset", "3", ""); })
                                       << QByteArray("removeserverpresetno=3&camera=1");
        QTest::newRow("list presets") << Op([](AxisPtz& d) { d.send_preset("ListPresets", "", ""); })
                                      << QByteArray("query=presetposall&camera=1");
    }

    void ptzCommands()
    {
        QFETCH(std::function<void(AxisPtz&)>, op);
        QFETCH(QByteArray, target);
        Rig rig;
        rig.camera.ptz = true;
        rig.start();
        QVERIFY(rig.probed());
        QVERIFY(rig.driver->has_ptz_control());
        QVERIFY(!rig.driver->has_optics_control());
        const int before = rig.server.requestCount();
        op(*rig.driver);
        QVERIFY(rig.server.waitForRequests(before + 1));
        const HttpRequest r = rig.server.requests().at(before);
        QCOMPARE(r.method, QByteArray("GET"));
        QCOMPARE(r.target, kPtz + '?' + target);
        QVERIFY(r.headers.value("authorization").isEmpty() || r.headers.value("authorization").startsWith("Basic"));
    }

    // The probe of a PTZ camera, and the outcome of every preset answer.
    void ptzCameraAndPresets()
    {
        Rig rig;
        rig.camera.ptz = true;
        zrtest::LogCatcher log;
        rig.start(true);
        QVERIFY(rig.probed());
        QCOMPARE(rig.targets().mid(0, 2), (QList<QByteArray>{"POST " + kOptics + ' ' + opticsBody("getCapabilities"),
                                                             "GET " + kPtz + "?query=position"}));
        QVERIFY(log.contains("[WARN] AXIS :: opticscontrol probe returned HTML/404 -> fallback to ptz.cgi probe"));
        QVERIFY(log.contains("[INFO] AXIS :: probe :: ptz.cgi supported"));
        QVERIFY(log.contains("[INFO] AXIS :: handle_response :: status=1 cmd=Probe:PtzQueryPosition resp=pan=0.0"));
        QCOMPARE(rig.messages->count(), 1);
        QCOMPARE(rig.messages->at(0), (QList<QVariant>{1, "Capabilities", rig.driver->get_capabilities(), "axis"}));

        QSignalSpy listed(rig.driver.get(), qOverload<QList<NativePTZInterface::PresetInfo>, QString>(&NativePTZInterface::presetsListed));
        rig.driver->send_preset("ListPresets", "", "");
        QVERIFY(zrtest::waitForSignals(listed, 1, 10000));
        const auto presets = listed.at(0).at(0).value<QList<NativePTZInterface::PresetInfo>>();
        QCOMPARE(presets.size(), 2);
        QCOMPARE(presets.at(0).token, QStringLiteral("1"));
        QCOMPARE(presets.at(0).name, QStringLiteral("Door"));
        QCOMPARE(presets.at(1).token, QStringLiteral("12"));
        QCOMPARE(presets.at(1).name, QStringLiteral("Back gate"));
        QVERIFY(presets.at(1).extra.isEmpty());
        QCOMPARE(listed.at(0).at(1).toString(), QString());
        QCOMPARE(rig.messages->last(), (QList<QVariant>{1, "ListPresets", "AXIS presets listed (2)", "axis"}));

        struct Case { const char* action; HttpReply reply; int status; const char* fault; };
        const QList<Case> cases = {
            {"SetPreset", HttpReply::text(""), 1, "AXIS preset set OK"},
            {"SetPreset", HttpReply::text("Error: no more presets\r\n"), -2, "Error: no more presets"},
            {"GotoPreset", HttpReply::text("OK\nNG\n"), -2, "NG"},
            {"GotoPreset", HttpReply::text("moving"), 1, "AXIS preset goto OK"},
            {"RemovePreset", HttpReply::text(""), 1, "AXIS preset remove OK"},
            {"RemovePreset", HttpReply::text("  ng: unknown preset  "), -2, "ng: unknown preset"},
            {"ListPresets", HttpReply::text("Error"), -2, "Error"},
            {"ListPresets", HttpReply::text("garbage\x01\x02\nno presets here"), 1, "AXIS presets listed (0)"},
            {"GotoPreset", HttpReply::text("<html><body>401 Unauthorized</body></html>", 401, "text/html"), -2, "401 Unauthorized"},
            {"GotoPreset", html404(), -2, "HTTP/HTML error response"},
        };
        for (const Case& c : cases) {
            const HttpReply reply = c.reply;
            rig.camera.script = [reply](const HttpRequest& r) -> std::optional<HttpReply> {
                if (r.path == kPtz)
                    return reply;
                return std::nullopt;
            };
            const int before = rig.messages->count();
            rig.driver->send_preset(c.action, "3", "Gate");
            QVERIFY2(zrtest::waitUntil([&] { return rig.messages->count() > before; }, 10000), c.fault);
            const QList<QVariant> m = rig.messages->last();
            QCOMPARE(m.at(0).toInt(), c.status);
            QCOMPARE(m.at(2).toString(), QString::fromUtf8(c.fault));
            QCOMPARE(m.at(3).toString(), QStringLiteral("axis"));
            QVERIFY(zrtest::waitUntil([&] { return rig.driver->has_answered(); }));
        }
    }

    // A camera with neither interface, however it says so, ends its probe with "no PTZ/optics".
    void cameraWithNeither_data()
    {
        QTest::addColumn<HttpReply>("ptzReply");
        QTest::newRow("404 text") << HttpReply::text("404 Not Found", 404);
        QTest::newRow("error text") << HttpReply::text("Error: ptz not supported");
        QTest::newRow("html page") << html404();
        HttpReply endless = HttpReply::text(QByteArray(3 * 1024 * 1024, '<'));
        endless.sendContentLength = false;
        QTest::newRow("endless body") << endless;
        HttpReply closed;
        closed.closeWithoutReply = true;
        QTest::newRow("connection closed") << closed;
    }

    void cameraWithNeither()
    {
        QFETCH(HttpReply, ptzReply);
        Rig rig;
        rig.camera.script = [ptzReply](const HttpRequest& r) -> std::optional<HttpReply> {
            if (r.path == kPtz)
                return ptzReply;
            return std::nullopt;
        };
        rig.start();
        rig.driver->send_command("ContinuousMove", false, 10, 10, 0, 640, 480, 1, -1, -1);
        QVERIFY(rig.probed());
        QVERIFY(!rig.driver->has_ptz_control());
        QVERIFY(!rig.driver->has_optics_control());
        QVERIFY(!rig.messages->isEmpty());
        QCOMPARE(rig.messages->at(0), (QList<QVariant>{-1, "Capabilities", "no PTZ/optics", "axis"}));
        // The held-back move was flushed and refused without a request.
        QVERIFY(zrtest::waitUntil([&] { return rig.messages->count() >= 2; }));
        QCOMPARE(rig.messages->at(1), (QList<QVariant>{-1, "ContinuousMove", "no PTZ/optics", "axis"}));
        QCOMPARE(rig.server.requestCount(), 2);
    }

    // Empty probe answers still end the probe, and the request held back meanwhile (the
    // newest of them) is sent after it.
    void heldBackRequestAfterAnEmptyProbeAnswer()
    {
        Rig rig;
        rig.camera.ptz = true;
        rig.camera.script = [](const HttpRequest& r) -> std::optional<HttpReply> {
            if (r.path == kOptics || r.target.contains("query=position")) {
                HttpReply empty = HttpReply::text("");
                empty.delayMs = 200;
                return empty;
            }
            return std::nullopt;
        };
        zrtest::LogCatcher log;
        rig.start(true);
        rig.driver->send_command("ContinuousMove", false, 10, 10, 0, 640, 480, 1, -1, -1);
        rig.driver->send_command("ContinuousMove", false, 40, -40, 0, 640, 480, 1, -1, -1);
        QVERIFY(rig.driver->has_held_back_request());
        QVERIFY(rig.server.waitForRequests(3, 15000));
        QVERIFY(rig.probed());
        const QList<QByteArray> sent = rig.targets();
        QCOMPARE(sent.size(), 3);
        QCOMPARE(sent.at(1), "GET " + kPtz + "?query=position");
        QCOMPARE(sent.at(2), "GET " + kPtz + "?continuouspantiltmove=40,-40&camera=1");
        QVERIFY(log.contains("[INFO] AXIS :: flushing pending PTZ request: ContinuousMove"));

        // A held-back preset goes out the same way.
        rig.driver->send_command("ContinuousMove", false, 0, 0, 0, 640, 480, 1, -1, -1);
        rig.driver->send_preset("GotoPreset", "5", "");
        QVERIFY(rig.server.waitForRequests(5, 15000));
        QCOMPARE(rig.targets().at(4), "GET " + kPtz + "?gotoserverpresetno=5&camera=1");
    }

    // What the camera says about its optics, good or bad.
    void opticsReplies_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("fault");
        QTest::newRow("garbage") << QByteArray("\xff\xfe{{{not json") << "Invalid JSON";
        QTest::newRow("array") << QByteArray("[1,2]") << "Invalid JSON";
        QTest::newRow("error object") << QByteArray("{\"error\":{\"code\":1,\"message\":\"Busy\"}}") << "Busy";
        QTest::newRow("error without message") << QByteArray("{\"error\":{\"code\":1}}") << "Axis JSON error";
        QTest::newRow("error text") << QByteArray("{\"error\":\"x\"}") << "Axis JSON error";
        QTest::newRow("null error, data") << QByteArray("{\"error\":null,\"data\":{}}") << QString();
        QTest::newRow("no data") << QByteArray("{\"apiVersion\":\"1.2\"}") << "No data field";
        QTest::newRow("data not object") << QByteArray("{\"data\":[1]}") << "No data field";
        QTest::newRow("deep nesting") << QByteArray(5000, '[') << "Invalid JSON";
    }

    void opticsReplies()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, fault);
        QString got;
        AxisPtz::optics_data(QString::fromUtf8(body), got);
        QCOMPARE(got, fault);

        // The same reply to a magnification read reaches the operator.
        if (fault.isEmpty())
            return;
        Rig rig;
        rig.camera.optics = true;
        rig.camera.script = [body](const HttpRequest& r) -> std::optional<HttpReply> {
            if (r.path == kOptics && methodOf(r) == "getOptics")
                return HttpReply::json(body);
            return std::nullopt;
        };
        rig.start();
        QVERIFY(zrtest::waitUntil([&] { return !rig.message("OpticsGetOptics").isEmpty(); }, 15000));
        QCOMPARE(rig.message("OpticsGetOptics"), (QList<QVariant>{-2, "OpticsGetOptics", "AXIS optics failed: " + fault, "axis"}));
    }

    // Authentication pages, transport failures and the capability report's single showing.
    void probeFailures()
    {
        {
            Rig rig;
            rig.camera.script = [](const HttpRequest&) -> std::optional<HttpReply> {
                return HttpReply::text("<HTML><HEAD><TITLE>401 Unauthorized</TITLE></HEAD></HTML>", 401, "text/html");
            };
            rig.start();
            QVERIFY(zrtest::waitForSignals(*rig.messages, 1, 10000));
            QCOMPARE(rig.messages->at(0), (QList<QVariant>{-2, "Auth", "401 Unauthorized", "axis"}));
        }
        {
            QString port;
            {
                HttpServer gone;
                port = QString::number(gone.port());
            }
            AxisPtz driver("http", "127.0.0.1", port, "", "", "1");
            QSignalSpy messages(&driver, &NativePTZInterface::status_message);
            QVERIFY(zrtest::waitUntil([&] { return driver.is_probe_done(); }, 15000));
            QVERIFY(zrtest::waitForSignals(messages));
            // Probe failures are not shown; the report says what is left.
            QCOMPARE(messages.count(), 1);
            QCOMPARE(messages.at(0), (QList<QVariant>{-1, "Capabilities", "no PTZ/optics", "axis"}));
        }
    }

    // Destroying the driver while the camera stalls its probe returns at once.
    void destroyedWhileTheCameraStalls()
    {
        HttpServer server;
        HttpReply stall;
        stall.stall = true;
        server.route(kOptics, stall);
        auto* driver = new AxisPtz("http", "127.0.0.1", QString::number(server.port()), "u", "p", "1");
        QVERIFY(server.waitForRequests(1));
        QElapsedTimer clock;
        clock.start();
        delete driver;
        QVERIFY(clock.elapsed() < 3000);
    }
};

ZR_TEST_MAIN_CORE(TestAxisPtz)
#include "tst_axisptz.moc"
