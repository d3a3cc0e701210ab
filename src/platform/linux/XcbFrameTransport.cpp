#include "platform/linux/XcbFrameTransport.h"

#include <QByteArray>
#include <QtGlobal>

void XcbFrameTransport::preferConnectionCopies()
{
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
}
