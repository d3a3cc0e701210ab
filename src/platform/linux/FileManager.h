#pragma once

#include <QString>

// The desktop's file manager: shows a file selected in its folder (org.freedesktop.FileManager1
// on the session bus), or opens the folder when no file manager answers there.
namespace FileManager {

void showItem(const QString& path);
void openFolder(const QString& path);

}  // namespace FileManager
