#pragma once

// JPEG files made for the decoder's tests and benchmark with libjpeg's own
// encoder: every sampling, restart intervals, several scans, and hostile
// headers that declare more than their data holds.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

namespace made_jpegs {

struct Options {
    int width = 64;
    int height = 64;
    int components = 3;      // 1: grey; 3: YCbCr
    int lumaH = 2, lumaV = 2; // luma sampling factors; chroma is 1x1
    int quality = 90;
    unsigned restartInterval = 0; // in MCUs, 0 for none
    bool progressive = false;     // libjpeg's usual progression
    int scans = 0;                // > 0: exactly this many progressive scans (see ScanScript)
    bool scanPerComponent = false; // sequential, each component in a scan of its own
};

// Smooth colour ramps with noise on top, so that the entropy-coded data is
// full of stuffed 0xFF bytes.
inline std::vector<uint8_t> Pixels(int width, int height, int components)
{
    std::vector<uint8_t> pixels(size_t(width) * height * components);
    uint32_t noise = 2463534242u;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < components; ++c) {
                noise ^= noise << 13;
                noise ^= noise >> 17;
                noise ^= noise << 5;
                const int ramp = (x * (3 + c) + y * (7 - 2 * c)) / 8 + int(noise % 48);
                pixels[(size_t(y) * width + x) * components + c] = uint8_t(ramp);
            }
        }
    }
    return pixels;
}

// A valid progressive script of exactly `scans` scans (at most 694): the DC
// of all components, then single AC coefficients of the first component
// refined bit by bit, 11 scans each.
inline std::vector<jpeg_scan_info> ScanScript(int scans, int components)
{
    constexpr int kTopBit = 10; // libjpeg's largest Al for 8-bit samples
    std::vector<jpeg_scan_info> script;
    jpeg_scan_info dc{};
    dc.comps_in_scan = components;
    for (int c = 0; c < components; ++c)
        dc.component_index[c] = c;
    script.push_back(dc);
    for (int k = 1; k <= 63 && int(script.size()) < scans; ++k) {
        for (int al = kTopBit; al >= 0 && int(script.size()) < scans; --al) {
            jpeg_scan_info ac{};
            ac.comps_in_scan = 1;
            ac.component_index[0] = 0;
            ac.Ss = k;
            ac.Se = k;
            ac.Ah = al == kTopBit ? 0 : al + 1;
            ac.Al = al;
            script.push_back(ac);
        }
    }
    if (int(script.size()) != scans)
        throw std::invalid_argument("no progressive script has that many scans");
    return script;
}

[[noreturn]] inline void StopOnError(j_common_ptr info)
{
    char message[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, message);
    std::fprintf(stderr, "test JPEG encoder: %s\n", message);
    std::abort();
}

inline std::vector<uint8_t> Encode(const Options &options)
{
    const std::vector<uint8_t> pixels = Pixels(options.width, options.height, options.components);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    errors.error_exit = StopOnError;
    jpeg_create_compress(&info);
    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&info, &out, &outSize);
    info.image_width = JDIMENSION(options.width);
    info.image_height = JDIMENSION(options.height);
    info.input_components = options.components;
    info.in_color_space = options.components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, options.quality, TRUE);
    info.comp_info[0].h_samp_factor = options.lumaH;
    info.comp_info[0].v_samp_factor = options.lumaV;
    info.restart_interval = options.restartInterval;
    std::vector<jpeg_scan_info> script;
    if (options.scans > 0) {
        script = ScanScript(options.scans, options.components);
        info.scan_info = script.data();
        info.num_scans = int(script.size());
    } else if (options.scanPerComponent) {
        for (int c = 0; c < options.components; ++c) {
            jpeg_scan_info scan{};
            scan.comps_in_scan = 1;
            scan.component_index[0] = c;
            scan.Se = 63;
            script.push_back(scan);
        }
        info.scan_info = script.data();
        info.num_scans = int(script.size());
    } else if (options.progressive) {
        jpeg_simple_progression(&info);
    }
    jpeg_start_compress(&info, TRUE);
    const size_t rowBytes = size_t(options.width) * options.components;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uint8_t *>(pixels.data() + info.next_scanline * rowBytes);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> jpeg(out, out + outSize);
    std::free(out);
    return jpeg;
}

// Rewrites the size in the frame header, leaving the scans as they are: a
// header that claims far more than its data, as a hostile file does.
inline void ClaimSize(std::vector<uint8_t> &jpeg, uint16_t width, uint16_t height)
{
    for (size_t at = 2; at + 8 < jpeg.size();) {
        const uint8_t marker = jpeg[at + 1];
        if (jpeg[at] != 0xFF || marker == 0xDA)
            break;
        if (marker >= 0xC0 && marker <= 0xC2) {
            jpeg[at + 5] = uint8_t(height >> 8);
            jpeg[at + 6] = uint8_t(height);
            jpeg[at + 7] = uint8_t(width >> 8);
            jpeg[at + 8] = uint8_t(width);
            return;
        }
        at += 2 + (size_t(jpeg[at + 2]) << 8 | jpeg[at + 3]);
    }
    throw std::runtime_error("no frame header");
}

// A small noisy picture in `scans` scans under a header claiming width x height.
inline std::vector<uint8_t> Hostile(uint16_t width, uint16_t height, int scans, unsigned restartInterval = 0)
{
    Options options;
    options.components = 1;
    options.lumaH = options.lumaV = 1;
    options.quality = 95;
    options.restartInterval = restartInterval;
    options.scans = scans > 1 ? scans : 0;
    std::vector<uint8_t> jpeg = Encode(options);
    ClaimSize(jpeg, width, height);
    return jpeg;
}

} // namespace made_jpegs
