// Every way a load can fail, through the window: the error box, and the list
// (entries and selection), the network and the caption exactly as they were,
// with the default cursor back. A read that fails part-way is no failure: the
// dictionary holds the words read up to there. And a pasted query of 30,000
// characters.
#include "UiTestSupport.h"

#include "dictionary/DictionaryLoad.h"
#include "reference/Unprivileged.h"
#include "search/Search.h"
#include "ui/AppShell.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <new>
#include <random>

#include <sys/stat.h>

namespace verblinka::test_support {
namespace {

// The window's state that a failed load must leave alone.
struct TWindowState {
    explicit TWindowState(const TfrmMain& frm)
        : Words(ListedWords(frm)), Selected(SelectedRows(frm)), Network(frm.Dictionary().Network),
          Caption(frm.windowTitle()) {}

    QStringList Words;
    std::vector<int> Selected;
    THammingNet Network;
    QString Caption;
};

void ExpectUnchanged(const TfrmMain& frm, const TWindowState& before,
                     const TDictionaryFolder& folder) {
    EXPECT_EQ(ListedWords(frm), before.Words);
    EXPECT_EQ(SelectedRows(frm), before.Selected);
    EXPECT_EQ(frm.windowTitle(), before.Caption);
    ASSERT_EQ(frm.Dictionary().Network.PatternCount(), before.Network.PatternCount());
    for (int row = 0; row < before.Network.PatternCount(); ++row) {
        for (int column = 0; column < before.Network.InputCount(); ++column) {
            ASSERT_EQ(frm.Dictionary().Network.Weight(row, column),
                      before.Network.Weight(row, column));
        }
    }
    EXPECT_TRUE(folder.OpenFiles().isEmpty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Loads path through the open command and returns the one error box it showed.
TModalRecord FailingLoad(TfrmMain& frm, const QString& path) {
    TModalAnswerer answerer;
    LoadThroughOpenCommand(frm, path);
    EXPECT_EQ(answerer.Records().size(), 1u) << path.toStdString();
    return answerer.Records().empty() ? TModalRecord{} : answerer.Records()[0];
}

void ExpectErrorBox(const TModalRecord& box, const QString& text) {
    EXPECT_EQ(box.Text, text);
    EXPECT_EQ(box.Title, ApplicationTitle());
    EXPECT_EQ(box.Icon, QMessageBox::Critical);
    EXPECT_EQ(box.Buttons, QStringList{QStringLiteral("OK")});
}

class TLoadFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadThroughOpenCommand(frm_, folder_.Write(QStringLiteral("good.txt"), "альфа бета гамма"));
        Search(frm_, QStringLiteral("БЕТА"));
        ASSERT_EQ(SelectedRows(frm_), std::vector<int>{2});
    }

    TProgramWindows windows_;
    TfrmMain& frm_ = windows_.frmMain;
    TDictionaryFolder folder_;
};

TEST_F(TLoadFailureTest, FilesThatCannotBeOpened) {
    const TWindowState before(frm_);
    const QString missing = folder_.PathOf(QStringLiteral("нет.txt"));
    ExpectErrorBox(FailingLoad(frm_, missing),
                   QStringLiteral("Cannot open file ") + missing + u'.');
    ExpectUnchanged(frm_, before, folder_);

    const QString directory = folder_.PathOf(QStringLiteral("папка"));
    ASSERT_TRUE(QDir().mkdir(directory));
    ExpectErrorBox(FailingLoad(frm_, directory),
                   QStringLiteral("Cannot open file ") + directory + u'.');
    ExpectUnchanged(frm_, before, folder_);

    // A FIFO without a writer is refused at once, not waited on.
    const QString fifo = folder_.PathOf(QStringLiteral("канал"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ExpectErrorBox(FailingLoad(frm_, fifo), QStringLiteral("Cannot open file ") + fifo + u'.');
    ExpectUnchanged(frm_, before, folder_);

    const QString locked = folder_.Write(QStringLiteral("закрыт.txt"), "кот");
    QFile::setPermissions(locked, {});
    test_support::TUnprivilegedScope unprivileged;
    if (!unprivileged.Unprivileged()) {
        GTEST_SKIP() << "running as root and cannot act as another user: "
                        "file permissions do not apply";
    }
    ExpectErrorBox(FailingLoad(frm_, locked), QStringLiteral("Cannot open file ") + locked + u'.');
    ExpectUnchanged(frm_, before, folder_);
}

TEST_F(TLoadFailureTest, MemoryRunningOutForTheListOrTheWeights) {
    const TWindowState before(frm_);
    const QString other = folder_.Write(QStringLiteral("other.txt"), "кот пёс дом");
    for (const TLoadAllocation where : {TLoadAllocation::Entries, TLoadAllocation::Weights}) {
        frm_.SetAllocationProbe([where](TLoadAllocation what, std::size_t) {
            if (what == where) {
                throw std::bad_alloc();
            }
        });
        ExpectErrorBox(FailingLoad(frm_, other),
                       QStringLiteral("Недостаточно памяти для выполнения команды."));
        ExpectUnchanged(frm_, before, folder_);
    }
    frm_.SetAllocationProbe(nullptr);
    LoadThroughOpenCommand(frm_, other);
    EXPECT_EQ(ListedWords(frm_), (QStringList{QString(), "ДОМ", "КОТ", "ПЁС"}));
}

TEST_F(TLoadFailureTest, CountPastItsLimit) {
    const TWindowState before(frm_);
    frm_.SetOccurrenceLimit(2);
    ExpectErrorBox(FailingLoad(frm_, folder_.Write(QStringLiteral("три.txt"), "кот Кот КОТ")),
                   QStringLiteral("Integer overflow."));
    ExpectUnchanged(frm_, before, folder_);
}

// The one check of this through a face of the program (the load's own tests
// cover every offset): the read shim linked into these tests fails reads of
// FAULTY_READ_PATH from offset FAULTY_READ_AT on (with EIO, after an EINTR).
// At once, inside a character, between words, inside a word and at the end,
// the window shows what the bytes before the failure give, without a box.
TEST_F(TLoadFailureTest, ReadFailingPartWayLoadsTheWordsReadSoFar) {
    const std::string text = "кот пёс ёж дом котёнок\n";
    const QString path = folder_.Write(QStringLiteral("сбой.txt"), text);
    const std::size_t afterYo = text.find("ёж") + 2;
    for (const std::size_t at : {std::size_t{0}, std::size_t{5}, std::string("кот пёс ").size(),
                                 afterYo, text.size() - 1, text.size()}) {
        SCOPED_TRACE("read failing at " + std::to_string(at));
        LoadThroughOpenCommand(frm_,
                               folder_.Write(QStringLiteral("начало.txt"), text.substr(0, at)));
        const QStringList expected = ListedWords(frm_);
        qputenv("FAULTY_READ_PATH", QFile::encodeName(path));
        qputenv("FAULTY_READ_AT", QByteArray::number(static_cast<qulonglong>(at)));
        TModalAnswerer answerer;
        LoadThroughOpenCommand(frm_, path);
        qunsetenv("FAULTY_READ_PATH");
        qunsetenv("FAULTY_READ_AT");
        EXPECT_TRUE(answerer.Records().empty());
        EXPECT_EQ(ListedWords(frm_), expected);
        if (at == afterYo) {
            EXPECT_EQ(ListedWords(frm_), (QStringList{QString(), "Ё", "КОТ", "ПЁС"}));
        }
        EXPECT_TRUE(SelectedRows(frm_).empty());
        EXPECT_TRUE(frm_.windowTitle().endsWith(path));
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
}

// A file that fstat calls regular but whose reads wait for data that never
// comes, as /proc/kmsg's do (the read shim makes this test file's reads wait
// from FAULTY_READ_AT on): the load ends at once with the error box of a
// non-file, nothing waits for good, and the window keeps what it had.
TEST_F(TLoadFailureTest, FileWhoseReadsWaitForeverIsRefused) {
    const TWindowState before(frm_);
    const QString path = folder_.Write(QStringLiteral("kmsg"), "<6>[ 0.0] Linux version\n");
    for (const int at : {0, 5}) {
        qputenv("FAULTY_READ_PATH", QFile::encodeName(path));
        qputenv("FAULTY_READ_AT", QByteArray::number(at));
        qputenv("FAULTY_READ_WAIT", "30000");
        const TModalRecord box = FailingLoad(frm_, path);
        qunsetenv("FAULTY_READ_PATH");
        qunsetenv("FAULTY_READ_AT");
        qunsetenv("FAULTY_READ_WAIT");
        ExpectErrorBox(box, QStringLiteral("Cannot open file ") + path + u'.');
        ExpectUnchanged(frm_, before, folder_);
    }
}

// A box that no test answers (a load failing where the test expects none)
// is closed, and fails the test with its text instead of hanging it.
TEST_F(TLoadFailureTest, AnErrorBoxNoTestExpectsFailsTheTestWithItsText) {
    ASSERT_NE(TUnexpectedModalGuard::Of(*QCoreApplication::instance()), nullptr);
    const QString missing = folder_.PathOf(QStringLiteral("нет.txt"));
    EXPECT_NONFATAL_FAILURE(LoadThroughOpenCommand(frm_, missing),
                            "Cannot open file " + missing.toStdString() + ".");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(ListedWords(frm_), (QStringList{QString(), "АЛЬФА", "БЕТА", "ГАММА"}));
}

TEST(LongQuery, OfThirtyThousandCharactersPastedIntoTheWordBox) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("d.txt"), "кот пёс дом котёнок"));
    std::mt19937 random(5);
    const QString letters = QStringLiteral("котдм ёЖ");
    QString query;
    while (query.size() < 30'000) {
        query += letters[static_cast<int>(random() % static_cast<unsigned>(letters.size()))];
    }
    query[0] = u'к';
    TModalAnswerer answerer;
    Child<QLineEdit>(frm, "edtWord")->setFocus();
    Child<QLineEdit>(frm, "edtWord")->clear();
    Child<QLineEdit>(frm, "edtWord")->insert(query); // as a paste does
    ASSERT_EQ(Child<QLineEdit>(frm, "edtWord")->text(), query);
    Child<QPushButton>(frm, "btnProcess")->click();
    EXPECT_TRUE(answerer.Records().empty());
    TWordCode code{};
    THammingNet network = frm.Dictionary().Network;
    const TSearchOutcome expected =
        SearchWord(Utf8To1251(query.toStdString()), frm.Dictionary().Entries, network, code);
    ASSERT_EQ(expected.Status, TSearchStatus::Selected);
    EXPECT_EQ(SelectedRows(frm), std::vector<int>{expected.BestRow});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
} // namespace verblinka::test_support
