#include "services/MachineIdentity.h"

#include "core/Uuid.h"

#include <QCryptographicHash>
#include <QFile>
#include <QMessageAuthenticationCode>
#include <QUuid>

#include <cctype>

namespace {
// This application's own key: the same machine gives every other program a different id.
const QByteArray kApplicationKey = QByteArray::fromHex("6c2f9a41d8e34b07a95e13c0f27b8d64");
}  // namespace

MachineIdentity::MachineIdentity(QStringList sources) : m_sources(std::move(sources)) {}

std::optional<QString> MachineIdentity::derive(const QByteArray& machineId)
{
    const QByteArray text = machineId.trimmed();
    if (text.size() != 32) return std::nullopt;
    for (const char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    }
    const QByteArray raw = QByteArray::fromHex(text);
    if (raw == QByteArray(16, '\0')) return std::nullopt;
    QByteArray mac = QMessageAuthenticationCode::hash(kApplicationKey, raw, QCryptographicHash::Sha256).left(16);
    // A version 4, variant 1 UUID, as random ids are.
    mac[6] = char((mac[6] & 0x0F) | 0x40);
    mac[8] = char((mac[8] & 0x3F) | 0x80);
    return Uuids::text(QUuid::fromRfc4122(mac));
}

const std::optional<QString>& MachineIdentity::derived() const
{
    if (!m_read) {
        m_read = true;
        for (const QString& path : m_sources) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) continue;
            if (auto id = derive(file.read(256))) {
                m_derived = id;
                break;
            }
        }
    }
    return m_derived;
}

const QString& MachineIdentity::id() const
{
    if (m_id.isEmpty()) m_id = derived().value_or(Uuids::text(Uuids::make()));
    return m_id;
}
