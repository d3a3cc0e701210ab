#pragma once

#include "core/Result.h"

#include <QString>

// The one way to the freedesktop Trash. It makes sure $XDG_DATA_HOME/Trash exists first and
// accepts only a result inside a Trash folder, so a move can never land in the working directory.
namespace Trash {

// Returns the path of the item inside the Trash.
Result<QString> move(const QString& path);

}  // namespace Trash
