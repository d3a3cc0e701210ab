#include "app/AppContext.h"
#include "app/SingleInstance.h"
#include "core/Log.h"
#include "core/MainLoopWatchdog.h"
#include "platform/linux/ProcfsProcessTable.h"
#include "platform/linux/XcbFrameTransport.h"
#include "services/UserDataCenter.h"
#include "ui/dashboard/DashboardWindowController.h"
#include "ui/shell/StatusItemController.h"
#include "ui/theme/SymbolIcon.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalFds[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalFds[0], &byte, 1);
}

// SIGTERM, SIGINT, SIGHUP (the terminal or session went away) and SIGQUIT become an orderly
// quit, so shutdown runs and sync clients this application stopped are continued.
void installTerminationHandlers(QApplication& app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalFds) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier] {
        notifier->setEnabled(false);
        char byte = 0;
        [[maybe_unused]] ssize_t n = ::read(g_signalFds[1], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) ::sigaction(signal, &action, nullptr);
}

// Reads the options with a plain core application, so --help, --version and bad options are
// answered (and the process leaves) before anything opens a connection to a window system.
struct Options {
    QString request;
    bool autostart = false;
};

Options parseOptions(int& argc, char** argv)
{
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Veltranmoor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELTRANMOOR_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Keeps this computer fast and healthy: samples it, scores its health and acts on what it sees."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("url"), QStringLiteral("An address to open, such as veltranmoor://dashboard."),
                                 QStringLiteral("[url]"));
    // The autostart entry starts the application with this: it then waits in the tray.
    const QCommandLineOption autostartOption(QStringLiteral("autostart"),
                                             QStringLiteral("Started at login: stay in the tray, open no window."));
    parser.addOption(autostartOption);
    parser.process(core);
    return {parser.positionalArguments().value(0), parser.isSet(autostartOption)};
}

}  // namespace

int main(int argc, char** argv)
{
    // Before anything opens files: the sampler keeps every process's stat file open.
    ProcfsProcessTable::raiseOpenFileLimit();
    const Options options = parseOptions(argc, argv);
    const QString& request = options.request;
    const bool autostart = options.autostart;

    const bool headless = qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
                          qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (headless) {
        Log::line(QStringLiteral("[Veltranmoor] No display found; running without windows on the offscreen platform"));
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    XcbFrameTransport::preferConnectionCopies();

#ifdef NDEBUG
    QApplication app(argc, argv);
#else
    // Debug builds say on the console whenever the window froze, and in what.
    WatchedApplication<QApplication> app(argc, argv);
    MainLoopWatchdog::instance().setReporter([](const MainLoopWatchdog::Stall& stall) {
        Log::line(QString::asprintf("[Watchdog] main thread stalled %.0f ms in ", stall.ms) + stall.what);
    });
#endif
    QApplication::setApplicationName(QStringLiteral("Veltranmoor"));
    QApplication::setApplicationDisplayName(QStringLiteral("Veltranmoor AI"));
    QApplication::setApplicationVersion(QStringLiteral(VELTRANMOOR_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("veltranmoor"));
    // The icon theme's copy when the application is installed; the bundled one otherwise.
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("veltranmoor"), QIcon(SymbolIcon::resourcePath(QStringLiteral("VeltranmoorMark")))));

    // A second start hands its request to the running instance and leaves.
    SingleInstance instance;
    const SingleInstance::Role role = instance.claim(request);
    if (role == SingleInstance::Role::forwarded) return 0;
    if (role != SingleInstance::Role::primary) Log::line(QStringLiteral("[Veltranmoor] ") + instance.error());
    // A name taken by another user: running anyway would hand every later start to them.
    if (role == SingleInstance::Role::otherUser) return 1;

    installTerminationHandlers(app);

    // Declared before the context, so it runs after every manager has saved and gone: an
    // uninstall the user asked for moves the files then, and nothing writes them back.
    struct PendingUninstall {
        ~PendingUninstall() { UserDataCenter::finishPendingUninstall(); }
    } pendingUninstall;
    AppContext context;
    AppDelegate& delegate = context.delegate();
    DashboardWindowController& dashboard = context.dashboard();
    QObject::connect(&instance, &SingleInstance::requestReceived, &dashboard,
                     [&dashboard](const QString& r) { dashboard.handleRequest(r); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&delegate] { delegate.applicationWillTerminate(); });
    StatusItemController& statusItem = context.statusItem();
    QTimer::singleShot(0, &app, [&delegate, &dashboard, &statusItem, headless, autostart] {
        delegate.applicationDidFinishLaunching();
        // The dashboard is the first window the application declares: it opens at launch
        // wherever there is a screen to show it on, except at login when the tray icon is
        // there as the way in. Without a tray it always opens, so the application is never
        // invisible.
        if (!headless && !(autostart && statusItem.trayAvailable())) dashboard.open();
    });

    const int status = QApplication::exec();
    // Also when the loop ended without announcing it; shutdown runs once.
    delegate.applicationWillTerminate();
    return status;
}
