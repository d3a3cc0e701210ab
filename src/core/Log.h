#pragma once

#include <QString>
#include <functional>

// Console lines, worded as the components tag them ("[Veltranmoor] ..."), go to stderr.
namespace Log {

// Writes one console line. Foreign text inside it (process arguments, file names) cannot break
// it into two or reach the terminal: control characters are written escaped.
void line(const QString& text);

// A line break as \n, a carriage return as \r, any other control character as \xNN;
// everything else unchanged. The console and the AI Shield log escape alike.
QString escapeControls(const QString& text);

// Tests capture console lines; an empty function restores stderr.
void setSink(std::function<void(const QString&)> sink);

}  // namespace Log
