#pragma once

#include "message_box_recorder.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

// Watches for modal dialogs while it lives: each one that appears is handed
// to `action` once (from a timer, inside the dialog's own loop). A dialog the
// action leaves open is rejected after `patience` tries, so that a test that
// went wrong fails instead of hanging.
class ModalDriver {
public:
    explicit ModalDriver(std::function<void(QDialog *)> action, int patience = 200)
        : m_action(std::move(action)), m_patience(patience)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start(10);
    }
    ModalDriver(const ModalDriver &) = delete;
    ModalDriver &operator=(const ModalDriver &) = delete;

    // How many modal dialogs were seen, in order.
    const std::vector<QPointer<QDialog>> &Seen() const { return m_seen; }

private:
    void Poll()
    {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        if (m_seen.empty() || m_seen.back() != dialog) {
            m_seen.emplace_back(dialog);
            m_waited = 0;
            m_action(dialog);
            return;
        }
        if (++m_waited > m_patience)
            dialog->reject();
    }

    std::function<void(QDialog *)> m_action;
    int m_patience;
    int m_waited = 0;
    QTimer m_timer;
    std::vector<QPointer<QDialog>> m_seen;
};
