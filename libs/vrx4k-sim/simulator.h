#pragma once

#include "call_record.h"
#include "camera_model.h"
#include "picture_factory.h"
#include "sim_config.h"
#include "sim_log.h"
#include "vrx4k-common/picture_queue.h"
#include "vrx4k-common/records.h"
#include "vrx4kapi.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <queue>
#include <thread>
#include <utility>
#include <vector>

namespace vrx4ksim {

// The simulated cameras between one Init and its Exit: the cameras, the open
// connections (sessions) with their picture queues, and the event thread
// that makes pictures and calls the callbacks. Every member function except
// the constructor may be called from any thread.
class Simulator {
public:
    Simulator(Config config, std::shared_ptr<SimLog> log);
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    void Start();
    // Stops the event thread and waits for it: once this returns, no callback
    // runs any more. Must not be called on the event thread.
    void Stop();
    bool OnEventThread() const;

    // The entry points; each returns 0 or -1 and records its outcome in call.
    int32_t Detect(int32_t *count, CallRecord &call);
    int32_t Open(int32_t index, uint32_t *handle, CameraCallback callback, int32_t context, CallRecord &call);
    int32_t Close(uint32_t handle, CallRecord &call);
    int32_t GetDeviceInfo(uint32_t handle, CameraDeviceInfo *info, CallRecord &call);
    int32_t GetErrorNumber(uint32_t handle, int32_t *failedCall, uint32_t *errorNumber);
    int32_t GetChangedProperty(uint32_t handle, uint8_t *list, CallRecord &call);
    int32_t Shoot(uint32_t handle, int32_t *shotNumber, int32_t *pictureCount, CallRecord &call);
    int32_t ReadImageInfo(uint32_t handle, CameraImageInfo *info, CallRecord &call);
    int32_t ReadImage(uint32_t handle, uint8_t *buffer, uint32_t size, CallRecord &call);
    // Records a failure found outside the calls above.
    void NoteFailure(uint32_t handle, uint32_t error);

private:
    using Clock = std::chrono::steady_clock;
    using PropertyEntry = vrx4k::PropertyEntry;

    struct Camera {
        CameraModel model;
        uint32_t battery = 100;
        uint32_t cardShots = 0;
        uint32_t iso = 100;
        uint32_t shutterCount = 0;
        size_t scriptPosition = 0;
        uint32_t connectedHandle = 0; // the session with a callback, 0 for none
        Clock::time_point lastPicture{};
    };

    struct Session {
        int cameraIndex = 0;
        CameraCallback callback = nullptr; // null for a probe: no events
        int32_t context = 0;
        vrx4k::PictureQueue<Picture> pictures;
        uint32_t shotsInProgress = 0;
        std::vector<PropertyEntry> changedProperties;
        uint32_t errorNumber = 0;
        int32_t failedCall = 0;
    };

    struct Job {
        Clock::time_point due;
        uint64_t sequence = 0;
        uint32_t handle = 0;
        bool connect = false; // the property report sent when a callback connects
        ShotRequest request;
        std::vector<PropertyEntry> properties; // reported once the pictures are ready
        bool extraPropertyEvent = false;
        bool operator>(const Job &other) const
        {
            return due != other.due ? due > other.due : sequence > other.sequence;
        }
    };

    // Call with m_mutex held.
    Session *FindSession(uint32_t handle);
    // The session `handle` names, provided `output` is there; otherwise
    // records the failure in call and returns null.
    Session *SessionFor(uint32_t handle, int32_t callId, const void *output, CallRecord &call);
    int32_t Fail(uint32_t handle, int32_t callId, uint32_t error, CallRecord &call);
    void Schedule(Job job);
    void AddChangedProperties(Session &session, const std::vector<PropertyEntry> &entries);
    std::vector<PropertyEntry> AllProperties(const Camera &camera) const;

    void RunEventThread();
    void RunJob(Job &job);
    // Calls the session's callback with m_mutex released; false once stopping
    // or when the session has closed.
    bool SendEvent(std::unique_lock<std::mutex> &lock, uint32_t handle, int32_t event);
    static std::string PictureLine(const char *what, uint32_t handle, const Picture &picture);

    const Config m_config;
    const std::shared_ptr<SimLog> m_log; // never null
    std::vector<CameraModel> m_models; // fixed after construction

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;         // the event thread waits here for jobs
    std::condition_variable m_callbackDone; // Close waits here for a running callback
    std::vector<Camera> m_cameras;
    std::map<uint32_t, Session> m_sessions;
    std::priority_queue<Job, std::vector<Job>, std::greater<Job>> m_jobs;
    uint64_t m_nextSequence = 0;
    uint32_t m_callbackHandle = 0; // the session whose callback is running
    bool m_stopping = false;

    std::atomic<bool> m_cancel{false}; // read while rendering, outside the lock
    std::thread m_thread;
    std::thread::id m_threadId;        // written before the thread starts
    PictureFactory m_factory;          // only the event thread uses it
};

} // namespace vrx4ksim
