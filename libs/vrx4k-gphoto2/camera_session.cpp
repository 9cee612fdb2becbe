#include "camera_session.h"

#include "file_values.h"
#include "vrx4k-common/records.h"
#include "vrx4k_gphoto2.h"

#include <gphoto2/gphoto2-version.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>

namespace vrx4kgp {

namespace {

// How long one wait for camera events may take: it bounds how long a job,
// Close and Exit wait for the worker.
constexpr int kEventWaitMs = 100;
constexpr auto kPropertyPollInterval = std::chrono::seconds(3);
constexpr auto kRetryDelay = std::chrono::milliseconds(100);
// Failed event waits in a row after which the camera counts as gone.
constexpr int kFailedWaitsUntilLost = 3;
// A busy camera (writing the last shot, focusing) is asked again a few
// times before Shoot gives up: well inside Shoot's wait.
constexpr int kBusyRetries = 3;
constexpr auto kBusyRetryDelay = std::chrono::milliseconds(250);
// How often a lost camera is looked for.
constexpr auto kReconnectInterval = std::chrono::milliseconds(500);
// A failed download (a cut transfer, a busy camera) is tried this many times
// in all, a little apart, so that a file the camera cannot give neither spins
// the worker nor holds up the pictures after it for long.
constexpr int kDownloadAttempts = 3;
constexpr auto kDownloadRetryDelay = std::chrono::milliseconds(300);
constexpr size_t kMaxUndelivered = 1000;

void Complain(const char *what, const std::string &message)
{
    std::fprintf(stderr, "libVRX4KAPI (gphoto2): %s%s\n", what, message.c_str());
}

void ComplainAboutFile(const CameraFilePath &path, const char *what, int result)
{
    std::fprintf(stderr, "libVRX4KAPI (gphoto2): cannot download %s/%s%s: %s\n", path.folder, path.name, what,
                 gp_result_as_string(result));
}

} // namespace

uint32_t GphotoError(int result)
{
    // Every libgphoto2 result below GP_OK is negative and far from INT_MIN.
    return result < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(result)) : 0;
}

CameraSession::CameraSession(DetectedCamera camera, CameraCallback callback, int32_t context, Settings settings)
    : m_detected(std::move(camera)), m_callback(callback), m_context(context), m_settings(std::move(settings)),
      m_log(std::getenv("VRX4K_GPHOTO2_DEBUG") && *std::getenv("VRX4K_GPHOTO2_DEBUG"))
{
}

CameraSession::~CameraSession()
{
    Stop();
    if (m_thread.joinable())
        m_thread.detach(); // only when the last owner let go on the worker itself
}

uint32_t CameraSession::Open()
{
    std::promise<uint32_t> opened;
    std::future<uint32_t> result = opened.get_future();
    m_thread = std::thread(&CameraSession::Run, this, std::move(opened));
    const uint32_t error = result.get();
    if (error != 0) {
        Join();
        NoteFailure(VRX4K_CALL_OPEN, error);
    }
    return error;
}

void CameraSession::Stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    Join();
}

void CameraSession::Join()
{
    if (m_thread.joinable() && !OnWorkerThread())
        m_thread.join();
}

bool CameraSession::OnWorkerThread() const
{
    std::lock_guard lock(m_mutex);
    return m_threadId == std::this_thread::get_id();
}

void CameraSession::Run(std::promise<uint32_t> opened)
{
    {
        std::lock_guard lock(m_mutex);
        m_threadId = std::this_thread::get_id();
    }
    uint32_t openError = 0;
    try {
        openError = OpenCamera();
    } catch (const std::exception &) {
        openError = VRX4K_ERROR_OUT_OF_MEMORY;
    }
    if (openError != 0) {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        CloseCamera();
        opened.set_value(openError);
        return;
    }
    opened.set_value(0);

    enum class Idle { Reconnect, Poll, Wait };
    for (;;) {
        QueuedJob job;
        bool haveJob = false;
        Idle idle = Idle::Wait;
        {
            std::unique_lock lock(m_mutex);
            if (m_stopping)
                break;
            if (!m_jobs.empty()) {
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
                haveJob = true;
            } else if (m_lost) {
                m_wake.wait_for(lock, kReconnectInterval, [this] { return m_stopping || !m_jobs.empty(); });
                if (m_stopping || !m_jobs.empty())
                    continue;
                idle = Idle::Reconnect;
            } else if (!m_callback) {
                m_wake.wait(lock);
                continue;
            } else if (m_noEventWaiting) {
                // Nothing to wait on but the next look at the properties, or
                // the next attempt at a failed download.
                Clock::time_point until = m_nextPropertyPoll;
                if (!m_undelivered.empty())
                    until = std::min(until, m_undelivered.front().due);
                m_wake.wait_until(lock, until, [this] { return m_stopping || !m_jobs.empty(); });
                if (m_stopping || !m_jobs.empty())
                    continue;
                idle = Idle::Poll;
            }
        }
        uint32_t result = 0;
        try {
            if (haveJob) {
                result = job.work();
            } else if (idle == Idle::Reconnect) {
                Reconnect();
            } else if (idle == Idle::Poll) {
                DeliverUndelivered(false);
                if (Clock::now() >= m_nextPropertyPoll)
                    PollProperties();
            } else {
                WaitForEvent();
            }
        } catch (const std::exception &) {
            result = VRX4K_ERROR_OUT_OF_MEMORY;
            NoteFailure(VRX4K_CALL_LIBRARY_THREAD, result);
        }
        if (job.result)
            job.result->set_value(result);
    }

    std::deque<QueuedJob> abandoned;
    {
        std::lock_guard lock(m_mutex);
        abandoned.swap(m_jobs);
    }
    for (QueuedJob &job : abandoned) {
        if (job.result)
            job.result->set_value(VRX4K_ERROR_CLOSING);
    }
    CloseCamera();
}

uint32_t CameraSession::OpenCamera()
{
    int result = gp_camera_new(&m_camera);
    if (result < GP_OK)
        return GphotoError(result);
    m_gpContext = gp_context_new();
    if (!m_gpContext)
        return VRX4K_ERROR_OUT_OF_MEMORY;
    // Close and Exit cut a long transfer (a big raw file) short instead of
    // waiting for it.
    gp_context_set_cancel_func(
        m_gpContext,
        [](GPContext *, void *session) {
            auto *self = static_cast<CameraSession *>(session);
            std::lock_guard lock(self->m_mutex);
            return self->m_stopping ? GP_CONTEXT_FEEDBACK_CANCEL : GP_CONTEXT_FEEDBACK_OK;
        },
        this);
    // The driver's own words: they go to standard error, as gphoto2 prints
    // them, and tell one refusal from another.
    gp_context_set_error_func(
        m_gpContext,
        [](GPContext *, const char *text, void *session) {
            auto *self = static_cast<CameraSession *>(session);
            const std::string message = text ? text : "";
            if (!self->m_quiet)
                Complain("", message);
            if (self->m_driverMessages.size() < 16)
                self->m_driverMessages.push_back(message);
        },
        this);
    {
        std::lock_guard lock(PortMutex());
        result = BindCamera(m_camera, m_detected);
        if (result >= GP_OK)
            result = gp_camera_init(m_camera, m_gpContext);
    }
    if (result < GP_OK)
        return GphotoError(result);
    // Kept to find this very camera again after it left.
    m_serial = ReadSetting(m_camera, m_gpContext, "serialnumber").value_or("");
    if (!m_callback)
        return 0;

    PreferMemoryCard(m_camera, m_gpContext);
    for (const auto &[name, value] : m_settings) {
        result = WriteSetting(m_camera, m_gpContext, name, value);
        if (result < GP_OK) {
            std::fprintf(stderr, "libVRX4KAPI (gphoto2): VRX4K_GPHOTO2_CONFIG: cannot set '%s' to '%s': %s\n",
                         name.c_str(), value.c_str(), gp_result_as_string(result));
            return VRX4K_ERROR_BAD_CONFIGURATION;
        }
    }
    // The first round reports every property the camera has.
    m_nextPropertyPoll = Clock::now();
    return 0;
}

void CameraSession::CloseCamera()
{
    if (m_gpContext)
        gp_context_set_cancel_func(m_gpContext, nullptr, nullptr); // let the camera close cleanly
    ReleaseCamera();
    if (m_gpContext) {
        gp_context_unref(m_gpContext);
        m_gpContext = nullptr;
    }
}

void CameraSession::ReleaseCamera()
{
    if (m_camera) {
        // Pictures stay on the card: nothing is ever deleted from the camera.
        gp_camera_exit(m_camera, m_gpContext);
        gp_camera_unref(m_camera);
        m_camera = nullptr;
    }
}

bool CameraSession::Lost() const
{
    std::lock_guard lock(m_mutex);
    return m_lost;
}

void CameraSession::Post(Job job)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        m_jobs.push_back({std::move(job), nullptr});
    }
    m_wake.notify_all();
}

uint32_t CameraSession::RunOnWorker(Job job)
{
    if (OnWorkerThread())
        return job();
    auto promise = std::make_shared<std::promise<uint32_t>>();
    std::future<uint32_t> result = promise->get_future();
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return VRX4K_ERROR_CLOSING;
        m_jobs.push_back({std::move(job), std::move(promise)});
    }
    m_wake.notify_all();
    return result.get();
}

uint32_t CameraSession::GetDeviceInfo(CameraDeviceInfo &info)
{
    auto filled = std::make_shared<CameraDeviceInfo>();
    const uint32_t error = RunOnWorker([this, filled] {
        if (Lost())
            return static_cast<uint32_t>(VRX4K_ERROR_CAMERA_GONE);
        vrx4k::DeviceInfoWriter out(*filled);
        const std::string serial = ReadSetting(m_camera, m_gpContext, "serialnumber").value_or("");
        const auto text = [&](size_t offset, const std::string &value) {
            out.Text(offset, VRX4K_GP_DEVICE_TEXT_SIZE, value);
        };
        out.Bytes(0, VRX4K_GP_DEVICE_MAGIC);
        text(VRX4K_GP_DEVICE_MODEL_OFFSET, m_detected.model);
        text(VRX4K_GP_DEVICE_PORT_OFFSET, m_detected.port);
        text(VRX4K_GP_DEVICE_MANUFACTURER_OFFSET, ReadSetting(m_camera, m_gpContext, "manufacturer").value_or(""));
        text(VRX4K_GP_DEVICE_SERIAL_OFFSET, serial);
        text(VRX4K_GP_DEVICE_VERSION_OFFSET, ReadSetting(m_camera, m_gpContext, "deviceversion").value_or(""));
        const char **version = gp_library_version(GP_VERSION_SHORT);
        text(VRX4K_GP_DEVICE_LIBRARY_OFFSET, version && version[0] ? version[0] : "");
        out.Name(m_detected.model);
        // Detail tells two bodies of one model apart: the serial number when
        // it fits, otherwise the port.
        const std::string withSerial = "S/N " + serial;
        out.Detail(!serial.empty() && withSerial.size() < sizeof filled->Detail ? withSerial : m_detected.port);
        return 0u;
    });
    if (error != 0) {
        NoteFailure(VRX4K_CALL_GET_DEVICE_INFO, error);
        return error;
    }
    std::memcpy(&info, filled.get(), sizeof info);
    return 0;
}

uint32_t CameraSession::Shoot(std::chrono::milliseconds shootWait)
{
    uint32_t error = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            error = VRX4K_ERROR_CLOSING;
        else if (m_lost)
            error = VRX4K_ERROR_CAMERA_GONE;
    }
    if (error == 0 && OnWorkerThread())
        error = Trigger(); // from inside the callback: nobody else runs the camera
    if (error == 0 && !OnWorkerThread()) {
        auto outcome = std::make_shared<ShotOutcome>();
        std::future<uint32_t> answer;
        {
            auto promise = std::make_shared<std::promise<uint32_t>>();
            answer = promise->get_future();
            std::lock_guard lock(m_mutex);
            if (m_stopping) {
                error = VRX4K_ERROR_CLOSING;
            } else {
                m_jobs.push_back({[this, outcome] {
                                      const uint32_t refused = Trigger();
                                      bool late = false;
                                      {
                                          std::lock_guard shot(outcome->mutex);
                                          outcome->done = true;
                                          outcome->error = refused;
                                          late = outcome->abandoned;
                                      }
                                      if (late && refused != 0)
                                          std::fprintf(stderr,
                                                       "libVRX4KAPI (gphoto2): the camera refused a shot after "
                                                       "Shoot had returned (error %u): %s\n",
                                                       refused, m_refusal.c_str());
                                      return refused;
                                  },
                                  std::move(promise)});
            }
        }
        m_wake.notify_all();
        if (error == 0) {
            // A job dropped by Close or Exit answers CLOSING at once.
            const bool answered = answer.wait_for(shootWait) == std::future_status::ready;
            std::lock_guard shot(outcome->mutex);
            if (outcome->done)
                error = outcome->error;
            else if (answered)
                error = answer.get();
            else
                outcome->abandoned = true; // a long exposure: the picture comes later
        }
    }
    if (error != 0)
        NoteFailure(VRX4K_CALL_SHOOT, error);
    return error;
}

int CameraSession::Capture()
{
    if (!m_noEventWaiting) {
        const int result = gp_camera_trigger_capture(m_camera, m_gpContext);
        if (result != GP_ERROR_NOT_SUPPORTED)
            return result;
    }
    // Cameras without a trigger, or whose driver cannot wait for events,
    // capture and wait for the file themselves: the capture names it.
    CameraFilePath path{};
    const int result = gp_camera_capture(m_camera, GP_CAPTURE_IMAGE, &path, m_gpContext);
    if (result >= GP_OK && m_callback && path.name[0] != '\0')
        Download(path);
    return result;
}

uint32_t CameraSession::Trigger()
{
    if (Lost())
        return VRX4K_ERROR_CAMERA_GONE;
    int result = GP_OK;
    for (int attempt = 0;; ++attempt) {
        m_driverMessages.clear();
        result = Capture();
        if (result >= GP_OK || attempt >= kBusyRetries || ShotRefusal(result, m_driverMessages) != VRX4K_ERROR_CAMERA_BUSY)
            break;
        std::unique_lock lock(m_mutex);
        if (m_wake.wait_for(lock, kBusyRetryDelay, [this] { return m_stopping; }))
            break;
    }
    uint32_t error = 0;
    if (result < GP_OK) {
        error = ShotRefusal(result, m_driverMessages);
        m_refusal = gp_result_as_string(result);
        for (const std::string &message : m_driverMessages)
            m_refusal += ": " + message;
        NoteFailure(VRX4K_CALL_LIBRARY_THREAD, error);
        if (MeansCameraGone(result))
            LoseCamera(result);
    }
    m_driverMessages.clear();
    // The shot changes the shots remaining: look soon.
    m_nextPropertyPoll = std::min(m_nextPropertyPoll, Clock::now() + std::chrono::milliseconds(500));
    return error;
}

void CameraSession::WaitForEvent()
{
    CameraEventType type = GP_EVENT_TIMEOUT;
    void *data = nullptr;
    const int result = gp_camera_wait_for_event(m_camera, kEventWaitMs, &type, &data, m_gpContext);
    std::unique_ptr<void, decltype(&std::free)> owned(data, &std::free);
    if (result == GP_ERROR_NOT_SUPPORTED) {
        // A driver that cannot wait for events: pictures come from the
        // capture itself, and the camera is as present as before.
        m_noEventWaiting = true;
        return;
    }
    if (result < GP_OK) {
        NoteFailure(VRX4K_CALL_LIBRARY_THREAD, GphotoError(result));
        if (MeansCameraGone(result) || ++m_failedWaits >= kFailedWaitsUntilLost) {
            LoseCamera(result);
            return;
        }
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, kRetryDelay, [this] { return m_stopping; });
        return;
    }
    m_failedWaits = 0;
    switch (type) {
    case GP_EVENT_FILE_ADDED:
        // A shot from Shoot, or one taken on the camera itself. With raw+JPEG
        // the second file comes with a later wait, before CAPTURE_COMPLETE.
        if (data)
            Download(*static_cast<const CameraFilePath *>(data));
        break;
    case GP_EVENT_CAPTURE_COMPLETE:
        m_nextPropertyPoll = Clock::now();
        break;
    default:
        break;
    }
    DeliverUndelivered(false);
    if (Clock::now() >= m_nextPropertyPoll)
        PollProperties();
}

void CameraSession::Download(const CameraFilePath &path)
{
    if (m_undelivered.size() >= kMaxUndelivered) {
        // No room to keep it for later: one attempt, out of turn.
        const int result = Fetch(path);
        if (result < GP_OK && result != GP_ERROR_CANCEL) {
            NoteFailure(VRX4K_CALL_LIBRARY_THREAD, GphotoError(result));
            ComplainAboutFile(path, "", result);
            if (MeansCameraGone(result))
                LoseCamera(result);
        }
        return;
    }
    // Behind the files still undelivered, so that the pictures keep the
    // camera's order (a raw file and its JPEG stay one shot).
    m_undelivered.push_back({path, 0, Clock::now()});
    DeliverUndelivered(false);
}

void CameraSession::DeliverUndelivered(bool all)
{
    while (!m_undelivered.empty()) {
        {
            std::lock_guard lock(m_mutex);
            if (m_lost || m_stopping)
                return;
        }
        if (!all && Clock::now() < m_undelivered.front().due)
            return;
        // Off the queue while it is fetched: the callback that announces it
        // may shoot, and a capture downloads here again.
        Undelivered next = m_undelivered.front();
        m_undelivered.pop_front();
        const int result = Fetch(next.path);
        // Cancelled: Close or Exit, nobody is left to take the picture.
        if (result >= GP_OK || result == GP_ERROR_CANCEL)
            continue;
        NoteFailure(VRX4K_CALL_LIBRARY_THREAD, GphotoError(result));
        if (MeansCameraGone(result)) {
            // Not the file's fault: fetched once the camera is back.
            m_undelivered.push_front(next);
            LoseCamera(result);
            return;
        }
        if (++next.attempts >= kDownloadAttempts) {
            ComplainAboutFile(next.path, ", giving up", result);
            continue;
        }
        next.due = Clock::now() + kDownloadRetryDelay;
        m_undelivered.push_front(next);
        return;
    }
}

int CameraSession::Fetch(const CameraFilePath &path)
{
    CameraFile *file = nullptr;
    int result = gp_file_new(&file);
    if (result < GP_OK)
        return result;
    std::unique_ptr<CameraFile, decltype(&gp_file_unref)> owned(file, &gp_file_unref);
    result = gp_camera_file_get(m_camera, path.folder, path.name, GP_FILE_TYPE_NORMAL, file, m_gpContext);
    const char *data = nullptr;
    unsigned long size = 0;
    if (result >= GP_OK)
        result = gp_file_get_data_and_size(file, &data, &size);
    if (result < GP_OK)
        return result;
    // From here on the file is done with, delivered or not: another attempt
    // would end the same way.
    const char *mime = nullptr;
    if (gp_file_get_mime_type(file, &mime) < GP_OK)
        mime = nullptr;
    const std::optional<int32_t> type = PictureType(mime ? mime : "", path.name);
    if (!type)
        return GP_OK; // movies and other files stay on the card
    if (size > std::numeric_limits<uint32_t>::max()) {
        NoteFailure(VRX4K_CALL_LIBRARY_THREAD, VRX4K_ERROR_TOO_LARGE);
        return GP_OK;
    }

    Picture picture;
    picture.type = *type;
    picture.number = ++m_pictureCount;
    picture.shot = m_shots.Number(path.name);
    picture.name = path.name;
    picture.bytes.assign(data, data + size);
    owned.reset();
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return GP_OK;
        m_pictures.Push(std::move(picture));
    }
    SendEvent(CAMERA_EVENT_IMAGE_READY);
    return GP_OK;
}

void CameraSession::PollProperties()
{
    m_nextPropertyPoll = Clock::now() + kPropertyPollInterval;
    std::vector<std::pair<uint32_t, uint32_t>> changes;
    const auto consider = [&](uint32_t code, std::optional<uint32_t> value) {
        if (!value)
            return;
        const auto known = m_reported.find(code);
        if (known != m_reported.end() && known->second == *value)
            return;
        m_reported[code] = *value;
        changes.emplace_back(code, *value);
    };

    const auto battery = ReadSetting(m_camera, m_gpContext, "batterylevel");
    consider(VRX4K_GP_PROPERTY_BATTERY, battery ? BatteryPercent(*battery) : std::nullopt);
    std::optional<uint32_t> shots = ShotsRemaining(m_camera, m_gpContext);
    if (!shots) {
        if (const auto available = ReadSetting(m_camera, m_gpContext, "availableshots"))
            shots = WholeNumber(*available);
    }
    consider(VRX4K_GP_PROPERTY_SHOTS_REMAINING, shots);
    auto iso = ReadSetting(m_camera, m_gpContext, "iso");
    if (!iso)
        iso = ReadSetting(m_camera, m_gpContext, "exposureindex");
    consider(VRX4K_GP_PROPERTY_ISO, iso ? IsoSpeed(*iso) : std::nullopt);

    if (changes.empty())
        return;
    {
        std::lock_guard lock(m_mutex);
        // One entry per code: a value not yet read is replaced by the newer one.
        for (const auto &change : changes) {
            const auto same = std::find_if(m_changed.begin(), m_changed.end(),
                                           [&](const auto &entry) { return entry.first == change.first; });
            if (same != m_changed.end())
                same->second = change.second;
            else
                m_changed.push_back(change);
        }
    }
    SendEvent(CAMERA_EVENT_PROPERTY_CHANGED);
}

void CameraSession::LoseCamera(int result)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_lost)
            return;
        m_lost = true;
    }
    Complain("the camera is gone, waiting for it to come back: ", gp_result_as_string(result));
}

void CameraSession::Reconnect()
{
    // Failures are the rule until the camera is back: not worth a word each.
    m_quiet = true;
    struct Loud {
        bool &quiet;
        ~Loud() { quiet = false; }
    } loud{m_quiet};
    // The old connection may still hold the port (a camera that slept and
    // woke on the same port): let it go before looking.
    ReleaseCamera();
    std::vector<DetectedCamera> cameras;
    if (DetectCameras(cameras) < GP_OK)
        return;
    std::vector<DetectedCamera> sameModel;
    for (const DetectedCamera &camera : cameras) {
        if (camera.model == m_detected.model)
            sameModel.push_back(camera);
    }
    // Without a serial number only the one camera of that model is surely it.
    if (m_serial.empty() && sameModel.size() != 1)
        return;
    for (const DetectedCamera &candidate : sameModel) {
        Camera *camera = OpenAgain(candidate, sameModel.size() == 1);
        if (!camera)
            continue;
        m_camera = camera;
        m_detected.port = candidate.port;
        m_failedWaits = 0;
        m_noEventWaiting = false;
        if (m_callback) {
            PreferMemoryCard(m_camera, m_gpContext);
            for (const auto &[name, value] : m_settings)
                WriteSetting(m_camera, m_gpContext, name, value); // accepted when the camera was connected
            m_nextPropertyPoll = Clock::now();
        }
        {
            std::lock_guard lock(m_mutex);
            m_lost = false;
        }
        Complain("the camera is back on ", candidate.port);
        DeliverUndelivered(true);
        return;
    }
}

Camera *CameraSession::OpenAgain(const DetectedCamera &detected, bool onlyOfItsModel)
{
    Camera *camera = nullptr;
    if (gp_camera_new(&camera) < GP_OK)
        return nullptr;
    int result = GP_OK;
    {
        std::lock_guard lock(PortMutex());
        result = BindCamera(camera, detected);
        if (result >= GP_OK)
            result = gp_camera_init(camera, m_gpContext);
    }
    m_driverMessages.clear();
    if (result >= GP_OK) {
        const std::string serial = ReadSetting(camera, m_gpContext, "serialnumber").value_or("");
        if (m_serial.empty() ? onlyOfItsModel : serial == m_serial)
            return camera;
        gp_camera_exit(camera, m_gpContext);
    }
    gp_camera_unref(camera);
    return nullptr;
}

bool CameraSession::SendEvent(int32_t event)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping || !m_callback)
            return false;
    }
    // Stop joins this thread, so no callback runs once Close or Exit returned.
    m_callback(m_context, event);
    return true;
}

uint32_t CameraSession::ReadImageInfo(CameraImageInfo &info)
{
    std::lock_guard lock(m_mutex);
    std::optional<Picture> picture = m_pictures.TakeOldest();
    if (!picture) {
        m_failedCall = VRX4K_CALL_READ_IMAGE_INFO;
        m_errorNumber = VRX4K_ERROR_NO_IMAGE;
        return m_errorNumber;
    }
    const std::string extension = FileExtension(picture->name);
    vrx4k::WriteImageInfo(info, picture->type, static_cast<uint32_t>(picture->bytes.size()),
                          {extension, picture->shot});
    if (m_log)
        std::fprintf(stderr, "libVRX4KAPI (gphoto2): ReadImageInfo picture=%u shot=%u file=%s type=%d size=%zu waiting=%zu\n",
                     picture->number, picture->shot, picture->name.c_str(), picture->type, picture->bytes.size(),
                     m_pictures.Waiting());
    m_pictures.Describe(std::move(*picture));
    return 0;
}

uint32_t CameraSession::ReadImage(uint8_t *buffer, uint32_t size)
{
    Picture picture;
    {
        std::lock_guard lock(m_mutex);
        if (const uint32_t error = m_pictures.CheckRead(size)) {
            m_failedCall = VRX4K_CALL_READ_IMAGE;
            m_errorNumber = error;
            return error;
        }
        picture = m_pictures.TakeDescribed();
    }
    if (size > 0)
        std::memcpy(buffer, picture.bytes.data(), size);
    return 0;
}

void CameraSession::TakeChangedProperties(uint8_t *list)
{
    std::vector<vrx4k::PropertyEntry> entries;
    {
        std::lock_guard lock(m_mutex);
        entries.swap(m_changed);
    }
    // At most one entry per property code, so far below the buffer's 1100.
    vrx4k::WriteChangedProperties(list, entries);
}

void CameraSession::NoteFailure(int32_t call, uint32_t error)
{
    std::lock_guard lock(m_mutex);
    m_failedCall = call;
    m_errorNumber = error;
}

void CameraSession::LatestFailure(int32_t &call, uint32_t &error) const
{
    std::lock_guard lock(m_mutex);
    call = m_failedCall;
    error = m_errorNumber;
}

} // namespace vrx4kgp
