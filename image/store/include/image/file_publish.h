#pragma once

#include <cstddef>
#include <cstdint>

// Giving a finished picture file its final name without ever replacing a file
// of that name, even one another process creates at the same moment. Three
// ways, because filesystems differ in what they offer: an atomic no-replace
// rename, a hard link, and as a last resort an exclusive create plus a copy.
// `directory` is an open directory; names are relative to it.
namespace image {

enum class PublishOutcome {
    Published,   // the file is under its final name
    NameTaken,   // something already has that name; it was left alone
    Unsupported, // this filesystem cannot do it this way; try the next way
    Failed,      // error holds errno
};

// renameat2 with RENAME_NOREPLACE; the temporary name is gone when published.
PublishOutcome PublishByRename(int directory, const char *temporaryName, const char *finalName,
                               int &error);

// A second hard link; the caller removes the temporary name afterwards.
PublishOutcome PublishByLink(int directory, const char *temporaryName, const char *finalName,
                             int &error);

// Creates the final name exclusively and writes the bytes into it with one
// fsync; removes it again when that fails.
PublishOutcome PublishByCopy(int directory, const char *finalName, const uint8_t *bytes,
                             size_t byteCount, int &error);

// Writes every byte, across short writes and interrupted calls. Returns 0 or errno.
int WriteAll(int fd, const uint8_t *bytes, size_t byteCount);

} // namespace image
