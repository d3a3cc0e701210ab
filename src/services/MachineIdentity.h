#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The id this application sends for the machine: derived from the system's machine id with an
// application key (HMAC-SHA256, the way systemd derives application-specific ids), so the raw
// id never leaves the machine and no other program's id can be matched with ours. Read once
// and kept for the life of the process.
class MachineIdentity {
public:
    // The files tried in order; the first holding a machine id (32 hex digits) is used.
    explicit MachineIdentity(QStringList sources = {QStringLiteral("/etc/machine-id"),
                                                    QStringLiteral("/var/lib/dbus/machine-id")});

    // The derived id as an upper-case hyphenated UUID; none when no machine id can be read.
    const std::optional<QString>& derived() const;
    // The derived id, or a random UUID kept for this process when there is none.
    const QString& id() const;

    // The derivation itself; none when `machineId` is not 32 hex digits.
    static std::optional<QString> derive(const QByteArray& machineId);

private:
    QStringList m_sources;
    mutable bool m_read = false;
    mutable std::optional<QString> m_derived;
    mutable QString m_id;
};
