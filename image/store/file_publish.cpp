#include "image/file_publish.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace image {

namespace {

// Filesystems without the call say so with one of these (FAT: EPERM for link,
// FUSE and network filesystems: EINVAL for RENAME_NOREPLACE).
bool MeansUnsupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EPERM;
}

PublishOutcome Classify(int result, int &error)
{
    if (result == 0)
        return PublishOutcome::Published;
    error = errno;
    if (error == EEXIST)
        return PublishOutcome::NameTaken;
    return MeansUnsupported(error) ? PublishOutcome::Unsupported : PublishOutcome::Failed;
}

} // namespace

int WriteAll(int fd, const uint8_t *bytes, size_t byteCount)
{
    constexpr size_t kLargestWrite = size_t{1} << 30;
    while (byteCount > 0) {
        const ssize_t written = write(fd, bytes, std::min(byteCount, kLargestWrite));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (written == 0)
            return ENOSPC;
        bytes += written;
        byteCount -= static_cast<size_t>(written);
    }
    return 0;
}

PublishOutcome PublishByRename(int directory, const char *temporaryName, const char *finalName,
                               int &error)
{
    return Classify(renameat2(directory, temporaryName, directory, finalName, RENAME_NOREPLACE),
                    error);
}

PublishOutcome PublishByLink(int directory, const char *temporaryName, const char *finalName,
                             int &error)
{
    return Classify(linkat(directory, temporaryName, directory, finalName, 0), error);
}

PublishOutcome PublishByCopy(int directory, const char *finalName, const uint8_t *bytes,
                             size_t byteCount, int &error)
{
    const int fd = openat(directory, finalName, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno;
        return error == EEXIST ? PublishOutcome::NameTaken : PublishOutcome::Failed;
    }
    error = WriteAll(fd, bytes, byteCount);
    if (error == 0 && fsync(fd) != 0)
        error = errno;
    if (close(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    if (error == 0)
        return PublishOutcome::Published;
    // The name was created exclusively above, so it is ours to remove.
    unlinkat(directory, finalName, 0);
    return PublishOutcome::Failed;
}

} // namespace image
