#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

#include <memory>

// The one way to the freedesktop Trash. Users let us empty folders inside their home, so an
// item is reached only through directory descriptors opened from a trusted root without
// following a link, its record is written before it moves, and the move itself can neither
// replace an item already in the Trash nor land anywhere but in a Trash folder.
namespace Trash {

// A descriptor that closes itself.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(Fd&& other) noexcept : m_fd(other.release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd();
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release();

private:
    int m_fd = -1;
};

// Opens the folder at the absolute path `dir`. Below the user's home every component is
// opened from the home folder without following a link and must be a folder; elsewhere only
// the last component is held to that. `listable` asks for a descriptor that can be read
// (getdents); otherwise an O_PATH one. Invalid, with errno set, when refused.
Fd openDirectory(const QString& dir, bool listable);

// Moves `path` into the Trash. `trustedRoot` is the folder the caller was given (a row of the
// cleaner's table, the Downloads folder); `path` must be that folder or lie below it, and
// every folder from the root down to the item's parent is opened as openDirectory does.
// Returns where the item is now.
Result<QString> move(const QString& trustedRoot, const QString& path);

// Moves the entry `name` of the folder open at `parentFd` into the Trash; `parentPath` is the
// absolute path that folder was opened under, recorded as the item's origin.
Result<QString> moveAt(int parentFd, const QString& parentPath, const QByteArray& name);

// moveAt for many entries in a row: the user's Trash is opened once, not per item.
class Mover {
public:
    Mover();
    ~Mover();
    Mover(const Mover&) = delete;
    Mover& operator=(const Mover&) = delete;
    Result<QString> moveAt(int parentFd, const QString& parentPath, const QByteArray& name);

private:
    struct State;
    std::unique_ptr<State> d;
};

// The absolute path as a Trash record stores it: every byte outside the unreserved set and
// "/" as %XX.
QByteArray encodePath(const QByteArray& path);

// Start-up: undoes what a mover of ours stopped part-way left in any Trash folder it wrote
// to (the user's or a file system's own): records it wrote whose item never arrived, and its
// half-done cross-device copies. Records and items of other programs are never touched.
// Returns how many were removed.
int removeIncompleteRecords();

}  // namespace Trash
