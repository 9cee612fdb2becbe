#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace ui {

// The title of every message box of the program.
inline constexpr const char kMessageBoxTitle[] = "Vrx4kShooting Sample";

enum class MessageIcon { Error, Warning };

// Shows a modal box with the program's title, the icon and a single OK button,
// and returns when it is dismissed. owner may be null (no owner window).
// The box runs its own event loop: posted events keep being delivered.
void ShowMessageBox(QWidget *owner, const QString &text, MessageIcon icon);

// Asks a yes/no question (warning icon, Yes and No, No the default) with the
// program's title. Returns true for Yes.
bool AskYesNo(QWidget *owner, const QString &text);

// Tests replace the boxes; an empty function restores the real ones.
using MessageBoxHook = std::function<void(QWidget *owner, const QString &text, MessageIcon icon)>;
using QuestionHook = std::function<bool(QWidget *owner, const QString &text)>;
void SetMessageBoxHook(MessageBoxHook hook);
void SetQuestionHook(QuestionHook hook);

} // namespace ui
