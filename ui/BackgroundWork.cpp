#include "ui/BackgroundWork.h"

#include "ui/AppShell.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <stdexcept>

namespace verblinka {
namespace {

// How often the window looks at the work's progress.
constexpr std::chrono::milliseconds kTickInterval{40};
// The progress bar's steps: per mille of the work, so any count fits an int.
constexpr int kProgressSteps = 1000;

} // namespace

TBackgroundWork::TBackgroundWork(QWidget& owner) : QObject(&owner), owner_(owner) {}

TBackgroundWork::~TBackgroundWork() {
    // Run always waits for its thread; this only guards a thread left behind.
    if (thread_ != nullptr) {
        Join();
    }
}

void TBackgroundWork::SetStuckHandler(std::function<void()> handler,
                                      std::chrono::milliseconds stopWait) {
    stuckHandler_ = std::move(handler);
    stopWait_ = stopWait;
}

void TBackgroundWork::Join() {
    if (!thread_->isFinished()) {
        Cancel(); // the loop was told to quit: the application is ending
        // Work polls the flag often, and no read waits for long; whatever
        // still holds the thread past the wait (a system call that never
        // returns) must not keep the program alive after its window closed.
        if (!thread_->wait(QDeadlineTimer(stopWait_))) {
            if (stuckHandler_) {
                stuckHandler_();
            } else {
                std::_Exit(EXIT_SUCCESS);
            }
        }
    }
    thread_->wait();
}

bool TBackgroundWork::eventFilter(QObject* watched, QEvent* event) {
    // The progress dialog keeps its place relative to the owner when the
    // owner moves; a window manager leaves a dialog where it is.
    if (watched == &owner_ && event->type() == QEvent::Move && dialog_ != nullptr) {
        const QPoint place = owner_.pos();
        dialog_->move(dialog_->pos() + (place - ownerPlace_));
        ownerPlace_ = place;
    }
    return QObject::eventFilter(watched, event);
}

void TBackgroundWork::Cancel() {
    cancel_.store(true);
}

void TBackgroundWork::ReportProgress(std::uint64_t done, std::uint64_t total) {
    total_.store(total, std::memory_order_relaxed);
    done_.store(done, std::memory_order_relaxed);
}

bool TBackgroundWork::Run(const QString& label, const std::function<void()>& work) {
    if (Busy()) {
        throw std::logic_error("A command started while another one's work runs");
    }
    cancel_.store(false);
    done_.store(0);
    total_.store(0);

    std::exception_ptr failure;
    // No exception may leave a thread that Qt runs: the work's failure is
    // carried back here and rethrown on the window's thread.
    thread_.reset(QThread::create([&work, &failure] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    }));

    // However Run ends, its thread has ended before anything that the work
    // uses can go.
    struct TJoinAtEnd {
        TBackgroundWork& Self;
        ~TJoinAtEnd() {
            Self.Join();
            Self.thread_.reset();
            Self.owner_.removeEventFilter(&Self);
            Self.dialog_.reset();
            emit Self.BusyChanged(false);
        }
    } joinAtEnd{*this};
    emit BusyChanged(true);

    QEventLoop loop;
    connect(thread_.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    QTimer ticker;
    ticker.setInterval(kTickInterval);
    connect(&ticker, &QTimer::timeout, this, [this, &label, &clock] { Tick(label, clock); });
    ticker.start();
    thread_->start();
    // Returns when the thread's end is reported, or at once when the
    // application is quitting.
    loop.exec();
    ticker.stop();
    Join();
    if (cancel_.load()) {
        return false;
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    return true;
}

void TBackgroundWork::Tick(const QString& label, const QElapsedTimer& clock) {
    if (dialog_ == nullptr) {
        if (clock.elapsed() < kProgressDelay.count()) {
            return;
        }
        dialog_ = std::make_unique<QProgressDialog>(&owner_);
        dialog_->setObjectName(QStringLiteral("ProgressDialog"));
        OfferCloseOnly(*dialog_);
        dialog_->setWindowTitle(ApplicationTitle());
        dialog_->setFont(FormFont());
        dialog_->setLabelText(label);
        // The window stays usable (it can be moved and closed); its commands
        // refuse while the work runs.
        dialog_->setWindowModality(Qt::NonModal);
        dialog_->setAutoReset(false);
        dialog_->setAutoClose(false);
        dialog_->setMinimumDuration(0);
        connect(dialog_.get(), &QProgressDialog::canceled, this, &TBackgroundWork::Cancel);
        dialog_->show();
        ownerPlace_ = owner_.pos();
        owner_.installEventFilter(this);
    }
    const std::uint64_t total = total_.load(std::memory_order_relaxed);
    const std::uint64_t done = std::min(done_.load(std::memory_order_relaxed), total);
    if (total == 0) {
        dialog_->setRange(0, 0); // how much is left is not known
        return;
    }
    dialog_->setRange(0, kProgressSteps);
    dialog_->setValue(static_cast<int>(static_cast<long double>(done) * kProgressSteps /
                                       static_cast<long double>(total)));
}

} // namespace verblinka
