// The window «Работа сети»: how the network chose the row of the last search.
// A companion of the main window that follows every search: the recognitions
// of the query and its variants (TSearchStepsModel), for the one selected the
// two codes bit by bit (TBitGrid), the first layer over all units and the race
// of the leaders pass by pass (NetworkCharts), a sentence that tells the story
// (NetworkStory), and a replay with another pass limit, run as background
// work. Everything shown comes from the traces, recorded once per search, and
// every text drawn is cut to a bounded length (ShownText).
#pragma once

#include "search/SearchTrace.h"
#include "ui/BitGrid.h"
#include "ui/NetworkStory.h"
#include "ui/SearchStepsModel.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

class QChartView;
class QLabel;
class QPushButton;
class QSpinBox;
class QStackedWidget;

namespace verblinka {

class TBackgroundWork;
class TCommands;
struct TDictionary;

class TfrmNetwork final : public QWidget {
    Q_OBJECT

public:
    // work: the owner's background work, which the replay runs through, so
    // that the owner's commands refuse while it runs and the view's while
    // the owner's work runs; without one the view has its own.
    explicit TfrmNetwork(QWidget* owner, TBackgroundWork* work = nullptr);

    // Shows search, the trace of query already made on this dictionary (the
    // main window makes it off its thread, beside the search itself). The view
    // shares the dictionary, so a later load cannot free the entries it names.
    // The pass limit goes back to the search's own.
    void ShowSearch(std::string_view query, std::shared_ptr<const TDictionary> dictionary,
                    TSearchTrace search);
    // The dictionary is being replaced: the view lets go of it and of its search.
    void ForgetSearch();
    // The file the dictionary was read from, named in the exports' title.
    void SetDictionaryFile(const QString& path);

    bool HasSearch() const { return search_ != nullptr; }
    const TSearchTrace& Search() const { return *search_; }
    int SelectedStep() const { return selected_; }
    void SelectStep(int index);
    // The trace shown: the selected recognition's, or its replay.
    const TRecognitionTrace* ShownTrace() const;

    // The selected recognition run again with another pass limit (1 ... 100),
    // as background work with progress and Cancel, in scratch space of its
    // own; shown until another step is selected. nullptr when there is
    // nothing to replay, other work runs, or the replay was cancelled.
    const TRecognitionTrace* Replay(int passLimit);
    // Called from the replay's thread at each pass (tests).
    void SetReplayProbe(std::function<void()> probe) { replayProbe_ = std::move(probe); }

    QString Story() const;
    QString TableText() const; // tab-separated, one line per recognition
    // The line above the exported charts: the query, the dictionary's file and the story.
    QString ChartsTitle() const;
    // The title, codes and charts as a picture: SVG when path ends in .svg, else PNG.
    bool SaveCharts(const QString& path);

    // Places the view beside owner where the screen has room for it, and
    // otherwise below keepVisible (a rectangle of owner's, in its
    // coordinates) so that it stays in sight; never larger than the screen.
    void PlaceBeside(const QWidget& owner, const QRect& keepVisible);

    QLabel* lblStory = nullptr;
    QStackedWidget* pnlPages = nullptr;
    TStepsTable* tblSteps = nullptr;
    TBitGrid* pbCodes = nullptr;
    QLabel* lblCodes = nullptr;
    QChartView* chFirstLayer = nullptr;
    QChartView* chRace = nullptr;
    QLabel* lblRaceLegend = nullptr; // the race's legend, wrapped below it
    QSpinBox* sePassLimit = nullptr;
    QLabel* lblPassLimit = nullptr; // what the limit allows
    QPushButton* btnReplay = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnCopy = nullptr;
    QLabel* lblReplay = nullptr;

private:
    void CreateControls();
    void ShowTrace();
    // The shown text of a dictionary row, cut; nothing outside the dictionary.
    std::optional<QString> EntryText(std::int32_t row) const;
    TEntryText Namer() const;
    // The buttons' commands, run through commands_ only.
    void AskAndSave();
    void CopyTable();

    TBackgroundWork* work_ = nullptr;
    TCommands* commands_ = nullptr;                 // a child of the view
    std::shared_ptr<const TDictionary> dictionary_; // the one searched, while a search is shown
    std::shared_ptr<const TSearchTrace> search_;
    TSearchStepsModel* steps_ = nullptr;
    QString dictionaryFile_;
    int selected_ = -1;
    std::optional<TRecognitionTrace> replay_;
    std::function<void()> replayProbe_;
    QWidget* codesPanel_ = nullptr;
    QWidget* chartsPanel_ = nullptr;
};

} // namespace verblinka
