#include "app/camera_events.h"

#include "vrx4kapi.h"

#include <QCoreApplication>

CEventWindow g_hEventWnd;

void CEventWindow::Set(QObject *window)
{
    std::lock_guard guard(m_lock);
    m_target = window;
}

void CEventWindow::Clear(const QObject *window)
{
    std::lock_guard guard(m_lock);
    if (m_target == window)
        m_target = nullptr;
}

bool CEventWindow::Post(QEvent::Type type)
{
    // Posting under the lock: the window clears the target in its destructor,
    // before QObject's destructor discards the events still queued for it.
    std::lock_guard guard(m_lock);
    if (!m_target)
        return false;
    QCoreApplication::postEvent(m_target, new QEvent(type));
    return true;
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
