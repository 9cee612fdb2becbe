#include "sim_config.h"

#include "vrx4k-common/text.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace vrx4ksim {

namespace {

using vrx4k::Lower;
using vrx4k::Trim;

template <typename Number>
std::optional<Number> ParseNumber(std::string_view text)
{
    text = Trim(text);
    Number value{};
    const char *end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

struct KindName {
    const char *name;
    ShotKind kind;
};

constexpr KindName kKindNames[] = {
    {"jpeg", ShotKind::Jpeg},         {"jpeg3", ShotKind::JpegAlt},
    {"raw", ShotKind::Raw},           {"raw+jpeg", ShotKind::RawPlusJpeg},
    {"size0", ShotKind::SizeZero},    {"badjpeg", ShotKind::BadJpeg},
    {"readfail", ShotKind::ReadFail}, {"infofail", ShotKind::InfoFail},
    {"shootfail", ShotKind::ShootFail}, {"propsempty", ShotKind::PropsEmpty},
    {"propsdup", ShotKind::PropsDup},
};

std::optional<ShotAction> ParseAction(std::string_view item)
{
    const std::string name = Lower(Trim(item));
    for (const KindName &entry : kKindNames) {
        if (name == entry.name)
            return ShotAction{entry.kind, 0};
    }
    if (name.rfind("type", 0) == 0) {
        if (auto code = ParseNumber<int32_t>(std::string_view(name).substr(4)))
            return ShotAction{ShotKind::TypeCode, *code};
    }
    return std::nullopt;
}

// Each setter returns false with error set when the variable holds a bad value.
template <typename Number>
bool ReadNumber(const EnvLookup &lookup, const char *variable, Number low, Number high, Number &target,
                std::string &error)
{
    const char *text = lookup(variable);
    if (!text)
        return true;
    auto value = ParseNumber<Number>(text);
    if (!value || *value < low || *value > high) {
        error = std::string(variable) + ": expected a number from " + std::to_string(low) + " to " +
                std::to_string(high) + ", got '" + text + "'";
        return false;
    }
    target = *value;
    return true;
}

bool ReadFlag(const EnvLookup &lookup, const char *variable, bool &target, std::string &error)
{
    const char *text = lookup(variable);
    if (!text)
        return true;
    const std::string value = Lower(Trim(text));
    if (value == "1" || value == "yes" || value == "true" || value == "on") {
        target = true;
    } else if (value.empty() || value == "0" || value == "no" || value == "false" || value == "off") {
        target = false;
    } else {
        error = std::string(variable) + ": expected 1 or 0, got '" + text + "'";
        return false;
    }
    return true;
}

bool ReadSize(const EnvLookup &lookup, Config &config, std::string &error)
{
    const char *text = lookup("VRX4K_SIM_SIZE");
    if (!text)
        return true;
    const std::string value = Lower(text);
    const size_t x = value.find('x');
    std::optional<uint32_t> width, height;
    if (x != std::string::npos) {
        width = ParseNumber<uint32_t>(std::string_view(value).substr(0, x));
        height = ParseNumber<uint32_t>(std::string_view(value).substr(x + 1));
    }
    constexpr uint32_t kMin = 16, kMax = 12000;
    if (!width || !height || *width < kMin || *width > kMax || *height < kMin || *height > kMax) {
        error = std::string("VRX4K_SIM_SIZE: expected WIDTHxHEIGHT, each from 16 to 12000, got '") + text + "'";
        return false;
    }
    config.width = *width;
    config.height = *height;
    return true;
}

bool ReadFormat(const EnvLookup &lookup, Config &config, std::string &error)
{
    const char *text = lookup("VRX4K_SIM_FORMAT");
    if (!text)
        return true;
    const std::string value = Lower(Trim(text));
    if (value == "jpeg")
        config.format = ShotKind::Jpeg;
    else if (value == "jpeg3")
        config.format = ShotKind::JpegAlt;
    else if (value == "raw")
        config.format = ShotKind::Raw;
    else if (value == "raw+jpeg")
        config.format = ShotKind::RawPlusJpeg;
    else {
        error = std::string("VRX4K_SIM_FORMAT: expected jpeg, jpeg3, raw or raw+jpeg, got '") + text + "'";
        return false;
    }
    return true;
}

bool ReadFailOpen(const EnvLookup &lookup, Config &config, std::string &error)
{
    const char *text = lookup("VRX4K_SIM_FAIL_OPEN");
    if (!text)
        return true;
    std::string_view rest(text);
    while (!Trim(rest).empty()) {
        const size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        auto index = ParseNumber<int>(item);
        if (!index || *index < 0) {
            error = std::string("VRX4K_SIM_FAIL_OPEN: expected camera indexes such as 0,2, got '") + text + "'";
            return false;
        }
        config.failOpen.insert(*index);
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    return true;
}

} // namespace

std::optional<std::vector<ShotAction>> ParseScript(std::string_view text, std::string &error)
{
    std::vector<ShotAction> actions;
    if (Trim(text).empty())
        return actions;
    while (true) {
        const size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        auto action = ParseAction(item);
        if (!action) {
            error = "unknown shot '" + std::string(Trim(item)) + "' (item " + std::to_string(actions.size() + 1) + ")";
            return std::nullopt;
        }
        actions.push_back(*action);
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return actions;
}

std::string ShotKindName(const ShotAction &action)
{
    if (action.kind == ShotKind::Default)
        return "default";
    if (action.kind == ShotKind::TypeCode)
        return "type" + std::to_string(action.typeCode);
    for (const KindName &entry : kKindNames) {
        if (entry.kind == action.kind)
            return entry.name;
    }
    return "?";
}

std::optional<Config> ReadConfig(const EnvLookup &environment, std::string &error)
{
    // A variable set to nothing counts as not set.
    const EnvLookup lookup = [&environment](const char *name) -> const char * {
        const char *value = environment(name);
        return value && *value ? value : nullptr;
    };
    Config config;
    uint32_t cardShots = 0;
    const bool ok = ReadNumber(lookup, "VRX4K_SIM_CAMERAS", 0, 8, config.cameraCount, error) &&
                    ReadSize(lookup, config, error) && ReadFormat(lookup, config, error) &&
                    ReadNumber(lookup, "VRX4K_SIM_QUALITY", 1, 100, config.quality, error) &&
                    ReadNumber(lookup, "VRX4K_SIM_DELAY_MS", 0u, 60000u, config.delayMs, error) &&
                    ReadNumber(lookup, "VRX4K_SIM_INTERVAL_MS", 0u, 60000u, config.intervalMs, error) &&
                    ReadNumber(lookup, "VRX4K_SIM_BUFFER", 1u, 1000u, config.bufferShots, error) &&
                    ReadNumber(lookup, "VRX4K_SIM_CARD_SHOTS", 0u, 999999u, cardShots, error) &&
                    ReadFailOpen(lookup, config, error) &&
                    ReadFlag(lookup, "VRX4K_SIM_FAIL_INIT", config.failInit, error) &&
                    ReadFlag(lookup, "VRX4K_SIM_FAIL_DETECT", config.failDetect, error);
    if (!ok)
        return std::nullopt;
    if (lookup("VRX4K_SIM_CARD_SHOTS"))
        config.cardShots = cardShots;
    if (const char *script = lookup("VRX4K_SIM_SCRIPT")) {
        auto actions = ParseScript(script, error);
        if (!actions) {
            error = "VRX4K_SIM_SCRIPT: " + error;
            return std::nullopt;
        }
        config.script = std::move(*actions);
    }
    if (const char *folder = lookup("VRX4K_SIM_PHOTO_DIR"))
        config.photoDir = folder;
    if (const char *log = lookup("VRX4K_SIM_LOG"))
        config.logPath = log;
    return config;
}

} // namespace vrx4ksim
