#include "file_values.h"

#include "vrx4kapi.h"

#include "vrx4k-common/text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace vrx4kgp {

namespace {

using vrx4k::Lower;
using vrx4k::Trim;

// The first run of digits in text, if it is all the number the text holds.
std::optional<uint32_t> LeadingNumber(std::string_view text)
{
    const auto start = std::find_if(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
    if (start == text.end())
        return std::nullopt;
    uint32_t value = 0;
    const char *first = &*start;
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
    if (error != std::errc())
        return std::nullopt;
    // "1/3" or "2.5" are not whole numbers of the kind asked for.
    if (end != text.data() + text.size() && (*end == '/' || *end == '.' || *end == ','))
        return std::nullopt;
    return value;
}

// Raw formats of the cameras libgphoto2 drives, by extension.
constexpr std::array<std::string_view, 24> kRawExtensions = {
    "cr2", "cr3", "crw", "nef", "nrw", "arw", "srf", "sr2", "raf", "orf", "rw2", "rwl",
    "pef", "dng", "srw", "x3f", "3fr", "iiq", "mrw", "erf", "kdc", "dcr", "mos", "raw",
};

} // namespace

std::optional<int32_t> PictureType(std::string_view mimeType, std::string_view fileName)
{
    const std::string mime = Lower(mimeType);
    if (mime == "image/jpeg" || mime == "image/jpg")
        return CAMERA_IMAGE_JPEG;

    const size_t dot = fileName.rfind('.');
    const std::string extension = dot == std::string_view::npos ? std::string() : Lower(fileName.substr(dot + 1));
    if (extension == "jpg" || extension == "jpeg")
        return CAMERA_IMAGE_JPEG;
    if (std::find(kRawExtensions.begin(), kRawExtensions.end(), extension) != kRawExtensions.end())
        return CAMERA_IMAGE_RAW;
    // libgphoto2 names raw types image/x-<maker>-<format> (image/x-canon-cr2,
    // image/x-nikon-nef) and unknown camera formats image/x-raw; its only other
    // image/x- types are the portable bitmaps of very old cameras.
    if (mime.rfind("image/x-", 0) == 0 && mime.rfind("image/x-portable-", 0) != 0)
        return CAMERA_IMAGE_RAW;
    return std::nullopt;
}

std::optional<uint32_t> BatteryPercent(std::string_view text)
{
    const std::string lower = Lower(Trim(text));
    if (auto number = LeadingNumber(lower))
        return *number <= 100 ? number : std::nullopt;
    if (lower == "full" || lower == "high")
        return 100;
    if (lower == "normal" || lower == "medium" || lower == "half")
        return 50;
    if (lower == "low")
        return 20;
    if (lower == "empty" || lower == "exhausted")
        return 0;
    return std::nullopt;
}

std::optional<uint32_t> IsoSpeed(std::string_view text)
{
    const std::string lower = Lower(Trim(text));
    if (lower.rfind("auto", 0) == 0)
        return 0;
    return LeadingNumber(lower);
}

std::optional<uint32_t> WholeNumber(std::string_view text)
{
    return LeadingNumber(Trim(text));
}

bool ParseSettings(std::string_view text, std::vector<std::pair<std::string, std::string>> &settings)
{
    settings.clear();
    while (!text.empty()) {
        const size_t end = std::min(text.find(';'), text.size());
        const std::string_view item = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (Trim(item).empty())
            continue;
        const size_t equals = item.find('=');
        if (equals == std::string_view::npos || Trim(item.substr(0, equals)).empty())
            return false;
        settings.emplace_back(std::string(Trim(item.substr(0, equals))), std::string(item.substr(equals + 1)));
    }
    return true;
}

} // namespace vrx4kgp
