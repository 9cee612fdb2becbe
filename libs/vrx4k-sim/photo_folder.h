#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace vrx4ksim {

struct Photo {
    std::vector<uint8_t> bytes;
    int width = 0;
    int height = 0;
};

// The user's own JPEG files (*.jpg, *.jpeg, any case), served in name order
// and over again from the first after the last. Files that cannot be read or
// are no JPEG are passed over. Used by one thread at a time.
class PhotoFolder {
public:
    explicit PhotoFolder(const std::filesystem::path &folder);

    // The next usable photo, or nullopt when the folder has none.
    std::optional<Photo> Next();

    size_t FileCount() const { return m_files.size(); }

private:
    std::vector<std::filesystem::path> m_files;
    size_t m_next = 0;
};

} // namespace vrx4ksim
