// The one path of every command of the program's windows: refused while
// background work runs, failures stopped at the command's own boundary, and
// the controls that start commands disabled while the work runs.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <vector>

class QAbstractButton;
class QAction;
class QWidget;

namespace verblinka {

class TBackgroundWork;

// The commands of one window. A command that starts work waits for it in an
// event loop of its own, and what the work reads must not change meanwhile:
// while the work runs, every other command is refused without a word, and the
// buttons and actions that start commands are disabled, as an application
// disables its actions. Both windows share the main window's work, so a load
// or search disables the view's commands too, and a replay the main window's.
class TCommands final : public QObject {
    Q_OBJECT

public:
    // A child of window; work outlives it or ends the connection by going.
    TCommands(QWidget& window, TBackgroundWork& work);

    // Runs command unless work runs. No exception leaves it (RunCommand): a
    // failure goes to the application's error box.
    void Run(const std::function<void()>& command) noexcept;

    // Makes a click of button, or a trigger of action, run command through
    // Run; the control is disabled while work runs.
    void Bind(QAbstractButton& button, std::function<void()> command);
    void Bind(QAction& action, std::function<void()> command);

private:
    // Disables or enables the bound controls. A control that had the keyboard
    // focus loses it when disabled; it gets it back when the work ends,
    // unless the user has put it elsewhere meanwhile.
    void FollowWork(bool busy);

    QWidget& window_;
    TBackgroundWork& work_;
    std::vector<QPointer<QAbstractButton>> buttons_;
    std::vector<QPointer<QAction>> actions_;
    QPointer<QWidget> focusBefore_; // where the focus was when the work began
    QPointer<QWidget> focusMoved_;  // where disabling the controls put it
};

} // namespace verblinka
