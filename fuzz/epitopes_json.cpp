// AI/epitopes.json: the epitope library's load from its folder, then its sorted view.
#include "FuzzSupport.h"

#include "actions/EpitopeLibrary.h"
#include "core/Clock.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString dir = fuzz::privateHome() + QStringLiteral("/AI");
    SystemClock clock;
    fuzz::writeFile(dir + QStringLiteral("/epitopes.json"), fuzz::bytes(data, size));
    EpitopeLibrary library(clock, dir);
    for (const Epitope& e : library.sortedEpitopes()) (void)e.toJson();
    return 0;
}
