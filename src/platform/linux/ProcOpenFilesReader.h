#pragma once

#include "platform/OpenFilesReader.h"

#include <QByteArray>

#include <optional>
#include <sys/types.h>
#include <unistd.h>

// The open-files tool's field form made from <proc>, without starting a process:
// <proc>/PID/cwd, root and exe, every descriptor in <proc>/PID/fd, the files mapped in
// <proc>/PID/maps, and the process's sockets found in <proc>/PID/net/{tcp,tcp6,udp,udp6}.
// Addresses are numeric ("127.0.0.1:8080", "[::1]:8080").
//
// Only processes of `user` are read (all of them for root): another user's descriptors are
// closed to us, and so they are to any tool we could start. When one of ours keeps its
// descriptors closed anyway (a process that made itself undumpable), `fallback` is asked,
// if there is one; a process that has ended gives just its "p" line.
class ProcOpenFilesReader final : public OpenFilesReader {
public:
    explicit ProcOpenFilesReader(const QString& procRoot = QStringLiteral("/proc"), OpenFilesReader* fallback = nullptr,
                                 uid_t user = ::geteuid());

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

    // The real user id on the "Uid:" line of a process's status file; none when unreadable.
    static std::optional<uid_t> ownerOf(const QByteArray& status);

private:
    enum class Access { read, notOurs, closed, gone };
    Access access(const QByteArray& base) const;

    QByteArray m_root;
    OpenFilesReader* m_fallback;
    uid_t m_user;
};
