#pragma once

#include <QString>

// Where the application keeps its files. The XDG variables are read at each call, so tests
// can point them at a temporary directory.
namespace Paths {

QString home();
QString configHome();  // $XDG_CONFIG_HOME, default ~/.config
QString dataHome();    // $XDG_DATA_HOME, default ~/.local/share
QString cacheHome();   // $XDG_CACHE_HOME, default ~/.cache
QString stateHome();   // $XDG_STATE_HOME, default ~/.local/state

QString configDir();      // <configHome>/Veltranmoor
QString appSupportDir();  // <dataHome>/Veltranmoor
QString aiDir();          // <appSupport>/AI
QString cacheDir();       // <cacheHome>/Veltranmoor
QString trashDir();       // <dataHome>/Trash

}  // namespace Paths
