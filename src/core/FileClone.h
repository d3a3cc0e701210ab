#pragma once

#include "core/Result.h"

// Copies the whole content of the open file `srcFd` into the empty file `dstFd`: a shared-extent
// clone where the file system offers one, else an in-kernel copy of the data ranges only, so a
// sparse file stays sparse and no byte passes through our memory. On failure `dstFd` may hold a
// partial copy; the caller removes it.
Status cloneFileContents(int srcFd, int dstFd);
