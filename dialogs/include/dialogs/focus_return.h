#pragma once

#include <QPointer>
#include <QWidget>

// Hands the keyboard back to `window` when the handler that opened modal
// windows over it ends. Window managers do that themselves; without one,
// nothing does, and the keys would go to whatever lies under the pointer.
class FocusReturn {
public:
    explicit FocusReturn(QWidget *window) : m_window(window) {}
    ~FocusReturn()
    {
        if (m_window)
            m_window->activateWindow();
    }
    FocusReturn(const FocusReturn &) = delete;
    FocusReturn &operator=(const FocusReturn &) = delete;

private:
    QPointer<QWidget> m_window;
};
