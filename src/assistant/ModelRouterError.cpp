#include "assistant/ModelRouterError.h"

namespace ModelRouterError {

QString noBackendAvailable(const QString& detail) { return QStringLiteral("No model backend available. ") + detail; }

QString disabled() { return QStringLiteral("AI chat is off. Turn it on in Settings."); }

QString disclosureNotAccepted()
{
    return QStringLiteral("This backend sends your message off the computer. Accept the disclosure to use it.");
}

}  // namespace ModelRouterError
