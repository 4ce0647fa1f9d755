// The main window: the toolbar with the open, help and about commands, the
// query strip with the word box and the search button, and the dictionary
// list. It holds the state of the whole program, the dictionary (its entries
// and its network) first; tests reach it through the commands, the controls
// by their object names, and the seams below.
#pragma once

#include "dictionary/BTree.h"
#include "dictionary/DictionaryLoad.h"
#include "engine/HammingMem.h"
#include "search/Configuration.h"
#include "text/WordCode.h"
#include "ui/BackgroundWork.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>

class QFrame;
class QLabel;
class QAction;
class QBoxLayout;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;
class QToolBar;
class QToolButton;

namespace verblinka {

// The word box takes as many characters as a text can hold: a paste is never cut.
inline constexpr int kWordBoxMaxLength = std::numeric_limits<int>::max();

class TCommands;
class TfrmAbout;
class TfrmExperiment;
class TfrmHelp;
class TfrmNetwork;
class TWordListModel;

class TfrmMain final : public QWidget {
    Q_OBJECT

public:
    // Asks the user for a dictionary file: the full path, or nothing when the
    // user cancelled. The window's own is RunDictionaryOpenDialog.
    using TOpenDialog = std::function<std::optional<QString>(QWidget* owner)>;

    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The dialogs that the help and about commands show; they belong to the
    // application, which creates them after the main window.
    void AttachDialogs(TfrmAbout& about, TfrmHelp& help);

    // Commands, as their controls run them: each does nothing while
    // background work runs (TCommands).
    void N2Click();          // load a dictionary
    void ToolButton2Click(); // help
    void ToolButton3Click(); // about
    void btnProcessClick();  // search for the typed word
    // Shows the window «Работа сети» (made on first use) with the last search.
    void ShowNetworkView();
    // Puts the dictionary, and every search after, under config: its rows
    // re-stored under its code in the background, with progress and Cancel.
    // A configuration the network does not take is refused with its
    // message; cancelled or refused, nothing changes.
    void ApplyNetworkConfig(const TNetworkConfig& config);
    // «Свой код…»: a table of letter codes read from a file the user
    // chooses, applied with the constants in force; a bad table is refused
    // with its message.
    void LoadCodeTable();
    // Shows the window «Опыт» (made on first use).
    void ShowExperiment();

    // The load's last step: shows dictionary (built from the file at path) in
    // place of the current one. Nothing in it can fail half-way.
    void ReplaceDictionary(TDictionary dictionary, const QString& path);

    // What the window shows: the program's title, the dictionary (entry i is
    // the word whose code is row i of its network), the network view once
    // made, and the load or search running off the window's thread, if any.
    const QString& ProgramTitle() const { return Title; }
    const TDictionary& Dictionary() const { return *dictionary_; }
    TfrmNetwork* NetworkView() const { return frmNetwork_; }
    TfrmExperiment* ExperimentWindow() const { return frmExperiment_; }
    // The configuration the dictionary and the searches run under.
    const TNetworkConfig& NetworkConfig() const { return config_; }
    // Shows a recognition of the experiment in «Работа сети»: query searched
    // under config, on the dictionary shown (re-stored for it, and back).
    void ShowInNetworkView(const std::string& query, const TNetworkConfig& config);
    const TBackgroundWork& Work() const { return *work_; }

    // Seams; the program sets none but the first, and that to its own dialog.
    void SetOpenDialog(TOpenDialog openDialog);
    // Asks for the file of «Свой код…»; the window's own is RunCodeTableDialog.
    void SetCodeTableDialog(TOpenDialog dialog);
    // Told of a load's large allocations. Tests make memory run out through
    // it, or hold a load there to make it slow.
    void SetAllocationProbe(TAllocationProbe probe);
    // Told of each recognition of a search as it is made, on the search's
    // thread. Tests make searches slow, or fail, through it.
    void SetSearchProbe(std::function<void()> probe);
    // The count of one word's occurrences past which a load fails; tests
    // reach it with small files.
    void SetOccurrenceLimit(std::int32_t limit);

protected:
    bool event(QEvent* event) override;
    // A right-click in the list opens its context menu and leaves the
    // selection, the row the last search chose, as it is.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Closing the window stops the work that runs.
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    void CreateToolBar(QBoxLayout& layout);
    QBoxLayout& CreatePanel(QBoxLayout& layout);
    void CreateQueryStrip(QBoxLayout& layout);
    void CreateWordList(QBoxLayout& layout);
    void CreateNetworkViewAction();
    void CreateNetworkMenu();
    void ShowConfig();
    void SetTabOrder();
    QToolButton* AddToolButton(const char* name, const QString& caption, const QString& icon,
                               void (TfrmMain::*command)());
    // The commands' bodies, run through commands_ only.
    void OpenDictionary();
    void ShowHelp();
    void ShowAbout();
    void SearchTypedWord();
    void OpenNetworkView();
    void LoadDictionaryFrom(const QString& path);
    void UseConfig(const TNetworkConfig& config);
    void ReadCodeTable();
    void OpenExperiment();
    // Applies config, then searches query with the view open, following
    // the intended row (-1: none).
    void ShowMissInView(const std::string& query, const TNetworkConfig& config,
                        std::int32_t intended);
    // Traces query on the dictionary for the open view (the main window's
    // work); false when cancelled.
    bool TraceForView(const std::string& query);
    void SelectEntry(std::int32_t row);

    // The window's state.
    QString Title;
    TStringBTree WordTree; // lends the load its occurrence limit
    TWordCode WordCode{};  // the code buffer of loads and searches
    // The entries and the network built from them, shared with the list's
    // model; replaced whole by a load, never changed in place.
    std::shared_ptr<TDictionary> dictionary_;
    TAllocationProbe allocationProbe_;
    std::function<void()> searchProbe_;

    // Controls.
    QToolBar* ToolBar1 = nullptr;
    QToolButton* ToolButton1 = nullptr;
    QToolButton* ToolButton2 = nullptr;
    QToolButton* ToolButton3 = nullptr;
    QToolButton* ToolButton4 = nullptr; // «Сеть»: the configurations and «Опыт»
    QMenu* mnuNetwork_ = nullptr;
    QLabel* lblConfig_ = nullptr; // the configuration in force
    QFrame* Panel1 = nullptr;
    QWidget* Panel2 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* edtWord = nullptr;
    QPushButton* btnProcess = nullptr;
    QListView* lbWordsList = nullptr;
    // "Как сеть выбрала слово…": the list's context menu and Ctrl+N.
    QAction* actNetworkView_ = nullptr;

    TWordListModel* model_ = nullptr;
    TOpenDialog openDialog_;
    TOpenDialog codeTableDialog_;
    TNetworkConfig config_; // the program's until another is chosen
    TfrmExperiment* frmExperiment_ = nullptr;
    TfrmAbout* frmAbout_ = nullptr;
    TfrmHelp* frmHelp_ = nullptr;
    bool outerSizeSet_ = false;       // the first frame has been taken into the size
    TBackgroundWork* work_ = nullptr; // a child of the window
    TCommands* commands_ = nullptr;   // a child of the window
    TfrmNetwork* frmNetwork_ = nullptr;
    QString dictionaryFile_;                   // the path the shown dictionary was read from
    std::optional<std::string> unshownSearch_; // a search the view has not traced yet
    std::optional<std::string> shownSearch_;   // the search the view shows
};

// The open command's dialog ("Выбор файла", text files first, then every
// file; a typed name of a missing file is accepted).
std::optional<QString> RunDictionaryOpenDialog(QWidget* owner);

// The dialog of «Свой код…» ("Таблица кода", text files first).
std::optional<QString> RunCodeTableDialog(QWidget* owner);

} // namespace verblinka
