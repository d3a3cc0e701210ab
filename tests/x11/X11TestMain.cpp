// Test entry for what needs a real X server: an Xvfb of this process, a session bus of its
// own, the xcb platform and a private temporary home. Tests skip only when Xvfb cannot start.
#include "VirtualDisplay.h"
#include "support/PrivateSessionBus.h"
#include "platform/linux/XcbFrameTransport.h"

#include "support/PrivateHome.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

int main(int argc, char** argv)
{
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/veltranmoor-x11-XXXXXX"));
    if (!usePrivateHome(home)) return 2;
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("XDG_SESSION_TYPE");
    qunsetenv("XDG_CURRENT_DESKTOP");

    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no display.
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

    PrivateSessionBus bus;
    VirtualDisplay display;
    if (!display.isValid() || !bus.isValid()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return RUN_ALL_TESTS();  // every test skips
    }
    qputenv("DISPLAY", display.name());
    qputenv("QT_QPA_PLATFORM", "xcb");
    // As the application starts.
    XcbFrameTransport::preferConnectionCopies();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
