// settings.json: the settings store's load, then every setting read through its typed getter.
#include "FuzzSupport.h"

#include "core/AppSettings.h"
#include "core/Clock.h"
#include "core/UserDefaults.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::privateHome() + QStringLiteral("/settings.json");
    QFile::remove(path + QStringLiteral(".bad"));
    fuzz::writeFile(path, fuzz::bytes(data, size));
    UserDefaults defaults(path);
    SystemClock clock;
    AppSettings settings(defaults, clock);
#define VELTRANMOOR_FUZZ_READ(Type, name, setter, key, kind, def) (void)settings.name();
    VELTRANMOOR_SETTINGS(VELTRANMOOR_FUZZ_READ)
#undef VELTRANMOOR_FUZZ_READ
    return 0;
}
