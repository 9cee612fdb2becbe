#include "app/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// What the box on screen looked like; read from inside its own loop.
struct SeenBox {
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QWidget *parent = nullptr;
};

// Inspects the next modal box once it is up, then presses `answer` on it.
void InspectNextBox(SeenBox &seen, QMessageBox::StandardButton answer)
{
    QTimer::singleShot(0, [&seen, answer] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            InspectNextBox(seen, answer);
            return;
        }
        seen.seen = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        seen.defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
        seen.parent = box->parentWidget();
        box->button(answer)->click();
    });
}

TEST(MessageBox, ShowsTheTitleTheIconAndOneOkButton)
{
    QWidget owner;
    for (const auto &[icon, expected] : {std::pair{ui::MessageIcon::Error, QMessageBox::Critical},
                                         std::pair{ui::MessageIcon::Warning, QMessageBox::Warning}}) {
        SeenBox seen;
        InspectNextBox(seen, QMessageBox::Ok);
        ui::ShowMessageBox(&owner, QStringLiteral("Photography failed."), icon);
        ASSERT_TRUE(seen.seen);
        EXPECT_EQ(seen.title, QStringLiteral("Vrx4kShooting Sample"));
        EXPECT_EQ(seen.text, QStringLiteral("Photography failed."));
        EXPECT_EQ(seen.icon, expected);
        EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        EXPECT_EQ(seen.parent, &owner);
    }

    SeenBox ownerless;
    InspectNextBox(ownerless, QMessageBox::Ok);
    ui::ShowMessageBox(nullptr, QStringLiteral("A camera is not connected."), ui::MessageIcon::Error);
    ASSERT_TRUE(ownerless.seen);
    EXPECT_EQ(ownerless.parent, nullptr);
}

TEST(MessageBox, AsksYesOrNoWithNoAsTheDefault)
{
    for (const auto answer : {QMessageBox::Yes, QMessageBox::No}) {
        SeenBox seen;
        InspectNextBox(seen, answer);
        const bool yes = ui::AskYesNo(nullptr, QStringLiteral("Close anyway?"));
        ASSERT_TRUE(seen.seen);
        EXPECT_EQ(yes, answer == QMessageBox::Yes);
        EXPECT_EQ(seen.title, QStringLiteral("Vrx4kShooting Sample"));
        EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(seen.defaultButton, QMessageBox::No);
    }
}

TEST(MessageBox, HooksReplaceTheBoxesUntilCleared)
{
    std::vector<QString> shown;
    ui::SetMessageBoxHook([&](QWidget *, const QString &text, ui::MessageIcon) { shown.push_back(text); });
    ui::SetQuestionHook([](QWidget *, const QString &) { return true; });
    ui::ShowMessageBox(nullptr, QStringLiteral("one"), ui::MessageIcon::Warning);
    EXPECT_TRUE(ui::AskYesNo(nullptr, QStringLiteral("two")));
    EXPECT_EQ(shown, std::vector<QString>{QStringLiteral("one")});

    ui::SetMessageBoxHook({});
    ui::SetQuestionHook({});
    SeenBox seen;
    InspectNextBox(seen, QMessageBox::Ok);
    ui::ShowMessageBox(nullptr, QStringLiteral("three"), ui::MessageIcon::Warning);
    EXPECT_TRUE(seen.seen);
    EXPECT_EQ(shown.size(), 1u);
}

} // namespace
