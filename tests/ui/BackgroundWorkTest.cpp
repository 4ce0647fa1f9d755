// Loads and searches off the window's thread: the progress dialog after half
// a second and never before, Cancel leaving the dictionary, list, selection
// and caption as they were, no second command while work runs, and closing
// the window mid-load ending the event loop cleanly.
#include "UiTestSupport.h"

#include "ui/AppShell.h"
#include "ui/BackgroundWork.h"
#include "ui/fmNetwork.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTranslator>

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace verblinka::test_support {
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
    bool Shown = false;
    qint64 After = 0; // milliseconds from the watch's start
    QString Label;
    QString CancelButton;
    bool WaitCursor = false;
    bool OwnedByWindow = false;
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
        if (record_.Shown || dialog == nullptr || !dialog->isVisible()) {
            return;
        }
        record_.Shown = true;
        record_.After = clock_.elapsed();
        record_.Label = dialog->labelText();
        if (const auto* cancel = dialog->findChild<QPushButton*>()) {
            record_.CancelButton = cancel->text();
        }
        record_.WaitCursor = QApplication::overrideCursor() != nullptr &&
                             QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        record_.OwnedByWindow = dialog == frm_.Work().ProgressDialog();
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
        : Words(ListedWords(frm)), Selected(SelectedRows(frm)), Caption(frm.windowTitle()),
          Rows(frm.Dictionary().Network.PatternCount()),
          LastRowWeight(frm.Dictionary().Network.Weight(Rows - 1, 0)) {}

    bool operator==(const TWindowState&) const = default;

    QStringList Words;
    std::vector<int> Selected;
    QString Caption;
    int Rows;
    double LastRowWeight;
};

class TBackgroundWorkTest : public ::testing::Test {
protected:
    void SetUp() override {
        TProgressWatch watch(frm_);
        LoadThroughOpenCommand(frm_, folder_.Write(QStringLiteral("good.txt"), "альфа бета гамма"));
        Search(frm_, QStringLiteral("БЕТА"));
        // Work this short shows nothing but the wait cursor.
        EXPECT_FALSE(watch.Record().Shown);
        ASSERT_EQ(SelectedRows(frm_), std::vector<int>{2});
    }

    void ExpectIdle() const {
        EXPECT_FALSE(frm_.Work().Busy());
        EXPECT_EQ(frm_.findChild<QProgressDialog*>(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }

    TProgramWindows windows_;
    TfrmMain& frm_ = windows_.frmMain;
    TDictionaryFolder folder_;
    TGate gate_{frm_};
};

TEST_F(TBackgroundWorkTest, SlowLoadShowsItsProgressAndCancelKeepsEverything) {
    const TWindowState before(frm_);
    frm_.SetAllocationProbe([this](TLoadAllocation what, std::size_t) {
        if (what == TLoadAllocation::Entries) {
            gate_.Wait();
        }
    });
    TModalAnswerer answerer;
    TProgressWatch watch(frm_, [](QProgressDialog& dialog) { ClickCancel(dialog); });
    LoadThroughOpenCommand(frm_, folder_.Write(QStringLiteral("other.txt"), "кот пёс дом"));

    const TProgressRecord& shown = watch.Record();
    ASSERT_TRUE(shown.Shown);
    EXPECT_GE(shown.After, 450);
    EXPECT_EQ(shown.Label, QStringLiteral("Загрузка словаря…"));
    EXPECT_EQ(shown.CancelButton, QStringLiteral("Cancel"));
    EXPECT_TRUE(shown.WaitCursor);
    EXPECT_TRUE(shown.OwnedByWindow);
    EXPECT_TRUE(answerer.Records().empty()); // no error box for a cancelled load
    EXPECT_TRUE(TWindowState(frm_) == before);
    ExpectIdle();
}

TEST_F(TBackgroundWorkTest, NoSecondCommandWhileWorkRuns) {
    int dialogs = 0;
    frm_.SetAllocationProbe([this](TLoadAllocation what, std::size_t) {
        if (what == TLoadAllocation::Entries) {
            gate_.Wait();
        }
    });
    TModalAnswerer answerer;
    TProgressWatch watch(frm_, [&](QProgressDialog&) {
        frm_.SetOpenDialog([&](QWidget*) {
            ++dialogs;
            return std::optional<QString>();
        });
        for (QAbstractButton* button :
             {static_cast<QAbstractButton*>(Child<QToolButton>(frm_, "ToolButton1")),
              static_cast<QAbstractButton*>(Child<QToolButton>(frm_, "ToolButton2")),
              static_cast<QAbstractButton*>(Child<QToolButton>(frm_, "ToolButton3")),
              static_cast<QAbstractButton*>(Child<QPushButton>(frm_, "btnProcess"))}) {
            QTest::mouseClick(button, Qt::LeftButton);
        }
        // The search's word box check would have shown a box at once.
        Child<QLineEdit>(frm_, "edtWord")->clear();
        QTest::mouseClick(Child<QPushButton>(frm_, "btnProcess"), Qt::LeftButton);
        gate_.Open();
    });
    const QString path = folder_.Write(QStringLiteral("other.txt"), "кот пёс дом");
    LoadThroughOpenCommand(frm_, path);

    ASSERT_TRUE(watch.Record().Shown);
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(answerer.Records().empty()); // neither help, about nor a message
    EXPECT_EQ(ListedWords(frm_), (QStringList{QString(), "ДОМ", "КОТ", "ПЁС"}));
    EXPECT_TRUE(frm_.windowTitle().endsWith(path));
    ExpectIdle();
}

TEST_F(TBackgroundWorkTest, CancelledSearchLeavesTheSelection) {
    Child<QListView>(frm_, "lbWordsList")
        ->setCurrentIndex(Child<QListView>(frm_, "lbWordsList")->model()->index(1, 0));
    const TWindowState before(frm_);
    frm_.SetSearchProbe([this] { gate_.Wait(); });
    TModalAnswerer answerer;
    TProgressWatch watch(frm_, [](QProgressDialog& dialog) { ClickCancel(dialog); });
    Search(frm_, QStringLiteral("ГАММА"));

    ASSERT_TRUE(watch.Record().Shown);
    EXPECT_EQ(watch.Record().Label, QStringLiteral("Поиск…"));
    EXPECT_TRUE(watch.Record().WaitCursor);
    EXPECT_TRUE(answerer.Records().empty());
    EXPECT_TRUE(TWindowState(frm_) == before);
    ExpectIdle();

    // A slow search that runs to its end selects as a quick one does.
    frm_.SetSearchProbe([] { std::this_thread::sleep_for(std::chrono::milliseconds(150)); });
    Search(frm_, QStringLiteral("ГАММА"));
    EXPECT_EQ(SelectedRows(frm_), std::vector<int>{3});
    ExpectIdle();
}

TEST_F(TBackgroundWorkTest, ClosingTheWindowMidLoadEndsTheEventLoop) {
    const TWindowState before(frm_);
    frm_.SetAllocationProbe([this](TLoadAllocation what, std::size_t) {
        if (what == TLoadAllocation::Entries) {
            gate_.Wait();
        }
    });
    const QString path = folder_.Write(QStringLiteral("other.txt"), "кот пёс дом");
    bool commandEnded = false;
    QTimer::singleShot(0, &frm_, [&] {
        LoadThroughOpenCommand(frm_, path);
        commandEnded = true;
    });
    TProgressWatch watch(frm_, [&](QProgressDialog&) { frm_.close(); });
    bool stuck = false;
    QTimer::singleShot(20'000, [&] {
        stuck = true;
        gate_.Open();
        QApplication::exit(1);
    });
    // As the program runs: closing its last window quits the event loop, and
    // with it the loop that waits for the load.
    const int code = QApplication::exec();

    EXPECT_FALSE(stuck);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(watch.Record().Shown);
    EXPECT_TRUE(commandEnded);
    EXPECT_FALSE(frm_.isVisible());
    EXPECT_TRUE(TWindowState(frm_) == before);
    ExpectIdle();
}

// With the network view open the search traces its recognitions in the same
// work: Cancel still ends it, and the view keeps the search it showed.
TEST_F(TBackgroundWorkTest, CancelledTracedSearchLeavesTheViewAndTheSelection) {
    frm_.ShowNetworkView();
    TfrmNetwork* view = frm_.NetworkView();
    ASSERT_TRUE(view != nullptr && view->HasSearch());
    const std::string shown = view->Search().Query;
    const TWindowState before(frm_);
    frm_.SetSearchProbe([this] { gate_.Wait(); });
    TModalAnswerer answerer;
    TProgressWatch watch(frm_, [](QProgressDialog& dialog) { ClickCancel(dialog); });
    Search(frm_, QStringLiteral("ГАММА"));
    ASSERT_TRUE(watch.Record().Shown);
    EXPECT_TRUE(answerer.Records().empty());
    EXPECT_TRUE(TWindowState(frm_) == before);
    ASSERT_TRUE(view->HasSearch());
    EXPECT_EQ(view->Search().Query, shown);
    ExpectIdle();

    frm_.SetSearchProbe({});
    Search(frm_, QStringLiteral("ГАММА"));
    EXPECT_EQ(SelectedRows(frm_), std::vector<int>{3});
    ASSERT_TRUE(view->HasSearch());
    EXPECT_EQ(view->Search().BestRow, 3);
    ExpectIdle();
}

// While work runs, every control that starts a command, in both windows, is
// disabled, and a disabled action's shortcut or trigger does nothing; Cancel
// still ends the work; after it, the controls are enabled again and the
// keyboard focus is back on the button that started the work.
TEST_F(TBackgroundWorkTest, CommandsAreDisabledWhileWorkRunsAndCancelStillWorks) {
    frm_.ShowNetworkView();
    TfrmNetwork* view = frm_.NetworkView();
    ASSERT_TRUE(view != nullptr && view->HasSearch());
    const std::vector<QAbstractButton*> buttons{
        Child<QToolButton>(frm_, "ToolButton1"), Child<QToolButton>(frm_, "ToolButton2"),
        Child<QToolButton>(frm_, "ToolButton3"), Child<QPushButton>(frm_, "btnProcess"),
        Child<QPushButton>(*view, "btnReplay"),  Child<QPushButton>(*view, "btnSave"),
        Child<QPushButton>(*view, "btnCopy")};
    auto* networkView = Child<QAction>(frm_, "actNetworkView");
    const auto enabled = [&] {
        std::vector<bool> states(buttons.size() + 1);
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            states[i] = buttons[i]->isEnabled();
        }
        states.back() = networkView->isEnabled();
        return states;
    };
    const std::vector<bool> allEnabled(buttons.size() + 1, true);
    ASSERT_EQ(enabled(), allEnabled);

    auto* process = Child<QPushButton>(frm_, "btnProcess");
    frm_.activateWindow();
    process->setFocus();
    frm_.SetSearchProbe([this] { gate_.Wait(); });
    std::vector<bool> whileWorking;
    bool viewCommandRan = false;
    TModalAnswerer answerer;
    TProgressWatch watch(frm_, [&](QProgressDialog& dialog) {
        whileWorking = enabled();
        view->close();
        networkView->trigger();
        QTest::keyClick(&frm_, Qt::Key_N, Qt::ControlModifier);
        viewCommandRan = view->isVisible();
        ClickCancel(dialog);
    });
    Search(frm_, QStringLiteral("ГАММА"));

    ASSERT_TRUE(watch.Record().Shown);
    EXPECT_EQ(whileWorking, std::vector<bool>(buttons.size() + 1, false));
    EXPECT_FALSE(viewCommandRan);
    EXPECT_TRUE(answerer.Records().empty());
    EXPECT_EQ(SelectedRows(frm_), std::vector<int>{2});
    ExpectIdle();
    EXPECT_EQ(enabled(), allEnabled);
    EXPECT_EQ(frm_.focusWidget(), process);
}

TEST_F(TBackgroundWorkTest, TheProgressDialogMovesWithTheWindow) {
    frm_.SetAllocationProbe([this](TLoadAllocation what, std::size_t) {
        if (what == TLoadAllocation::Entries) {
            gate_.Wait();
        }
    });
    const QPoint by(37, -21);
    QPoint dialogBefore;
    QPoint dialogAfter;
    bool parented = false;
    TProgressWatch watch(frm_, [&](QProgressDialog& dialog) {
        parented = dialog.parentWidget() == &frm_ && dialog.isWindow();
        dialogBefore = dialog.pos();
        frm_.move(frm_.pos() + by);
        for (int wait = 0; wait < 100 && dialog.pos() == dialogBefore; ++wait) {
            QTest::qWait(5);
        }
        dialogAfter = dialog.pos();
        gate_.Open();
    });
    LoadThroughOpenCommand(frm_, folder_.Write(QStringLiteral("other.txt"), "кот пёс дом"));
    ASSERT_TRUE(watch.Record().Shown);
    EXPECT_TRUE(parented);
    EXPECT_EQ(dialogAfter - dialogBefore, by);
    ExpectIdle();
}

// /proc/self/pagemap is an empty regular file to fstat, and hands out zeros
// for hundreds of gigabytes: its load shows progress of unknown length, and
// Cancel stops it in the pass that decides how to read it.
TEST_F(TBackgroundWorkTest, CancelStopsTheFirstPassOverAFileWithoutEnd) {
    if (::access("/proc/self/pagemap", R_OK) != 0) {
        GTEST_SKIP() << "no /proc/self/pagemap to read here";
    }
    const TWindowState before(frm_);
    int maximum = -1;
    TModalAnswerer answerer;
    TProgressWatch watch(frm_, [&](QProgressDialog& dialog) {
        QTest::qWait(100);
        maximum = dialog.maximum();
        ClickCancel(dialog);
    });
    bool stuck = false;
    QTimer::singleShot(20'000, [&] {
        stuck = true;
        if (QProgressDialog* dialog = frm_.Work().ProgressDialog()) {
            dialog->cancel(); // once more, so that the test ends
        }
    });
    LoadThroughOpenCommand(frm_, QStringLiteral("/proc/self/pagemap"));
    EXPECT_FALSE(stuck);
    ASSERT_TRUE(watch.Record().Shown);
    EXPECT_EQ(watch.Record().Label, QStringLiteral("Загрузка словаря…"));
    EXPECT_EQ(maximum, 0); // how much is left is not known
    EXPECT_TRUE(answerer.Records().empty());
    EXPECT_TRUE(TWindowState(frm_) == before);
    ExpectIdle();
}

// Runs work as the application ends while it runs: inside the application's
// event loop, which is told to quit 50 ms in (as closing the last window
// does). Returns what Run returned.
bool RunAsTheApplicationEnds(TBackgroundWork& work, const std::function<void()>& job) {
    bool completed = true;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(50, [] { QApplication::exit(0); });
        completed = work.Run(QStringLiteral("Загрузка словаря…"), job);
    });
    QApplication::exec();
    return completed;
}

// Work that does not stop when told to, as the application ends (a system
// call that never returns): the wait for it is bounded, and then the stuck
// handler ends the program; here it lets the work go on to its end.
TEST(BackgroundWork, WorkThatIgnoresCancelCannotKeepTheEndingProgramAlive) {
    QWidget owner;
    TBackgroundWork work(owner);
    std::atomic<bool> release{false};
    int stuckCalls = 0;
    work.SetStuckHandler(
        [&] {
            ++stuckCalls;
            release = true;
        },
        std::chrono::milliseconds(200));
    bool finished = false;
    EXPECT_FALSE(RunAsTheApplicationEnds(work, [&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!release.load() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2)); // blind to Cancel
        }
        finished = true;
    }));
    EXPECT_EQ(stuckCalls, 1);
    EXPECT_TRUE(finished);
    EXPECT_FALSE(work.Busy());

    // Work that stops when told to never reaches the handler.
    EXPECT_FALSE(RunAsTheApplicationEnds(work, [&] {
        while (!work.CancelFlag().load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }));
    EXPECT_EQ(stuckCalls, 1);

    // The application's loops run again afterwards: work runs to its end.
    EXPECT_TRUE(work.Run(QStringLiteral("Поиск…"), [] {}));
}

// Qt's own texts in Russian: the progress dialog's Cancel and the open
// dialog's labels and buttons; numbers in Russian formats. Without the
// translation the program goes on in Qt's English.
TEST_F(TBackgroundWorkTest, QtsOwnTextsReadInRussian) {
    const QLocale english = QLocale();
    EXPECT_EQ(UseRussian(*QCoreApplication::instance(), folder_.PathOf(QStringLiteral("нет"))),
              nullptr);
    QTranslator* const translator = UseRussian(*QCoreApplication::instance());
    ASSERT_NE(translator, nullptr) << "Qt's Russian translation (qt6-translations-l10n) is missing";
    EXPECT_EQ(QLocale().toString(1234567.5, 'f', 1), QStringLiteral("1\u00A0234\u00A0567,5"));

    frm_.SetAllocationProbe([this](TLoadAllocation what, std::size_t) {
        if (what == TLoadAllocation::Entries) {
            gate_.Wait();
        }
    });
    TProgressWatch watch(frm_, [this](QProgressDialog&) { gate_.Open(); });
    LoadThroughOpenCommand(frm_, folder_.Write(QStringLiteral("other.txt"), "кот пёс дом"));
    EXPECT_EQ(watch.Record().CancelButton, QStringLiteral("Отменить"));

    QStringList texts;
    TModalAnswerer answerer([&](QWidget* modal) {
        for (const QLabel* label : modal->findChildren<QLabel*>()) {
            texts.append(label->text());
        }
        for (const QAbstractButton* button : modal->findChild<QDialogButtonBox*>()->buttons()) {
            texts.append(button->text());
        }
        static_cast<QDialog*>(modal)->reject();
    });
    frm_.SetOpenDialog(RunDictionaryOpenDialog);
    frm_.N2Click();
    delete translator;
    QLocale::setDefault(english);
    EXPECT_TRUE(texts.contains(QStringLiteral("&Открыть"))) << texts.join(u'|').toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("Отмена"))) << texts.join(u'|').toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("&Имя файла:"))) << texts.join(u'|').toStdString();
    EXPECT_FALSE(texts.contains(QStringLiteral("Cancel")));
    EXPECT_FALSE(texts.contains(QStringLiteral("File &name:")));
}

} // namespace
} // namespace verblinka::test_support
