// The main window: the toolbar with the open, help and about commands, the
// query strip with the word box and the search button, and the dictionary
// list. It holds the state of the whole program: the word tree, the code
// buffer, the network and the dictionary's entries.
#pragma once

#include "dictionary/BTree.h"
#include "dictionary/DictionaryLoad.h"
#include "dictionary/WordReader.h"
#include "engine/HammingMem.h"
#include "text/WordCode.h"
#include "ui/BackgroundWork.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QFrame;
class QLabel;
class QAction;
class QLineEdit;
class QListView;
class QPushButton;
class QToolBar;
class QToolButton;

namespace verblinka {

// The word box takes as many characters as a text can hold: a paste is never cut.
inline constexpr int kWordBoxMaxLength = std::numeric_limits<int>::max();

class TfrmAbout;
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
    void SetOpenDialog(TOpenDialog openDialog);

    // Commands.
    void N2Click();          // load a dictionary
    void ToolButton2Click(); // help
    void ToolButton3Click(); // about
    void btnProcessClick();  // search for the typed word
    // Shows the window «Работа сети» (made on first use) with the last search.
    void ShowNetworkView();
    TfrmNetwork* NetworkView() const { return frmNetwork_; }

    // The load's last step: shows dictionary (built from the file at path) in
    // place of the current one. Nothing in it can fail half-way.
    void ReplaceDictionary(TDictionary dictionary, const QString& path);

    // The word code of word (Windows-1251 bytes) into WordCode.
    void CodeWord(std::string_view word);
    // The next word of DictionaryFile into result; empty when none is left.
    void GetWord(std::string& result);

    // The dictionary: entry i is the word whose code is row i of Network.
    const TDictionaryEntries& Entries() const { return entries_; }

    // The window's state.
    QString Title;
    TStringBTree WordTree;
    std::unique_ptr<TDictionaryFile> DictionaryFile; // only while a load reads it
    TWordCode WordCode{};
    THammingNet Network;
    // Told of a load's large allocations; none in the program. Tests make
    // memory run out through it, or hold a load there to make it slow.
    TAllocationProbe AllocationProbe;
    // Told of each recognition of a search as it is made, on the search's
    // thread; none in the program. Tests make searches slow through it.
    std::function<void()> SearchProbe;

    // Controls.
    QToolBar* ToolBar1 = nullptr;
    QToolButton* ToolButton1 = nullptr;
    QToolButton* ToolButton2 = nullptr;
    QToolButton* ToolButton3 = nullptr;
    QFrame* Panel1 = nullptr;
    QWidget* Panel2 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* edtWord = nullptr;
    QPushButton* btnProcess = nullptr;
    QListView* lbWordsList = nullptr;
    // "Как сеть выбрала слово…": the list's context menu and Ctrl+N.
    QAction* actNetworkView = nullptr;

    // The load or search running off the window's thread, if any.
    const TBackgroundWork& Work() const { return *work_; }

protected:
    bool event(QEvent* event) override;
    // Closing the window stops the work that runs.
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    void CreateControls();
    QToolButton* AddToolButton(const char* name, const QString& caption, const QString& icon,
                               void (TfrmMain::*command)());
    void LoadDictionaryFrom(const QString& path);
    void SelectEntry(std::int32_t row);

    TDictionaryEntries entries_;
    TWordListModel* model_ = nullptr;
    TOpenDialog openDialog_;
    TfrmAbout* frmAbout_ = nullptr;
    TfrmHelp* frmHelp_ = nullptr;
    bool outerSizeSet_ = false;       // the first frame has been taken into the size
    TBackgroundWork* work_ = nullptr; // a child of the window
    TfrmNetwork* frmNetwork_ = nullptr;
    std::optional<std::string> unshownSearch_; // a search the view has not traced yet
};

// The open command's dialog ("Выбор файла", text files first, then every
// file; a typed name of a missing file is accepted).
std::optional<QString> RunDictionaryOpenDialog(QWidget* owner);

} // namespace verblinka
