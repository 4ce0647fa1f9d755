#include "ui/Commands.h"

#include "ui/AppShell.h"
#include "ui/BackgroundWork.h"

#include <QAbstractButton>
#include <QAction>
#include <QWidget>

namespace verblinka {

TCommands::TCommands(QWidget& window, TBackgroundWork& work)
    : QObject(&window), window_(window), work_(work) {
    connect(&work_, &TBackgroundWork::BusyChanged, this, &TCommands::FollowWork);
}

void TCommands::Run(const std::function<void()>& command) noexcept {
    if (work_.Busy()) {
        return; // one command at a time
    }
    RunCommand(command);
}

void TCommands::Bind(QAbstractButton& button, std::function<void()> command) {
    connect(&button, &QAbstractButton::clicked, this,
            [this, command = std::move(command)] { Run(command); });
    button.setEnabled(!work_.Busy());
    buttons_.emplace_back(&button);
}

void TCommands::Bind(QAction& action, std::function<void()> command) {
    connect(&action, &QAction::triggered, this,
            [this, command = std::move(command)] { Run(command); });
    action.setEnabled(!work_.Busy());
    actions_.emplace_back(&action);
}

void TCommands::FollowWork(bool busy) {
    if (busy) {
        focusBefore_ = window_.focusWidget();
    }
    for (const QPointer<QAbstractButton>& button : buttons_) {
        if (button != nullptr) {
            button->setEnabled(!busy);
        }
    }
    for (const QPointer<QAction>& action : actions_) {
        if (action != nullptr) {
            action->setEnabled(!busy);
        }
    }
    if (busy) {
        focusMoved_ = window_.focusWidget();
        return;
    }
    if (focusBefore_ != nullptr && focusBefore_ != focusMoved_ &&
        window_.focusWidget() == focusMoved_ && focusBefore_->isEnabled()) {
        focusBefore_->setFocus(Qt::OtherFocusReason);
    }
    focusBefore_.clear();
    focusMoved_.clear();
}

} // namespace verblinka
