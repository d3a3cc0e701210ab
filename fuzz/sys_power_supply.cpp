// /sys/class/power_supply trees as the battery reader reads them.
#include "FuzzSupport.h"

#include "platform/linux/SysfsPowerSupplyReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const SysfsPowerSupplyReader reader(fuzz::buildTree(data, size));
    (void)reader.read();
    return 0;
}
