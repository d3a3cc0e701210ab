#include "core/FileClone.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

Status errnoFailure(int error) { return Status::failure(QString::fromLocal8Bit(std::strerror(error))); }

// Copies [offset, end) with the kernel's copy, falling back to read/write where the file
// systems cannot copy between each other.
bool copyRange(int srcFd, int dstFd, off_t offset, off_t end, int& error)
{
    bool plain = false;
    while (offset < end) {
        const size_t want = size_t(std::min<off_t>(end - offset, off_t(1) << 30));
        ssize_t n;
        if (!plain) {
            off_t in = offset;
            off_t out = offset;
            n = ::copy_file_range(srcFd, &in, dstFd, &out, want, 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                plain = true;
                continue;
            }
        } else {
            char buffer[1 << 16];
            n = ::pread(srcFd, buffer, std::min(want, sizeof buffer), offset);
            if (n > 0) {
                for (ssize_t done = 0; done < n;) {
                    const ssize_t w = ::pwrite(dstFd, buffer + done, size_t(n - done), offset + done);
                    if (w < 0) {
                        if (errno == EINTR) continue;
                        error = errno;
                        return false;
                    }
                    done += w;
                }
            }
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        if (n == 0) break;  // the source shrank under us: what is there has been copied
        offset += n;
    }
    return true;
}

}  // namespace

Status cloneFileContents(int srcFd, int dstFd)
{
    struct stat st;
    if (::fstat(srcFd, &st) != 0) return errnoFailure(errno);
    if (::ioctl(dstFd, FICLONE, srcFd) == 0) return Status::success();

    const off_t size = st.st_size;
    int error = 0;
    off_t offset = 0;
    while (offset < size) {
        off_t data = ::lseek(srcFd, offset, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) break;  // only a hole is left
            // No hole information: copy everything that remains.
            data = offset;
        }
        off_t hole = ::lseek(srcFd, data, SEEK_HOLE);
        if (hole < 0 || hole > size) hole = size;
        if (!copyRange(srcFd, dstFd, data, hole, error)) return errnoFailure(error);
        offset = hole;
    }
    if (::ftruncate(dstFd, size) != 0) return errnoFailure(errno);
    return Status::success();
}
