#include "assistant/MemoryRelief.h"

#include <malloc.h>

QString performMemoryRelief()
{
    malloc_trim(0);
    return QStringLiteral("Requested memory relief \u2014 this application's unused memory returned to the system.");
}
