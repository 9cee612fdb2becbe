#include "app/message_box.h"

#include <QMessageBox>

namespace ui {

namespace {

MessageBoxHook &CurrentMessageBoxHook()
{
    static MessageBoxHook hook;
    return hook;
}

QuestionHook &CurrentQuestionHook()
{
    static QuestionHook hook;
    return hook;
}

} // namespace

void ShowMessageBox(QWidget *owner, const QString &text, MessageIcon icon)
{
    if (const MessageBoxHook hook = CurrentMessageBoxHook()) {
        hook(owner, text, icon);
        return;
    }
    QMessageBox box(icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::Warning,
                    QString::fromLatin1(kMessageBoxTitle), text, QMessageBox::Ok, owner);
    box.exec();
}

bool AskYesNo(QWidget *owner, const QString &text)
{
    if (const QuestionHook hook = CurrentQuestionHook())
        return hook(owner, text);
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kMessageBoxTitle), text,
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void SetMessageBoxHook(MessageBoxHook hook)
{
    CurrentMessageBoxHook() = std::move(hook);
}

void SetQuestionHook(QuestionHook hook)
{
    CurrentQuestionHook() = std::move(hook);
}

} // namespace ui
