// Test entry: a Qt application object (GUI on the offscreen platform, under the main-loop
// watchdog, where the suite needs widgets) and a private temporary home, so no test touches the
// user's real files.
#include "support/PrivateHome.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#ifdef VM_TEST_GUI
#include "core/MainLoopWatchdog.h"
#include "support/StallWatch.h"

#include <QApplication>
// Window tests fail when the main thread stalled while they ran.
using TestApplication = WatchedApplication<QApplication>;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/veltranmoor-test-XXXXXX"));
    if (!usePrivateHome(home)) return 2;

    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
#ifdef VM_TEST_GUI
    stall_watch::installListener();
#endif
    return RUN_ALL_TESTS();
}
