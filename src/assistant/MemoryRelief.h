#pragma once

#include <QString>

// Asks the allocator to hand free memory back to the system (malloc_trim(0)).
QString performMemoryRelief();
