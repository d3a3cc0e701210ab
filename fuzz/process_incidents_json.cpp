// process_incidents.json: the incident ledger as the process manager loads it at start.
#include "FuzzSupport.h"

#include "core/Paths.h"
#include "core/Scheduler.h"
#include "monitoring/ProcessManager.h"
#include "platform/linux/LinuxProcessControl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::privateHome();
    fuzz::writeFile(ProcessManager::incidentsFilePath(), fuzz::bytes(data, size));
    LinuxProcessControl control;
    QtScheduler scheduler;
    ProcessManager manager(control, scheduler);
    for (const auto& [name, count] : manager.sortedIncidents()) (void)name.size(), (void)count;
    return 0;
}
