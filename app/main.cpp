#include "app/CrashHandlerInit.h"
#include "app/DebugLevel.h"
#include "app/Http_singleton.h"
#include "app/Log.h"
#include "app/Version.h"
#include "player/ZR_Player_qmlpresentation.h"
#include "platform/SceneGraphProbe.h"

#include <cstdio>
#include "support/CrashFileChecker.h"
#include "support/DownloadBinary.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QQuickWindow>
#include <QString>
#include <QTranslator>

#ifdef ZR_STARTUP_PROBE
// Test copy of the program only: points the updater at a local server and reports the window.
#include "tests/mainwindow/StartupProbe.h"
#endif

int main(int argc, char** argv)
{
    QQuickWindow::setSceneGraphBackend(QStringLiteral("rhi"));
    DebugLevel::instance()->set_level(1);

    QApplication app(argc, argv);

    QTranslator translator;
    const QString translations = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QLocale french(QLocale::French, QLocale::France);
    if (translator.load(french, QStringLiteral("qtbase"), QStringLiteral("_"), translations))
        QApplication::installTranslator(&translator);
    QLocale::setDefault(french);

    QDir home = QDir::home();
    const QString user_folder_name = QStringLiteral(".") + Http_singleton::instance()->get_application_name();
    if (!home.cd(user_folder_name))
        home.mkdir(user_folder_name);

    init_crash_handler();
    install_log_message_handler();

    DownloadBinary updater(QStringLiteral(ZR_VERSION), nullptr, &app);
    updater.set_quit_after_install(true);
#ifdef ZR_STARTUP_PROBE
    zrprobe::configure_updater(updater);
#endif
    // The result means "go on starting": false only when a package was downloaded and handed
    // to the system, which replaces this program; no update, a refusal or any failure is true.
    if (!updater.check_update(true))
        return 0;

    if (!zrplatform::scene_graph_available()) {
        const QString platform = QGuiApplication::platformName();
        write_log(QStringLiteral("[ERROR] MAIN :: graphics unavailable on platform ") + platform);
        std::fprintf(stderr, "ZRPLAYER : affichage impossible, la plate-forme graphique \"%s\" ne permet pas le rendu "
                             "(OpenGL indisponible).\n", qPrintable(platform));
        return 2;
    }

    // Never deleted: it lives until the process ends.
    auto* window = new ZR_Player_qmlpresentation(nullptr);
    window->setMinimumWidth(1600);
    window->setMinimumHeight(900);

    Http_singleton* identity = Http_singleton::instance();
    QString title = identity->get_product_name() + QStringLiteral(" ") + identity->get_version();
    if (identity->is_dev_build())
        title += QStringLiteral(" - DEV ") + identity->get_build_date();
    window->setWindowTitle(title);
    window->showMaximized();
#ifdef ZR_STARTUP_PROBE
    zrprobe::watch_window(window);
#endif

    CrashFileChecker::check_crash_files();

    return QApplication::exec();
}
