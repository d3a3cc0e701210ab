#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

// Small helpers for reading kernel-generated text files cheaply and without trusting them.
namespace ProcFiles {

// One open/read/close of `path` (relative to `dirFd`, or absolute) into `buffer`; returns the
// bytes read, or -1. Kernel text files are produced whole on the first read, so one read of a
// buffer larger than the file gets all of it.
ssize_t readInto(int dirFd, const char* path, char* buffer, size_t capacity);

// Reads a whole small file (at most `limit` bytes); empty when it cannot be read.
QByteArray readSmall(const QByteArray& path, size_t limit = 65536);

// Parses an unsigned decimal at `p`, advancing it; false when no digit is there or the
// value does not fit.
bool parseUnsigned(const char*& p, const char* end, uint64_t& value);
bool parseSigned(const char*& p, const char* end, int64_t& value);

// Advances past one run of spaces.
void skipSpaces(const char*& p, const char* end);

// The text of errno as a user-facing reason.
QString errnoText(int error);

}  // namespace ProcFiles
