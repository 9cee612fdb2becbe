#include "platform/page_prefault.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14
#endif

namespace platform {
namespace {

constexpr unsigned kMostThreads = 4;
// Below this a share is not worth a thread of its own.
constexpr size_t kLeastBytesPerThread = size_t(8) << 20;

void Populate(uintptr_t begin, uintptr_t end)
{
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_POPULATE_WRITE);
}

} // namespace

void PrefaultForWriting(void *data, size_t size)
{
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (data == nullptr || pageSize <= 0)
        return;
    const uintptr_t page = uintptr_t(pageSize);
    const uintptr_t address = reinterpret_cast<uintptr_t>(data);
    if (size > UINTPTR_MAX - address)
        return;
    // madvise works on whole pages: the partial pages at either end are left alone.
    const uintptr_t begin = (address + page - 1) / page * page;
    const uintptr_t end = (address + size) / page * page;
    if (end <= begin)
        return;

    const size_t pages = (end - begin) / page;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t threads =
        std::min<size_t>({cores, kMostThreads, std::max<size_t>(1, (end - begin) / kLeastBytesPerThread)});
    std::vector<std::thread> helpers;
    try {
        for (size_t part = 1; part < threads; ++part)
            helpers.emplace_back(Populate, begin + pages * part / threads * page,
                                 begin + pages * (part + 1) / threads * page);
    } catch (...) {
        // No thread to be had: the pages left over are mapped as they are written.
    }
    Populate(begin, begin + pages / threads * page);
    for (std::thread &helper : helpers)
        helper.join();
}

} // namespace platform
