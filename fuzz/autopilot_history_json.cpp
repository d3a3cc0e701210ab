// autopilot_history.json: the maintenance history as AutoPilot decodes it, then shown.
#include "FuzzSupport.h"

#include "actions/MaintenanceRun.h"
#include "core/Dates.h"

#include <QJsonDocument>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::privateHome();
    const QJsonDocument document = QJsonDocument::fromJson(fuzz::bytes(data, size));
    if (const auto runs = MaintenanceRun::decodeHistory(document)) {
        for (const MaintenanceRun& run : *runs) (void)QJsonDocument(run.toJson()).toJson();
    }
    return 0;
}
