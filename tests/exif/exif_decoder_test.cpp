#include "exif.h"
#include "exif_status.h"
#include "made_jpegs.h"
#include "photos.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <thread>

namespace {

uint32_t Read32(const uint8_t *at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

uint16_t Read16(const uint8_t *at)
{
    return uint16_t(at[0] | at[1] << 8);
}

// The capacity the program allocates: (3w + w mod 4) h + 40.
uint32_t Capacity(uint32_t width, uint32_t height)
{
    return (3 * width + width % 4) * height + 40;
}

// An open picture that closes itself.
class OpenJpeg {
public:
    explicit OpenJpeg(const std::vector<uint8_t> &bytes)
    {
        status = ExifMemOpen(bytes.data(), uint32_t(bytes.size()), &handle);
    }
    ~OpenJpeg()
    {
        if (handle != 0)
            ExifFileClose(handle);
    }
    uint32_t handle = 0;
    uint16_t status = 0xFFFF;
};

// Header, rows and padding of a decoded picture against TurboJPEG's own decode.
void ExpectSamePicture(const std::vector<uint8_t> &dib, const photos::Decoded &reference)
{
    const uint32_t w = uint32_t(reference.width), h = uint32_t(reference.height);
    const size_t stride = 3 * w + w % 4;
    ASSERT_GE(dib.size(), 40 + stride * h);
    const uint8_t *header = dib.data();
    EXPECT_EQ(Read32(header + 0), 40u);                 // biSize
    EXPECT_EQ(Read32(header + 4), w);                   // biWidth
    EXPECT_EQ(int32_t(Read32(header + 8)), -int32_t(h)); // biHeight: top-down
    EXPECT_EQ(Read16(header + 12), 1);                  // biPlanes
    EXPECT_EQ(Read16(header + 14), 24);                 // biBitCount
    EXPECT_EQ(Read32(header + 16), 0u);                 // biCompression: BI_RGB
    EXPECT_EQ(Read32(header + 20), stride * h);         // biSizeImage
    EXPECT_EQ(Read32(header + 32), 0u);                 // biClrUsed
    EXPECT_EQ(Read32(header + 36), 0u);                 // biClrImportant

    size_t wrongRows = 0;
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t *row = header + 40 + y * stride;
        const uint8_t *expected = reference.bgr.data() + size_t(y) * 3 * w;
        bool same = std::memcmp(row, expected, 3 * w) == 0;
        for (size_t pad = 3 * w; pad < stride; ++pad)
            same = same && row[pad] == 0;
        wrongRows += !same;
    }
    EXPECT_EQ(wrongRows, 0u) << "rows differing from TurboJPEG's decode";
}

// Opens, sizes and decodes into a buffer of exactly the program's capacity.
std::vector<uint8_t> DecodeAsTheProgramDoes(const std::vector<uint8_t> &jpeg, ExifImageSize &size)
{
    OpenJpeg open(jpeg);
    EXPECT_EQ(open.status, kExifOk);
    EXPECT_NE(open.handle, 0u);
    EXPECT_EQ(ExifGetImageSizeType(open.handle, &size), kExifOk);
    std::vector<uint8_t> buffer(Capacity(size.Width, size.Height), 0xCD);
    EXPECT_EQ(ExifReadImage(open.handle, buffer.data(), uint32_t(buffer.size())), kExifOk);
    return buffer;
}

struct Photo {
    const char *name;
    uint32_t width;
    uint32_t height;
};

void PrintTo(const Photo &photo, std::ostream *out)
{
    *out << photo.name;
}

class DecodesPhotograph : public ::testing::TestWithParam<Photo> {};

TEST_P(DecodesPhotograph, SizeHeaderAndEveryPixelAsTurboJpeg)
{
    const Photo photo = GetParam();
    const std::vector<uint8_t> jpeg = photos::Load(photo.name);
    const photos::Decoded reference = photos::ReferenceDecode(jpeg);

    ExifImageSize size{};
    const std::vector<uint8_t> dib = DecodeAsTheProgramDoes(jpeg, size);
    EXPECT_EQ(size.Width, photo.width);
    EXPECT_EQ(size.Height, photo.height);
    EXPECT_EQ(size.Extra, uint32_t(reference.subsampling));
    ExpectSamePicture(dib, reference);
}

INSTANTIATE_TEST_SUITE_P(MateBackgrounds, DecodesPhotograph,
                         ::testing::Values(Photo{"Storm.jpg", 1920, 1280},       // Canon, baseline
                                           Photo{"Wood.jpg", 2560, 1920},        // Konica Minolta
                                           Photo{"LadyBird.jpg", 2560, 1600},    // 4:2:0
                                           Photo{"GreenMeadow.jpg", 1280, 1024}, // progressive
                                           Photo{"FreshFlower.jpg", 1600, 1203}),
                         [](const auto &param) {
                             std::string name = param.param.name;
                             return name.substr(0, name.find('.'));
                         });

// Pictures over 2 MP in one scan decode in bands of rows on several threads;
// every byte must be what TurboJPEG's single-threaded decode gives, whatever
// the sampling, size, restart interval or damage.
struct MadeCase {
    const char *name;
    made_jpegs::Options options;
    std::function<void(std::vector<uint8_t> &)> damage = nullptr;
};

void PrintTo(const MadeCase &made, std::ostream *out)
{
    *out << made.name;
}

made_jpegs::Options Sampled(int lumaH, int lumaV, int width = 1931, int height = 1097, unsigned restart = 0)
{
    made_jpegs::Options options;
    options.width = width;
    options.height = height;
    options.lumaH = lumaH;
    options.lumaV = lumaV;
    options.restartInterval = restart;
    return options;
}

class DecodesMadePicture : public ::testing::TestWithParam<MadeCase> {};

TEST_P(DecodesMadePicture, EveryPixelAsTurboJpeg)
{
    const MadeCase &made = GetParam();
    std::vector<uint8_t> jpeg = made_jpegs::Encode(made.options);
    if (made.damage)
        made.damage(jpeg);
    const photos::Decoded reference = photos::ReferenceDecode(jpeg);
    ExifImageSize size{};
    const std::vector<uint8_t> dib = DecodeAsTheProgramDoes(jpeg, size);
    ASSERT_EQ(size.Width, uint32_t(made.options.width));
    ASSERT_EQ(size.Height, uint32_t(made.options.height));
    ExpectSamePicture(dib, reference);
}

made_jpegs::Options Grey()
{
    made_jpegs::Options options = Sampled(1, 1);
    options.components = 1;
    return options;
}

made_jpegs::Options ScanPerComponent()
{
    made_jpegs::Options options = Sampled(2, 2);
    options.scanPerComponent = true;
    return options;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DecodesMadePicture,
    ::testing::Values(
        MadeCase{"Sampling444", Sampled(1, 1)}, MadeCase{"Sampling422", Sampled(2, 1)},
        MadeCase{"Sampling420", Sampled(2, 2)}, MadeCase{"Sampling440", Sampled(1, 2)},
        MadeCase{"Sampling411", Sampled(4, 1)}, MadeCase{"Grey", Grey()},
        MadeCase{"Sampling420RestartEveryMcu", Sampled(2, 2, 2003, 1001, 1)},
        MadeCase{"Sampling440RestartEvery7Mcus", Sampled(1, 2, 1501, 1999, 7)},
        MadeCase{"Sampling422RestartEvery1000Mcus", Sampled(2, 1, 2400, 1350, 1000)},
        MadeCase{"Sampling411Tall", Sampled(4, 1, 1025, 2047)},
        MadeCase{"SequentialScanPerComponent", ScanPerComponent()},
        // Damage: grey where data is missing, decoded on where a decoder can carry on.
        MadeCase{"Sampling420CutOff", Sampled(2, 2), [](std::vector<uint8_t> &jpeg) { jpeg.resize(jpeg.size() * 3 / 5); }},
        MadeCase{"Sampling422CutOffWithRestarts", Sampled(2, 1, 1931, 1097, 3),
                 [](std::vector<uint8_t> &jpeg) { jpeg.resize(jpeg.size() / 3); }},
        MadeCase{"Sampling420DamagedInTheMiddle", Sampled(2, 2),
                 [](std::vector<uint8_t> &jpeg) {
                     for (size_t at = jpeg.size() / 2; at < jpeg.size() / 2 + 400; at += 37)
                         jpeg[at] = uint8_t(jpeg[at] * 7 + 1);
                 }},
        MadeCase{"Sampling444DamagedRestarts", Sampled(1, 1, 1931, 1097, 2),
                 [](std::vector<uint8_t> &jpeg) {
                     // Restart markers renumbered or lost in the last third.
                     for (size_t at = jpeg.size() * 2 / 3; at + 1 < jpeg.size() - 2; ++at) {
                         if (jpeg[at] == 0xFF && jpeg[at + 1] >= 0xD0 && jpeg[at + 1] <= 0xD7)
                             jpeg[at + 1] = at % 3 ? uint8_t(0xD0 + (jpeg[at + 1] + 3) % 8) : 0x00;
                     }
                 }}),
    [](const auto &param) { return std::string(param.param.name); });

TEST(ExifDecoder, AFatalErrorAfterTheLastRowFailsAsTurboJpegFails)
{
    // An invalid marker between the scan and the end of the picture.
    std::vector<uint8_t> jpeg = made_jpegs::Encode(Sampled(2, 2));
    ASSERT_GE(jpeg.size(), 2u);
    const uint8_t invalid[] = {0xFF, 0x02};
    jpeg.insert(jpeg.end() - 2, invalid, invalid + 2);
    tjhandle decoder = tjInitDecompress();
    std::vector<uint8_t> bgr(size_t(1931) * 1097 * 3);
    EXPECT_NE(tjDecompress2(decoder, jpeg.data(), jpeg.size(), bgr.data(), 1931, 0, 1097, TJPF_BGR, 0), 0);
    EXPECT_EQ(tjGetErrorCode(decoder), TJERR_FATAL);
    tjDestroy(decoder);

    OpenJpeg open(jpeg);
    ASSERT_EQ(open.status, kExifOk);
    std::vector<uint8_t> dib(Capacity(1931, 1097));
    EXPECT_EQ(ExifReadImage(open.handle, dib.data(), uint32_t(dib.size())), kExifDecodeFailed);
}

TEST(ExifDecoder, RowsOfEveryPaddingWidthAndGreyPictures)
{
    const std::vector<uint8_t> storm = photos::Load("Storm.jpg");
    // Widths 1001..1004 give 1, 2, 3 and 0 padding bytes per row.
    for (int width = 1001; width <= 1004; ++width) {
        for (bool grey : {false, true}) {
            SCOPED_TRACE(std::to_string(width) + (grey ? " grey" : " colour"));
            const std::vector<uint8_t> jpeg = photos::Crop(storm, 16, 32, width, 301, grey);
            ExifImageSize size{};
            const std::vector<uint8_t> dib = DecodeAsTheProgramDoes(jpeg, size);
            ASSERT_EQ(size.Width, uint32_t(width));
            ASSERT_EQ(size.Height, 301u);
            ExpectSamePicture(dib, photos::ReferenceDecode(jpeg));
        }
    }
}

TEST(ExifDecoder, SamplingFactorsWithoutATurboJpegNameAreDecoded)
{
    // Dune.jpg re-encoded by cjpeg with luma 2x2, Cb 2x1, Cr 1x1.
    const std::vector<uint8_t> jpeg = photos::LoadFile(TAVREN_ODD_SAMPLING_JPEG);
    ExifImageSize size{};
    const std::vector<uint8_t> dib = DecodeAsTheProgramDoes(jpeg, size);
    EXPECT_EQ(size.Width, 1680u);
    EXPECT_EQ(size.Height, 1050u);
    EXPECT_EQ(size.Extra, 0xFFFFFFFFu);
    ExpectSamePicture(dib, photos::ReferenceDecode(jpeg, 1680, 1050));
}

TEST(ExifDecoder, ACapacityOneByteShortIsRefusedAndNothingIsWritten)
{
    const std::vector<uint8_t> jpeg = photos::Crop(photos::Load("Storm.jpg"), 0, 0, 203, 77);
    OpenJpeg open(jpeg);
    ASSERT_EQ(open.status, kExifOk);
    ExifImageSize size{};
    ASSERT_EQ(ExifGetImageSizeType(open.handle, &size), kExifOk);
    const uint32_t capacity = Capacity(size.Width, size.Height);
    ASSERT_EQ(capacity, (3 * 203 + 3) * 77 + 40u);

    for (uint32_t shortBy : {1u, 2u, 40u, capacity - 40, capacity}) {
        // Exactly the capacity claimed, so AddressSanitizer sees any write past it.
        const uint32_t claimed = capacity - shortBy;
        std::unique_ptr<uint8_t[]> buffer(new uint8_t[std::max(claimed, 1u)]);
        std::memset(buffer.get(), 0xAB, claimed);
        EXPECT_EQ(ExifReadImage(open.handle, buffer.get(), claimed), kExifBufferTooSmall) << claimed;
        EXPECT_TRUE(std::all_of(buffer.get(), buffer.get() + claimed, [](uint8_t b) { return b == 0xAB; }))
            << "bytes written into a refused buffer of " << claimed;
    }

    // A larger buffer is fine and nothing beyond the picture is touched.
    std::vector<uint8_t> roomy(capacity + 64, 0xAB);
    ASSERT_EQ(ExifReadImage(open.handle, roomy.data(), uint32_t(roomy.size())), kExifOk);
    EXPECT_TRUE(std::all_of(roomy.begin() + capacity, roomy.end(), [](uint8_t b) { return b == 0xAB; }));
}

TEST(ExifDecoder, EmptyNullAndNonJpegInputsAreRefused)
{
    uint32_t handle = 77;
    const std::vector<uint8_t> jpeg = photos::Load("Storm.jpg");
    EXPECT_EQ(ExifMemOpen(jpeg.data(), 0, &handle), kExifBadArgument);
    EXPECT_EQ(handle, 0u);
    handle = 77;
    EXPECT_EQ(ExifMemOpen(nullptr, 100, &handle), kExifBadArgument);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(ExifMemOpen(jpeg.data(), uint32_t(jpeg.size()), nullptr), kExifBadArgument);

    const uint8_t png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    const uint8_t text[] = "just some text, not a picture";
    const uint8_t soiOnly[] = {0xFF, 0xD8};
    const uint8_t soiEoi[] = {0xFF, 0xD8, 0xFF, 0xD9};
    const std::vector<std::pair<const uint8_t *, size_t>> inputs = {
        {png, sizeof png}, {text, sizeof text}, {soiOnly, sizeof soiOnly}, {soiEoi, sizeof soiEoi}};
    for (const auto &[bytes, count] : inputs) {
        handle = 77;
        EXPECT_NE(ExifMemOpen(bytes, uint32_t(count), &handle), kExifOk);
        EXPECT_EQ(handle, 0u);
    }
}

// Offset of the SOF0/SOF2 segment's height field in a JPEG from the package.
size_t FrameSizeOffset(const std::vector<uint8_t> &jpeg)
{
    for (size_t i = 2; i + 9 < jpeg.size();) {
        if (jpeg[i] != 0xFF)
            return 0;
        const uint8_t marker = jpeg[i + 1];
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2)
            return i + 5;
        i += 2 + (size_t(jpeg[i + 2]) << 8 | jpeg[i + 3]);
    }
    return 0;
}

TEST(ExifDecoder, SizesThatAreZeroOrBeyond32BitBuffersAreRefused)
{
    const std::vector<uint8_t> jpeg = photos::Crop(photos::Load("Storm.jpg"), 0, 0, 64, 48);
    const size_t at = FrameSizeOffset(jpeg);
    ASSERT_NE(at, 0u);
    auto withSize = [&](uint16_t width, uint16_t height) {
        std::vector<uint8_t> patched = jpeg;
        patched[at] = uint8_t(height >> 8);
        patched[at + 1] = uint8_t(height);
        patched[at + 2] = uint8_t(width >> 8);
        patched[at + 3] = uint8_t(width);
        return patched;
    };
    uint32_t handle = 0;
    std::vector<uint8_t> bytes = withSize(64, 0);
    EXPECT_NE(ExifMemOpen(bytes.data(), uint32_t(bytes.size()), &handle), kExifOk);
    EXPECT_EQ(handle, 0u);
    bytes = withSize(0, 48);
    EXPECT_NE(ExifMemOpen(bytes.data(), uint32_t(bytes.size()), &handle), kExifOk);
    EXPECT_EQ(handle, 0u);
    // 65500 x 65500 (the largest JPEG) needs about 12.9 GB: the caller's 32-bit
    // capacity would wrap, and it is far over the pixel limit.
    bytes = withSize(65500, 65500);
    EXPECT_EQ(ExifMemOpen(bytes.data(), uint32_t(bytes.size()), &handle), kExifTooManyPixels);
    EXPECT_EQ(handle, 0u);

    // 65500 x 1 fits, and decodes from data that ends far too early.
    bytes = withSize(65500, 1);
    OpenJpeg wide(bytes);
    ASSERT_EQ(wide.status, kExifOk);
    ExifImageSize size{};
    ASSERT_EQ(ExifGetImageSizeType(wide.handle, &size), kExifOk);
    EXPECT_EQ(size.Width, 65500u);
    std::vector<uint8_t> buffer(Capacity(size.Width, size.Height));
    EXPECT_EQ(ExifReadImage(wide.handle, buffer.data(), uint32_t(buffer.size())), kExifOk);
}

// Pictures whose decode would hold the caller for seconds or reserve gigabytes
// are refused when opened, each with its own status; those just inside the
// limits open, and the small ones decode as TurboJPEG decodes them.
struct WorkLimitCase {
    const char *name;
    std::function<std::vector<uint8_t>()> make;
    uint32_t width;
    uint32_t height;
    uint16_t status;
};

void PrintTo(const WorkLimitCase &limit, std::ostream *out)
{
    *out << limit.name;
}

// A small baseline picture carrying `thumbnail` in an Exif segment.
std::vector<uint8_t> WithExifThumbnail(const std::vector<uint8_t> &thumbnail)
{
    std::vector<uint8_t> jpeg = made_jpegs::Encode({});
    const size_t length = 2 + 6 + thumbnail.size();
    std::vector<uint8_t> segment = {0xFF, 0xE1, uint8_t(length >> 8), uint8_t(length), 'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), thumbnail.begin(), thumbnail.end());
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return jpeg;
}

// `jpeg` behind an Exif segment and a comment whose lengths are too short to
// be lengths, which libjpeg reads past as if they were empty.
std::vector<uint8_t> BehindTooShortSegments(std::vector<uint8_t> jpeg)
{
    const uint8_t segments[] = {0xFF, 0xE1, 0x00, 0x00, 0xFF, 0xFE, 0x00, 0x01};
    jpeg.insert(jpeg.begin() + 2, std::begin(segments), std::end(segments));
    return jpeg;
}

class WorkLimits : public ::testing::TestWithParam<WorkLimitCase> {};

TEST_P(WorkLimits, RefusedWhenOpenedOrDecodedAsTurboJpeg)
{
    const WorkLimitCase &limit = GetParam();
    const std::vector<uint8_t> jpeg = limit.make();
    OpenJpeg open(jpeg);
    ASSERT_EQ(open.status, limit.status);
    if (limit.status != kExifOk) {
        EXPECT_EQ(open.handle, 0u);
        return;
    }
    ExifImageSize size{};
    ASSERT_EQ(ExifGetImageSizeType(open.handle, &size), kExifOk);
    EXPECT_EQ(size.Width, limit.width);
    EXPECT_EQ(size.Height, limit.height);
    if (uint64_t{size.Width} * size.Height <= 1'000'000) {
        std::vector<uint8_t> dib(Capacity(size.Width, size.Height));
        ASSERT_EQ(ExifReadImage(open.handle, dib.data(), uint32_t(dib.size())), kExifOk);
        ExpectSamePicture(dib, photos::ReferenceDecode(jpeg));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, WorkLimits,
    ::testing::Values(
        WorkLimitCase{"ProgressiveWith500ScansClaiming6000x4000",
                      [] { return made_jpegs::Hostile(6000, 4000, 500); }, 0, 0, kExifTooManyScans},
        WorkLimitCase{"HeaderClaiming65500x21857", [] { return made_jpegs::Hostile(65500, 21857, 1); }, 0, 0,
                      kExifTooManyPixels},
        WorkLimitCase{"Exactly400MillionPixels", [] { return made_jpegs::Hostile(20000, 20000, 1); }, 20000,
                      20000, kExifOk},
        WorkLimitCase{"ARowOver400MillionPixels", [] { return made_jpegs::Hostile(20000, 20001, 1); }, 0, 0,
                      kExifTooManyPixels},
        // A restart marker after every block and noisy data full of stuffed
        // bytes: neither may count as, nor hide, a start of scan.
        WorkLimitCase{"Exactly100ScansWithRestarts", [] { return made_jpegs::Hostile(64, 64, 100, 1); }, 64, 64,
                      kExifOk},
        WorkLimitCase{"101ScansWithRestarts", [] { return made_jpegs::Hostile(64, 64, 101, 1); }, 0, 0,
                      kExifTooManyScans},
        WorkLimitCase{"Exactly3BillionScannedPixels", [] { return made_jpegs::Hostile(6000, 5000, 100, 1); },
                      6000, 5000, kExifOk},
        WorkLimitCase{"ARowOver3BillionScannedPixels", [] { return made_jpegs::Hostile(6000, 5001, 100, 1); },
                      0, 0, kExifTooManyScannedPixels},
        WorkLimitCase{"ThumbnailOf101ScansInTheExifSegment",
                      [] { return WithExifThumbnail(made_jpegs::Hostile(64, 64, 101)); }, 64, 64, kExifOk},
        WorkLimitCase{"101ScansBehindTooShortSegments",
                      [] { return BehindTooShortSegments(made_jpegs::Hostile(64, 64, 101)); }, 0, 0,
                      kExifTooManyScans},
        WorkLimitCase{"100ScansBehindTooShortSegments",
                      [] { return BehindTooShortSegments(made_jpegs::Hostile(64, 64, 100)); }, 64, 64, kExifOk},
        WorkLimitCase{"UsualProgression",
                      [] {
                          made_jpegs::Options options;
                          options.width = 641;
                          options.height = 479;
                          options.progressive = true;
                          return made_jpegs::Encode(options);
                      },
                      641, 479, kExifOk}),
    [](const auto &param) { return std::string(param.param.name); });

TEST(ExifDecoder, CmykPicturesAreRefused)
{
    std::vector<uint8_t> cmyk(32 * 16 * 4, 0x40);
    tjhandle compressor = tjInitCompress();
    unsigned char *jpeg = nullptr;
    unsigned long jpegSize = 0;
    ASSERT_EQ(tjCompress2(compressor, cmyk.data(), 32, 32 * 4, 16, TJPF_CMYK, &jpeg, &jpegSize,
                          TJSAMP_444, 90, 0),
              0);
    tjDestroy(compressor);
    uint32_t handle = 0;
    EXPECT_EQ(ExifMemOpen(jpeg, uint32_t(jpegSize), &handle), kExifUnsupported);
    EXPECT_EQ(handle, 0u);
    tjFree(jpeg);
}

TEST(ExifDecoder, TruncatedDataKeepsWhatArrivedAndFillsTheRest)
{
    const std::vector<uint8_t> full = photos::Load("Storm.jpg");
    const photos::Decoded reference = photos::ReferenceDecode(full);
    const std::vector<uint8_t> half(full.begin(), full.begin() + long(full.size() / 2));

    ExifImageSize size{};
    const std::vector<uint8_t> dib = DecodeAsTheProgramDoes(half, size);
    ASSERT_EQ(size.Width, 1920u);
    ASSERT_EQ(size.Height, 1280u);
    // The top quarter arrived whole.
    const size_t stride = 1920 * 3;
    for (uint32_t y = 0; y < 320; ++y) {
        const uint8_t *row = dib.data() + 40 + y * stride;
        ASSERT_EQ(std::memcmp(row, reference.bgr.data() + y * stride, stride), 0) << "row " << y;
    }
    // The bottom row never arrived: libjpeg-turbo fills it with grey.
    const uint8_t *bottom = dib.data() + 40 + 1279 * stride;
    EXPECT_TRUE(std::all_of(bottom, bottom + stride, [](uint8_t b) { return b == 128; }));
}

// Decodes bytes that may be anything into a buffer with guard bytes behind
// its capacity; a success must describe the size that was reported.
void DecodeDamaged(const std::vector<uint8_t> &bytes, size_t &decoded)
{
    OpenJpeg open(bytes);
    if (open.status != kExifOk) {
        ASSERT_EQ(open.handle, 0u);
        return;
    }
    ExifImageSize size{};
    ASSERT_EQ(ExifGetImageSizeType(open.handle, &size), kExifOk);
    ASSERT_GT(size.Width, 0u);
    ASSERT_GT(size.Height, 0u);
    const uint64_t capacity = (3 * uint64_t{size.Width} + size.Width % 4) * size.Height + 40;
    if (capacity > (64u << 20))
        return; // a damaged size field can ask for gigabytes; that is the caller's allocation
    std::vector<uint8_t> buffer(capacity + 16, 0xAB);
    if (ExifReadImage(open.handle, buffer.data(), uint32_t(capacity)) == kExifOk) {
        ++decoded;
        EXPECT_EQ(Read32(buffer.data() + 4), size.Width);
        EXPECT_EQ(int32_t(Read32(buffer.data() + 8)), -int32_t(size.Height));
    }
    EXPECT_TRUE(std::all_of(buffer.end() - 16, buffer.end(), [](uint8_t b) { return b == 0xAB; }))
        << "written past the capacity";
}

TEST(ExifDecoder, EveryPrefixOfAPhotographIsSafe)
{
    const std::vector<uint8_t> jpeg = photos::Crop(photos::Load("Dune.jpg"), 0, 0, 48, 40);
    size_t decoded = 0;
    for (size_t length = 1; length <= jpeg.size(); ++length) {
        SCOPED_TRACE(length);
        DecodeDamaged(std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + long(length)), decoded);
        if (HasFatalFailure())
            return;
    }
    EXPECT_GT(decoded, 0u);
}

TEST(ExifDecoder, RandomlyDamagedPhotographsAreRefusedOrDecodedSafely)
{
    const std::vector<uint8_t> baseline = photos::Crop(photos::Load("Storm.jpg"), 0, 0, 160, 120);
    const std::vector<uint8_t> progressive =
        photos::Crop(photos::Load("GreenMeadow.jpg"), 0, 0, 160, 120);
    std::mt19937 random(20061231);
    size_t decoded = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<uint8_t> bytes = round % 2 ? progressive : baseline;
        std::uniform_int_distribution<size_t> anywhere(0, bytes.size() - 1);
        switch (round % 4) {
        case 0: // a few flipped bits
            for (int i = 0; i < 1 + round % 7; ++i)
                bytes[anywhere(random)] ^= uint8_t(1u << (random() % 8));
            break;
        case 1: // random bytes over a stretch
            for (size_t at = anywhere(random), end = std::min(bytes.size(), at + random() % 64); at < end; ++at)
                bytes[at] = uint8_t(random());
            break;
        case 2: // damaged headers: the first kilobyte only
            for (int i = 0; i < 4; ++i)
                bytes[random() % std::min<size_t>(bytes.size(), 1024)] = uint8_t(random());
            break;
        default: // damage and cut off
            bytes[anywhere(random)] = 0xFF;
            bytes.resize(1 + anywhere(random));
            break;
        }
        SCOPED_TRACE(round);
        DecodeDamaged(bytes, decoded);
        if (HasFatalFailure())
            return;
    }
    // Most damage inside the scans still decodes.
    EXPECT_GT(decoded, 100u);
}

TEST(ExifDecoder, UnknownAndClosedHandlesFail)
{
    ExifImageSize size{};
    uint8_t buffer[64];
    EXPECT_EQ(ExifGetImageSizeType(0, &size), kExifUnknownHandle);
    EXPECT_EQ(ExifReadImage(0, buffer, sizeof buffer), kExifUnknownHandle);
    EXPECT_EQ(ExifFileClose(0), kExifUnknownHandle);
    EXPECT_EQ(ExifGetImageSizeType(0xDEADBEEF, &size), kExifUnknownHandle);

    const std::vector<uint8_t> jpeg = photos::Crop(photos::Load("Storm.jpg"), 0, 0, 16, 8);
    uint32_t first = 0, second = 0;
    ASSERT_EQ(ExifMemOpen(jpeg.data(), uint32_t(jpeg.size()), &first), kExifOk);
    ASSERT_EQ(ExifMemOpen(jpeg.data(), uint32_t(jpeg.size()), &second), kExifOk);
    EXPECT_NE(first, 0u);
    EXPECT_NE(second, 0u);
    EXPECT_NE(first, second);
    EXPECT_EQ(ExifGetImageSizeType(first, nullptr), kExifBadArgument);
    EXPECT_EQ(ExifReadImage(first, nullptr, 1000), kExifBadArgument);

    ASSERT_EQ(ExifFileClose(first), kExifOk);
    EXPECT_EQ(ExifFileClose(first), kExifUnknownHandle);
    EXPECT_EQ(ExifGetImageSizeType(first, &size), kExifUnknownHandle);
    EXPECT_EQ(ExifReadImage(first, buffer, sizeof buffer), kExifUnknownHandle);
    // The other handle is unaffected, and the closed value is not handed out again.
    EXPECT_EQ(ExifGetImageSizeType(second, &size), kExifOk);
    std::set<uint32_t> later;
    for (int i = 0; i < 100; ++i) {
        uint32_t handle = 0;
        ASSERT_EQ(ExifMemOpen(jpeg.data(), uint32_t(jpeg.size()), &handle), kExifOk);
        later.insert(handle);
        ExifFileClose(handle);
    }
    EXPECT_EQ(later.count(first), 0u);
    EXPECT_EQ(later.count(0), 0u);
    EXPECT_EQ(later.size(), 100u);
    ExifFileClose(second);
}

TEST(ExifDecoder, ThreadsDecodeAtOnceWithTheSameResults)
{
    const std::vector<uint8_t> storm = photos::Load("Storm.jpg");
    const std::vector<uint8_t> wood = photos::Crop(photos::Load("Wood.jpg"), 0, 0, 1203, 800);
    const photos::Decoded stormReference = photos::ReferenceDecode(storm);
    const photos::Decoded woodReference = photos::ReferenceDecode(wood);

    // One handle shared by two threads as well as one handle per thread.
    OpenJpeg shared(storm);
    ASSERT_EQ(shared.status, kExifOk);
    std::vector<uint8_t> results[4];
    auto decodeOwn = [](const std::vector<uint8_t> &jpeg, std::vector<uint8_t> &out) {
        for (int i = 0; i < 3; ++i) {
            ExifImageSize size{};
            out = DecodeAsTheProgramDoes(jpeg, size);
        }
    };
    auto decodeShared = [&](std::vector<uint8_t> &out) {
        out.assign(Capacity(1920, 1280), 0);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(ExifReadImage(shared.handle, out.data(), uint32_t(out.size())), kExifOk);
    };
    std::thread a(decodeOwn, std::cref(storm), std::ref(results[0]));
    std::thread b(decodeOwn, std::cref(wood), std::ref(results[1]));
    std::thread c(decodeShared, std::ref(results[2]));
    std::thread d(decodeShared, std::ref(results[3]));
    a.join();
    b.join();
    c.join();
    d.join();
    ExpectSamePicture(results[0], stormReference);
    ExpectSamePicture(results[1], woodReference);
    ExpectSamePicture(results[2], stormReference);
    ExpectSamePicture(results[3], stormReference);
}

} // namespace
