#include "simulator.h"

#include "vrx4k-common/records.h"
#include "vrx4k_sim.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <new>

namespace vrx4ksim {

namespace {

constexpr auto kConnectDelay = std::chrono::milliseconds(20);
constexpr uint32_t kShotsPerBatteryPercent = 10;

// Handles are never reused within a process, so a stale one always fails.
std::atomic<uint32_t> g_nextHandle{0x00010001};

uint32_t NewHandle()
{
    uint32_t handle;
    do {
        handle = g_nextHandle.fetch_add(1);
    } while (handle == 0 || handle == 0xFFFFFFFFu);
    return handle;
}

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

} // namespace

Simulator::Simulator(Config config, std::shared_ptr<SimLog> log)
    : m_config(std::move(config)), m_log(std::move(log)), m_factory(m_config, m_log->IsOpen())
{
    for (int index = 0; index < m_config.cameraCount; ++index) {
        Camera camera;
        camera.model = ModelForIndex(index);
        camera.battery = camera.model.battery;
        camera.cardShots = m_config.cardShots.value_or(camera.model.cardShots);
        camera.iso = AutoIso(1);
        m_models.push_back(camera.model);
        m_cameras.push_back(std::move(camera));
    }
}

Simulator::~Simulator()
{
    Stop();
}

void Simulator::Start()
{
    m_thread = std::thread(&Simulator::RunEventThread, this);
    m_threadId = m_thread.get_id();
}

void Simulator::Stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_cancel = true;
    }
    m_wake.notify_all();
    m_callbackDone.notify_all();
    if (m_thread.joinable() && !OnEventThread())
        m_thread.join();
}

bool Simulator::OnEventThread() const
{
    return std::this_thread::get_id() == m_threadId;
}

Simulator::Session *Simulator::FindSession(uint32_t handle)
{
    auto it = m_sessions.find(handle);
    return it == m_sessions.end() ? nullptr : &it->second;
}

int32_t Simulator::Fail(uint32_t handle, int32_t callId, uint32_t error, CallRecord &call)
{
    if (Session *session = FindSession(handle)) {
        session->errorNumber = error;
        session->failedCall = callId;
    }
    return call.Fail(error);
}

Simulator::Session *Simulator::SessionFor(uint32_t handle, int32_t callId, const void *output, CallRecord &call)
{
    Session *session = FindSession(handle);
    if (!session) {
        call.Fail(VRX4K_ERROR_BAD_HANDLE);
        return nullptr;
    }
    if (!output) {
        Fail(handle, callId, VRX4K_ERROR_BAD_ARGUMENT, call);
        return nullptr;
    }
    return session;
}

void Simulator::Schedule(Job job)
{
    job.sequence = m_nextSequence++;
    m_jobs.push(std::move(job));
    m_wake.notify_all();
}

std::vector<Simulator::PropertyEntry> Simulator::AllProperties(const Camera &camera) const
{
    return {{VRX4K_SIM_PROPERTY_BATTERY, camera.battery},
            {VRX4K_SIM_PROPERTY_SHOTS_REMAINING, camera.cardShots},
            {VRX4K_SIM_PROPERTY_ISO, camera.iso},
            {VRX4K_SIM_PROPERTY_SHUTTER_COUNT, camera.shutterCount}};
}

void Simulator::AddChangedProperties(Session &session, const std::vector<PropertyEntry> &entries)
{
    std::vector<PropertyEntry> &list = session.changedProperties;
    if (list.size() + entries.size() > CHANGED_PROPERTY_MAX_ENTRIES) {
        // Nobody has read the list for a long time: keep the latest value of each code.
        std::vector<PropertyEntry> latest;
        for (const PropertyEntry &entry : list) {
            auto same = std::find_if(latest.begin(), latest.end(),
                                     [&](const PropertyEntry &kept) { return kept.first == entry.first; });
            if (same != latest.end())
                same->second = entry.second;
            else
                latest.push_back(entry);
        }
        list = std::move(latest);
    }
    list.insert(list.end(), entries.begin(), entries.end());
}

void Simulator::NoteFailure(uint32_t handle, uint32_t error)
{
    std::lock_guard lock(m_mutex);
    if (Session *session = FindSession(handle)) {
        session->errorNumber = error;
        session->failedCall = 0;
    }
}

int32_t Simulator::Detect(int32_t *count, CallRecord &call)
{
    if (!count)
        return call.Fail(VRX4K_ERROR_BAD_ARGUMENT);
    if (m_config.failDetect)
        return call.Fail(VRX4K_ERROR_DETECT_FAILED);
    *count = m_config.cameraCount;
    call.Out("count", *count);
    return call.Succeed();
}

int32_t Simulator::Open(int32_t index, uint32_t *handle, CameraCallback callback, int32_t context,
                        CallRecord &call)
{
    if (handle)
        *handle = 0;
    if (!handle || index < 0 || index >= m_config.cameraCount)
        return call.Fail(VRX4K_ERROR_BAD_ARGUMENT);
    if (m_config.failOpen.count(index))
        return call.Fail(VRX4K_ERROR_OPEN_FAILED);

    std::lock_guard lock(m_mutex);
    if (m_stopping)
        return call.Fail(VRX4K_ERROR_NOT_INITIALISED);
    Camera &camera = m_cameras[index];
    if (callback && camera.connectedHandle != 0)
        return call.Fail(VRX4K_ERROR_IN_USE);

    const uint32_t newHandle = NewHandle();
    Session &session = m_sessions[newHandle];
    session.cameraIndex = index;
    session.callback = callback;
    session.context = context;
    if (callback) {
        camera.connectedHandle = newHandle;
        // A camera reports its state when a program connects to it.
        Job job;
        job.due = Clock::now() + kConnectDelay;
        job.handle = newHandle;
        job.connect = true;
        Schedule(std::move(job));
    }
    *handle = newHandle;
    call.Out("handle", newHandle);
    return call.Succeed();
}

int32_t Simulator::Close(uint32_t handle, CallRecord &call)
{
    std::unique_lock lock(m_mutex);
    Session *session = FindSession(handle);
    if (!session)
        return call.Fail(VRX4K_ERROR_BAD_HANDLE);
    call.Out("discarded", static_cast<int64_t>(session->pictures.Held()));
    Camera &camera = m_cameras[session->cameraIndex];
    if (camera.connectedHandle == handle)
        camera.connectedHandle = 0;
    m_sessions.erase(handle);
    // A callback running on the event thread for this camera finishes before
    // Close returns; the callback itself may close its camera.
    if (!OnEventThread())
        m_callbackDone.wait(lock, [&] { return m_callbackHandle != handle; });
    return call.Succeed();
}

int32_t Simulator::GetDeviceInfo(uint32_t handle, CameraDeviceInfo *info, CallRecord &call)
{
    std::lock_guard lock(m_mutex);
    Session *session = SessionFor(handle, VRX4K_CALL_GET_DEVICE_INFO, info, call);
    if (!session)
        return -1;

    const Camera &camera = m_cameras[session->cameraIndex];
    vrx4k::DeviceInfoWriter out(*info);
    out.Bytes(0, VRX4K_SIM_DEVICE_MAGIC);
    out.Le32(VRX4K_SIM_DEVICE_VERSION_OFFSET, 1);
    out.Le32(VRX4K_SIM_DEVICE_INDEX_OFFSET, static_cast<uint32_t>(session->cameraIndex));
    out.Le32(VRX4K_SIM_DEVICE_FORMATS_OFFSET, 0x7);
    out.Le32(VRX4K_SIM_DEVICE_WIDTH_OFFSET, m_config.width);
    out.Le32(VRX4K_SIM_DEVICE_HEIGHT_OFFSET, m_config.height);
    out.Le32(VRX4K_SIM_DEVICE_BATTERY_OFFSET, camera.battery);
    out.Le32(VRX4K_SIM_DEVICE_REMAINING_OFFSET, camera.cardShots);
    out.Le32(VRX4K_SIM_DEVICE_ISO_OFFSET, camera.iso);
    out.Le32(VRX4K_SIM_DEVICE_SHUTTER_OFFSET, camera.shutterCount);
    out.Text(VRX4K_SIM_DEVICE_VENDOR_OFFSET, VRX4K_SIM_DEVICE_TEXT_SIZE, camera.model.vendor);
    out.Text(VRX4K_SIM_DEVICE_MODEL_OFFSET, VRX4K_SIM_DEVICE_TEXT_SIZE, camera.model.modelCode);
    out.Text(VRX4K_SIM_DEVICE_SERIAL_OFFSET, VRX4K_SIM_DEVICE_TEXT_SIZE, camera.model.serial);
    out.Text(VRX4K_SIM_DEVICE_FIRMWARE_OFFSET, VRX4K_SIM_DEVICE_TEXT_SIZE, camera.model.firmware);
    out.Text(VRX4K_SIM_DEVICE_PORT_OFFSET, 64, camera.model.port);
    out.Name(camera.model.name);
    out.Detail(camera.model.detail);
    call.Out("name", "\"" + camera.model.name + "\"");
    return call.Succeed();
}

int32_t Simulator::GetErrorNumber(uint32_t handle, int32_t *failedCall, uint32_t *errorNumber)
{
    std::lock_guard lock(m_mutex);
    Session *session = FindSession(handle);
    if (!session || !errorNumber)
        return -1;
    if (failedCall)
        *failedCall = session->failedCall;
    *errorNumber = session->errorNumber;
    return 0;
}

int32_t Simulator::GetChangedProperty(uint32_t handle, uint8_t *list, CallRecord &call)
{
    std::vector<PropertyEntry> entries;
    {
        std::lock_guard lock(m_mutex);
        Session *session = SessionFor(handle, VRX4K_CALL_GET_CHANGED_PROPERTY, list, call);
        if (!session)
            return -1;
        entries.swap(session->changedProperties);
    }
    // AddChangedProperties keeps the list within CHANGED_PROPERTY_MAX_ENTRIES.
    const size_t count = vrx4k::WriteChangedProperties(list, entries);
    std::string logged;
    for (size_t i = 0; i < count; ++i)
        logged += (logged.empty() ? "" : ",") + Hex(entries[i].first) + ":" + std::to_string(entries[i].second);
    call.Out("count", static_cast<int64_t>(count));
    if (!logged.empty())
        call.Out("entries", logged);
    return call.Succeed();
}

int32_t Simulator::Shoot(uint32_t handle, int32_t *shotNumber, int32_t *pictureCount, CallRecord &call)
{
    std::lock_guard lock(m_mutex);
    Session *session = FindSession(handle);
    if (!session)
        return call.Fail(VRX4K_ERROR_BAD_HANDLE);
    Camera &camera = m_cameras[session->cameraIndex];
    if (session->shotsInProgress + session->pictures.Waiting() >= m_config.bufferShots)
        return Fail(handle, VRX4K_CALL_SHOOT, VRX4K_ERROR_BUFFER_FULL, call);
    if (camera.cardShots == 0)
        return Fail(handle, VRX4K_CALL_SHOOT, VRX4K_ERROR_CARD_FULL, call);

    ShotAction action;
    if (camera.scriptPosition < m_config.script.size())
        action = m_config.script[camera.scriptPosition++];
    if (action.kind == ShotKind::Default)
        action.kind = m_config.format;
    call.Out("script", ShotKindName(action));
    if (action.kind == ShotKind::ShootFail)
        return Fail(handle, VRX4K_CALL_SHOOT, VRX4K_ERROR_SHOOT_FAILED, call);

    const uint32_t previousIso = camera.iso;
    const uint32_t previousBattery = camera.battery;
    ++camera.shutterCount;
    --camera.cardShots;
    if (camera.shutterCount % kShotsPerBatteryPercent == 0 && camera.battery > 1)
        --camera.battery;
    camera.iso = AutoIso(camera.shutterCount);

    Job job;
    job.handle = handle;
    job.request.action = action;
    job.request.shot = camera.shutterCount;
    job.request.cameraIndex = session->cameraIndex;
    job.request.model = &m_models[session->cameraIndex];
    job.request.timeMs = NowMs();
    job.request.iso = camera.iso;
    if (action.kind == ShotKind::PropsDup)
        job.properties.push_back({VRX4K_SIM_PROPERTY_ISO, previousIso == camera.iso ? camera.iso * 2 : previousIso});
    if (action.kind == ShotKind::PropsDup || camera.iso != previousIso)
        job.properties.push_back({VRX4K_SIM_PROPERTY_ISO, camera.iso});
    if (camera.battery != previousBattery)
        job.properties.push_back({VRX4K_SIM_PROPERTY_BATTERY, camera.battery});
    job.properties.push_back({VRX4K_SIM_PROPERTY_SHOTS_REMAINING, camera.cardShots});
    job.properties.push_back({VRX4K_SIM_PROPERTY_SHUTTER_COUNT, camera.shutterCount});
    job.extraPropertyEvent = action.kind == ShotKind::PropsEmpty;

    // Pictures come out in shooting order, no faster than the camera's burst rate.
    const Clock::time_point now = Clock::now();
    job.due = std::max(now + std::chrono::milliseconds(m_config.delayMs),
                       camera.lastPicture + std::chrono::milliseconds(m_config.intervalMs));
    camera.lastPicture = job.due;
    ++session->shotsInProgress;
    Schedule(std::move(job));

    const int32_t pictures = action.kind == ShotKind::RawPlusJpeg ? 2 : 1;
    if (shotNumber)
        *shotNumber = static_cast<int32_t>(camera.shutterCount);
    if (pictureCount)
        *pictureCount = pictures;
    call.Out("shot", camera.shutterCount);
    call.Out("pictures", pictures);
    return call.Succeed();
}

int32_t Simulator::ReadImageInfo(uint32_t handle, CameraImageInfo *info, CallRecord &call)
{
    std::lock_guard lock(m_mutex);
    Session *session = SessionFor(handle, VRX4K_CALL_READ_IMAGE_INFO, info, call);
    if (!session)
        return -1;
    std::optional<Picture> picture = session->pictures.TakeOldest();
    if (!picture)
        return Fail(handle, VRX4K_CALL_READ_IMAGE_INFO, VRX4K_ERROR_NO_IMAGE, call);
    if (picture->failInfo) {
        call.Out("lost_shot", picture->shot);
        return Fail(handle, VRX4K_CALL_READ_IMAGE_INFO, VRX4K_ERROR_INFO_FAILED, call);
    }
    if (const auto &unread = session->pictures.Described())
        call.Out("unread_shot", unread->shot);

    // The raw file is the simulator's own format, which the program keeps
    // as .RWQ; its JPEGs are .JPG whatever type code a script gives them.
    const bool raw = picture->type == CAMERA_IMAGE_RAW;
    vrx4k::WriteImageInfo(*info, picture->type, picture->size, {raw ? "RWQ" : "JPG", picture->shot});
    call.Out("shot", picture->shot);
    call.Out("part", picture->part);
    call.Out("type", picture->type);
    call.Out("size", picture->size);
    call.Out("width", picture->width);
    call.Out("height", picture->height);
    call.Out("time_ms", picture->timeMs);
    call.Out("iso", picture->iso);
    call.Out("waiting", static_cast<int64_t>(session->pictures.Waiting()));
    session->pictures.Describe(std::move(*picture));
    return call.Succeed();
}

int32_t Simulator::ReadImage(uint32_t handle, uint8_t *buffer, uint32_t size, CallRecord &call)
{
    Picture picture;
    {
        std::lock_guard lock(m_mutex);
        Session *session = SessionFor(handle, VRX4K_CALL_READ_IMAGE, buffer, call);
        if (!session)
            return -1;
        if (const uint32_t error = session->pictures.CheckRead(size))
            return Fail(handle, VRX4K_CALL_READ_IMAGE, error, call);
        picture = session->pictures.TakeDescribed();
        if (picture.failRead) {
            call.Out("lost_shot", picture.shot);
            return Fail(handle, VRX4K_CALL_READ_IMAGE, VRX4K_ERROR_TRANSFER_FAILED, call);
        }
    }
    if (size > 0)
        std::memcpy(buffer, picture.bytes.data(), size);
    call.Out("shot", picture.shot);
    call.Then(PictureLine("delivered", handle, picture));
    return call.Succeed();
}

std::string Simulator::PictureLine(const char *what, uint32_t handle, const Picture &picture)
{
    return std::string(what) + " handle=" + std::to_string(handle) + " shot=" + std::to_string(picture.shot) +
           " part=" + std::to_string(picture.part) + " type=" + std::to_string(picture.type) +
           " size=" + std::to_string(picture.size) + " sha256=" + picture.sha256;
}

void Simulator::RunEventThread()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (m_jobs.empty()) {
            m_wake.wait(lock);
            continue;
        }
        // A copy: the queue may grow, and move its jobs, while this thread waits.
        const Clock::time_point due = m_jobs.top().due;
        if (Clock::now() < due) {
            m_wake.wait_until(lock, due);
            continue;
        }
        Job job = m_jobs.top();
        m_jobs.pop();
        lock.unlock();
        try {
            RunJob(job);
        } catch (const std::exception &) {
            // Out of memory while queueing: the event thread must go on.
        }
        lock.lock();
    }
}

void Simulator::RunJob(Job &job)
{
    std::unique_lock lock(m_mutex);
    Session *session = FindSession(job.handle);
    if (!session)
        return;
    if (job.connect) {
        AddChangedProperties(*session, AllProperties(m_cameras[session->cameraIndex]));
        SendEvent(lock, job.handle, CAMERA_EVENT_PROPERTY_CHANGED);
        return;
    }

    lock.unlock();
    std::vector<Picture> pictures;
    try {
        pictures = m_factory.Make(job.request, m_cancel);
    } catch (const std::bad_alloc &) {
        pictures.clear(); // reported below as a picture that could not be made
    }
    lock.lock();
    session = FindSession(job.handle);
    if (!session || m_stopping)
        return;
    --session->shotsInProgress;
    if (pictures.empty()) {
        m_log->Write("failed handle=" + std::to_string(job.handle) + " shot=" + std::to_string(job.request.shot));
        return;
    }
    for (Picture &picture : pictures) {
        if (m_log->IsOpen())
            m_log->Write(PictureLine("ready", job.handle, picture));
        session->pictures.Push(std::move(picture));
    }
    AddChangedProperties(*session, job.properties);

    for (size_t i = 0; i < pictures.size(); ++i) {
        if (!SendEvent(lock, job.handle, CAMERA_EVENT_IMAGE_READY))
            return;
    }
    if (SendEvent(lock, job.handle, CAMERA_EVENT_PROPERTY_CHANGED) && job.extraPropertyEvent)
        SendEvent(lock, job.handle, CAMERA_EVENT_PROPERTY_CHANGED);
}

bool Simulator::SendEvent(std::unique_lock<std::mutex> &lock, uint32_t handle, int32_t event)
{
    Session *session = FindSession(handle);
    if (m_stopping || !session)
        return false;
    if (!session->callback)
        return true;
    const CameraCallback callback = session->callback;
    const int32_t context = session->context;
    if (m_log->IsOpen())
        m_log->Write("event handle=" + std::to_string(handle) + " code=" + std::to_string(event));
    m_callbackHandle = handle;
    lock.unlock();
    callback(context, event);
    lock.lock();
    m_callbackHandle = 0;
    m_callbackDone.notify_all();
    return true;
}

} // namespace vrx4ksim
