// Loads and searches off the window's thread: the progress dialog after half
// a second and never before, Cancel leaving the dictionary, list, selection
// and caption as they were, no second command while work runs, and closing
// the window mid-load ending the event loop cleanly.
#include "UiTestSupport.h"

#include "ui/BackgroundWork.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace verblinka::test {
namespace {

// Holds the work's thread until the test opens it or the work is cancelled
// (and gives up after a while, so that no fault can hang the test).
class TGate {
public:
    explicit TGate(const TfrmMain& frm) : frm_(frm) {}
    void Open() { open_.store(true); }
    // On the work's thread.
    void Wait() const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!open_.load() && !frm_.Work().CancelFlag().load() &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

private:
    const TfrmMain& frm_;
    std::atomic<bool> open_{false};
};

// What the window's progress dialog looked like when it first showed.
struct TProgressRecord {
    bool shown = false;
    qint64 after = 0; // milliseconds from the watch's start
    QString label;
    QString cancelButton;
    bool waitCursor = false;
    bool ownedByWindow = false;
};

// Watches for the window's progress dialog while it lives; the first time it
// shows, records it and runs onShown.
class TProgressWatch {
public:
    explicit TProgressWatch(TfrmMain& frm, std::function<void(QProgressDialog&)> onShown = {})
        : frm_(frm), onShown_(std::move(onShown)) {
        clock_.start();
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(10);
    }

    const TProgressRecord& Record() const { return record_; }

private:
    void Poll() {
        auto* dialog = frm_.findChild<QProgressDialog*>();
        if (record_.shown || dialog == nullptr || !dialog->isVisible()) {
            return;
        }
        record_.shown = true;
        record_.after = clock_.elapsed();
        record_.label = dialog->labelText();
        if (const auto* cancel = dialog->findChild<QPushButton*>()) {
            record_.cancelButton = cancel->text();
        }
        record_.waitCursor = QApplication::overrideCursor() != nullptr &&
                             QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        record_.ownedByWindow = dialog == frm_.Work().ProgressDialog();
        if (onShown_) {
            onShown_(*dialog);
        }
    }

    TfrmMain& frm_;
    std::function<void(QProgressDialog&)> onShown_;
    QElapsedTimer clock_;
    QTimer timer_;
    TProgressRecord record_;
};

void ClickCancel(QProgressDialog& dialog) {
    auto* cancel = dialog.findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    QTest::mouseClick(cancel, Qt::LeftButton);
}

// The window's state that a cancelled command must leave alone.
struct TWindowState {
    explicit TWindowState(const TfrmMain& frm)
        : words(ListedWords(frm)), selected(SelectedRows(frm)), caption(frm.windowTitle()),
          rows(frm.Dictionary().Network.PatternCount()),
          lastRowWeight(frm.Dictionary().Network.Weight(rows - 1, 0)) {}

    bool operator==(const TWindowState&) const = default;

    QStringList words;
    std::vector<int> selected;
    QString caption;
    int rows;
    double lastRowWeight;
};

class BackgroundWork : public ::testing::Test {
protected:
    void SetUp() override {
        TProgressWatch watch(frm);
        LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("good.txt"), "альфа бета гамма"));
        Search(frm, QStringLiteral("БЕТА"));
        // Work this short shows nothing but the wait cursor.
        EXPECT_FALSE(watch.Record().shown);
        ASSERT_EQ(SelectedRows(frm), std::vector<int>{2});
    }

    void ExpectIdle() const {
        EXPECT_FALSE(frm.Work().Busy());
        EXPECT_EQ(frm.findChild<QProgressDialog*>(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }

    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    TGate gate{frm};
};

TEST_F(BackgroundWork, SlowLoadShowsItsProgressAndCancelKeepsEverything) {
    const TWindowState before(frm);
    frm.SetAllocationProbe([this](TLoadAllocation what, std::size_t) {
        if (what == TLoadAllocation::Entries) {
            gate.Wait();
        }
    });
    TModalAnswerer answerer;
    TProgressWatch watch(frm, [](QProgressDialog& dialog) { ClickCancel(dialog); });
    LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("other.txt"), "кот пёс дом"));

    const TProgressRecord& shown = watch.Record();
    ASSERT_TRUE(shown.shown);
    EXPECT_GE(shown.after, 450);
    EXPECT_EQ(shown.label, QStringLiteral("Загрузка словаря…"));
    EXPECT_EQ(shown.cancelButton, QStringLiteral("Cancel"));
    EXPECT_TRUE(shown.waitCursor);
    EXPECT_TRUE(shown.ownedByWindow);
    EXPECT_TRUE(answerer.Records().empty()); // no error box for a cancelled load
    EXPECT_TRUE(TWindowState(frm) == before);
    ExpectIdle();
}

TEST_F(BackgroundWork, NoSecondCommandWhileWorkRuns) {
    int dialogs = 0;
    frm.SetAllocationProbe([this](TLoadAllocation what, std::size_t) {
        if (what == TLoadAllocation::Entries) {
            gate.Wait();
        }
    });
    TModalAnswerer answerer;
    TProgressWatch watch(frm, [&](QProgressDialog&) {
        frm.SetOpenDialog([&](QWidget*) {
            ++dialogs;
            return std::optional<QString>();
        });
        for (QAbstractButton* button :
             {static_cast<QAbstractButton*>(Child<QToolButton>(frm, "ToolButton1")),
              static_cast<QAbstractButton*>(Child<QToolButton>(frm, "ToolButton2")),
              static_cast<QAbstractButton*>(Child<QToolButton>(frm, "ToolButton3")),
              static_cast<QAbstractButton*>(Child<QPushButton>(frm, "btnProcess"))}) {
            QTest::mouseClick(button, Qt::LeftButton);
        }
        // The search's word box check would have shown a box at once.
        Child<QLineEdit>(frm, "edtWord")->clear();
        QTest::mouseClick(Child<QPushButton>(frm, "btnProcess"), Qt::LeftButton);
        gate.Open();
    });
    const QString path = folder.Write(QStringLiteral("other.txt"), "кот пёс дом");
    LoadThroughOpenCommand(frm, path);

    ASSERT_TRUE(watch.Record().shown);
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(answerer.Records().empty()); // neither help, about nor a message
    EXPECT_EQ(ListedWords(frm), (QStringList{QString(), "ДОМ", "КОТ", "ПЁС"}));
    EXPECT_TRUE(frm.windowTitle().endsWith(path));
    ExpectIdle();
}

TEST_F(BackgroundWork, CancelledSearchLeavesTheSelection) {
    Child<QListView>(frm, "lbWordsList")
        ->setCurrentIndex(Child<QListView>(frm, "lbWordsList")->model()->index(1, 0));
    const TWindowState before(frm);
    frm.SetSearchProbe([this] { gate.Wait(); });
    TModalAnswerer answerer;
    TProgressWatch watch(frm, [](QProgressDialog& dialog) { ClickCancel(dialog); });
    Search(frm, QStringLiteral("ГАММА"));

    ASSERT_TRUE(watch.Record().shown);
    EXPECT_EQ(watch.Record().label, QStringLiteral("Поиск…"));
    EXPECT_TRUE(watch.Record().waitCursor);
    EXPECT_TRUE(answerer.Records().empty());
    EXPECT_TRUE(TWindowState(frm) == before);
    ExpectIdle();

    // A slow search that runs to its end selects as a quick one does.
    frm.SetSearchProbe([] { std::this_thread::sleep_for(std::chrono::milliseconds(150)); });
    Search(frm, QStringLiteral("ГАММА"));
    EXPECT_EQ(SelectedRows(frm), std::vector<int>{3});
    ExpectIdle();
}

TEST_F(BackgroundWork, ClosingTheWindowMidLoadEndsTheEventLoop) {
    const TWindowState before(frm);
    frm.SetAllocationProbe([this](TLoadAllocation what, std::size_t) {
        if (what == TLoadAllocation::Entries) {
            gate.Wait();
        }
    });
    const QString path = folder.Write(QStringLiteral("other.txt"), "кот пёс дом");
    bool commandEnded = false;
    QTimer::singleShot(0, &frm, [&] {
        LoadThroughOpenCommand(frm, path);
        commandEnded = true;
    });
    TProgressWatch watch(frm, [&](QProgressDialog&) { frm.close(); });
    bool stuck = false;
    QTimer::singleShot(20'000, [&] {
        stuck = true;
        gate.Open();
        QApplication::exit(1);
    });
    // As the program runs: closing its last window quits the event loop, and
    // with it the loop that waits for the load.
    const int code = QApplication::exec();

    EXPECT_FALSE(stuck);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(watch.Record().shown);
    EXPECT_TRUE(commandEnded);
    EXPECT_FALSE(frm.isVisible());
    EXPECT_TRUE(TWindowState(frm) == before);
    ExpectIdle();
}

} // namespace
} // namespace verblinka::test
