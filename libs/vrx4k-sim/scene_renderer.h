#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace vrx4ksim {

// What makes one simulated picture different from the next.
struct SceneInfo {
    uint32_t shot = 1;   // moves the sun along its arc, 12 shots to a day
    int cameraIndex = 0; // shapes the hills, so each camera has its own view
    uint32_t iso = 100;
    std::string model;
    std::string serial;
    std::string timeText; // local capture time as written in the picture
};

// The position of the sun for a shot: 0 at the horizon, 1 at noon.
double SunElevation(uint32_t shot);

// Renders a landscape with the shot number, time, ISO and camera drawn in,
// as packed top-down RGB (3 bytes per pixel). Returns an empty vector when
// cancel became true before the picture was finished.
std::vector<uint8_t> RenderScene(const SceneInfo &scene, int width, int height, const std::atomic<bool> &cancel);

} // namespace vrx4ksim
