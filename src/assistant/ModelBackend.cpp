#include "assistant/ModelBackend.h"

QString ModelBackend::label() const
{
    switch (kind) {
    case Kind::byoKey: return provider + QStringLiteral(" (your key)");
    case Kind::appleOnDevice: return QStringLiteral("Apple on-device");
    case Kind::ollamaLocal: return QStringLiteral("Ollama (local)");
    case Kind::none: break;
    }
    return QStringLiteral("unavailable");
}
