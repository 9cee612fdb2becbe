#pragma once

#include "file_values.h"
#include "gphoto2_access.h"
#include "vrx4k-common/picture_queue.h"
#include "vrx4k-common/records.h"
#include "vrx4kapi.h"

#include <gphoto2/gphoto2.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vrx4kgp {

using Settings = std::vector<std::pair<std::string, std::string>>;

// One opened camera. libgphoto2 must not be used from several threads on one
// camera, so every libgphoto2 call for it runs on the session's own worker
// thread, which takes jobs from a queue and, for a camera opened with a
// callback, waits for the camera's events in between. The picture queue and
// the changed properties live under the session's mutex and are read from
// any thread without touching libgphoto2.
class CameraSession {
public:
    CameraSession(DetectedCamera camera, CameraCallback callback, int32_t context, Settings settings);
    ~CameraSession();
    CameraSession(const CameraSession &) = delete;
    CameraSession &operator=(const CameraSession &) = delete;

    // Starts the worker, which opens the camera. Returns 0 or an error number;
    // after a failure the worker has ended.
    uint32_t Open();
    // Asks the worker to close the camera and end. Joins it unless called on
    // the worker itself (from inside the callback): then Join must follow
    // later from another thread.
    void Stop();
    void Join();
    bool OnWorkerThread() const;

    // Each returns 0 or an error number.
    uint32_t GetDeviceInfo(CameraDeviceInfo &info);
    // Waits up to shootWait for the camera to accept or refuse the shot; a
    // camera still busy with it then (a long exposure) counts as accepted.
    uint32_t Shoot(std::chrono::milliseconds shootWait = std::chrono::seconds(2));
    uint32_t ReadImageInfo(CameraImageInfo &info);
    uint32_t ReadImage(uint8_t *buffer, uint32_t size);
    void TakeChangedProperties(uint8_t *list);

    void NoteFailure(int32_t call, uint32_t error);
    void LatestFailure(int32_t &call, uint32_t &error) const;

private:
    using Clock = std::chrono::steady_clock;
    using Job = std::function<uint32_t()>;
    struct QueuedJob {
        Job work;
        std::shared_ptr<std::promise<uint32_t>> result; // null: nobody waits
    };
    // A file the camera announced whose download failed: fetched again
    // later, ahead of the files announced after it.
    struct Undelivered {
        CameraFilePath path;
        int attempts = 0;      // failed downloads while the camera was there
        Clock::time_point due; // no sooner than this, unless the camera just came back
    };
    struct Picture {
        int32_t type = 0;
        uint32_t number = 0; // since the camera was opened, from 1
        uint32_t shot = 0;   // a raw file and its JPEG share it
        std::string name;    // as the camera named the file
        std::vector<uint8_t> bytes;
    };
    // One Shoot's answer, shared between the caller and the worker: whoever
    // comes second sees what the other did.
    struct ShotOutcome {
        std::mutex mutex;
        bool done = false;
        bool abandoned = false; // Shoot stopped waiting and returned 0
        uint32_t error = 0;
    };

    void Run(std::promise<uint32_t> opened);
    uint32_t OpenCamera();
    void CloseCamera();
    // Runs job on the worker and waits for its result; runs it directly when
    // already on the worker (a call from inside the callback).
    uint32_t RunOnWorker(Job job);
    void Post(Job job);
    void WaitForEvent();
    // Downloads and announces a file the camera reported, after those
    // still undelivered.
    void Download(const CameraFilePath &path);
    // Fetches the undelivered files in order, those due or all of them.
    void DeliverUndelivered(bool all);
    // Returns libgphoto2's result: a failure is worth another attempt.
    int Fetch(const CameraFilePath &path);
    void PollProperties();
    uint32_t Trigger();
    int Capture();
    void LoseCamera(int result);
    void Reconnect();
    // Opens detected, the camera of this session when its serial number (or
    // for a camera without one, its model alone) says so; null otherwise.
    Camera *OpenAgain(const DetectedCamera &detected, bool onlyOfItsModel);
    void ReleaseCamera();
    bool Lost() const;
    // Calls the callback with no lock held; false once the session is stopping.
    bool SendEvent(int32_t event);

    DetectedCamera m_detected; // only the worker changes the port, on reconnecting
    const CameraCallback m_callback; // null for a probe: no event handling
    const int32_t m_context;
    const Settings m_settings;
    const bool m_log; // VRX4K_GPHOTO2_DEBUG: what each picture's description leaves out

    // Only the worker touches these.
    Camera *m_camera = nullptr;
    GPContext *m_gpContext = nullptr;
    std::map<uint32_t, uint32_t> m_reported; // property code -> last value reported
    Clock::time_point m_nextPropertyPoll{};
    int m_failedWaits = 0;
    uint32_t m_pictureCount = 0;
    ShotCounter m_shots;
    std::string m_serial;          // empty: the camera gives none
    bool m_noEventWaiting = false; // the driver cannot wait for events
    std::vector<std::string> m_driverMessages; // libgphoto2's errors during the current call
    std::string m_refusal;                     // what the driver said about the latest refused shot
    bool m_quiet = false;                      // looking for a lost camera: its failures are expected
    std::deque<Undelivered> m_undelivered;     // announced, not downloaded yet

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<QueuedJob> m_jobs;
    bool m_stopping = false;
    bool m_lost = false; // the camera stopped answering; the worker looks for it
    vrx4k::PictureQueue<Picture> m_pictures;
    std::vector<vrx4k::PropertyEntry> m_changed;
    int32_t m_failedCall = 0;
    uint32_t m_errorNumber = 0;

    std::thread m_thread;
    std::thread::id m_threadId;
};

// A libgphoto2 result (< 0) as an error number.
uint32_t GphotoError(int result);

} // namespace vrx4kgp
