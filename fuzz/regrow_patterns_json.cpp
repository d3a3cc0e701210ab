// AI/regrow_patterns.json: the learned regrowth patterns, decoded and worked out as the
// proactive optimizer does (rates and confidence come from the stored dates and sizes).
#include "FuzzSupport.h"

#include "optimisation/RegrowPattern.h"

#include <QJsonArray>
#include <QJsonDocument>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::privateHome();
    const QJsonDocument document = QJsonDocument::fromJson(fuzz::bytes(data, size));
    if (!document.isArray()) return 0;
    if (const auto patterns = RegrowPattern::fromJsonArray(document.array())) {
        for (const RegrowPattern& p : *patterns) {
            (void)p.averageRegrowRate();
            (void)p.currentRegrowRate();
            (void)p.regrowRate();
            (void)p.confidence();
            (void)p.toJson();
        }
    }
    return 0;
}
