#include "assistant/ModelRouterError.h"

namespace ModelRouterError {

QString noBackendAvailable(const QString& detail) { return QStringLiteral("No model backend available. ") + detail; }

QString disabled() { return QStringLiteral("AI chat is off. Turn it on in Settings."); }

QString disclosureNotAccepted()
{
    return QStringLiteral("Your own API key sends your message off this computer, so it is not used until you accept "
                          "its disclosure: Settings \u2192 AI Assistant \u2192 Use My Own API Key \u2192 "
                          "\u201cAccept and Use My Key\u201d.");
}

}  // namespace ModelRouterError
