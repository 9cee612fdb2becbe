#pragma once

#include <cstddef>

namespace platform {

// Maps in, ready for writing, every memory page that lies wholly inside
// [data, data + size), split over up to one thread per core. A buffer used
// for the first time then no longer stops at each of its pages while it is
// filled, and the work of mapping them is shared out evenly. The bytes are
// left as they are. Where the kernel cannot do it (before Linux 5.14) or
// memory is short, it does nothing: the pages are then mapped as they are
// first written, as usual.
void PrefaultForWriting(void *data, size_t size);

} // namespace platform
