#pragma once

#include "platform/OpenFilesReader.h"

#include <QByteArray>

// The open-files tool's field form made from <proc> alone, for machines without the tool:
// <proc>/PID/cwd, root and exe, every descriptor in <proc>/PID/fd, the files mapped in
// <proc>/PID/maps, and the process's sockets found in <proc>/PID/net/{tcp,tcp6,udp,udp6}.
// Addresses are numeric ("127.0.0.1:8080", "[::1]:8080").
class ProcOpenFilesReader final : public OpenFilesReader {
public:
    explicit ProcOpenFilesReader(const QString& procRoot = QStringLiteral("/proc"));

    QString openFilesFields(int32_t pid) override;
    QString endpointFields(int32_t pid) override;

    // One socket table row ("sl local rem st ... inode ...") of an IPv4 or IPv6 table: its
    // local and remote ends as text (remote empty when unconnected) and its inode; false when
    // the row is malformed.
    struct SocketRow {
        QString local;
        QString remote;
        uint64_t inode = 0;
    };
    static bool parseSocketRow(const QByteArray& row, SocketRow& out);
    // Turns a name into a field value: a line break becomes the two characters "\n".
    static QByteArray fieldValue(const QByteArray& name);

private:
    QByteArray m_root;
};
