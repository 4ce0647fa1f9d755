// The lab as a learner uses it: the menu «Сеть» chooses the configuration
// the dictionary and the searches run under, and the window «Опыт» compares
// configurations on a tiny dictionary end to end, opening a miss in
// «Работа сети».
#include "UiTestSupport.h"

#include "search/Experiment.h"
#include "search/Search.h"
#include "text/CodePage1251.h"
#include "ui/BackgroundWork.h"
#include "ui/fmExperiment.h"
#include "ui/fmNetwork.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>

#include <gtest/gtest.h>

namespace verblinka::test_support {
namespace {

std::string Words() {
    std::string text = "кот кит кто ток код кош котёнок коты пёс дом ком кошка лодка ";
    text += "собака сорока ворона корова молоко дорога работа суббота ";
    return text;
}

QAction* Action(const TfrmMain& frm, const char* name) {
    return frm.findChild<QAction*>(QLatin1String(name));
}

// The row the core's search selects for query under the dictionary's code.
std::int32_t CoreRow(const TfrmMain& frm, const std::string& query) {
    TDictionary copy = frm.Dictionary();
    TSearchControl control;
    control.Coder = &copy.Coder;
    TWordCode code{};
    return SearchWord(query, copy.Entries, copy.Network, code, false, control).BestRow;
}

TEST(NetworkMenu, ChoosesTheConfigurationAndKeepsItForTheNextDictionary) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("d.txt"), Words()));
    auto* shown = Child<QLabel>(frm, "lblConfig");
    EXPECT_TRUE(shown->text().startsWith(QStringLiteral("Сеть: программа;")));
    EXPECT_TRUE(Action(frm, "actConfig_program")->isChecked());

    Action(frm, "actConfig_best")->trigger();
    const TNetworkConfig best = *FindShippedConfig("best");
    EXPECT_TRUE(frm.Dictionary().Coder == best.Coder);
    EXPECT_EQ(frm.Dictionary().Network.MaxOutput(), best.MaxOutput);
    EXPECT_TRUE(shown->text().startsWith(QStringLiteral("Сеть: лучшая найденная;")));
    EXPECT_TRUE(Action(frm, "actConfig_best")->isChecked());
    EXPECT_FALSE(Action(frm, "actConfig_program")->isChecked());
    // The search runs under it: the list selects what the core selects.
    for (const char* typed : {"КОТЫК", "КРОВОА", "СОБКАА"}) {
        Search(frm, QString::fromUtf8(typed));
        EXPECT_EQ(SelectedRows(frm), std::vector<int>{CoreRow(frm, Utf8To1251(typed))}) << typed;
    }

    // A new dictionary is stored under the configuration in force.
    LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("e.txt"), "кот пёс дом"));
    EXPECT_EQ(frm.Dictionary().Entries.size(), 4u);
    EXPECT_TRUE(frm.Dictionary().Coder == best.Coder);
    Search(frm, QStringLiteral("ПОС"));
    EXPECT_EQ(SelectedRows(frm), std::vector<int>{CoreRow(frm, Utf8To1251("ПОС"))});
}

// A table of the user's: a bad one is refused with the line it names and
// nothing changes; a good one is applied and named.
TEST(NetworkMenu, ReadsACodeTableOrRefusesItWithItsLine) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("d.txt"), Words()));
    Action(frm, "actConfig_keyboard")->trigger();
    const QString before = Child<QLabel>(frm, "lblConfig")->text();

    QString table = folder.Write(QStringLiteral("bad.txt"), "# мой код\nА 11000000\nБ 1100\n");
    frm.SetCodeTableDialog([&table](QWidget*) { return std::optional<QString>(table); });
    {
        TModalAnswerer answerer;
        Action(frm, "actCodeTable")->trigger();
        ASSERT_EQ(answerer.Records().size(), 1u);
        EXPECT_TRUE(answerer.Records().front().Text.contains(QStringLiteral("строка 3")))
            << answerer.Records().front().Text.toStdString();
        EXPECT_EQ(answerer.Records().front().Icon, QMessageBox::Critical);
    }
    EXPECT_TRUE(frm.Dictionary().Coder == TWordCoder::Keyboard());
    EXPECT_EQ(Child<QLabel>(frm, "lblConfig")->text(), before);
    EXPECT_TRUE(Action(frm, "actConfig_keyboard")->isChecked());
    EXPECT_FALSE(Action(frm, "actCodeTable")->isChecked());

    table = folder.Write(QStringLiteral("мой.txt"), "А 11111111\nБ 00000001\n");
    Action(frm, "actCodeTable")->trigger();
    EXPECT_EQ(frm.Dictionary().Coder.Kind(), TCodeKind::Table);
    EXPECT_TRUE(
        Child<QLabel>(frm, "lblConfig")->text().contains(QStringLiteral("свой код «мой.txt»")));
    EXPECT_TRUE(Action(frm, "actCodeTable")->isChecked());
}

// The window on a tiny dictionary: its figures are the core's for the same
// misspellings, the dictionary ends as it was, the results export, and a
// miss opens in «Работа сети» under its configuration, following the word
// that was meant.
TEST(ExperimentWindow, ComparesConfigurationsAndOpensAMiss) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("d.txt"), Words()));
    Action(frm, "actExperiment")->trigger();
    TfrmExperiment* window = frm.ExperimentWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    Child<QSpinBox>(*window, "sePerKind")->setValue(4);
    Child<QSpinBox>(*window, "seSeed")->setValue(7);
    for (const char* name : {"chUse1", "chUse2", "chUse3", "chUse4"}) {
        Child<QCheckBox>(*window, name)
            ->setChecked(std::string(name) == "chUse1" || std::string(name) == "chUse4");
    }
    Child<QPushButton>(*window, "btnRun")->click();
    const std::vector<TConfigResult>& results = window->Results();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(frm.Dictionary().Coder == TWordCoder::Program()); // as it was

    TDictionary copy = frm.Dictionary();
    const std::vector<TMisspelling> misspellings = MakeMisspellings(copy.Entries, 4, 7);
    ASSERT_EQ(window->Misspellings().size(), misspellings.size());
    const auto core = RunExperiment(
        copy, {*FindShippedConfig("program"), *FindShippedConfig("best")}, misspellings);
    ASSERT_TRUE(core.has_value());
    auto* table = Child<QTableWidget>(*window, "tblResults");
    ASSERT_EQ(table->rowCount(), 2);
    std::size_t misses = 0;
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].Overall.Hits, (*core)[i].Overall.Hits) << i;
        EXPECT_EQ(results[i].Overall.Total, misspellings.size()) << i;
        const double rate = 100.0 * static_cast<double>(results[i].Overall.Hits) /
                            static_cast<double>(results[i].Overall.Total);
        EXPECT_EQ(table->item(static_cast<int>(i), 5)->text(),
                  QString::number(rate, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(',')));
        misses += results[i].Misses.size();
    }
    auto* list = Child<QTableView>(*window, "tblMisses");
    ASSERT_EQ(static_cast<std::size_t>(list->model()->rowCount()), misses);

    const QString tsv = folder.PathOf(QStringLiteral("опыт.tsv"));
    const QString png = folder.PathOf(QStringLiteral("опыт.png"));
    const QString svg = folder.PathOf(QStringLiteral("опыт.svg"));
    for (const QString& path : {tsv, png, svg}) {
        ASSERT_TRUE(window->Export(path)) << path.toStdString();
    }
    QFile file(tsv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0].split(QLatin1Char('\t')).size(), 8);
    EXPECT_GT(QImage(png).height(), 100);

    // A miss of the best configuration opens under it.
    ASSERT_GT(misses, 0u);
    const int last = list->model()->rowCount() - 1;
    list->setCurrentIndex(list->model()->index(last, 0));
    // The list holds the configurations' misses in order: its last row is
    // the last miss of the last configuration that has any.
    std::size_t ownerIndex = results.size() - 1;
    while (results[ownerIndex].Misses.empty()) {
        --ownerIndex;
    }
    const TMiss& miss = results[ownerIndex].Misses.back();
    const TNetworkConfig config = results[ownerIndex].Config;
    window->OpenMiss(last);
    EXPECT_TRUE(frm.Dictionary().Coder == config.Coder);
    EXPECT_EQ(frm.NetworkConfig().Name, config.Name);
    TfrmNetwork* view = frm.NetworkView();
    ASSERT_TRUE(view != nullptr && view->isVisible() && view->HasSearch());
    EXPECT_EQ(view->Search().Query, window->Misspellings()[miss.Misspelling].Text);
    EXPECT_EQ(view->Search().BestRow, miss.ChosenRow);
    if (miss.IntendedRow >= 0) {
        EXPECT_EQ(view->MeantRows(), std::vector<std::int32_t>{miss.IntendedRow});
    }
}

// Pairs from a file take the place of the generated misspellings; a bad
// file is refused with its line, keeping what was there.
TEST(ExperimentWindow, RunsGivenPairsAndRefusesABadFile) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("d.txt"), Words()));
    frm.ShowExperiment();
    TfrmExperiment& window = *frm.ExperimentWindow();
    QString pairs =
        folder.Write(QStringLiteral("p.txt"), "КОТЫК\tКОТИК\nКРОВОА\tКОРОВА\nДРОГА\tДОРОГА\n");
    window.SetPairsDialog([&pairs](QWidget*) { return std::optional<QString>(pairs); });
    Child<QPushButton>(window, "btnPairs")->click();
    EXPECT_TRUE(Child<QLabel>(window, "lblPairs")->text().contains(QStringLiteral("3 пары")));
    pairs = folder.Write(QStringLiteral("bad.txt"), "КОТ\tКОТ\nбез табуляции\n");
    {
        TModalAnswerer answerer;
        Child<QPushButton>(window, "btnPairs")->click();
        ASSERT_EQ(answerer.Records().size(), 1u);
        EXPECT_TRUE(answerer.Records().front().Text.contains(QStringLiteral("строка 2")));
    }
    EXPECT_TRUE(Child<QLabel>(window, "lblPairs")->text().contains(QStringLiteral("3 пары")));
    window.StartExperiment();
    ASSERT_EQ(window.Misspellings().size(), 3u);
    for (const TConfigResult& result : window.Results()) {
        EXPECT_EQ(result.Given.Total, 3u);
        EXPECT_EQ(result.Overall.Total, 3u);
    }
    // «КОТИК» is in no entry: a miss whose intended row says so.
    const TConfigResult& first = window.Results().front();
    ASSERT_FALSE(first.Misses.empty());
    EXPECT_EQ(first.Misses.front().IntendedRow, -1);

    // Cancelled part-way, under another configuration in force: the
    // dictionary, the results and the table stay as they were.
    frm.ApplyNetworkConfig(*FindShippedConfig("keyboard"));
    const std::size_t shownRows =
        static_cast<std::size_t>(Child<QTableWidget>(window, "tblResults")->rowCount());
    const std::size_t hits = window.Results().front().Overall.Hits;
    int searches = 0;
    window.SetProgressProbe([&] {
        if (++searches == 2) {
            const_cast<TBackgroundWork&>(frm.Work()).Cancel();
        }
    });
    window.StartExperiment();
    EXPECT_GE(searches, 2);
    EXPECT_TRUE(Child<QLabel>(window, "lblStatus")->text().contains(QStringLiteral("прерван")));
    EXPECT_EQ(window.Results().front().Overall.Hits, hits);
    EXPECT_EQ(static_cast<std::size_t>(Child<QTableWidget>(window, "tblResults")->rowCount()),
              shownRows);
    EXPECT_TRUE(frm.Dictionary().Coder == TWordCoder::Keyboard());
    EXPECT_EQ(frm.NetworkConfig().Name, "keyboard");
}

} // namespace
} // namespace verblinka::test_support
