// The window «Работа сети»: how the network chose the row of the last search.
// A companion of the main window that follows every search: the recognitions
// of the query and its variants (TSearchStepsModel), for the one selected the
// two codes bit by bit (TBitGrid), the first layer over all units and the race
// of the leaders pass by pass (NetworkCharts), a sentence that tells the story
// (NetworkStory), and a replay with another pass limit, run as background
// work. Beside the charts, two pages for a learner's own questions: the word
// they meant, against the winner, and each pass's formula for one unit with
// its real numbers (the sums it needs recomputed in the background from a
// replay, PassSums). Everything shown comes from the traces, recorded once
// per search, and every text drawn is cut to a bounded length (ShownText).
#pragma once

#include "search/SearchTrace.h"
#include "ui/BitGrid.h"
#include "ui/NetworkStory.h"
#include "ui/PassSums.h"
#include "ui/SearchStepsModel.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QStackedWidget;
class QTabWidget;
class QTimer;

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
    // The view may trace the search again on the dictionary's network (to
    // follow the word the user meant), never while other work runs.
    void ShowSearch(std::string_view query, std::shared_ptr<TDictionary> dictionary,
                    TSearchTrace search);
    // The dictionary is being replaced: the view lets go of it and of its search.
    void ForgetSearch();
    // The file the dictionary was read from, named in the exports' title.
    void SetDictionaryFile(const QString& path);

    // The word the user meant: an entry found by its typed text (converted
    // as the search converts it), or by its row. The search is traced again
    // to follow it when its traces do not, as background work. False when
    // there is no such entry, nothing is shown, or the work was cancelled.
    bool ShowMeant(const QString& typed);
    bool ShowMeantRow(std::int32_t row);
    // Makes row of dictionary the meant entry, to be followed by the next
    // search the view is shown (MeantRows).
    void FollowRow(const std::shared_ptr<TDictionary>& dictionary, std::int32_t row);
    // Rows a traced search should follow for the view: the meant entry's.
    std::vector<std::int32_t> MeantRows() const;
    // Where «Взять из списка» takes an entry: the main list's current row.
    void SetListPick(std::function<std::optional<std::int32_t>()> pick) {
        listPick_ = std::move(pick);
    }

    // The pass stepper: a tracked unit and a pass (1 ... the trace's passes).
    void SelectUnit(std::int32_t row);
    void SelectPass(int pass);
    // The step shown, its sum of the others filled once computed.
    const TPassStep& ShownPassStep() const { return passStep_; }
    // Computes the shown trace's sums of the others as background work
    // (progress, Cancel); false when cancelled or not possible now.
    bool ComputePassSums();
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
    QTabWidget* pnlTabs = nullptr; // the charts, the meant word, the passes
    QLineEdit* edtMeant = nullptr;
    QPushButton* btnMeant = nullptr;
    QPushButton* btnFromList = nullptr;
    QLabel* lblMeant = nullptr;
    TBitGrid* pbMeant = nullptr;
    QLabel* lblMeantSum = nullptr;
    QComboBox* cbUnit = nullptr;
    QSlider* sldPass = nullptr;
    QLabel* lblPass = nullptr;
    QLabel* lblFormula = nullptr;
    QPushButton* btnSums = nullptr;

private:
    void CreateControls();
    QWidget* CreateMeantPage();
    QWidget* CreatePassesPage();
    void ShowTrace();
    void ShowMeantInTrace(const TRecognitionTrace& trace);
    void FillUnits(const TRecognitionTrace& trace);
    void ShowPassStep();
    // Computes the sums once the passes page is looked at, unless declined.
    void OfferPassSums();
    // Finds the entry (typed: UTF-8; or row) and traces the search to follow it.
    bool FollowMeant(const std::optional<std::string>& typed, std::optional<std::int32_t> row);
    // The code of a dictionary row as the network stores it.
    TWordCode RowCode(std::int32_t row) const;
    // The first 20 characters of a text as the grids' columns show them.
    QString Letters(std::string_view bytes) const;
    // The shown text of a dictionary row, cut; nothing outside the dictionary.
    std::optional<QString> EntryText(std::int32_t row) const;
    TEntryText Namer() const;
    // The buttons' commands, run through commands_ only.
    void AskAndSave();
    void CopyTable();

    TBackgroundWork* work_ = nullptr;
    TCommands* commands_ = nullptr;           // a child of the view
    std::shared_ptr<TDictionary> dictionary_; // the one searched, while a search is shown
    std::shared_ptr<const TSearchTrace> search_;
    TSearchStepsModel* steps_ = nullptr;
    QString dictionaryFile_;
    int selected_ = -1;
    std::optional<TRecognitionTrace> replay_;
    std::function<void()> replayProbe_;
    QWidget* codesPanel_ = nullptr;
    QWidget* chartsPanel_ = nullptr;
    QWidget* passesPage_ = nullptr;
    std::optional<std::int32_t> meant_;
    std::weak_ptr<TDictionary> meantOf_; // the dictionary meant_ is a row of
    std::function<std::optional<std::int32_t>()> listPick_;
    TPassStep passStep_;
    std::optional<TPassSums> sums_;     // of the shown trace
    bool sumsDeclined_ = false;         // cancelled for the shown trace: only on request
    std::uint64_t traceGeneration_ = 0; // counts the traces shown
    QTimer* sumsTimer_ = nullptr;       // starts the pass sums once the asking event is over
    std::uint64_t sumsGeneration_ = 0;  // the trace they were asked for
};

} // namespace verblinka
