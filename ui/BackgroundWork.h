// The long work of a window's command (a load, a search) on a thread of its
// own. The command still waits for its work to end, so what it does after the
// work happens as it always did; meanwhile the window's thread goes on
// handling events, so the window repaints, moves and can be closed. Work that
// lasts longer than kProgressDelay shows a progress dialog with a Cancel
// button; shorter work shows nothing at all. The dialog is a window of the
// owner's and moves with it.
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

class QElapsedTimer;
class QProgressDialog;
class QThread;
class QWidget;

namespace verblinka {

class TBackgroundWork final : public QObject {
    Q_OBJECT

public:
    // How long work may run before its progress dialog appears.
    static constexpr std::chrono::milliseconds kProgressDelay{500};
    // How long the application, ending, waits for work it has told to stop.
    static constexpr std::chrono::milliseconds kStopWait{5000};

    // The progress dialog is a window of owner's.
    explicit TBackgroundWork(QWidget& owner);
    ~TBackgroundWork() override;
    TBackgroundWork(const TBackgroundWork&) = delete;
    TBackgroundWork& operator=(const TBackgroundWork&) = delete;

    // True while Run runs: a command must not start another piece of work
    // then, nor change what the running work uses. BusyChanged tells when
    // this changes.
    bool Busy() const { return thread_ != nullptr; }

    // Runs work on a thread of its own and returns when it has ended, handling
    // the window's events meanwhile. label names the work in the progress
    // dialog. Returns false when the work was cancelled (its result, whole or
    // not, must then be dropped); otherwise rethrows whatever work threw.
    bool Run(const QString& label, const std::function<void()>& work);

    // Asks the running work to stop: the Cancel button, closing the window,
    // the application quitting. Does nothing when no work runs.
    void Cancel();

    // What the work polls to learn that it is to stop.
    const std::atomic<bool>& CancelFlag() const { return cancel_; }

    // From the work, on any thread: done out of total (0 when not known).
    void ReportProgress(std::uint64_t done, std::uint64_t total);

    // The progress dialog while it shows, for tests; nullptr otherwise.
    QProgressDialog* ProgressDialog() const { return dialog_.get(); }

    // What happens when work told to stop has not stopped within stopWait:
    // the application is ending then, and a closed window must end the
    // program, so by default the process ends at once (it keeps no state to
    // save). Tests put a handler that lets the work go on to its end.
    void SetStuckHandler(std::function<void()> handler,
                         std::chrono::milliseconds stopWait = kStopWait);

signals:
    // Busy() has changed: true as the work starts, false once it has ended,
    // before Run returns. Its slots must not throw.
    void BusyChanged(bool busy);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Waits for the work's thread, telling it to stop when it still runs.
    void Join();
    void Tick(const QString& label, const QElapsedTimer& clock);

    QWidget& owner_;
    std::atomic<bool> cancel_{false};
    std::atomic<std::uint64_t> done_{0};
    std::atomic<std::uint64_t> total_{0};
    std::unique_ptr<QThread> thread_;
    std::unique_ptr<QProgressDialog> dialog_;
    QPoint ownerPlace_; // where the owner was when the dialog last followed it
    std::function<void()> stuckHandler_;
    std::chrono::milliseconds stopWait_ = kStopWait;
};

} // namespace verblinka
