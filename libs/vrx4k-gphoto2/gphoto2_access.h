#pragma once

#include <gphoto2/gphoto2.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vrx4kgp {

// Held around port scanning and camera initialisation: both go through the
// port drivers' process-wide state (their caches and libusb's device list),
// which is not safe to use from several threads at once.
std::mutex &PortMutex();

struct DetectedCamera {
    std::string model;
    std::string port;
};

// The cameras libgphoto2 detects now, leaving out its mass-storage (disk:)
// ports, or a libgphoto2 result (< 0).
int DetectCameras(std::vector<DetectedCamera> &cameras);

// Finds the driver for model and the port, and binds them to camera.
// Call with PortMutex held.
int BindCamera(Camera *camera, const DetectedCamera &detected);

// A setting's current value as text (toggles, ranges and dates as numbers),
// or nullopt when the camera has no such setting.
std::optional<std::string> ReadSetting(Camera *camera, GPContext *context, const char *name);

// Sets a setting from text: radio and menu settings take one of their
// choices, also when written in another case; toggles take 0/1; ranges a
// number. Returns a libgphoto2 result.
int WriteSetting(Camera *camera, GPContext *context, const std::string &name, const std::string &value);

// Moves new pictures to the memory card where the camera has a capture
// target; a camera without one keeps its own behaviour.
void PreferMemoryCard(Camera *camera, GPContext *context);

// The sum of the free-space-in-pictures figures over the camera's storages.
std::optional<uint32_t> ShotsRemaining(Camera *camera, GPContext *context);

} // namespace vrx4kgp
