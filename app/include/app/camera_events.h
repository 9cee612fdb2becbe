#pragma once

#include <QEvent>

#include <cstdint>
#include <mutex>

class QObject;

// Private events the camera callback posts to the main window.
inline constexpr QEvent::Type WM_CAMERA_IMAGE_READY = static_cast<QEvent::Type>(1125);
inline constexpr QEvent::Type WM_CAMERA_PROPERTY_CHANGED = static_cast<QEvent::Type>(1126);

// The window the camera callback posts to. The library calls the callback from
// a thread of its own, possibly after the window's loop has ended, so the
// target sits behind a lock and posting to a cleared target does nothing.
// Holds a plain pointer, never a Qt object.
class CEventWindow {
public:
    // Makes `window` the target (main thread, before a camera is opened).
    void Set(QObject *window);
    // Clears the target when it is `window`; later events are dropped.
    void Clear(const QObject *window);
    // Posts an event of `type` to the target, if any. Any thread.
    // Returns true when an event was posted.
    bool Post(QEvent::Type type);
    QObject *Target() const;

private:
    mutable std::mutex m_lock;
    QObject *m_target = nullptr;
};

extern CEventWindow g_hEventWnd;

// The camera library's event callback: posts WM_CAMERA_IMAGE_READY for event 1,
// WM_CAMERA_PROPERTY_CHANGED for event 2, nothing for any other code; returns 1.
// Any thread.
extern "C" int32_t CameraEventCallback(int32_t context, int32_t event);
