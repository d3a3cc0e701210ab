// /sys/class/net/IF/statistics trees as the network monitor reads them.
#include "FuzzSupport.h"

#include "platform/linux/SysfsNetStatsReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const SysfsNetStatsReader reader(fuzz::buildTree(data, size));
    (void)reader.readInterfaceCounters();
    return 0;
}
