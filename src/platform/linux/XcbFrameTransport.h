#pragma once

// How finished frames reach the X server. Qt hands them over through a shared-memory segment
// by default, and before it draws into that segment again it waits for the server to be done
// with it: a round trip per frame that also wakes Qt's X event thread. The frames this
// application draws while idle are small (the HUD card's breathing, a gauge after a sample), so
// they go over the connection itself: one write, nothing to wait for, no other thread woken.
// Call before the QApplication is constructed; a QT_XCB_NO_MITSHM the user set stands.
namespace XcbFrameTransport {
void preferConnectionCopies();
}
