#pragma once

#include <QString>

#include <cstdint>

// The files a process holds open and the network peers it is connected to, in the field form
// of the system's open-files tool: one field per line, its first character naming it ("p" the
// process, "f" the descriptor, "n" the name; a name holding a line break carries it as the two
// characters "\n"). Both calls block, at most for the reader's deadline: call them off the
// main thread. Output that cannot be had is empty.
class OpenFilesReader {
public:
    virtual ~OpenFilesReader() = default;
    // Every open file, mapped file, working and root folder and program of `pid`.
    virtual QString openFilesFields(int32_t pid) = 0;
    // Its internet sockets; a connected one is named "local->remote".
    virtual QString endpointFields(int32_t pid) = 0;
};
