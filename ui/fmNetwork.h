// The window «Работа сети»: how the network chose the row of the last search.
// A companion of the main window that follows every search: the recognitions
// of the query and its variants, for the one selected the two codes bit by
// bit, the first layer over all units and the race of the leaders pass by
// pass, a sentence that tells the story, and a replay with another pass limit.
// Everything shown comes from the traces, recorded once per search.
#pragma once

#include "search/SearchTrace.h"

#include <QWidget>

#include <memory>
#include <optional>
#include <string_view>

class QChartView;
class QLabel;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTableWidget;

namespace verblinka {

struct TDictionary;

// Two word codes as 8 x 20 grids of bits, the input above the stored code;
// bits where they disagree in red, positions holding 0 neutral.
class TBitGrid final : public QWidget {
    Q_OBJECT

public:
    explicit TBitGrid(QWidget* parent = nullptr);

    // firstLayer: the value the network's first layer computed for the pair.
    void SetCodes(const QString& inputText, const TWordCode& input, const QString& storedText,
                  const TWordCode& stored, double firstLayer);
    void Clear();

    // Agreeing bits plus half of the positions where either code holds 0:
    // what the first layer counts, from the bits drawn.
    double AgreementCount() const;
    int DisagreeingBits() const;
    double FirstLayerValue() const { return firstLayer_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString inputText_;
    QString storedText_;
    TWordCode input_{};
    TWordCode stored_{};
    double firstLayer_ = 0.0;
    bool empty_ = true;
};

class TfrmNetwork final : public QWidget {
    Q_OBJECT

public:
    explicit TfrmNetwork(QWidget* owner);

    // Shows search, the trace of query already made on this dictionary (the
    // main window makes it off its thread, beside the search itself). The view
    // shares the dictionary, so a later load cannot free the entries it names.
    void ShowSearch(std::string_view query, std::shared_ptr<const TDictionary> dictionary,
                    TSearchTrace search);
    // The dictionary is being replaced: the view lets go of it and of its search.
    void ForgetSearch();

    bool HasSearch() const { return search_.has_value(); }
    const TSearchTrace& Search() const { return *search_; }
    int SelectedStep() const { return selected_; }
    void SelectStep(int index);
    // The trace shown: the selected recognition's, or its replay.
    const TRecognitionTrace* ShownTrace() const;

    // The selected recognition run again with another pass limit (1 ... 100),
    // in scratch space of its own; shown until another step is selected.
    const TRecognitionTrace* Replay(int passLimit);

    QString Story() const;
    QString TableText() const; // tab-separated, one line per recognition
    // The codes and charts as a picture: SVG when path ends in .svg, else PNG.
    bool SaveCharts(const QString& path);

    QLabel* lblStory = nullptr;
    QStackedWidget* pnlPages = nullptr;
    QTableWidget* tblSteps = nullptr;
    TBitGrid* pbCodes = nullptr;
    QLabel* lblCodes = nullptr;
    QChartView* chFirstLayer = nullptr;
    QChartView* chRace = nullptr;
    QSpinBox* sePassLimit = nullptr;
    QPushButton* btnReplay = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnCopy = nullptr;
    QLabel* lblReplay = nullptr;

private:
    void CreateControls();
    void FillTable();
    void ShowTrace();
    void DrawFirstLayer(const TRecognitionTrace& trace, std::int32_t winner);
    void DrawRace(const TRecognitionTrace& trace);
    QString EntryName(std::int32_t row) const;
    QString SearchStory() const;
    QString RecognitionStory(const TRecognitionTrace& trace) const;
    void AskAndSave();
    void CopyTable();

    std::shared_ptr<const TDictionary> dictionary_; // the one searched, while a search is shown
    std::optional<TSearchTrace> search_;
    QString query_;
    int selected_ = -1;
    std::optional<TRecognitionTrace> replay_;
    QWidget* chartsPanel_ = nullptr;
};

} // namespace verblinka
