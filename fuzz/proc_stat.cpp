// /proc/stat as the host CPU source parses it.
#include "FuzzSupport.h"

#include "platform/linux/ProcHostCpuSource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text = fuzz::bytes(data, size);
    (void)ProcHostCpuSource::parse(text.constData(), size_t(text.size()));
    return 0;
}
