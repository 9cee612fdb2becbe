#pragma once

#include "app/message_box.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

// One message box the code under test asked for.
struct RecordedBox {
    QWidget *owner = nullptr;
    QString text;
    ui::MessageIcon icon = ui::MessageIcon::Warning;
};

// Replaces the message boxes and the yes/no question while it lives, and
// records them; the question is answered with `answer`.
class MessageBoxRecorder {
public:
    MessageBoxRecorder()
    {
        ui::SetMessageBoxHook([this](QWidget *owner, const QString &text, ui::MessageIcon icon) {
            boxes.push_back({owner, text, icon});
            if (onBox)
                onBox(boxes.back());
        });
        ui::SetQuestionHook([this](QWidget *, const QString &text) {
            questions.push_back(text);
            return answer;
        });
    }
    ~MessageBoxRecorder()
    {
        ui::SetMessageBoxHook({});
        ui::SetQuestionHook({});
    }
    MessageBoxRecorder(const MessageBoxRecorder &) = delete;
    MessageBoxRecorder &operator=(const MessageBoxRecorder &) = delete;

    std::vector<RecordedBox> boxes;
    std::vector<QString> questions;
    bool answer = false;
    // Runs inside the box's place, where the real box would run its loop.
    std::function<void(const RecordedBox &)> onBox;
};
