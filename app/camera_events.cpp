#include "app/camera_events.h"

#include "vrx4kapi.h"

#include <QCoreApplication>

CEventWindow g_hEventWnd;

void CEventWindow::Set(QObject *window)
{
    std::lock_guard guard(m_lock);
    if (m_target != window)
        RetargetLocked(window);
}

void CEventWindow::Clear(const QObject *window)
{
    std::lock_guard guard(m_lock);
    if (m_target == window)
        RetargetLocked(nullptr);
}

void CEventWindow::RetargetLocked(QObject *window)
{
    m_target = window;
    m_waiting.clear();
    m_lastImageReady.reset();
    // A wake-up posted to the previous target is not this one's.
    m_wakeUpPosted = false;
    m_held = false;
}

void CEventWindow::WakeLocked()
{
    // Posting under the lock: the window clears the target in its destructor,
    // before QObject's destructor discards the events still queued for it.
    if (m_target && !m_held && !m_wakeUpPosted && !m_waiting.empty()) {
        m_wakeUpPosted = true;
        QCoreApplication::postEvent(m_target, new QEvent(WM_CAMERA_EVENTS_WAITING), kCameraEventsWaitingPriority);
    }
}

bool CEventWindow::Post(QEvent::Type type)
{
    std::lock_guard guard(m_lock);
    if (!m_target)
        return false;
    m_waiting.push_back(type);
    if (type == WM_CAMERA_IMAGE_READY)
        m_lastImageReady = Clock::now();
    WakeLocked();
    return true;
}

std::optional<QEvent::Type> CEventWindow::Take(const QObject *window)
{
    std::lock_guard guard(m_lock);
    if (m_target != window)
        return std::nullopt;
    m_wakeUpPosted = false;
    if (m_waiting.empty())
        return std::nullopt;
    const QEvent::Type type = m_waiting.front();
    m_waiting.pop_front();
    // Posted before the event is handled, so that a box its handler opens
    // handles the next one in its own loop; it still comes after the repaint
    // the handler asks for.
    WakeLocked();
    return type;
}

void CEventWindow::Hold(const QObject *window)
{
    std::lock_guard guard(m_lock);
    if (m_target == window) {
        m_wakeUpPosted = false;
        m_held = true;
    }
}

void CEventWindow::Resume(const QObject *window)
{
    std::lock_guard guard(m_lock);
    if (m_target == window) {
        m_held = false;
        WakeLocked();
    }
}

std::size_t CEventWindow::Waiting(const QObject *window) const
{
    std::lock_guard guard(m_lock);
    return m_target == window ? m_waiting.size() : 0;
}

std::optional<QEvent::Type> CEventWindow::Next(const QObject *window) const
{
    std::lock_guard guard(m_lock);
    if (m_target != window || m_waiting.empty())
        return std::nullopt;
    return m_waiting.front();
}

std::optional<CEventWindow::Clock::time_point> CEventWindow::LastImageReady(const QObject *window) const
{
    std::lock_guard guard(m_lock);
    return m_target == window ? m_lastImageReady : std::nullopt;
}

QObject *CEventWindow::Target() const
{
    std::lock_guard guard(m_lock);
    return m_target;
}

extern "C" int32_t CameraEventCallback(int32_t /*context*/, int32_t event)
{
    if (event == CAMERA_EVENT_IMAGE_READY)
        g_hEventWnd.Post(WM_CAMERA_IMAGE_READY);
    else if (event == CAMERA_EVENT_PROPERTY_CHANGED)
        g_hEventWnd.Post(WM_CAMERA_PROPERTY_CHANGED);
    return 1;
}
