#include "file_values.h"

#include "vrx4kapi.h"

#include "vrx4k-common/error_numbers.h"
#include "vrx4k-common/records.h"
#include "vrx4k-common/text.h"

#include <gphoto2/gphoto2-result.h>
#include <libintl.h>

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

namespace {

// What libgphoto2's camera drivers say for the refusals that have a number of
// their own. The driver translates with its own text domain, so a message is
// compared both as written and as translated there.
constexpr const char *kTextDomain = "libgphoto2-6";
constexpr std::array kCardFullMessages = {
    "PTP Store Full",
    "Camera memorycard ran full during capture.",
    "Canon EOS Capture failed to release: Perhaps no more memory on card?",
};
constexpr std::array kNoCardMessages = {
    "PTP Store Not Available",
    "Recording destination card, but no card or card protected",
};
constexpr std::array kFocusMessages = {
    "Out of Focus",
    "Capture failed: No focus.",
    "Fuji Capture failed: Perhaps no auto-focus?",
    "Canon EOS Capture failed to release: Perhaps no focus?",
    "Canon EOS M Capture failed: Perhaps no focus?",
};
constexpr std::array kBusyMessages = {"PTP Device Busy"};

template <size_t N>
bool Said(const std::vector<std::string> &messages, const std::array<const char *, N> &known)
{
    for (const std::string &message : messages) {
        for (const char *text : known) {
            if (message == text || message == dgettext(kTextDomain, text))
                return true;
        }
    }
    return false;
}

} // namespace

bool MeansCameraGone(int result)
{
    return result == GP_ERROR_IO_USB_FIND || result == GP_ERROR_IO_USB_CLAIM || result == GP_ERROR_IO_INIT ||
           result == GP_ERROR_MODEL_NOT_FOUND;
}

uint32_t ShotRefusal(int result, const std::vector<std::string> &messages)
{
    if (MeansCameraGone(result))
        return VRX4K_ERROR_CAMERA_GONE;
    if (result == GP_ERROR_NO_SPACE || Said(messages, kCardFullMessages))
        return VRX4K_ERROR_CARD_FULL;
    if (Said(messages, kNoCardMessages))
        return VRX4K_ERROR_NO_CARD;
    if (Said(messages, kFocusMessages))
        return VRX4K_ERROR_FOCUS_FAILED;
    if (result == GP_ERROR_CAMERA_BUSY || Said(messages, kBusyMessages))
        return VRX4K_ERROR_CAMERA_BUSY;
    return result < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(result)) : static_cast<uint32_t>(-GP_ERROR);
}

bool IsCameraPort(std::string_view port)
{
    return Lower(port.substr(0, 5)) != "disk:";
}

std::string FileExtension(std::string_view fileName)
{
    const size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    const std::string_view extension = fileName.substr(dot + 1);
    return vrx4k::AnnounceableExtension(extension) ? std::string(extension) : std::string();
}

std::string_view FileStem(std::string_view fileName)
{
    const size_t dot = fileName.rfind('.');
    return dot == std::string_view::npos ? fileName : fileName.substr(0, dot);
}

uint32_t ShotCounter::Number(std::string_view fileName)
{
    const std::string_view stem = FileStem(fileName);
    if (m_count == 0 || stem.empty() || stem != m_previousStem)
        ++m_count;
    m_previousStem = stem;
    return m_count;
}

} // namespace vrx4kgp
