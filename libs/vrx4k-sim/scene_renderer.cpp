#include "scene_renderer.h"

#include "bitmap_font.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace vrx4ksim {

namespace {

constexpr uint32_t kShotsPerDay = 12;

uint8_t Mix(uint8_t from, uint8_t to, double amount)
{
    return static_cast<uint8_t>(std::lround(from + (to - from) * std::clamp(amount, 0.0, 1.0)));
}

Rgb Mix(Rgb from, Rgb to, double amount)
{
    return {Mix(from.r, to.r, amount), Mix(from.g, to.g, amount), Mix(from.b, to.b, amount)};
}

uint8_t AddNoise(uint8_t value, int noise)
{
    return static_cast<uint8_t>(std::clamp(value + noise, 0, 255));
}

// Heights of a hill line, in rows from the top, one per column.
std::vector<int> HillLine(int width, int height, double base, double amplitude, double seed)
{
    std::vector<int> line(width);
    for (int x = 0; x < width; ++x) {
        const double u = static_cast<double>(x) / width;
        const double wave = 0.6 * std::sin(u * 5.3 + seed) + 0.3 * std::sin(u * 11.7 + seed * 2.1) +
                            0.1 * std::sin(u * 29.0 + seed * 0.7);
        line[x] = static_cast<int>(height * (base - amplitude * wave));
    }
    return line;
}

void DrawCaption(const RgbCanvas &canvas, const SceneInfo &scene)
{
    const int big = std::max(1, canvas.height / 80);
    const int small = std::max(1, big / 2);
    const int margin = std::max(2, canvas.height / 40);
    const int shadow = std::max(1, big / 6);

    char shotText[32];
    std::snprintf(shotText, sizeof shotText, "SHOT %04u", scene.shot);
    const std::string details = "ISO " + std::to_string(scene.iso) + "  " + scene.model + "  S/N " + scene.serial;

    const Rgb dark{20, 20, 28};
    const Rgb light{250, 250, 240};
    int y = margin;
    for (const auto &[text, scale] : {std::pair<std::string_view, int>(shotText, big),
                                      std::pair<std::string_view, int>(scene.timeText, small),
                                      std::pair<std::string_view, int>(details, small)}) {
        DrawText(canvas, margin + shadow, y + shadow, scale, text, dark);
        DrawText(canvas, margin, y, scale, text, light);
        y += (kGlyphRows + 3) * scale;
    }
}

} // namespace

double SunElevation(uint32_t shot)
{
    const double phase = static_cast<double>((shot + kShotsPerDay - 1) % kShotsPerDay) / (kShotsPerDay - 1);
    return std::sin(std::numbers::pi * phase);
}

std::vector<uint8_t> RenderScene(const SceneInfo &scene, int width, int height, const std::atomic<bool> &cancel)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
    const double phase = static_cast<double>((scene.shot + kShotsPerDay - 1) % kShotsPerDay) / (kShotsPerDay - 1);
    const double elevation = SunElevation(scene.shot);
    const double seed = 1.0 + scene.cameraIndex * 2.4;

    const Rgb skyTop = Mix(Rgb{30, 30, 90}, Rgb{40, 100, 200}, elevation);
    const Rgb skyHorizon = Mix(Rgb{250, 140, 70}, Rgb{175, 210, 240}, elevation);
    const Rgb farHills = Mix(Rgb{60, 50, 90}, Rgb{90, 120, 150}, elevation);
    const Rgb nearHills = Mix(Rgb{30, 60, 30}, Rgb{60, 130, 50}, elevation);
    const Rgb ground = Mix(Rgb{20, 40, 20}, Rgb{40, 95, 35}, elevation);
    const Rgb sun = Mix(Rgb{255, 170, 90}, Rgb{255, 250, 225}, elevation);

    const int horizon = static_cast<int>(height * 0.62);
    const std::vector<int> far = HillLine(width, height, 0.60, 0.05, seed);
    const std::vector<int> near = HillLine(width, height, 0.72, 0.06, seed + 3.0);
    const double sunX = width * (0.1 + 0.8 * phase);
    const double sunY = horizon - elevation * horizon * 0.75;
    const double sunRadius = height / 14.0;

    uint32_t random = 0x9E3779B9u ^ (scene.shot * 0x85EBCA6Bu) ^ (static_cast<uint32_t>(scene.cameraIndex) << 24);
    for (int y = 0; y < height; ++y) {
        if ((y & 63) == 0 && cancel.load(std::memory_order_relaxed))
            return {};
        const Rgb sky = Mix(skyTop, skyHorizon, static_cast<double>(y) / horizon);
        const Rgb land = Mix(nearHills, ground, static_cast<double>(y - horizon) / (height - horizon));
        const double dy = y - sunY;
        const bool sunRow = std::abs(dy) < sunRadius;
        uint8_t *pixel = pixels.data() + static_cast<size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x, pixel += 3) {
            Rgb colour = sky;
            if (y >= near[x]) {
                colour = land;
            } else if (y >= far[x]) {
                colour = farHills;
            } else if (sunRow) {
                const double dx = x - sunX;
                const double distance = std::sqrt(dx * dx + dy * dy);
                if (distance < sunRadius)
                    colour = Mix(sun, sky, (distance / sunRadius - 0.85) / 0.15);
            }
            // Sensor grain: a few levels of noise, so no two pictures are alike.
            random ^= random << 13;
            random ^= random >> 17;
            random ^= random << 5;
            pixel[0] = AddNoise(colour.r, static_cast<int>(random & 7) - 3);
            pixel[1] = AddNoise(colour.g, static_cast<int>((random >> 8) & 7) - 3);
            pixel[2] = AddNoise(colour.b, static_cast<int>((random >> 16) & 7) - 3);
        }
    }
    DrawCaption(RgbCanvas{pixels.data(), width, height}, scene);
    return pixels;
}

} // namespace vrx4ksim
