#pragma once

#include <cstdint>
#include <string>

namespace vrx4ksim {

// The fixed description of one simulated camera.
struct CameraModel {
    std::string name;     // CameraDeviceInfo.Name
    std::string detail;   // CameraDeviceInfo.Detail: model code and serial number
    std::string vendor;
    std::string modelCode;
    std::string serial;
    std::string firmware;
    std::string port;
    uint32_t battery = 100;    // percent when connected
    uint32_t cardShots = 999;  // shots that fit on its card when connected
};

// The camera at index: four models in turn, each index its own serial number.
CameraModel ModelForIndex(int index);

} // namespace vrx4ksim
