#include "image/pending_pictures.h"

#include "image/image_file.h"

#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

namespace image {

namespace {

std::string CurrentDirectoryName()
{
    std::error_code error;
    const std::filesystem::path directory = std::filesystem::current_path(error);
    return error ? std::string() : directory.string();
}

std::string Megabytes(std::size_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

} // namespace

std::string PendingPictures::Keep(const FailedSave &failed)
{
    const bool overLimit =
        m_pictures.size() + 1 > m_countLimit && m_bytes + failed.byteCount > m_byteLimit;
    // Named as it will be stored: the announced extension and the shot's name
    // kept. Kept before the words are put together: memory too short for a
    // message loses no picture.
    PictureName name;
    bool kept = false;
    try {
        name = PictureName{failed.timeStamp, failed.number,
                           failed.extension.empty() ? ImageFileExtension(failed.imageType) : failed.extension};
        if (!overLimit) {
            m_pictures.push_back(PendingPicture{name, {failed.bytes, failed.bytes + failed.byteCount}});
            m_bytes += failed.byteCount;
            kept = true;
        }
    } catch (const std::bad_alloc &) {
    }

    const std::string reason =
        failed.error.empty() ? "It could not be written to " + CurrentDirectoryName() + "." : failed.error;
    const std::string what = "The picture " + name.FileName() + " could not be stored.\n" + reason + "\n\n";
    if (overLimit)
        return what + "It is lost: " + std::to_string(m_pictures.size()) + " unsaved pictures (" +
               Megabytes(m_bytes) + " MB) are already kept in memory, which is as many as TAVREN keeps.";
    if (!kept)
        return what + "It is lost: there is not enough memory to keep it.";
    return what + "It is kept in memory and will be stored under this name as soon as storing works "
                  "again: with the next picture, or when you choose another folder with \"...\".";
}

std::size_t PendingPictures::RetrySaving()
{
    while (!m_pictures.empty()) {
        const PendingPicture &picture = m_pictures.front();
        const SaveResult result =
            SaveImageBytes(picture.name, picture.bytes.data(), static_cast<uint32_t>(picture.bytes.size()));
        if (!result.saved)
            break;
        m_bytes -= picture.bytes.size();
        m_pictures.pop_front();
    }
    return m_pictures.size();
}

} // namespace image
