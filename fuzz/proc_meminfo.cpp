// /proc/meminfo as the memory source parses it.
#include "FuzzSupport.h"

#include "platform/linux/ProcMemorySource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text = fuzz::bytes(data, size);
    (void)ProcMemorySource::parse(text.constData(), size_t(text.size()));
    return 0;
}
