// The window «Работа сети» as a learner uses it: opened before and after a
// search, following searches, its codes against the trace, the replay, the
// exports, and a new dictionary.
#include "UiTestSupport.h"

#include "reference/TestSupport.h"
#include "search/Search.h"
#include "search/SearchTrace.h"
#include "text/CodePage1251.h"
#include "ui/fmNetwork.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace verblinka::test_support {
namespace {

std::string Words() {
    std::string text = "кот кит кто ток код кош котёнок коты пёс дом ком ";
    for (int i = 0; i < 300; ++i) {
        text += "слово" + std::to_string(i) + ' ';
    }
    return text;
}

// The search the main window made, as the core makes it.
TSearchOutcome CoreSearch(TfrmMain& frm, const QString& query) {
    TWordCode code{};
    THammingNet network = frm.Dictionary().Network;
    return SearchWord(Utf8To1251(query.toStdString()), frm.Dictionary().Entries, network, code,
                      true);
}

TEST(NetworkView, BeforeTheFirstSearchItSaysWhatToDo) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    EXPECT_EQ(frm.NetworkView(), nullptr); // made on first use
    QTest::keyClick(&frm, Qt::Key_N, Qt::ControlModifier);
    TfrmNetwork* view = frm.NetworkView();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->objectName(), QStringLiteral("frmNetwork"));
    EXPECT_EQ(view->windowTitle(), QStringLiteral("Работа сети"));
    EXPECT_FALSE(view->HasSearch());
    EXPECT_TRUE(view->lblStory->text().contains(QStringLiteral("найдите слово")));
    // The list offers it in its context menu.
    EXPECT_EQ(Child<QListView>(frm, "lbWordsList")->contextMenuPolicy(), Qt::ActionsContextMenu);
    ASSERT_TRUE(Child<QListView>(frm, "lbWordsList")
                    ->actions()
                    .contains(Child<QAction>(frm, "actNetworkView")));
    EXPECT_EQ(Child<QAction>(frm, "actNetworkView")->text(),
              QStringLiteral("Как сеть выбрала слово…"));

    // One instance, back where it was.
    view->move(view->pos() + QPoint(37, 23));
    const QPoint where = view->pos();
    view->close();
    Child<QAction>(frm, "actNetworkView")->trigger();
    EXPECT_EQ(frm.NetworkView(), view);
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->pos(), where);
}

TEST(NetworkView, ShowsEveryRecognitionOfTheSearchAndReplaysIt) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("d.txt"), Words()));
    const QString query = QStringLiteral("КОТОК");
    Search(frm, query);
    const std::vector<int> selected = SelectedRows(frm);
    ASSERT_EQ(selected.size(), 1u);

    // Opened after the search, from the context menu's action: it shows it.
    Child<QAction>(frm, "actNetworkView")->trigger();
    TfrmNetwork* view = frm.NetworkView();
    ASSERT_TRUE(view != nullptr && view->HasSearch());
    const TSearchOutcome outcome = CoreSearch(frm, query);
    const TSearchTrace& search = view->Search();
    ASSERT_EQ(view->tblSteps->rowCount(), query.size() + 1);
    EXPECT_EQ(search.BestRow, selected.front());
    EXPECT_EQ(search.ChosenStep, outcome.ChosenStep);
    EXPECT_EQ(view->SelectedStep(), outcome.ChosenStep);
    for (int row = 0; row < view->tblSteps->rowCount(); ++row) {
        const bool marked = view->tblSteps->item(row, 0)->text().contains(QStringLiteral("✓"));
        EXPECT_EQ(marked, row == outcome.ChosenStep) << row;
        EXPECT_EQ(view->tblSteps->item(row, 2)->text().toInt(),
                  outcome.Steps[static_cast<std::size_t>(row)].Row)
            << row;
    }
    EXPECT_TRUE(view->Story().contains(QStringLiteral("выбрана запись %1").arg(search.BestRow)));

    for (int step = 0; step < view->tblSteps->rowCount(); ++step) {
        view->tblSteps->setCurrentCell(step, 1); // as a click on the row
        ASSERT_EQ(view->SelectedStep(), step);
        const TTracedStep& traced = search.Steps[static_cast<std::size_t>(step)];
        const double firstLayer = traced.Trace->Value(traced.Row, 0);
        EXPECT_EQ(view->pbCodes->FirstLayerValue(), firstLayer) << step;
        EXPECT_EQ(view->pbCodes->AgreementCount(), firstLayer) << step;
        // The search keeps 5 passes: the replay with 5 is the search's own race.
        const TRecognitionTrace* replay = view->Replay(5);
        ASSERT_NE(replay, nullptr);
        EXPECT_EQ(replay->Winner, traced.Row) << step;
        EXPECT_EQ(replay->CompetitionPasses(), traced.Trace->CompetitionPasses()) << step;
    }
    // Another limit, and the main window has not moved.
    const TRecognitionTrace* longer = view->Replay(40);
    ASSERT_NE(longer, nullptr);
    EXPECT_EQ(longer->MaxIterations, 40);
    EXPECT_GT(longer->CompetitionPasses(), 7);
    EXPECT_EQ(SelectedRows(frm), selected);

    // It follows the next search while it is open.
    Search(frm, QStringLiteral("ДОМ"));
    EXPECT_EQ(view->tblSteps->rowCount(), 4);
    EXPECT_EQ(view->Search().BestRow, SelectedRows(frm).front());

    // Exports.
    const QString png = folder.PathOf(QStringLiteral("charts.png"));
    const QString svg = folder.PathOf(QStringLiteral("charts.svg"));
    ASSERT_TRUE(view->SaveCharts(png));
    ASSERT_TRUE(view->SaveCharts(svg));
    QFile svgFile(svg);
    ASSERT_TRUE(svgFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(svgFile.readAll().contains("<svg"));
    EXPECT_GT(QFile(png).size(), 1000);
    const QStringList lines = view->TableText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[1].split(QLatin1Char('\t')).size(), view->tblSteps->columnCount());

    // A new dictionary: the old search is gone.
    LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("e.txt"), "кот пёс"));
    EXPECT_FALSE(view->HasSearch());
}

// The view keeps the dictionary it shows alive: whoever handed it over may
// let go of its own share (as a load replaces the window's) without leaving
// the view naming freed entries.
TEST(NetworkView, SharesTheDictionaryItShows) {
    auto dictionary = std::make_shared<TDictionary>(DictionaryOf("\xEA\xEE\xF2 \xEF\xB8\xF1"));
    const std::weak_ptr<TDictionary> watched = dictionary;
    TWordCode code{};
    TSearchTrace trace =
        TraceSearch("\xCA\xCE\xD2", dictionary->Entries, dictionary->Network, code);
    ASSERT_EQ(trace.Status, TSearchStatus::Selected);
    TfrmNetwork view(nullptr);
    view.ShowSearch("\xCA\xCE\xD2", dictionary, std::move(trace));
    dictionary.reset();
    EXPECT_FALSE(watched.expired());
    EXPECT_TRUE(view.Story().contains(QStringLiteral("«КОТ»")));
    view.ForgetSearch();
    EXPECT_TRUE(watched.expired());
}

// A closed view lets go of its search and the dictionary it shares; opened
// again, it traces the last search anew.
TEST(NetworkView, ClosedItKeepsNoSearchAndReopenedItTracesTheLastOne) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("d.txt"), Words()));
    Child<QAction>(frm, "actNetworkView")->trigger();
    TfrmNetwork* view = frm.NetworkView();
    ASSERT_NE(view, nullptr);
    Search(frm, QStringLiteral("КОТОК"));
    ASSERT_TRUE(view->HasSearch());
    EXPECT_EQ(view->Search().BestRow, SelectedRows(frm).front());
    EXPECT_EQ(view->tblSteps->rowCount(), 6);

    view->close();
    EXPECT_FALSE(view->HasSearch());
    Child<QAction>(frm, "actNetworkView")->trigger();
    ASSERT_TRUE(view->HasSearch());
    EXPECT_EQ(view->Search().Query, Utf8To1251("КОТОК"));
    EXPECT_EQ(view->Search().BestRow, SelectedRows(frm).front());
    EXPECT_EQ(view->tblSteps->rowCount(), 6);
}

} // namespace
} // namespace verblinka::test_support
