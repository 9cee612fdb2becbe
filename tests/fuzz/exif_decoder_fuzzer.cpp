// Feeds arbitrary bytes through the decoder library in the order the preview
// uses it. The input and each picture buffer end right before an inaccessible
// page, and picture buffers have exactly the contract's capacity (or a few
// bytes less), so a read or write past either end faults. Every decode is
// compared with TurboJPEG's single-threaded one: the same success and, when
// both succeed, the same bytes (the library decodes large pictures in bands
// of rows on several threads).
#include "fuzz_check.h"
#include "guarded_buffer.h"

#include <exif.h>

#include <turbojpeg.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Decoding larger pictures makes every run slow; their sizes and a buffer too
// short for them are still checked.
constexpr uint64_t kMaxPixels = uint64_t{1} << 22;

// libturbojpeg is not instrumented, so libFuzzer cannot tell apart inputs that
// decode differently. These counters, which libFuzzer reads as coverage, tell
// it the outcomes that matter to the buffer arithmetic: the statuses, the
// subsampling and the size modulo 8.
__attribute__((used, section("__libfuzzer_extra_counters"))) uint8_t g_openOutcomes[16];
__attribute__((used, section("__libfuzzer_extra_counters"))) uint8_t g_decodeOutcomes[16 * 8 * 8 * 8];

void NoteDecodeOutcome(uint16_t status, uint32_t subsampling, uint32_t width, uint32_t height)
{
    ++g_decodeOutcomes[((std::min<uint32_t>(status, 15) * 8 + subsampling % 8) * 8 + width % 8) * 8 + height % 8];
}

uint64_t PictureCapacity(uint64_t width, uint64_t height)
{
    return (3 * width + width % 4) * height + EXIF_DIB_HEADER_SIZE;
}

void CheckBitmapHeader(const uint8_t *picture, uint32_t width, uint32_t height)
{
    FUZZ_CHECK(fuzz::ReadLe32(picture + 0) == EXIF_DIB_HEADER_SIZE); // biSize
    FUZZ_CHECK(fuzz::ReadLe32(picture + 4) == width);                // biWidth
    const auto headerHeight = static_cast<int32_t>(fuzz::ReadLe32(picture + 8));
    // biHeight: positive for bottom-up rows, negative for top-down
    FUZZ_CHECK(headerHeight == static_cast<int64_t>(height) || headerHeight == -static_cast<int64_t>(height));
    FUZZ_CHECK(fuzz::ReadLe16(picture + 12) == 1);  // biPlanes
    FUZZ_CHECK(fuzz::ReadLe16(picture + 14) == 24); // biBitCount
    FUZZ_CHECK(fuzz::ReadLe32(picture + 16) == 0);  // biCompression: BI_RGB
}

// Returns the handle the library left behind, 0 for none, whatever the status.
uint32_t Open(const fuzz::GuardedBuffer &jpeg, bool &opened)
{
    uint32_t handle = 0;
    const uint16_t status = ExifMemOpen(jpeg.data(), static_cast<uint32_t>(jpeg.size()), &handle);
    ++g_openOutcomes[std::min<uint16_t>(status, 15)];
    opened = status == EXIF_STATUS_OK;
    if (opened) {
        FUZZ_CHECK(handle != 0);
    }
    return handle;
}

bool ReadSize(uint32_t handle, uint32_t &width, uint32_t &height, uint32_t &extra)
{
    const auto size = std::make_unique<ExifImageSize>();
    if (ExifGetImageSizeType(handle, size.get()) != EXIF_STATUS_OK) {
        return false;
    }
    width = size->Width;
    height = size->Height;
    extra = size->Extra;
    return true;
}

// TurboJPEG's decode of the whole picture, top-down BGR rows of the given
// stride, with the library's flags; false for a fatal error.
bool ReferenceDecode(const fuzz::GuardedBuffer &jpeg, uint32_t width, uint32_t height, size_t stride,
                     std::vector<uint8_t> &rows)
{
    tjhandle decoder = tjInitDecompress();
    FUZZ_CHECK(decoder != nullptr);
    rows.assign(stride * height, 0);
    const bool decoded = tjDecompress2(decoder, jpeg.data(), static_cast<unsigned long>(jpeg.size()), rows.data(),
                                       static_cast<int>(width), static_cast<int>(stride), static_cast<int>(height),
                                       TJPF_BGR, TJFLAG_LIMITSCANS) == 0
        || tjGetErrorCode(decoder) == TJERR_WARNING;
    tjDestroy(decoder);
    return decoded;
}

// Rows of the decoded picture, top row first whichever way it is stored.
void CheckSameRows(const uint8_t *picture, const std::vector<uint8_t> &reference, uint32_t width, uint32_t height,
                   size_t stride)
{
    const bool bottomUp = static_cast<int32_t>(fuzz::ReadLe32(picture + 8)) > 0;
    const uint8_t *rows = picture + EXIF_DIB_HEADER_SIZE;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t *row = rows + (bottomUp ? height - 1 - y : y) * stride;
        FUZZ_CHECK(std::memcmp(row, reference.data() + y * stride, 3 * size_t{width}) == 0);
        for (size_t pad = 3 * size_t{width}; pad < stride; ++pad) {
            FUZZ_CHECK(row[pad] == 0);
        }
    }
}

// Returns the status of ExifReadImage.
uint16_t Decode(const fuzz::GuardedBuffer &jpeg, uint32_t handle, uint32_t capacity, uint32_t width,
                uint32_t height, bool mustFail)
{
    const fuzz::GuardedBuffer picture(capacity);
    const uint16_t status = ExifReadImage(handle, picture.data(), capacity);
    const bool decoded = status == EXIF_STATUS_OK;
    if (mustFail) {
        FUZZ_CHECK(!decoded);
        return status;
    }
    const size_t stride = 3 * size_t{width} + width % 4;
    std::vector<uint8_t> reference;
    FUZZ_CHECK(decoded == ReferenceDecode(jpeg, width, height, stride, reference));
    if (decoded) {
        CheckBitmapHeader(picture.data(), width, height);
        CheckSameRows(picture.data(), reference, width, height, stride);
    }
    return status;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > UINT32_MAX) {
        return 0;
    }
    const fuzz::GuardedBuffer jpeg(data, size);

    bool opened = false;
    uint32_t handle = Open(jpeg, opened);
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t extra = 0;
    const bool sized = opened && ReadSize(handle, width, height, extra);
    // The caller computes the capacity in 32 bits: a picture too large for
    // that must be refused when opened.
    const uint64_t wideCapacity = PictureCapacity(width, height);
    FUZZ_CHECK(!sized || wideCapacity <= UINT32_MAX);
    const auto capacity = static_cast<uint32_t>(wideCapacity);
    if (sized && uint64_t{width} * height <= kMaxPixels) {
        NoteDecodeOutcome(Decode(jpeg, handle, capacity, width, height, false), extra, width, height);
    }
    if (handle != 0) {
        ExifFileClose(handle);
    }
    if (!sized) {
        return 0;
    }

    // A buffer 1 to 4 bytes short cannot hold the picture: the library must
    // refuse it without writing past its end. This holds for pictures of any
    // size, as untouched pages of the buffer cost nothing. A fresh handle
    // keeps this independent of whether one handle can be decoded twice.
    handle = Open(jpeg, opened);
    uint32_t widthAgain = 0;
    uint32_t heightAgain = 0;
    uint32_t extraAgain = 0;
    if (opened && ReadSize(handle, widthAgain, heightAgain, extraAgain)) {
        FUZZ_CHECK(widthAgain == width && heightAgain == height);
        const uint32_t shortfall = 1 + static_cast<uint32_t>(size % 4);
        Decode(jpeg, handle, capacity - shortfall, width, height, true);
    }
    if (handle != 0) {
        ExifFileClose(handle);
    }
    return 0;
}
