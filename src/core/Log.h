#pragma once

#include <QString>
#include <functional>

// Console lines, worded as the components tag them ("[Veltranmoor] ..."), go to stderr.
namespace Log {

void line(const QString& text);

// Tests capture console lines; an empty function restores stderr.
void setSink(std::function<void(const QString&)> sink);

}  // namespace Log
