#pragma once

#include "core/Paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

// Builds files below the test's private home (TestMain points HOME and XDG_* there).
namespace fixture {

inline QString home() { return Paths::home(); }

// A file whose blocks are really allocated (fallocate), so allocated-size sums are exact.
inline void file(const QString& path, qint64 bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (bytes > 0) ::posix_fallocate(fd, 0, bytes);
    ::close(fd);
}

inline void setModified(const QString& path, const QDateTime& when)
{
    const timeval times[2] = {{time_t(when.toSecsSinceEpoch()), 0}, {time_t(when.toSecsSinceEpoch()), 0}};
    ::lutimes(QFile::encodeName(path).constData(), times);
}

inline uint64_t allocated(const QString& path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return 0;
    return uint64_t(st.st_blocks) * 512u;
}

inline QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// access(2) answers for root's permitted capabilities, so ask the file system itself.
inline bool canList(const QString& dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

inline QString trashFiles() { return Paths::trashDir() + QStringLiteral("/files"); }
inline QString trashInfo() { return Paths::trashDir() + QStringLiteral("/info"); }

// Root passes every permission check; tests of unreadable folders drop that privilege from
// this thread (and threads it starts later) so they behave as for a user. False when the
// process has no way to do it.
inline bool dropFilePrivileges()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) data[cap / 32].effective &= ~(1u << (cap % 32));
    return ::syscall(SYS_capset, &header, data) == 0;
}

}  // namespace fixture
