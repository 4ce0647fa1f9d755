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

#include <gtest/gtest.h>

#include <new>
#include <random>

#include <sys/stat.h>

namespace verblinka::test {
namespace {

// The window's state that a failed load must leave alone.
struct TWindowState {
    explicit TWindowState(const TfrmMain& frm)
        : words(ListedWords(frm)), selected(SelectedRows(frm)), network(frm.Dictionary().Network),
          caption(frm.windowTitle()) {}

    QStringList words;
    std::vector<int> selected;
    THammingNet network;
    QString caption;
};

void ExpectUnchanged(const TfrmMain& frm, const TWindowState& before,
                     const TDictionaryFolder& folder) {
    EXPECT_EQ(ListedWords(frm), before.words);
    EXPECT_EQ(SelectedRows(frm), before.selected);
    EXPECT_EQ(frm.windowTitle(), before.caption);
    ASSERT_EQ(frm.Dictionary().Network.PatternCount(), before.network.PatternCount());
    for (int row = 0; row < before.network.PatternCount(); ++row) {
        for (int column = 0; column < before.network.InputCount(); ++column) {
            ASSERT_EQ(frm.Dictionary().Network.Weight(row, column),
                      before.network.Weight(row, column));
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
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.title, ApplicationTitle());
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.buttons, QStringList{QStringLiteral("OK")});
}

class LoadFailure : public ::testing::Test {
protected:
    void SetUp() override {
        LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("good.txt"), "альфа бета гамма"));
        Search(frm, QStringLiteral("БЕТА"));
        ASSERT_EQ(SelectedRows(frm), std::vector<int>{2});
    }

    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
};

TEST_F(LoadFailure, FilesThatCannotBeOpened) {
    const TWindowState before(frm);
    const QString missing = folder.PathOf(QStringLiteral("нет.txt"));
    ExpectErrorBox(FailingLoad(frm, missing), QStringLiteral("Cannot open file ") + missing + u'.');
    ExpectUnchanged(frm, before, folder);

    const QString directory = folder.PathOf(QStringLiteral("папка"));
    ASSERT_TRUE(QDir().mkdir(directory));
    ExpectErrorBox(FailingLoad(frm, directory),
                   QStringLiteral("Cannot open file ") + directory + u'.');
    ExpectUnchanged(frm, before, folder);

    // A FIFO without a writer is refused at once, not waited on.
    const QString fifo = folder.PathOf(QStringLiteral("канал"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ExpectErrorBox(FailingLoad(frm, fifo), QStringLiteral("Cannot open file ") + fifo + u'.');
    ExpectUnchanged(frm, before, folder);

    const QString locked = folder.Write(QStringLiteral("закрыт.txt"), "кот");
    QFile::setPermissions(locked, {});
    testing::TUnprivilegedScope unprivileged;
    if (!unprivileged.Unprivileged()) {
        GTEST_SKIP() << "running as root and cannot act as another user: "
                        "file permissions do not apply";
    }
    ExpectErrorBox(FailingLoad(frm, locked), QStringLiteral("Cannot open file ") + locked + u'.');
    ExpectUnchanged(frm, before, folder);
}

TEST_F(LoadFailure, MemoryRunningOutForTheListOrTheWeights) {
    const TWindowState before(frm);
    const QString other = folder.Write(QStringLiteral("other.txt"), "кот пёс дом");
    for (const TLoadAllocation where : {TLoadAllocation::Entries, TLoadAllocation::Weights}) {
        frm.SetAllocationProbe([where](TLoadAllocation what, std::size_t) {
            if (what == where) {
                throw std::bad_alloc();
            }
        });
        ExpectErrorBox(FailingLoad(frm, other),
                       QStringLiteral("Недостаточно памяти для выполнения команды."));
        ExpectUnchanged(frm, before, folder);
    }
    frm.SetAllocationProbe(nullptr);
    LoadThroughOpenCommand(frm, other);
    EXPECT_EQ(ListedWords(frm), (QStringList{QString(), "ДОМ", "КОТ", "ПЁС"}));
}

TEST_F(LoadFailure, CountPastItsLimit) {
    const TWindowState before(frm);
    frm.SetOccurrenceLimit(2);
    ExpectErrorBox(FailingLoad(frm, folder.Write(QStringLiteral("три.txt"), "кот Кот КОТ")),
                   QStringLiteral("Integer overflow."));
    ExpectUnchanged(frm, before, folder);
}

TEST_F(LoadFailure, ReadFailingPartWayLoadsTheWordsReadSoFar) {
    // The read shim linked into these tests fails reads of FAULTY_READ_PATH
    // from offset FAULTY_READ_AT on (with EIO, after an EINTR).
    const std::string text = "кот пёс ёж дом";
    const QString path = folder.Write(QStringLiteral("сбой.txt"), text);
    qputenv("FAULTY_READ_PATH", QFile::encodeName(path));
    qputenv("FAULTY_READ_AT", QByteArray::number(static_cast<int>(text.find("ёж") + 2)));
    TModalAnswerer answerer;
    LoadThroughOpenCommand(frm, path);
    qunsetenv("FAULTY_READ_PATH");
    qunsetenv("FAULTY_READ_AT");
    EXPECT_TRUE(answerer.Records().empty());
    EXPECT_EQ(ListedWords(frm), (QStringList{QString(), "Ё", "КОТ", "ПЁС"}));
    EXPECT_TRUE(SelectedRows(frm).empty());
    EXPECT_TRUE(frm.windowTitle().endsWith(path));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
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
} // namespace verblinka::test
