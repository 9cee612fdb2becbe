#include "gphoto2_access.h"

#include "file_values.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <memory>

namespace vrx4kgp {

namespace {

template <typename T, int (*Free)(T *)>
struct Releaser {
    void operator()(T *object) const
    {
        if (object)
            Free(object);
    }
};

using ListPtr = std::unique_ptr<CameraList, Releaser<CameraList, gp_list_free>>;
using WidgetPtr = std::unique_ptr<CameraWidget, Releaser<CameraWidget, gp_widget_free>>;
using AbilitiesPtr = std::unique_ptr<CameraAbilitiesList, Releaser<CameraAbilitiesList, gp_abilities_list_free>>;
using PortListPtr = std::unique_ptr<GPPortInfoList, Releaser<GPPortInfoList, gp_port_info_list_free>>;
int UnrefContext(GPContext *context)
{
    gp_context_unref(context);
    return GP_OK;
}
using ContextPtr = std::unique_ptr<GPContext, Releaser<GPContext, UnrefContext>>;

bool SameText(const std::string &a, const char *b)
{
    const std::string other(b ? b : "");
    return a.size() == other.size() &&
           std::equal(a.begin(), a.end(), other.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

} // namespace

std::mutex &PortMutex()
{
    static std::mutex mutex;
    return mutex;
}

int DetectCameras(std::vector<DetectedCamera> &cameras)
{
    cameras.clear();
    CameraList *rawList = nullptr;
    int result = gp_list_new(&rawList);
    if (result < GP_OK)
        return result;
    ListPtr list(rawList);
    ContextPtr context(gp_context_new());
    {
        std::lock_guard lock(PortMutex());
        result = gp_camera_autodetect(list.get(), context.get());
    }
    if (result < GP_OK)
        return result;
    for (int i = 0; i < result; ++i) {
        const char *model = nullptr;
        const char *port = nullptr;
        if (gp_list_get_name(list.get(), i, &model) < GP_OK || gp_list_get_value(list.get(), i, &port) < GP_OK)
            continue;
        // A mounted memory card shows up as a "Mass Storage Camera" on a
        // disk: port; it cannot shoot.
        if (port && !IsCameraPort(port))
            continue;
        cameras.push_back({model ? model : "", port ? port : ""});
    }
    return GP_OK;
}

int BindCamera(Camera *camera, const DetectedCamera &detected)
{
    CameraAbilitiesList *rawAbilities = nullptr;
    int result = gp_abilities_list_new(&rawAbilities);
    if (result < GP_OK)
        return result;
    AbilitiesPtr abilitiesList(rawAbilities);
    ContextPtr context(gp_context_new());
    if ((result = gp_abilities_list_load(abilitiesList.get(), context.get())) < GP_OK)
        return result;
    const int model = gp_abilities_list_lookup_model(abilitiesList.get(), detected.model.c_str());
    if (model < GP_OK)
        return model;
    CameraAbilities abilities;
    if ((result = gp_abilities_list_get_abilities(abilitiesList.get(), model, &abilities)) < GP_OK)
        return result;
    if ((result = gp_camera_set_abilities(camera, abilities)) < GP_OK)
        return result;

    GPPortInfoList *rawPorts = nullptr;
    if ((result = gp_port_info_list_new(&rawPorts)) < GP_OK)
        return result;
    PortListPtr ports(rawPorts);
    if ((result = gp_port_info_list_load(ports.get())) < GP_OK)
        return result;
    const int port = gp_port_info_list_lookup_path(ports.get(), detected.port.c_str());
    if (port < GP_OK)
        return port;
    GPPortInfo info;
    if ((result = gp_port_info_list_get_info(ports.get(), port, &info)) < GP_OK)
        return result;
    return gp_camera_set_port_info(camera, info);
}

std::optional<std::string> ReadSetting(Camera *camera, GPContext *context, const char *name)
{
    CameraWidget *rawWidget = nullptr;
    if (gp_camera_get_single_config(camera, name, &rawWidget, context) < GP_OK || !rawWidget)
        return std::nullopt;
    WidgetPtr widget(rawWidget);
    CameraWidgetType type;
    if (gp_widget_get_type(widget.get(), &type) < GP_OK)
        return std::nullopt;
    switch (type) {
    case GP_WIDGET_TEXT:
    case GP_WIDGET_RADIO:
    case GP_WIDGET_MENU: {
        const char *text = nullptr;
        if (gp_widget_get_value(widget.get(), &text) < GP_OK || !text)
            return std::nullopt;
        return std::string(text);
    }
    case GP_WIDGET_TOGGLE:
    case GP_WIDGET_DATE: {
        int value = 0;
        if (gp_widget_get_value(widget.get(), &value) < GP_OK)
            return std::nullopt;
        return std::to_string(value);
    }
    case GP_WIDGET_RANGE: {
        float value = 0;
        if (gp_widget_get_value(widget.get(), &value) < GP_OK)
            return std::nullopt;
        return std::to_string(static_cast<long>(value));
    }
    default:
        return std::nullopt;
    }
}

int WriteSetting(Camera *camera, GPContext *context, const std::string &name, const std::string &value)
{
    CameraWidget *rawWidget = nullptr;
    int result = gp_camera_get_single_config(camera, name.c_str(), &rawWidget, context);
    if (result < GP_OK)
        return result;
    WidgetPtr widget(rawWidget);
    CameraWidgetType type;
    if ((result = gp_widget_get_type(widget.get(), &type)) < GP_OK)
        return result;
    switch (type) {
    case GP_WIDGET_RADIO:
    case GP_WIDGET_MENU: {
        const int choices = gp_widget_count_choices(widget.get());
        const char *match = nullptr;
        for (int i = 0; i < choices && !match; ++i) {
            const char *choice = nullptr;
            if (gp_widget_get_choice(widget.get(), i, &choice) >= GP_OK && SameText(value, choice))
                match = choice;
        }
        // Some settings take values that are not among their listed choices.
        result = gp_widget_set_value(widget.get(), match ? match : value.c_str());
        break;
    }
    case GP_WIDGET_TEXT:
        result = gp_widget_set_value(widget.get(), value.c_str());
        break;
    case GP_WIDGET_TOGGLE:
    case GP_WIDGET_DATE: {
        char *end = nullptr;
        const long number = std::strtol(value.c_str(), &end, 0);
        if (end == value.c_str() || *end != '\0' || number < std::numeric_limits<int>::min() ||
            number > std::numeric_limits<int>::max())
            return GP_ERROR_BAD_PARAMETERS;
        const int toggle = static_cast<int>(number);
        result = gp_widget_set_value(widget.get(), &toggle);
        break;
    }
    case GP_WIDGET_RANGE: {
        char *end = nullptr;
        const float number = std::strtof(value.c_str(), &end);
        if (end == value.c_str() || *end != '\0')
            return GP_ERROR_BAD_PARAMETERS;
        result = gp_widget_set_value(widget.get(), &number);
        break;
    }
    default:
        return GP_ERROR_NOT_SUPPORTED;
    }
    if (result < GP_OK)
        return result;
    return gp_camera_set_single_config(camera, name.c_str(), widget.get(), context);
}

void PreferMemoryCard(Camera *camera, GPContext *context)
{
    CameraWidget *rawWidget = nullptr;
    if (gp_camera_get_single_config(camera, "capturetarget", &rawWidget, context) < GP_OK || !rawWidget)
        return;
    WidgetPtr widget(rawWidget);
    const int choices = gp_widget_count_choices(widget.get());
    for (int i = 0; i < choices; ++i) {
        const char *choice = nullptr;
        if (gp_widget_get_choice(widget.get(), i, &choice) < GP_OK || !choice)
            continue;
        std::string lower(choice);
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (lower.find("card") != std::string::npos) {
            if (gp_widget_set_value(widget.get(), choice) >= GP_OK)
                gp_camera_set_single_config(camera, "capturetarget", widget.get(), context);
            return;
        }
    }
}

std::optional<uint32_t> ShotsRemaining(Camera *camera, GPContext *context)
{
    CameraStorageInformation *storages = nullptr;
    int count = 0;
    if (gp_camera_get_storageinfo(camera, &storages, &count, context) < GP_OK || !storages)
        return std::nullopt;
    std::optional<uint64_t> total;
    for (int i = 0; i < count; ++i) {
        if (storages[i].fields & GP_STORAGEINFO_FREESPACEIMAGES)
            total = total.value_or(0) + storages[i].freeimages;
    }
    std::free(storages);
    if (!total)
        return std::nullopt;
    return static_cast<uint32_t>(std::min<uint64_t>(*total, std::numeric_limits<uint32_t>::max()));
}

} // namespace vrx4kgp
