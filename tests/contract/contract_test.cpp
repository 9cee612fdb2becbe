// The contract every camera library keeps: life cycle, discovery, handles,
// error numbers, the picture queue, property reports and the callback thread.
#include "contract_fixture.h"

#include "camera/camera_records.h"
#include "vrx4k_gphoto2.h"
#include "vrx4k_sim.h"

#include <cstring>
#include <set>
#include <span>

namespace contract {
namespace {

TEST_P(Camera, EveryCallFailsBeforeInitAndAfterExit)
{
    EXPECT_TRUE(m_library.IsFullyBound());
    for (int round = 0; round < 2; ++round) {
        int32_t count = 7;
        uint32_t handle = 99;
        CameraImageInfo info{};
        uint8_t byte = 0;
        EXPECT_EQ(m_library.Detect(0, &count), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(count, 7);
        EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_NOT_INITIALISED);
        EXPECT_EQ(m_library.Open(0, &handle, nullptr, 0), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(handle, 0u) << "a failed Open leaves no handle behind";
        EXPECT_EQ(m_library.Shoot(0x10001, nullptr, nullptr), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(m_library.ReadImageInfo(0x10001, &info), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(m_library.ReadImage(0x10001, &byte, 1), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(m_library.Exit(), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_NOT_INITIALISED);
        if (round == 0) {
            Start();
            EXPECT_EQ(m_library.Init(0), CAMERA_ERROR_UNKNOWN);
            EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_ALREADY_INITIALISED);
            Stop();
        }
    }
}

TEST_P(Camera, InitAfterExitStartsAfreshWithNewHandles)
{
    Start();
    const uint32_t first = Connect();
    Stop();
    m_events.Reset();
    Start();
    CameraImageInfo info{};
    EXPECT_NE(m_library.ReadImageInfo(first, &info), 0u) << "handles do not survive Exit";
    int32_t count = 0;
    ASSERT_EQ(m_library.Detect(0, &count), 0u);
    EXPECT_EQ(count, GetParam().cameras);
    const uint32_t second = Connect();
    EXPECT_NE(second, first) << "a handle is never given out twice";
    ShootAndWait(second, 1);
    const DownloadedPicture picture = Download(second);
    EXPECT_EQ(picture.info.ImageType, CAMERA_IMAGE_JPEG);
    EXPECT_TRUE(IsWholePicture(picture.bytes));
}

TEST_P(Camera, DetectCountsTheCamerasAndEachDescribesItself)
{
    Start();
    int32_t count = -1;
    ASSERT_EQ(m_library.Detect(0, &count), 0u);
    ASSERT_EQ(count, GetParam().cameras);
    EXPECT_EQ(m_library.Detect(0, nullptr), CAMERA_ERROR_UNKNOWN);
    EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_BAD_ARGUMENT);
    for (int32_t index = 0; index < count; ++index) {
        const CameraDeviceInfo info = Describe(index);
        const std::string name = DeviceName(info);
        const std::string detail = DeviceDetail(info);
        EXPECT_FALSE(name.empty());
        EXPECT_LT(name.size(), sizeof info.Name) << "Name ends with its NUL inside the field";
        EXPECT_LT(detail.size(), sizeof info.Detail) << "Detail ends with its NUL inside the field";
        // What the library does not fill is cleared, not left as it was.
        EXPECT_EQ(info.Reserved[sizeof info.Reserved - 1], 0);
        EXPECT_EQ(info.Name[sizeof info.Name - 1], 0);
    }
}

TEST_P(Camera, OpenRefusesBadArguments)
{
    Start();
    const int32_t cameras = GetParam().cameras;
    for (int32_t index : {-1, cameras}) {
        uint32_t handle = 77;
        EXPECT_EQ(m_library.Open(index, &handle, nullptr, 0), CAMERA_ERROR_UNKNOWN) << index;
        EXPECT_EQ(handle, 0u);
        EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_BAD_ARGUMENT);
    }
    EXPECT_EQ(m_library.Open(0, nullptr, nullptr, 0), CAMERA_ERROR_UNKNOWN);
    EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_BAD_ARGUMENT);
}

TEST_P(Camera, CallsOnUnknownOrClosedHandlesFailSafely)
{
    Start();
    uint32_t closed = 0;
    ASSERT_EQ(m_library.Open(0, &closed, nullptr, 0), 0u);
    ASSERT_EQ(m_library.Close(closed), 0u);

    for (uint32_t handle : {0u, closed, closed + 1000, 0xFFFFFFFEu}) {
        CameraDeviceInfo device{};
        CameraImageInfo info{};
        std::vector<uint8_t> list(CHANGED_PROPERTY_LIST_SIZE);
        uint8_t byte = 0;
        EXPECT_EQ(m_library.Close(handle), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(m_library.GetDeviceInfo(handle, &device), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(m_library.GetChangedProperty(handle, list.data()), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(m_library.Shoot(handle, nullptr, nullptr), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(m_library.ReadImageInfo(handle, &info), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(m_library.ReadImage(handle, &byte, 1), CAMERA_ERROR_UNKNOWN);
        EXPECT_EQ(LibraryErrorNumber(), VRX4K_ERROR_BAD_HANDLE) << handle;
        EXPECT_EQ(DeviceName(device), "");
    }
}

TEST_P(Camera, EachHandleKeepsTheNumberOfItsOwnLatestFailure)
{
    Start();
    const uint32_t first = Connect(0);
    // With one camera, a probe of it; otherwise a probe of the second.
    uint32_t second = 0;
    ASSERT_EQ(m_library.Open(GetParam().cameras > 1 ? 1 : 0, &second, nullptr, 0), 0u);
    CameraImageInfo info{};
    uint8_t byte = 0;

    EXPECT_EQ(m_library.ReadImageInfo(first, &info), VRX4K_ERROR_NO_IMAGE);
    EXPECT_EQ(m_library.ReadImage(second, &byte, 1), VRX4K_ERROR_NOT_DESCRIBED);
    EXPECT_EQ(m_library.ReadImageInfo(first, nullptr), VRX4K_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(m_library.ReadImage(first, nullptr, 1), VRX4K_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(m_library.GetDeviceInfo(second, nullptr), VRX4K_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(m_library.GetChangedProperty(first, nullptr), VRX4K_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(m_library.ReadImage(second, &byte, 1), VRX4K_ERROR_NOT_DESCRIBED);

    // The library also says which call failed; the binding ignores it.
    int32_t failedCall = -1;
    uint32_t number = 0;
    ASSERT_EQ(RawErrorNumber(first, &failedCall, &number), 0);
    EXPECT_EQ(number, VRX4K_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(failedCall, VRX4K_CALL_GET_CHANGED_PROPERTY);
    ASSERT_EQ(RawErrorNumber(second, &failedCall, &number), 0);
    EXPECT_EQ(number, VRX4K_ERROR_NOT_DESCRIBED);
    EXPECT_EQ(failedCall, VRX4K_CALL_READ_IMAGE);
    EXPECT_EQ(RawErrorNumber(first, nullptr, nullptr), -1);
    EXPECT_EQ(RawErrorNumber(0x7FFFFFFF, &failedCall, &number), -1);
    EXPECT_EQ(m_library.Close(second), 0u);
}

TEST_P(Camera, ConnectingReportsThePropertiesOnceAndAProbeNothing)
{
    Start();
    uint32_t probe = 0;
    ASSERT_EQ(m_library.Open(0, &probe, nullptr, 0), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(m_events.Events().empty()) << "a probe sends no events, even after a while";
    std::vector<uint8_t> list = ChangedPropertyBuffer(probe);
    EXPECT_EQ(list[0] | list[1] << 8, 0) << "a probe gets no report";
    EXPECT_EQ(list[2], 0xCD) << "an empty list writes only its count";
    ASSERT_EQ(m_library.Close(probe), 0u);

    uint32_t camera = 0;
    ASSERT_EQ(m_library.Open(0, &camera, &EventRecorder::Callback, 7), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_PROPERTY_CHANGED, 1));
    list = ChangedPropertyBuffer(camera);
    const std::vector<ChangedProperty> entries = ReadChangedProperties(std::span<const uint8_t>(list));
    const size_t count = static_cast<size_t>(list[0] | list[1] << 8);
    ASSERT_GE(count, 2u);
    EXPECT_EQ(entries.size(), count);
    EXPECT_EQ(list[CHANGED_PROPERTY_COUNT_SIZE + count * CHANGED_PROPERTY_ENTRY_SIZE], 0xCD)
        << "nothing is written after the last entry";
    std::set<uint32_t> codes;
    for (const ChangedProperty &entry : entries)
        codes.insert(static_cast<uint32_t>(entry.code));
    EXPECT_TRUE(codes.count(CAMERA_PROPERTY_2004)) << "battery level";
    EXPECT_TRUE(codes.count(CAMERA_PROPERTY_2008)) << "shots remaining";
    for (int32_t context : m_events.Contexts())
        EXPECT_EQ(context, 7) << "the callback gets Open's fourth argument";

    list = ChangedPropertyBuffer(camera);
    EXPECT_EQ(list[0] | list[1] << 8, 0) << "a report is handed out once";
}

TEST_P(Camera, AShotIsAnnouncedOnTheLibrarysThreadAndDeliveredWhole)
{
    Start();
    const uint32_t camera = Connect(0, 7);
    ShootAndWait(camera, 1);
    EXPECT_EQ(m_events.Threads().count(std::this_thread::get_id()), 0u) << "events come on the library's thread";

    const DownloadedPicture picture = Download(camera);
    EXPECT_EQ(picture.info.ImageType, CAMERA_IMAGE_JPEG);
    EXPECT_GT(picture.info.ImageSize, 0u);
    // Announced: the JPEG's own extension, the first shot.
    const cameratest::Announced announced = cameratest::ReadAnnounced(picture.info);
    EXPECT_TRUE(announced.valid);
    EXPECT_EQ(announced.extension, "JPG");
    EXPECT_EQ(announced.shot, 1u);
    EXPECT_TRUE(IsWholePicture(picture.bytes)) << "the delivered picture is not the one taken";
    CameraImageInfo info{};
    EXPECT_EQ(m_library.ReadImageInfo(camera, &info), VRX4K_ERROR_NO_IMAGE) << "nothing more than was shot";
    for (int32_t context : m_events.Contexts())
        EXPECT_EQ(context, 7);
}

TEST_P(Camera, AFullCardRefusesTheShotAndSaysSo)
{
    m_environment.Set(GetParam().oneShotLeftVariable, GetParam().oneShotLeftValue);
    Start();
    const uint32_t camera = Connect();
    ShootAndWait(camera, 1); // the last picture that fits
    // A camera may take one more shot and find its card full while writing it.
    CameraError error = 0;
    for (int shot = 0; shot < 2 && error == 0; ++shot)
        error = m_library.Shoot(camera, nullptr, nullptr);
    EXPECT_EQ(error, VRX4K_ERROR_CARD_FULL);
    EXPECT_EQ(m_library.Shoot(camera, nullptr, nullptr), VRX4K_ERROR_CARD_FULL) << "the card stays full";
    int32_t failedCall = -1;
    uint32_t number = 0;
    ASSERT_EQ(RawErrorNumber(camera, &failedCall, &number), 0);
    EXPECT_EQ(failedCall, VRX4K_CALL_SHOOT);
    EXPECT_TRUE(IsWholePicture(Download(camera).bytes)) << "the picture taken before is still delivered";
}

TEST_P(Camera, AWrongReadKeepsThePictureForAnotherTry)
{
    Start();
    const uint32_t camera = Connect();
    ShootAndWait(camera, 1);
    CameraImageInfo info{};
    ASSERT_EQ(m_library.ReadImageInfo(camera, &info), 0u);
    std::vector<uint8_t> bytes(info.ImageSize + 1, 0xAB);
    EXPECT_EQ(m_library.ReadImage(camera, bytes.data(), info.ImageSize - 1), VRX4K_ERROR_SIZE_MISMATCH);
    EXPECT_EQ(m_library.ReadImage(camera, bytes.data(), info.ImageSize + 1), VRX4K_ERROR_SIZE_MISMATCH);
    EXPECT_EQ(m_library.ReadImage(camera, nullptr, info.ImageSize), VRX4K_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(bytes[0], 0xAB) << "a refused read writes nothing";
    EXPECT_EQ(m_library.ReadImage(camera, bytes.data(), info.ImageSize), 0u);
    EXPECT_EQ(bytes[info.ImageSize], 0xAB) << "nothing is written past the size";
    bytes.pop_back();
    EXPECT_TRUE(IsWholePicture(bytes));
    EXPECT_EQ(m_library.ReadImage(camera, bytes.data(), info.ImageSize), VRX4K_ERROR_NOT_DESCRIBED)
        << "a picture is delivered once";
}

TEST_P(Camera, ASkippedPictureNeverBlocksTheNext)
{
    Start();
    const uint32_t camera = Connect();
    for (size_t shot = 1; shot <= 3; ++shot)
        ShootAndWait(camera, shot);

    const auto shot = [](const CameraImageInfo &info) { return cameratest::ReadAnnounced(info).shot; };
    CameraImageInfo first{}, second{};
    ASSERT_EQ(m_library.ReadImageInfo(camera, &first), 0u);
    // The first picture is never read: describing the next one replaces it.
    ASSERT_EQ(m_library.ReadImageInfo(camera, &second), 0u);
    EXPECT_EQ(shot(second), shot(first) + 1);
    std::vector<uint8_t> bytes(second.ImageSize);
    EXPECT_EQ(m_library.ReadImage(camera, bytes.data(), second.ImageSize), 0u);
    EXPECT_TRUE(IsWholePicture(bytes));
    EXPECT_EQ(m_library.ReadImage(camera, bytes.data(), second.ImageSize), VRX4K_ERROR_NOT_DESCRIBED);
    const DownloadedPicture third = Download(camera);
    EXPECT_EQ(shot(third.info), shot(first) + 2);
}

TEST_P(Camera, CamerasOpenAndCloseRepeatedly)
{
    Start();
    std::set<uint32_t> handles;
    for (int round = 0; round < 3; ++round) {
        uint32_t probe = 0;
        ASSERT_EQ(m_library.Open(0, &probe, nullptr, 0), 0u) << "round " << round;
        CameraDeviceInfo info{};
        EXPECT_EQ(m_library.GetDeviceInfo(probe, &info), 0u);
        EXPECT_FALSE(DeviceName(info).empty());
        ASSERT_EQ(m_library.Close(probe), 0u);

        m_events.Reset();
        const uint32_t camera = Connect();
        ShootAndWait(camera, 1);
        EXPECT_TRUE(IsWholePicture(Download(camera).bytes)) << "round " << round;
        ASSERT_EQ(m_library.Close(camera), 0u);
        handles.insert(probe);
        handles.insert(camera);
    }
    EXPECT_EQ(handles.size(), 6u) << "no handle is issued twice";
}

TEST_P(Camera, ExitEndsEveryCallbackAndDropsTheShotsNotYetTaken)
{
    Start();
    const uint32_t camera = Connect();
    // A slow callback makes Exit meet one in progress.
    m_events.hook = [](int32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(20)); };
    constexpr size_t kShots = 10;
    for (size_t i = 0; i < kShots; ++i)
        ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 1));
    Stop();
    const size_t eventsAtExit = m_events.Events().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(600)); // past the captures' events
    EXPECT_EQ(m_events.callbacksAfterExit, 0);
    EXPECT_EQ(m_events.Events().size(), eventsAtExit);
    EXPECT_LT(m_events.Count(CAMERA_EVENT_IMAGE_READY), kShots) << "Exit waited for every shot";

    CameraImageInfo info{};
    EXPECT_NE(m_library.ReadImageInfo(camera, &info), 0u) << "the old handle is dead";
}

TEST_P(Camera, CloseWaitsForARunningCallbackOfItsCamera)
{
    Start();
    std::atomic<bool> inCallback{false}, callbackFinished{false};
    m_events.hook = [&](int32_t event) {
        if (event != CAMERA_EVENT_IMAGE_READY)
            return;
        inCallback = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        callbackFinished = true;
    };
    const uint32_t camera = Connect();
    ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!inCallback && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_TRUE(inCallback);
    EXPECT_EQ(m_library.Close(camera), 0u);
    EXPECT_TRUE(callbackFinished) << "Close returned while the callback still ran";
    const size_t events = m_events.Events().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(m_events.Events().size(), events) << "no event for a closed camera";
}

TEST_P(Camera, TheCallbackMayReadAndCloseItsCameraButNotExit)
{
    // The callback runs on the library's own thread: reading there must not
    // wait for that thread, and Close there cannot join it.
    Start();
    std::atomic<uint32_t> cameraHandle{0};
    std::atomic<int> downloaded{0};
    std::atomic<CameraError> deviceResult{1}, exitResult{0}, closeResult{1};
    std::atomic<uint32_t> exitError{0};
    CCameraLibrary &library = m_library;
    m_events.hook = [&](int32_t event) {
        if (event != CAMERA_EVENT_IMAGE_READY || downloaded > 0)
            return;
        const uint32_t handle = cameraHandle;
        CameraImageInfo info{};
        if (library.ReadImageInfo(handle, &info) != 0)
            return;
        std::vector<uint8_t> bytes(info.ImageSize);
        if (library.ReadImage(handle, bytes.data(), info.ImageSize) == 0 && IsWholePicture(bytes))
            ++downloaded;
        CameraDeviceInfo device{};
        deviceResult = library.GetDeviceInfo(handle, &device);
        exitResult = library.Exit();
        exitError = LibraryErrorNumber();
        closeResult = library.Close(handle);
    };
    uint32_t camera = 0;
    ASSERT_EQ(m_library.Open(0, &camera, &EventRecorder::Callback, 0), 0u);
    cameraHandle = camera;
    ASSERT_EQ(m_library.Shoot(camera, nullptr, nullptr), 0u);
    // A library whose Shoot waits for the camera may see the callback close
    // it before the second shot.
    const CameraError second = m_library.Shoot(camera, nullptr, nullptr);
    EXPECT_TRUE(second == 0 || closeResult == 0u) << "the second shot was refused with " << second;
    ASSERT_TRUE(m_events.WaitFor(CAMERA_EVENT_IMAGE_READY, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(downloaded, 1);
    EXPECT_EQ(deviceResult, 0u);
    EXPECT_EQ(exitResult, CAMERA_ERROR_UNKNOWN);
    EXPECT_EQ(exitError, VRX4K_ERROR_IN_CALLBACK);
    EXPECT_EQ(closeResult, 0u);
    EXPECT_EQ(m_events.Count(CAMERA_EVENT_IMAGE_READY), 1u) << "the callback closed its camera: no second picture";
    EXPECT_NE(m_library.Shoot(camera, nullptr, nullptr), 0u) << "the camera is closed";

    // Exit joins the closed camera's thread; a new connection works.
    Stop();
    m_events.Reset();
    Start();
    EXPECT_NE(Connect(), camera);
}

const CameraLibraryKind kSimulated{"Simulated", false, 2, "VRX4K_SIM_CARD_SHOTS", "1"};
// The virtual camera declares its card full at its 151st picture, counting
// from VCAMERA_PICTURE_COUNT (build_vusb.sh); each picture counts two.
const CameraLibraryKind kGphoto2{"Gphoto2", true, 1, "VCAMERA_PICTURE_COUNT", "148"};

// CMake runs each library's cases in processes of their own, with that
// library's folder on LD_LIBRARY_PATH.
INSTANTIATE_TEST_SUITE_P(Contract, Camera, ::testing::Values(kSimulated, kGphoto2),
                         [](const ::testing::TestParamInfo<CameraLibraryKind> &kind) {
                             return std::string(kind.param.name);
                         });

} // namespace
} // namespace contract
