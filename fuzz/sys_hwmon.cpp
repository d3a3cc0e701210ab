// /sys/class/hwmon trees as the temperature sources read them.
#include "FuzzSupport.h"

#include "platform/linux/SysfsHwmonReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const SysfsHwmonReader reader(fuzz::buildTree(data, size));
    const QStringList chips = {QStringLiteral("coretemp"), QStringLiteral("k10temp"), QStringLiteral("zenpower"),
                               QStringLiteral("applesmc"), QStringLiteral("amdgpu"), QStringLiteral("nouveau")};
    for (const TemperatureInput& input : reader.temperatureInputs(chips)) (void)reader.readCelsius(input.path);
    return 0;
}
