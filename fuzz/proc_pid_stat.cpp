// /proc/PID/stat lines as the process table parses them.
#include "FuzzSupport.h"

#include "platform/linux/ProcfsProcessTable.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The pid the line should be for: its own leading number, as the table reads it.
    const QByteArray text = fuzz::bytes(data, size);
    const int32_t pid = int32_t(std::strtol(text.left(12).constData(), nullptr, 10));
    ProcessEntry entry;
    ProcfsProcessTable::parseStat(pid, text.constData(), size_t(text.size()), 10'000'000, 4096, entry);
    ProcfsProcessTable::parseStat(pid, text.constData(), size_t(text.size()), 1, 65536, entry);
    return 0;
}
