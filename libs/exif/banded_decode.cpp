#include "banded_decode.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <cstring>
#include <thread>

#include <sched.h>

#include <jpeglib.h>

namespace exif {

namespace {

// Below this a picture decodes in a few milliseconds and threads gain little.
constexpr uint64_t kMinimumBandedPixels = 2'000'000;
constexpr unsigned kMaximumBands = 4;
constexpr JDIMENSION kRowsPerRead = 16;

// libjpeg reports fatal errors by calling error_exit, which must not return.
struct ErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    void (*emitMessage)(j_common_ptr, int) = nullptr; // libjpeg's own
    bool warned = false;
};

[[noreturn]] void JumpOut(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorJump *>(info->err)->jump, 1);
}

// Warnings are counted by libjpeg's own emit_message, as TurboJPEG does, and
// noted, but never printed.
void NoteWarning(j_common_ptr info, int level)
{
    auto *errors = reinterpret_cast<ErrorJump *>(info->err);
    errors->emitMessage(info, level);
    if (level < 0)
        errors->warned = true;
}

void StayQuiet(j_common_ptr) {}

// A decompressor that does not exist yet when setjmp runs must still be safe to destroy.
void PrepareDecompressor(jpeg_decompress_struct &info, ErrorJump &errors)
{
    std::memset(&info, 0, sizeof info);
    info.err = jpeg_std_error(&errors.manager);
    errors.emitMessage = errors.manager.emit_message;
    errors.manager.emit_message = NoteWarning;
    errors.manager.error_exit = JumpOut;
    errors.manager.output_message = StayQuiet;
}

struct Layout {
    bool bandable = false;
    unsigned rowsPerMcuRow = 0; // rows decoded together; bands start on their boundaries
    double entropyShare = 0;    // of a row's decode time, see EntropyShare
};

// The share of a row's decode time spent entropy-decoding it, which a later
// band also pays for every row above its own. Entropy decoding costs about
// 7.2 ms per MB of data plus 0.15 ms per million samples, a whole decode
// 8.5 ms per MB plus 0.87 ms per million samples (libjpeg-turbo 2.1 on this
// machine's x86-64 cores, 24 MP pictures of 1.7-8.3 MB, 4:2:0 and 4:2:2), so
// the share grows from about 0.4 for smooth pictures to 0.65 for detailed ones.
double EntropyShare(const jpeg_decompress_struct &info, size_t bytes)
{
    double samplesPerPixel = 0;
    for (int c = 0; c < info.num_components; ++c) {
        samplesPerPixel += double(info.comp_info[c].h_samp_factor * info.comp_info[c].v_samp_factor)
            / (info.max_h_samp_factor * info.max_v_samp_factor);
    }
    const double bytesPerPixel = double(bytes) / (double(info.image_width) * info.image_height);
    const double share = (0.15 * samplesPerPixel + 7.2 * bytesPerPixel) / (0.87 * samplesPerPixel + 8.5 * bytesPerPixel);
    return std::clamp(share, 0.2, 0.8);
}

// Reads the header alone to learn whether the picture is one interleaved scan.
void ReadLayout(const uint8_t *jpeg, size_t size, uint32_t width, uint32_t height, Layout &layout)
{
    jpeg_decompress_struct info;
    ErrorJump errors;
    PrepareDecompressor(info, errors);
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        layout.bandable = false;
        return;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg, size);
    if (jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK) {
        layout.bandable = !jpeg_has_multiple_scans(&info) && !info.arith_code && info.image_width == width
            && info.image_height == height;
        layout.rowsPerMcuRow = unsigned(info.max_v_samp_factor) * DCTSIZE;
        layout.entropyShare = EntropyShare(info, size);
    }
    jpeg_destroy_decompress(&info);
}

struct Band {
    const uint8_t *jpeg = nullptr;
    size_t size = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t *rows = nullptr;
    size_t stride = 0;
    JDIMENSION first = 0; // rows [first, end)
    JDIMENSION end = 0;
    bool failed = false;
};

// Outside the setjmp frame, so that no local of that frame changes after it.
bool ReadBandRows(jpeg_decompress_struct &info, const Band &band)
{
    if (info.output_width != band.width || info.output_height != band.height || info.output_components != 3)
        return false;
    if (band.first > 0 && jpeg_skip_scanlines(&info, band.first) != band.first)
        return false;
    std::array<JSAMPROW, kRowsPerRead> pointers;
    while (info.output_scanline < band.end) {
        const JDIMENSION count = std::min(kRowsPerRead, band.end - info.output_scanline);
        for (JDIMENSION i = 0; i < count; ++i)
            pointers[i] = band.rows + (info.output_scanline + i) * band.stride;
        if (jpeg_read_scanlines(&info, pointers.data(), count) == 0)
            return false;
    }
    return true;
}

// The settings match tjDecompress2's with TJPF_BGR and no flags: libjpeg's
// defaults (accurate integer DCT, fancy upsampling) and BGR output. The last
// band reads on to the end of the image, so that a fatal error after the last
// row fails the decode as it fails TurboJPEG's.
void DecodeBand(Band &band) noexcept
{
    jpeg_decompress_struct info;
    ErrorJump errors;
    PrepareDecompressor(info, errors);
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        // TurboJPEG reports an error after a warning as a warning, and the
        // library keeps such a picture; the rows written then are the same.
        band.failed = !errors.warned;
        return;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, band.jpeg, band.size);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    if (!ReadBandRows(info, band))
        band.failed = true;
    else if (band.end == band.height)
        jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
}

// Band k starts after s_k rows, which it entropy-decodes at entropyShare of
// a whole row's cost, and then decodes r_k rows: s_k * share + r_k is the
// same for every band, the first taking r_0 = 1.
unsigned PlanBands(unsigned bandCount, unsigned mcuRows, double entropyShare,
                   std::array<unsigned, kMaximumBands + 1> &starts)
{
    std::array<double, kMaximumBands + 1> weights{};
    for (unsigned k = 0; k < bandCount; ++k)
        weights[k + 1] = weights[k] + 1.0 - entropyShare * weights[k];
    starts[0] = 0;
    for (unsigned k = 1; k <= bandCount; ++k)
        starts[k] = unsigned(weights[k] / weights[bandCount] * mcuRows + 0.5);
    // Tiny pictures of many MCU rows never get here; still, no band is empty.
    unsigned kept = 0;
    for (unsigned k = 1; k <= bandCount; ++k) {
        if (starts[k] > starts[kept])
            starts[++kept] = starts[k];
    }
    return kept;
}

// Cores this thread may run on: fewer than the machine has under taskset.
unsigned UsableCores()
{
    unsigned cores = std::thread::hardware_concurrency();
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0)
        cores = std::min(cores, unsigned(CPU_COUNT(&allowed)));
    return cores;
}

} // namespace

BandedResult DecodeInBands(const uint8_t *jpeg, size_t size, uint32_t width, uint32_t height, uint8_t *rows,
                           size_t stride)
{
    const unsigned cores = UsableCores();
    if (uint64_t{width} * height < kMinimumBandedPixels || cores < 2)
        return BandedResult::NotBanded;
    Layout layout;
    ReadLayout(jpeg, size, width, height, layout);
    if (!layout.bandable || layout.rowsPerMcuRow == 0)
        return BandedResult::NotBanded;

    const unsigned mcuRows = (height + layout.rowsPerMcuRow - 1) / layout.rowsPerMcuRow;
    std::array<unsigned, kMaximumBands + 1> starts{};
    const unsigned bandCount = PlanBands(std::min(cores, kMaximumBands), mcuRows, layout.entropyShare, starts);
    if (bandCount < 2)
        return BandedResult::NotBanded;

    std::array<Band, kMaximumBands> bands;
    for (unsigned k = 0; k < bandCount; ++k) {
        bands[k] = Band{jpeg, size, width, height, rows, stride,
                        JDIMENSION(std::min<uint64_t>(uint64_t{starts[k]} * layout.rowsPerMcuRow, height)),
                        JDIMENSION(std::min<uint64_t>(uint64_t{starts[k + 1]} * layout.rowsPerMcuRow, height)),
                        false};
    }

    // The later bands on their own threads, the first on this one. A thread
    // that cannot be started has its band decoded here instead; every thread
    // is joined before the caller's buffer is handed back.
    std::array<std::thread, kMaximumBands> threads;
    std::array<bool, kMaximumBands> started{};
    for (unsigned k = 1; k < bandCount; ++k) {
        try {
            threads[k] = std::thread(DecodeBand, std::ref(bands[k]));
            started[k] = true;
        } catch (...) {
        }
    }
    DecodeBand(bands[0]);
    for (unsigned k = 1; k < bandCount; ++k) {
        if (started[k])
            threads[k].join();
        else
            DecodeBand(bands[k]);
    }
    const bool failed = std::any_of(bands.begin(), bands.begin() + bandCount, [](const Band &band) { return band.failed; });
    return failed ? BandedResult::Failed : BandedResult::Decoded;
}

} // namespace exif
