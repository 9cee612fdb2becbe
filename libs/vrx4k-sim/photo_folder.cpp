#include "photo_folder.h"

#include "jpeg_encoder.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace vrx4ksim {

namespace {

// Pictures are reported with a 32-bit size; keep well below that.
constexpr std::uintmax_t kLargestPhoto = 512u * 1024 * 1024;

bool HasJpegExtension(const std::filesystem::path &path)
{
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".jpg" || extension == ".jpeg";
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::filesystem::path &path)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size == 0 || size > kLargestPhoto)
        return std::nullopt;
    std::ifstream stream(path, std::ios::binary);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (!stream.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
        return std::nullopt;
    return bytes;
}

} // namespace

PhotoFolder::PhotoFolder(const std::filesystem::path &folder)
{
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error) && HasJpegExtension(it->path()))
            m_files.push_back(it->path());
    }
    std::sort(m_files.begin(), m_files.end());
}

std::optional<Photo> PhotoFolder::Next()
{
    for (size_t tried = 0; tried < m_files.size(); ++tried) {
        const std::filesystem::path &path = m_files[m_next];
        m_next = (m_next + 1) % m_files.size();
        Photo photo;
        auto bytes = ReadWholeFile(path);
        if (bytes && ReadJpegSize(*bytes, photo.width, photo.height)) {
            photo.bytes = std::move(*bytes);
            return photo;
        }
    }
    return std::nullopt;
}

} // namespace vrx4ksim
