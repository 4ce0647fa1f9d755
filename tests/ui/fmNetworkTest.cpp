// The window «Работа сети» as a learner uses it: opened before and after a
// search, following searches, its codes against the trace, the replay, the
// exports, and a new dictionary.
#include "UiTestSupport.h"

#include "reference/TestSupport.h"
#include "search/Search.h"
#include "search/SearchTrace.h"
#include "text/CodePage1251.h"
#include "ui/BackgroundWork.h"
#include "ui/NetworkCharts.h"
#include "ui/ShownText.h"
#include "ui/fmNetwork.h"

#include <QAction>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QThread>
#include <QToolTip>

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

// The row of word (Windows-1251) in a dictionary.
std::int32_t RowOf(const TDictionary& dictionary, const std::string& word) {
    for (std::size_t i = 0; i < dictionary.Entries.size(); ++i) {
        if (dictionary.Entries[i].Word == word) {
            return static_cast<std::int32_t>(i);
        }
    }
    ADD_FAILURE() << "no entry " << word;
    return -1;
}

// A view of query's search in a dictionary made of text, as the main window
// hands it over.
struct TShownSearch {
    TShownSearch(const std::string& text, const std::string& query)
        : Dictionary(std::make_shared<TDictionary>(DictionaryOf(text))) {
        TWordCode code{};
        TSearchTrace trace = TraceSearch(query, Dictionary->Entries, Dictionary->Network, code);
        EXPECT_EQ(trace.Status, TSearchStatus::Selected);
        View.ShowSearch(query, Dictionary, std::move(trace));
        View.resize(1000, 540);
        View.show();
        QApplication::processEvents();
    }

    std::shared_ptr<TDictionary> Dictionary;
    QWidget Owner;
    TBackgroundWork Work{Owner};
    TfrmNetwork View{nullptr, &Work};
};

// Every text the view shows, as it shows it.
QStringList ShownTexts(const TfrmNetwork& view) {
    QStringList texts;
    for (const QLabel* label : view.findChildren<QLabel*>()) {
        texts << label->text();
    }
    for (int row = 0; row < std::min(view.tblSteps->rowCount(), 50); ++row) {
        for (int column = 0; column < view.tblSteps->columnCount(); ++column) {
            texts << view.tblSteps->item(row, column)->text();
        }
    }
    texts << view.pbCodes->InputLabel() << view.pbCodes->StoredLabel() << view.ChartsTitle();
    texts << view.pbMeant->InputLabel() << view.pbMeant->StoredLabel() << view.edtMeant->text();
    for (int unit = 0; unit < view.cbUnit->count(); ++unit) {
        texts << view.cbUnit->itemText(unit);
    }
    for (const QChartView* chart : {view.chFirstLayer, view.chRace}) {
        texts << chart->chart()->title();
        for (const QAbstractSeries* series : chart->chart()->series()) {
            texts << series->name();
        }
    }
    return texts;
}

// Entries of a megabyte, markup, and a query of thousands of letters: every
// text drawn or measured stays short, markup shows as text, and the window
// neither grows nor stops fitting a small screen.
TEST(NetworkView, LongEntriesAndQueriesStayBoundedAndPlain) {
    std::string blob(1'000'000, 'Q');
    for (std::size_t i = 0; i < blob.size(); i += 7) {
        blob[i] = static_cast<char>('a' + i % 26);
    }
    const std::string text = "\xED\xE0\xF7\xE0\xEB\xEE " + blob +
                             " <h1>\xE7\xEB\xEE</h1> <font_color=red_size=7>\xEA\xEE\xF2 "
                             "\xEA\xEE\xED\xE5\xF6";
    for (const std::string& query :
         {std::string("<H1>\xC7\xCB"), std::string("AQQQQQQg"), std::string(3000, '\xC0')}) {
        TShownSearch shown(text, query);
        TfrmNetwork& view = shown.View;
        ASSERT_TRUE(view.HasSearch());
        for (const QString& shownText : ShownTexts(view)) {
            EXPECT_LT(shownText.size(), 2000) << shownText.left(80).toStdString();
        }
        for (const QString& line : view.TableText().split(QLatin1Char('\n'))) {
            EXPECT_LT(line.size(), 600);
        }
        for (QLabel* label : {view.lblStory, view.lblCodes, view.lblReplay, view.lblPassLimit}) {
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
        }
        // The legend is rich text for its colours; the names in it are escaped.
        EXPECT_FALSE(view.lblRaceLegend->text().contains(QStringLiteral("<H1>")));
        EXPECT_FALSE(view.lblRaceLegend->text().contains(QStringLiteral("<FONT")));
        // The megabyte entry as the word meant, its pass formula computed.
        ASSERT_TRUE(view.ShowMeantRow(RowOf(*shown.Dictionary, UpperCase1251(blob))));
        view.SelectUnit(view.MeantRows().front());
        ASSERT_TRUE(view.ComputePassSums());
        for (const QString& shownText : ShownTexts(view)) {
            EXPECT_LT(shownText.size(), 2000) << shownText.left(80).toStdString();
        }
        EXPECT_TRUE(
            view.lblFormula->text().endsWith(QStringLiteral("Совпадает с записанным значением.")));
        ASSERT_NE(view.Replay(40), nullptr);
        EXPECT_LT(view.lblReplay->text().size(), 400);
        EXPECT_LT(view.minimumSizeHint().width(), 780);
        EXPECT_LT(view.minimumSizeHint().height(), 540);
        EXPECT_LT(view.sizeHint().width(), 1200);
        EXPECT_LT(view.width(), 1200);
    }
    TShownSearch markup(text, "<H1>\xC7\xCB");
    EXPECT_TRUE(markup.View.Story().contains(QStringLiteral("«<H1>ЗЛО</H1>»")));
    EXPECT_TRUE(markup.View.lblRaceLegend->text().contains(QStringLiteral("&lt;H1&gt;")));
}

// A network small enough to check by hand: the empty entry, КИТ and КОТ,
// searched for КОТ. КОТ agrees in all 24 bits of its letters and 136
// positions hold 0 (each half an agreement): 92. КИТ's И differs from О in
// 2 bits: 22 + 68 = 90. The empty entry: 160 halves, 80. So pass 1 inhibits
// КОТ by 80 + 90 = 170.
TEST(NetworkView, TheWordIMeantAndThePassesOnATinyNetworkByHand) {
    TShownSearch shown("\xEA\xEE\xF2 \xEA\xE8\xF2", "\xCA\xCE\xD2");
    TfrmNetwork& view = shown.View;
    const std::int32_t kot = RowOf(*shown.Dictionary, "\xCA\xCE\xD2");
    const std::int32_t kit = RowOf(*shown.Dictionary, "\xCA\xC8\xD2");
    ASSERT_EQ(view.Search().BestRow, kot);
    EXPECT_TRUE(view.lblCodes->text().contains(
        QStringLiteral("совпало 24 бита + 136 пустых позиций × ½ = 92")));

    // Typed in lower case, as the search takes typed text.
    view.edtMeant->setText(QStringLiteral("кит"));
    view.btnMeant->click();
    ASSERT_EQ(view.MeantRows(), std::vector<std::int32_t>{kit});
    EXPECT_EQ(view.pnlTabs->currentIndex(), 1);
    EXPECT_TRUE(view.lblMeant->text().contains(
        QStringLiteral("у неё меньше совпадений с входом (90 против 92)")))
        << view.lblMeant->text().toStdString();
    EXPECT_EQ(view.pbMeant->FirstLayerValue(), 90);
    EXPECT_TRUE(view.lblMeantSum->text().contains(
        QStringLiteral("совпало 22 бита + 136 пустых позиций × ½ = 90")));
    EXPECT_TRUE(
        view.lblMeantSum->text().contains(QStringLiteral("красным — 2 несовпадающих бита")));

    // The passes page computes the sums of the others as soon as it is looked at.
    view.pnlTabs->setCurrentIndex(2);
    QTRY_VERIFY(view.ShownPassStep().SumOfOthers.has_value());
    view.cbUnit->setCurrentIndex(view.cbUnit->findData(kot));
    view.sldPass->setValue(1);
    const TPassStep& first = view.ShownPassStep();
    ASSERT_EQ(first.Row, kot);
    EXPECT_EQ(first.Previous, 92);
    EXPECT_EQ(first.SumOfOthers, 170);
    EXPECT_EQ(first.Epsilon, 0.5 / 3);
    EXPECT_TRUE(view.lblFormula->text().startsWith(
        QStringLiteral("Проход 1, ряд %1 «КОТ»: 92 − ").arg(kot)));
    // Every unit at every pass reproduces its recorded value.
    const TRecognitionTrace& trace = *view.ShownTrace();
    for (const std::int32_t row : trace.TrackedRows) {
        view.cbUnit->setCurrentIndex(view.cbUnit->findData(row));
        for (int pass = 1; pass <= trace.CompetitionPasses(); ++pass) {
            view.sldPass->setValue(pass);
            EXPECT_EQ(view.ShownPassStep().Clipped, trace.Value(row, pass)) << row << ' ' << pass;
            EXPECT_TRUE(view.lblFormula->text().endsWith(
                QStringLiteral("Совпадает с записанным значением.")));
        }
    }

    view.edtMeant->setText(QStringLiteral("пёс"));
    view.btnMeant->click();
    EXPECT_TRUE(view.MeantRows().empty());
    EXPECT_EQ(view.lblMeant->text(), QStringLiteral("Записи «пёс» в словаре нет."));
}

// «Взять из списка» takes the main list's current entry and leaves its
// selection; later searches follow that entry.
TEST(NetworkView, TheWordIMeantFromTheMainList) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("d.txt"), Words()));
    Search(frm, QStringLiteral("КОТОК"));
    Child<QAction>(frm, "actNetworkView")->trigger();
    TfrmNetwork* view = frm.NetworkView();
    ASSERT_TRUE(view != nullptr && view->HasSearch());
    const std::vector<int> selected = SelectedRows(frm);
    const std::int32_t meant = RowOf(frm.Dictionary(), Utf8To1251("СЛОВО17"));
    auto* list = Child<QListView>(frm, "lbWordsList");
    list->selectionModel()->setCurrentIndex(list->model()->index(meant, 0),
                                            QItemSelectionModel::NoUpdate);
    Child<QPushButton>(*view, "btnFromList")->click();
    ASSERT_EQ(view->MeantRows(), std::vector<std::int32_t>{meant});
    EXPECT_EQ(SelectedRows(frm), selected);
    for (const TTracedStep& step : view->Search().Steps) {
        EXPECT_GE(step.Trace->TrackedIndex(meant), 0);
    }
    EXPECT_TRUE(view->lblMeant->text().startsWith(
        QStringLiteral("Ни одно распознавание поиска её не вернуло. Задуманная запись ряд %1 "
                       "«СЛОВО17»: первый слой ")
            .arg(meant)))
        << view->lblMeant->text().toStdString();

    Search(frm, QStringLiteral("ДОМ"));
    EXPECT_GE(view->ShownTrace()->TrackedIndex(meant), 0);
    EXPECT_TRUE(view->lblMeant->text().contains(QStringLiteral("«СЛОВО17»")));
}

// The replay runs off the window's thread through the background work, stops
// at Cancel, and the next search brings back the search's own pass limit.
TEST(NetworkView, ReplayIsBackgroundWorkThatCancels) {
    TShownSearch shown(Words(), "\xCA\xCE\xD2\xCE\xCA");
    TfrmNetwork& view = shown.View;
    const TRecognitionTrace* recorded = view.ShownTrace();
    ASSERT_NE(recorded, nullptr);

    std::vector<QThread*> threads;
    view.SetReplayProbe([&threads] { threads.push_back(QThread::currentThread()); });
    const TRecognitionTrace* replay = view.Replay(40);
    ASSERT_NE(replay, nullptr);
    ASSERT_FALSE(threads.empty());
    for (QThread* thread : threads) {
        EXPECT_NE(thread, QApplication::instance()->thread());
    }
    EXPECT_EQ(view.sePassLimit->value(), 40);
    EXPECT_EQ(view.lblPassLimit->text(), QStringLiteral("до 42 проходов"));
    EXPECT_TRUE(view.lblReplay->text().startsWith(
        QStringLiteral("Повтор с пределом 40 (до 42 проходов): победил ряд")));

    // Cancel while it runs: nothing replaces what is shown.
    view.SelectStep(view.SelectedStep()); // the recorded trace again
    view.SetReplayProbe([&shown] { shown.Work.Cancel(); });
    EXPECT_EQ(view.Replay(60), nullptr);
    EXPECT_EQ(view.ShownTrace(), recorded);
    EXPECT_TRUE(view.lblReplay->text().contains(QStringLiteral("прерван")));
    EXPECT_FALSE(shown.Work.Busy());

    view.SetReplayProbe(nullptr);
    ASSERT_NE(view.Replay(30), nullptr);
    TWordCode code{};
    view.ShowSearch(
        "\xC4\xCE\xCC", shown.Dictionary,
        TraceSearch("\xC4\xCE\xCC", shown.Dictionary->Entries, shown.Dictionary->Network, code));
    EXPECT_EQ(view.sePassLimit->value(), kProgramMaxIterations);
    EXPECT_TRUE(view.lblReplay->text().isEmpty());
}

// Every bar of the histogram tells its number of units; the axes are titled
// and write their numbers in Russian.
TEST(NetworkView, HistogramBarsTellTheirUnits) {
    TShownSearch shown(Words(), "\xCA\xCE\xD2\xCE\xCA");
    const TRecognitionTrace& trace = *shown.View.ShownTrace();
    QChart* chart = shown.View.chFirstLayer->chart();
    EXPECT_TRUE(chart->localizeNumbers());
    EXPECT_EQ(chart->locale().language(), QLocale::Russian);
    EXPECT_TRUE(shown.View.chRace->chart()->localizeNumbers());
    for (const QAbstractAxis* axis : chart->axes()) {
        EXPECT_FALSE(axis->titleText().isEmpty());
    }
    ASSERT_EQ(chart->series().size(), 1);
    auto* bars = qobject_cast<QBarSeries*>(chart->series().front());
    ASSERT_TRUE(bars != nullptr && bars->count() == 1);
    QBarSet* set = bars->barSets().front();
    int tipped = 0;
    for (int value = 0; value < set->count(); ++value) {
        const auto units = trace.Histogram[static_cast<std::size_t>(value)];
        if (units == 0) {
            continue;
        }
        emit set->hovered(true, value);
        EXPECT_EQ(QToolTip::text(), HistogramBarTip(static_cast<std::size_t>(value), units));
        ++tipped;
    }
    EXPECT_GT(tipped, 1);
    emit set->hovered(false, 0);
}

// With no room beside the main window, the view opens where the word box
// stays in sight, within the screen; the exports carry a title that says what
// they show.
TEST(NetworkView, OpensBesideTheWordBoxAndExportsATitle) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("словарь.txt"), Words()));
    Search(frm, QStringLiteral("КОТОК"));
    Child<QAction>(frm, "actNetworkView")->trigger();
    TfrmNetwork* view = frm.NetworkView();
    ASSERT_TRUE(view != nullptr && view->HasSearch());
    const QLineEdit* word = Child<QLineEdit>(frm, "edtWord");
    const QRect wordBox(word->mapToGlobal(QPoint(0, 0)), word->size());
    EXPECT_FALSE(view->frameGeometry().intersects(wordBox));
    EXPECT_TRUE(view->screen()->availableGeometry().contains(view->frameGeometry()));

    const QString title = view->ChartsTitle();
    EXPECT_TRUE(title.startsWith(QStringLiteral("«КОТОК», словарь словарь.txt. ")));
    EXPECT_TRUE(title.endsWith(view->Story()));
    const QString png = folder.PathOf(QStringLiteral("charts.png"));
    const QString svg = folder.PathOf(QStringLiteral("charts.svg"));
    ASSERT_TRUE(view->SaveCharts(png));
    ASSERT_TRUE(view->SaveCharts(svg));
    const QImage image(png);
    EXPECT_GT(image.height(), view->pbCodes->height() + view->chFirstLayer->height() +
                                  view->chRace->height() + view->fontMetrics().height());
    QFile svgFile(svg);
    ASSERT_TRUE(svgFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(svgFile.readAll()).contains(QStringLiteral("словарь.txt")));
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
