// The search command as the user drives it: its messages, the selection it
// makes, and that it selects what the core's search selects.
#include "UiTestSupport.h"

#include "dictionary/DictionaryLoad.h"
#include "search/Search.h"
#include "text/CodePage1251.h"
#include "ui/AppShell.h"

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>

namespace verblinka::test_support {
namespace {

const QString kNoWord = QStringLiteral("Ошибка: не введено слово для поиска");
const QString kNoDictionary = QStringLiteral("Ошибка: не загружен словарь");
const QString kFailed = QStringLiteral("Ошибка при поиске");

int RowOf(const TfrmMain& frm, const QString& word) {
    return static_cast<int>(ListedWords(frm).indexOf(word));
}

bool RowIsInView(const TfrmMain& frm, int row) {
    const QRect rect =
        Child<QListView>(frm, "lbWordsList")
            ->visualRect(Child<QListView>(frm, "lbWordsList")->model()->index(row, 0));
    return Child<QListView>(frm, "lbWordsList")->viewport()->rect().contains(rect);
}

// Many words, so that the list scrolls.
std::string ManyWords() {
    std::string text;
    for (int i = 0; i < 600; ++i) {
        text += "слово" + std::to_string(i) + ' ';
    }
    return text;
}

TEST(SearchCommand, InputProblemsAreReportedInThePlainBoxBeforeAnyWaitCursor) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    {
        TModalAnswerer answerer(Qt::Key_Escape);
        Search(frm, QString());
        Search(frm, QStringLiteral(" \t "));
        Search(frm, QStringLiteral("кот"));
        LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("d.txt"), "кот"));
        Search(frm, QStringLiteral("   "));

        const QString expected[] = {kNoWord, kNoWord, kNoDictionary, kNoWord};
        ASSERT_EQ(answerer.Records().size(), std::size(expected));
        for (std::size_t i = 0; i < std::size(expected); ++i) {
            const TModalRecord& box = answerer.Records()[i];
            EXPECT_EQ(box.Text, expected[i]) << i;
            EXPECT_EQ(box.Title, ApplicationTitle()) << i;
            EXPECT_EQ(box.Icon, QMessageBox::NoIcon) << i;
            EXPECT_EQ(box.Buttons, QStringList{QStringLiteral("OK")}) << i;
            EXPECT_FALSE(box.ButtonHasIcon) << i;
            EXPECT_TRUE(box.ClosedByKey) << i; // Esc answers the box
            EXPECT_FALSE(box.WaitCursorShown) << i;
            EXPECT_LE(box.OffCentre, 2) << i;
        }
    }
    {
        TModalAnswerer answerer(Qt::Key_Return);
        Search(frm, QString());
        ASSERT_EQ(answerer.Records().size(), 1u);
        EXPECT_TRUE(answerer.Records()[0].ClosedByKey); // and so does Enter
    }
    EXPECT_EQ(Child<QLineEdit>(frm, "edtWord")->text(), QString()); // the word box keeps its text
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(SearchCommand, CharactersWindows1251LacksAreAWordATypedControlCharacterIsNot) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("d.txt"), "кот \u2713 \u4E2D\u6587"));
    TModalAnswerer answerer(Qt::Key_Escape);
    Search(frm, QStringLiteral("\u2713"));
    EXPECT_TRUE(answerer.Records().empty());
    EXPECT_EQ(SelectedRows(frm), std::vector<int>{1}); // the entry of one substitute
    Search(frm, QStringLiteral("\u4E2D\u6587"));
    EXPECT_EQ(SelectedRows(frm), std::vector<int>{2});
    EXPECT_TRUE(answerer.Records().empty());
    Search(frm, QString(QChar(0x1A)));
    ASSERT_EQ(answerer.Records().size(), 1u);
    EXPECT_EQ(answerer.Records()[0].Text, kNoWord);
}

TEST(SearchCommand, SelectsTheClosestEntryAndKeepsTheTypedText) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("d.txt"), "кот дом пёс слон"));
    TModalAnswerer answerer;

    Search(frm, QStringLiteral("ДОМ"));
    EXPECT_EQ(SelectedRows(frm), std::vector<int>{RowOf(frm, QStringLiteral("ДОМ"))});
    EXPECT_EQ(Child<QListView>(frm, "lbWordsList")->currentIndex().row(),
              RowOf(frm, QStringLiteral("ДОМ")));
    EXPECT_EQ(Child<QLineEdit>(frm, "edtWord")->text(), QStringLiteral("ДОМ"));

    Search(frm, QStringLiteral("СЛОНЫ"));
    EXPECT_EQ(SelectedRows(frm), std::vector<int>{RowOf(frm, QStringLiteral("СЛОН"))});
    EXPECT_EQ(Child<QLineEdit>(frm, "edtWord")->text(), QStringLiteral("СЛОНЫ"));

    EXPECT_TRUE(answerer.Records().empty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(SearchCommand, SelectsTheSameRowAsTheCoreSearch) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    const QString path = QStringLiteral(VERBLINKA_SAMPLES "/help.txt");
    LoadThroughOpenCommand(frm, path);
    ASSERT_GT(ListedWords(frm).size(), 50);

    // An independent copy of the same dictionary, searched directly.
    TStringBTree tree;
    TWordCode code{};
    TDictionary reference = LoadDictionary(path.toStdString(), tree, code, kProgramMaxIterations);

    TModalAnswerer answerer;
    const QString queries[] = {
        QStringLiteral("праграма"),   QStringLiteral("ХЕМИНГА"), QStringLiteral("сеть"),
        QStringLiteral(" словарь "),  QStringLiteral("ASCII"),   QStringLiteral("ёжик"),
        QStringLiteral("клави✓тура"), QStringLiteral("a"),       QStringLiteral("распознаваниями"),
    };
    for (const QString& query : queries) {
        Search(frm, query);
        const TSearchOutcome outcome =
            SearchWord(Utf8To1251(query.toStdString()), reference.Entries, reference.Network, code);
        ASSERT_EQ(outcome.Status, TSearchStatus::Selected);
        EXPECT_EQ(SelectedRows(frm), std::vector<int>{outcome.BestRow}) << query.toStdString();
    }
    EXPECT_TRUE(answerer.Records().empty());
}

TEST(SearchCommand, LeavesTheListAloneWhenTheEntryIsAlreadySelected) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("many.txt"), ManyWords()));
    QTest::qWait(20); // the list lays its rows out in the event loop
    TModalAnswerer answerer;
    QScrollBar* scroll = Child<QListView>(frm, "lbWordsList")->verticalScrollBar();
    ASSERT_GT(scroll->maximum(), 0);

    Search(frm, QStringLiteral("СЛОВО599"));
    const int row = RowOf(frm, QStringLiteral("СЛОВО599"));
    ASSERT_EQ(SelectedRows(frm), std::vector<int>{row});
    EXPECT_TRUE(RowIsInView(frm, row)); // selecting scrolls the entry into view

    scroll->setValue(0);
    Search(frm, QStringLiteral("СЛОВО599"));
    EXPECT_EQ(scroll->value(), 0); // the user's scrolling stays
    EXPECT_EQ(SelectedRows(frm), std::vector<int>{row});

    // A selection the user made is replaced, and the result shown.
    Child<QListView>(frm, "lbWordsList")
        ->setCurrentIndex(Child<QListView>(frm, "lbWordsList")->model()->index(1, 0));
    Search(frm, QStringLiteral("СЛОВО599"));
    EXPECT_EQ(SelectedRows(frm), std::vector<int>{row});
    EXPECT_TRUE(RowIsInView(frm, row));
    EXPECT_TRUE(answerer.Records().empty());
}

TEST(SearchCommand, FailureIsReportedUnderTheWaitCursorAndKeepsTheSelection) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("d.txt"), "кот дом пёс"));
    Search(frm, QStringLiteral("КОТ"));
    const std::vector<int> selected = SelectedRows(frm);
    ASSERT_EQ(selected.size(), 1u);

    // The search fails part-way, in its first recognition.
    frm.SetSearchProbe([] { throw std::runtime_error("search probe"); });
    TModalAnswerer answerer;
    Search(frm, QStringLiteral("ДОМ"));
    ASSERT_EQ(answerer.Records().size(), 1u);
    const TModalRecord& box = answerer.Records()[0];
    EXPECT_EQ(box.Text, kFailed);
    EXPECT_EQ(box.Icon, QMessageBox::NoIcon);
    EXPECT_TRUE(box.WaitCursorShown);
    EXPECT_EQ(SelectedRows(frm), selected);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(SearchCommand, EnterInTheWordBoxStartsNothing) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("d.txt"), "кот дом"));
    TModalAnswerer answerer;

    Child<QLineEdit>(frm, "edtWord")->setFocus();
    for (const QChar ch : QStringLiteral("кот")) {
        QTest::sendKeyEvent(QTest::Click, Child<QLineEdit>(frm, "edtWord"), Qt::Key_unknown,
                            QString(ch), Qt::NoModifier);
    }
    ASSERT_EQ(Child<QLineEdit>(frm, "edtWord")->text(), QStringLiteral("кот"));
    QTest::keyClick(Child<QLineEdit>(frm, "edtWord"), Qt::Key_Return);
    QTest::keyClick(Child<QLineEdit>(frm, "edtWord"), Qt::Key_Enter);
    EXPECT_TRUE(SelectedRows(frm).empty());

    // An empty box would be refused with a message if Enter searched.
    Child<QLineEdit>(frm, "edtWord")->clear();
    QTest::keyClick(Child<QLineEdit>(frm, "edtWord"), Qt::Key_Return);
    QTest::qWait(30);
    EXPECT_TRUE(answerer.Records().empty());
}

} // namespace
} // namespace verblinka::test_support
