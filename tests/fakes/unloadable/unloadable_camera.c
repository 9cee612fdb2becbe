/* A libVRX4KAPI.so that the loader finds but cannot load: its dependency is
   missing, as when a real-camera library is installed without libgphoto2. */
#include <stdint.h>

int tavren_vanishing_dependency(void);

__attribute__((visibility("default"))) int32_t VRX4K_Init(int32_t reserved)
{
    return reserved + tavren_vanishing_dependency() - 1;
}
