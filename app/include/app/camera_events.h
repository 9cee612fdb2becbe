#pragma once

#include <QEvent>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

class QObject;

// The two camera events, as codes in the window's queue.
inline constexpr QEvent::Type WM_CAMERA_IMAGE_READY = static_cast<QEvent::Type>(1125);
inline constexpr QEvent::Type WM_CAMERA_PROPERTY_CHANGED = static_cast<QEvent::Type>(1126);
// Posted to the window while camera events wait for it: one at a time, so that
// the window takes one event per turn of its event loop.
inline constexpr QEvent::Type WM_CAMERA_EVENTS_WAITING = static_cast<QEvent::Type>(1127);
// Below Qt's repaint requests (Qt::LowEventPriority), so that the picture just
// handled is painted, and input delivered, before the next one is taken.
inline constexpr int kCameraEventsWaitingPriority = -2;

// The window the camera callback posts to, and the camera events waiting for
// it, oldest first. The library calls the callback from a thread of its own,
// possibly after the window's loop has ended, so everything here sits behind
// a lock and posting to a cleared target does nothing. Holds a plain pointer,
// never a Qt object.
class CEventWindow {
public:
    using Clock = std::chrono::steady_clock;

    // Makes `window` the target (main thread, before a camera is opened).
    // Events waiting for another window are dropped.
    void Set(QObject *window);
    // Clears the target when it is `window`, dropping what waits for it;
    // later events are dropped.
    void Clear(const QObject *window);
    // Any thread. Queues an event of `type` for the target, if any, and wakes
    // the target with WM_CAMERA_EVENTS_WAITING unless a wake-up is on its way.
    // Returns true when the event was queued.
    bool Post(QEvent::Type type);

    // The target's thread, on WM_CAMERA_EVENTS_WAITING: takes the oldest event
    // off the queue and, when more wait, posts the next wake-up. Nothing when
    // `window` is not the target or nothing waits.
    std::optional<QEvent::Type> Take(const QObject *window);
    // The target's thread, on a wake-up it does not act on now: the events
    // stay queued, and no wake-up is posted, until Resume.
    void Hold(const QObject *window);
    // Wakes `window` again if events wait for it and no wake-up is on its way.
    void Resume(const QObject *window);

    // How many events wait for `window`, and the oldest of them, left queued.
    std::size_t Waiting(const QObject *window) const;
    std::optional<QEvent::Type> Next(const QObject *window) const;
    // When the latest image-ready event was queued for the target, if any was.
    std::optional<Clock::time_point> LastImageReady(const QObject *window) const;
    QObject *Target() const;

private:
    void WakeLocked();
    // Makes `window` (or none) the target, with nothing waiting for it.
    void RetargetLocked(QObject *window);

    mutable std::mutex m_lock;
    QObject *m_target = nullptr;
    std::deque<QEvent::Type> m_waiting;
    bool m_wakeUpPosted = false;
    bool m_held = false;
    std::optional<Clock::time_point> m_lastImageReady;
};

extern CEventWindow g_hEventWnd;

// The camera library's event callback: queues WM_CAMERA_IMAGE_READY for event
// 1, WM_CAMERA_PROPERTY_CHANGED for event 2, nothing for any other code;
// returns 1. Any thread.
extern "C" int32_t CameraEventCallback(int32_t context, int32_t event);
