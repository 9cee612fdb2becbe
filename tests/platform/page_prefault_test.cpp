#include "platform/page_prefault.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace {

struct PrefaultCase {
    size_t pages;  // of the fresh mapping
    size_t offset; // of the buffer's start in it, bytes
    size_t trim;   // bytes short of the mapping's end
};

class PrefaultForWriting : public ::testing::TestWithParam<PrefaultCase> {};

// Every page wholly inside the buffer is mapped afterwards, none outside it
// is touched, and the bytes already written keep their values.
TEST_P(PrefaultForWriting, MapsEveryWholePageAndKeepsTheBytes)
{
    const PrefaultCase c = GetParam();
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t length = c.pages * page;
    auto *mapping = static_cast<uint8_t *>(
        mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(mapping, MAP_FAILED);
    if (madvise(mapping, page, MADV_POPULATE_WRITE) != 0 && errno == EINVAL) {
        munmap(mapping, length);
        GTEST_SKIP() << "this kernel cannot map pages in ahead";
    }
    madvise(mapping, page, MADV_DONTNEED); // unmapped again
    const size_t middle = c.pages / 2 * page + 7;
    mapping[middle] = 0x5a;

    platform::PrefaultForWriting(mapping + c.offset, length - c.offset - c.trim);

    std::vector<unsigned char> resident(c.pages);
    ASSERT_EQ(mincore(mapping, length, resident.data()), 0);
    const size_t firstWhole = (c.offset + page - 1) / page;
    const size_t endWhole = (length - c.trim) / page;
    for (size_t i = 0; i < c.pages; ++i) {
        const bool inside = i >= firstWhole && i < endWhole;
        EXPECT_EQ((resident[i] & 1) != 0, inside || i == middle / page) << "page " << i;
    }
    EXPECT_EQ(mapping[middle], 0x5a);
    EXPECT_EQ(mapping[middle + 1], 0);
    munmap(mapping, length);
}

INSTANTIATE_TEST_SUITE_P(Buffers, PrefaultForWriting,
                         ::testing::Values(PrefaultCase{3, 0, 0},      // one thread, page-aligned
                                           PrefaultCase{3, 16, 100},   // partial pages at both ends
                                           PrefaultCase{1, 16, 100},   // no whole page at all
                                           PrefaultCase{9001, 16, 0},  // split over the cores
                                           PrefaultCase{9001, 4096, 4095}));

} // namespace
