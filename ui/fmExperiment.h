// The window «Опыт»: how often each of up to four configurations finds the
// word a person meant. The misspellings are made from the dictionary's own
// entries (N of each kind, seeded) or read from a file of pairs; the
// experiment runs as background work with progress and Cancel; the first-hit
// rates come as a table and a grouped bar chart, the misses as a list whose
// entries open in «Работа сети» under their configuration. The results
// export as TSV, PNG and SVG. Every text drawn is cut to a bounded length.
#pragma once

#include "search/Experiment.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QChartView;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableView;
class QTableWidget;

namespace verblinka {

class TBackgroundWork;
class TCommands;
class TMissesModel;

// How many configurations run side by side.
inline constexpr std::size_t kExperimentSlots = 4;

class TfrmExperiment final : public QWidget {
    Q_OBJECT

public:
    // work: the main window's, so that each window's commands refuse while
    // the other's work runs.
    TfrmExperiment(QWidget* owner, TBackgroundWork& work);
    ~TfrmExperiment() override;

    // Where the dictionary and the configuration in force come from (read
    // when the experiment runs; the dictionary ends as it was).
    void SetSource(std::function<std::shared_ptr<TDictionary>()> dictionary,
                   std::function<TNetworkConfig()> current);
    // Opens a miss: the misspelling (Windows-1251), its configuration, the
    // intended row (-1 when not in the dictionary).
    using TOpenMiss = std::function<void(const std::string& text, const TNetworkConfig& config,
                                         std::int32_t intended)>;
    void SetOpenMiss(TOpenMiss open) { openMiss_ = std::move(open); }
    // Seams: the pairs file's dialog and the export's (a path, or nothing).
    using TAskPath = std::function<std::optional<QString>(QWidget* owner)>;
    void SetPairsDialog(TAskPath ask) { askPairs_ = std::move(ask); }
    void SetExportDialog(TAskPath ask) { askExport_ = std::move(ask); }
    // Called from the experiment's thread at each search done (tests).
    void SetProgressProbe(std::function<void()> probe) { probe_ = std::move(probe); }

    // Fits the window into the screen it is on, centred.
    void FitScreen();

    // The commands, as the buttons run them.
    void StartExperiment(); // «Запустить»
    void ChoosePairs();     // «Загрузить пары…»
    void ChooseExport();    // «Сохранить…»
    // Opens the miss in row of the misses' list.
    void OpenMiss(int row);

    // What the last experiment gave; empty before one ran to its end.
    const std::vector<TConfigResult>& Results() const { return results_; }
    const std::vector<TMisspelling>& Misspellings() const { return misspellings_; }
    // The table, tab-separated.
    QString TableText() const;
    // The table and chart as a picture: SVG when path ends in .svg, PNG
    // otherwise; the table as TSV when it ends in .tsv.
    bool Export(const QString& path);

    QSpinBox* sePerKind = nullptr;
    QSpinBox* seSeed = nullptr;
    QPushButton* btnPairs = nullptr;
    QLabel* lblPairs = nullptr;
    std::array<QCheckBox*, kExperimentSlots> chUse{};
    std::array<QComboBox*, kExperimentSlots> cbPreset{};
    std::array<QComboBox*, kExperimentSlots> cbCode{};
    std::array<QDoubleSpinBox*, kExperimentSlots> seMaxOutput{};
    std::array<QDoubleSpinBox*, kExperimentSlots> seEpsilon{};
    std::array<QSpinBox*, kExperimentSlots> seMaxIterations{};
    QPushButton* btnRun = nullptr;
    QPushButton* btnExport = nullptr;
    QLabel* lblStatus = nullptr;
    QTableWidget* tblResults = nullptr;
    QChartView* chResults = nullptr;
    QTableView* tblMisses = nullptr;

private:
    void CreateControls();
    QWidget* CreateSettings();
    void FillCodes();
    void ShowPreset(std::size_t slot);
    // The configurations ticked, as their fields set them.
    std::vector<TNetworkConfig> ChosenConfigs() const;
    TNetworkConfig SlotConfig(std::size_t slot) const;
    bool RunExperimentNow();
    void AskForPairs();
    bool ReadPairs(const QString& path);
    void ShowResults();
    void AskAndExport();

    TBackgroundWork& work_;
    TCommands* commands_ = nullptr;
    std::function<std::shared_ptr<TDictionary>()> dictionary_;
    std::function<TNetworkConfig()> current_;
    TOpenMiss openMiss_;
    TAskPath askPairs_;
    TAskPath askExport_;
    std::function<void()> probe_;
    std::vector<TWordCoder> codes_; // the codes offered, in cbCode's order
    std::optional<std::vector<TMisspelling>> pairs_;
    std::vector<TMisspelling> misspellings_; // of the last experiment
    std::vector<TConfigResult> results_;
    std::weak_ptr<TDictionary> ranOn_; // the dictionary the results name rows of
    TMissesModel* misses_ = nullptr;
    QWidget* resultsPanel_ = nullptr;
};

} // namespace verblinka
