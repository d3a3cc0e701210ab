// /sys/class/thermal zone trees as the thermal state reads them.
#include "FuzzSupport.h"

#include "platform/linux/SysfsThermalZoneReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const SysfsThermalZoneReader reader(fuzz::buildTree(data, size));
    (void)reader.readZones();
    return 0;
}
