#pragma once

// Shared by the receiver tests: a scratch folder made the current directory,
// a fixed clock, a preview control and an off-screen picture.

#include "image/exif_library.h"
#include "image/image_receiver.h"
#include "platform/local_time.h"
#include "image/offscreen_picture.h"

#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace receivertest {

namespace fs = std::filesystem;

constexpr int32_t kRaw = 1;
constexpr int32_t kJpeg = 2;
constexpr int32_t kJpegAlt = 3;
constexpr int32_t kNone = 5;
constexpr QRgb kMarker = 0xff5a3c1eu;
constexpr QRgb kBlack = 0xff000000u;

// 7 March 2006, 09:05:04.050: pictures are stored as 20060307_090504_0.*
inline platform::LocalTime FixedTime()
{
    platform::LocalTime time;
    time.year = 2006;
    time.month = 3;
    time.day = 7;
    time.hour = 9;
    time.minute = 5;
    time.second = 4;
    time.milliseconds = 50;
    return time;
}

// A fresh folder as the current directory, the fixed clock, a control of the
// given size and an off-screen picture of its size, filled with kMarker.
class ReceiverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previousFolder = fs::current_path();
        m_folder = fs::temp_directory_path() /
                   ("tavren-receiver-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        fs::current_path(m_folder);
        platform::SetLocalTimeSource(&FixedTime);
        UseControl(400, 300);
    }
    void TearDown() override
    {
        platform::SetLocalTimeSource({});
        fs::current_path(m_previousFolder);
        std::error_code ignored;
        fs::permissions(m_folder, fs::perms::owner_all, ignored);
        fs::remove_all(m_folder, ignored);
    }

    void UseControl(int width, int height)
    {
        m_control = std::make_unique<QWidget>();
        m_control->resize(width, height);
        m_picture = std::make_unique<image::OffscreenPicture>(QSize(width, height));
        QImage marker(width, height, QImage::Format_RGB32);
        marker.fill(kMarker);
        m_picture->DrawUnscaled(marker);
    }

    void Receive(int32_t type, const std::vector<uint8_t> &bytes)
    {
        m_receiver.ReceiveImage(type, bytes.data(), uint32_t(bytes.size()), m_control.get(), m_picture.get());
    }

    // Names of the files in the scratch folder, sorted.
    std::vector<std::string> StoredFiles() const
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(m_folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::vector<uint8_t> FileBytes(const std::string &name) const
    {
        std::ifstream in(m_folder / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    bool PictureIs(QRgb colour) const
    {
        const QImage &image = m_picture->Image();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != colour)
                    return false;
        return true;
    }

    fs::path m_previousFolder;
    fs::path m_folder;
    std::unique_ptr<QWidget> m_control;
    std::unique_ptr<image::OffscreenPicture> m_picture;
    CImageReceiver m_receiver;
};

} // namespace receivertest
