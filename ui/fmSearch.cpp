#include "ui/fmSearch.h"

#include "search/Messages.h"
#include "search/Search.h"
#include "search/SearchTrace.h"
#include "text/CodePage1251.h"
#include "ui/AppShell.h"
#include "ui/Commands.h"
#include "ui/FMHELP.h"
#include "ui/NetworkStory.h"
#include "ui/ShownText.h"
#include "ui/WordListModel.h"
#include "ui/fmAbout.h"
#include "ui/fmExperiment.h"
#include "ui/fmNetwork.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMargins>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <stdexcept>

namespace verblinka {
namespace {

constexpr int kToolBarHeight = 44;
constexpr QSize kToolButtonSize(84, 42);
constexpr QSize kToolIconSize(22, 22);
constexpr int kQueryStripHeight = 38;
constexpr int kListRowHeight = 13;
// The window's size with its frame; its client area is what the frame leaves.
constexpr QSize kOuterSize(445, 431);

// No dictionary: no entries, and a network ready for the program's codes.
std::shared_ptr<TDictionary> EmptyDictionary() {
    auto dictionary = std::make_shared<TDictionary>();
    dictionary->Network.SetMaxIterations(kProgramMaxIterations);
    dictionary->Network.SetInputCount(kWordCodeLength);
    return dictionary;
}

// The same configuration: the same code and the same constants.
bool SameConfig(const TNetworkConfig& a, const TNetworkConfig& b) {
    return a.Coder == b.Coder && a.MaxOutput == b.MaxOutput && a.EpsilonFactor == b.EpsilonFactor &&
           a.MaxIterations == b.MaxIterations;
}

// Calls onClose whenever the window it watches is closed; a child of it.
class TCloseWatch final : public QObject {
public:
    TCloseWatch(QObject* window, std::function<void()> onClose)
        : QObject(window), onClose_(std::move(onClose)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close) {
            RunCommand(onClose_); // an event filter is Qt's frame too
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> onClose_;
};

} // namespace

TfrmMain::TfrmMain(QWidget* parent)
    : QWidget(parent), dictionary_(EmptyDictionary()), openDialog_(RunDictionaryOpenDialog),
      codeTableDialog_(RunCodeTableDialog), config_(ShippedConfigs().front()) {
    setObjectName(QStringLiteral("frmMain"));
    setFont(FormFont());
    work_ = new TBackgroundWork(*this);
    commands_ = new TCommands(*this, *work_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    CreateToolBar(*layout);
    QBoxLayout& panel = CreatePanel(*layout);
    CreateQueryStrip(panel);
    CreateWordList(panel);
    CreateNetworkViewAction();
    CreateNetworkMenu();
    SetTabOrder();

    move(220, 105); // where its frame's corner goes
    // Without a frame (no window manager) the client area is the whole
    // window; a frame, known only once the window is shown, is taken off it
    // then (event below).
    resize(kOuterSize);
    FormCreate();
}

bool TfrmMain::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    // The window manager frames the window after it appears, and says so by
    // moving it: then the client area shrinks so that the framed window has
    // the outer size. Only the first frame counts; later sizes are the user's.
    if (!outerSizeSet_ && isVisible() &&
        (event->type() == QEvent::Show || event->type() == QEvent::Move ||
         event->type() == QEvent::Resize)) {
        if (const QMargins frame = OwnFrame(*this); !frame.isNull()) {
            outerSizeSet_ = true;
            resize(kOuterSize.shrunkBy(frame));
        }
    }
    return handled;
}

TfrmMain::~TfrmMain() {
    FormDestroy();
}

void TfrmMain::FormCreate() {
    Title = QStringLiteral("Верблинка (сети Хэмминга)");
    setWindowTitle(Title);
}

void TfrmMain::FormDestroy() {
    // The network view, a child, outlives the window's own members: it lets go
    // of its share of the dictionary with them.
    if (frmNetwork_ != nullptr) {
        frmNetwork_->ForgetSearch();
    }
}

void TfrmMain::CreateToolBar(QBoxLayout& layout) {
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(kToolIconSize);
    ToolBar1->setContentsMargins(0, 0, 0, 0);
    ToolBar1->layout()->setContentsMargins(0, 0, 0, 0);
    ToolBar1->layout()->setSpacing(0);
    ToolButton1 = AddToolButton("ToolButton1", QStringLiteral("Открыть..."),
                                QStringLiteral(":/icons/open.svg"), &TfrmMain::OpenDictionary);
    ToolButton2 = AddToolButton("ToolButton2", QStringLiteral("Помощь..."),
                                QStringLiteral(":/icons/help.svg"), &TfrmMain::ShowHelp);
    ToolButton3 = AddToolButton("ToolButton3", QStringLiteral("О программе..."),
                                QStringLiteral(":/icons/about.svg"), &TfrmMain::ShowAbout);
    // Fixed only now that the buttons are in: adding them recomputes the
    // toolbar's size constraints, which dropped the minimum of a height fixed
    // earlier (the toolbar came out 42 high).
    ToolBar1->setFixedHeight(kToolBarHeight);
    layout.addWidget(ToolBar1);
}

QBoxLayout& TfrmMain::CreatePanel(QBoxLayout& layout) {
    // The raised panel under the toolbar: the query strip over the list.
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);
    layout.addWidget(Panel1, 1);
    auto* panelLayout = new QVBoxLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);
    return *panelLayout;
}

void TfrmMain::CreateQueryStrip(QBoxLayout& layout) {
    // The query strip keeps its controls where they are, whatever the width.
    Panel2 = new QWidget(Panel1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedHeight(kQueryStripHeight);
    layout.addWidget(Panel2);

    Label2 = new QLabel(QStringLiteral("Введите слово для поиска"), Panel2);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->move(12, 12);
    Label2->adjustSize();

    edtWord = new QLineEdit(Panel2);
    edtWord->setObjectName(QStringLiteral("edtWord"));
    edtWord->setGeometry(156, 8, 181, 21);
    // The word is used exactly as typed or pasted: no cut at the box's usual
    // limit of 32,767 characters.
    edtWord->setMaxLength(kWordBoxMaxLength);

    // Enter in the word box starts nothing: only a dialog has a default
    // button that Enter presses, and the window is a plain widget.
    btnProcess = new QPushButton(QStringLiteral("Поиск"), Panel2);
    btnProcess->setObjectName(QStringLiteral("btnProcess"));
    btnProcess->setGeometry(348, 8, 81, 21);
    commands_->Bind(*btnProcess, [this] { SearchTypedWord(); });
}

void TfrmMain::CreateWordList(QBoxLayout& layout) {
    lbWordsList = new QListView(Panel1);
    lbWordsList->setObjectName(QStringLiteral("lbWordsList"));
    lbWordsList->setSelectionMode(QAbstractItemView::SingleSelection);
    lbWordsList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every row is as high as the first, so the view never measures a million rows.
    lbWordsList->setUniformItemSizes(true);
    lbWordsList->setItemDelegate(new TWordListDelegate(kListRowHeight, lbWordsList));
    model_ = new TWordListModel(dictionary_, lbWordsList);
    lbWordsList->setModel(model_);
    lbWordsList->viewport()->installEventFilter(this);
    layout.addWidget(lbWordsList, 1);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    // The list selects the row under any button; the right button's press
    // still opens the context menu (a separate event) when the list never
    // sees it.
    if (watched == lbWordsList->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton ||
                (event->type() == QEvent::MouseMove && mouse->buttons() == Qt::RightButton)) {
                return true;
            }
            break;
        }
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmMain::CreateNetworkViewAction() {
    // The network view opens from the list's context menu and, anywhere in
    // the window, from its shortcut.
    actNetworkView_ = new QAction(QStringLiteral("Как сеть выбрала слово…"), lbWordsList);
    actNetworkView_->setObjectName(QStringLiteral("actNetworkView"));
    actNetworkView_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    actNetworkView_->setShortcutContext(Qt::WindowShortcut);
    commands_->Bind(*actNetworkView_, [this] { OpenNetworkView(); });
    lbWordsList->addAction(actNetworkView_);
    lbWordsList->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void TfrmMain::CreateNetworkMenu() {
    // «Сеть»: the shipped configurations (the one in force checked), a code
    // of the user's own, and the experiment that compares them.
    ToolButton4 = new QToolButton(ToolBar1);
    ToolButton4->setObjectName(QStringLiteral("ToolButton4"));
    ToolButton4->setText(QStringLiteral("Сеть"));
    ToolButton4->setIcon(QIcon(QStringLiteral(":/icons/network.svg")));
    ToolButton4->setIconSize(kToolIconSize);
    ToolButton4->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolButton4->setAutoRaise(true);
    ToolButton4->setFocusPolicy(Qt::NoFocus);
    ToolButton4->setFixedSize(kToolButtonSize);
    ToolButton4->setPopupMode(QToolButton::InstantPopup);
    mnuNetwork_ = new QMenu(ToolButton4);
    mnuNetwork_->setObjectName(QStringLiteral("mnuNetwork"));
    auto* group = new QActionGroup(mnuNetwork_);
    for (const TNetworkConfig& config : ShippedConfigs()) {
        QAction* action = mnuNetwork_->addAction(QString::fromStdString(config.Title));
        action->setObjectName(
            QStringLiteral("actConfig_%1").arg(QString::fromStdString(config.Name)));
        action->setCheckable(true);
        action->setActionGroup(group);
        commands_->Bind(*action, [this, config] { UseConfig(config); });
    }
    QAction* table = mnuNetwork_->addAction(QStringLiteral("Свой код…"));
    table->setObjectName(QStringLiteral("actCodeTable"));
    table->setCheckable(true);
    table->setActionGroup(group);
    commands_->Bind(*table, [this] { ReadCodeTable(); });
    mnuNetwork_->addSeparator();
    QAction* experiment = mnuNetwork_->addAction(QStringLiteral("Опыт…"));
    experiment->setObjectName(QStringLiteral("actExperiment"));
    commands_->Bind(*experiment, [this] { OpenExperiment(); });
    ToolButton4->setMenu(mnuNetwork_);
    // Greyed out with the other buttons while work runs.
    connect(work_, &TBackgroundWork::BusyChanged, ToolButton4,
            [this](bool busy) { ToolButton4->setEnabled(!busy); });
    ToolBar1->addWidget(ToolButton4);

    // The configuration in force, under the list.
    lblConfig_ = new QLabel(Panel1);
    lblConfig_->setObjectName(QStringLiteral("lblConfig"));
    lblConfig_->setTextFormat(Qt::PlainText);
    lblConfig_->setContentsMargins(4, 1, 4, 1);
    lblConfig_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    Panel1->layout()->addWidget(lblConfig_);
    ShowConfig();
}

void TfrmMain::ShowConfig() {
    lblConfig_->setText(QStringLiteral("Сеть: %1; МаксВыход %2, ε·M %3, предел проходов %4")
                            .arg(ShownText(QString::fromStdString(config_.Title), 60),
                                 RussianNumber(config_.MaxOutput),
                                 RussianNumber(config_.EpsilonFactor),
                                 RussianNumber(static_cast<long long>(config_.MaxIterations))));
    // The menu checks the configuration in force: a shipped one, or «Свой код…».
    bool shipped = false;
    for (QAction* action : mnuNetwork_->actions()) {
        const QString name = action->objectName();
        if (name.startsWith(QStringLiteral("actConfig_"))) {
            const std::optional<TNetworkConfig> known =
                FindShippedConfig(name.mid(10).toStdString());
            const bool current = known && SameConfig(*known, config_);
            action->setChecked(current);
            shipped = shipped || current;
        }
    }
    if (QAction* table = mnuNetwork_->findChild<QAction*>(QStringLiteral("actCodeTable"));
        table != nullptr) {
        table->setChecked(!shipped && config_.Coder.Kind() == TCodeKind::Table);
    }
    if (!shipped && config_.Coder.Kind() != TCodeKind::Table) {
        // An edited configuration checks none of the entries.
        for (QAction* action : mnuNetwork_->actions()) {
            action->setChecked(false);
        }
    }
}

void TfrmMain::SetTabOrder() {
    setTabOrder(lbWordsList, edtWord);
    setTabOrder(edtWord, btnProcess);
    setTabOrder(btnProcess, lbWordsList);
    edtWord->setFocus();
}

QToolButton* TfrmMain::AddToolButton(const char* name, const QString& caption, const QString& icon,
                                     void (TfrmMain::*command)()) {
    auto* button = new QToolButton(ToolBar1);
    button->setObjectName(QLatin1String(name));
    // Set on the button itself: an action's text would lose its trailing "...".
    button->setText(caption);
    button->setIcon(QIcon(icon));
    button->setIconSize(kToolIconSize);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setFixedSize(kToolButtonSize);
    commands_->Bind(*button, [this, command] { (this->*command)(); });
    ToolBar1->addWidget(button);
    return button;
}

void TfrmMain::AttachDialogs(TfrmAbout& about, TfrmHelp& help) {
    frmAbout_ = &about;
    frmHelp_ = &help;
}

void TfrmMain::SetOpenDialog(TOpenDialog openDialog) {
    openDialog_ = std::move(openDialog);
}

void TfrmMain::SetCodeTableDialog(TOpenDialog dialog) {
    codeTableDialog_ = std::move(dialog);
}

void TfrmMain::SetAllocationProbe(TAllocationProbe probe) {
    allocationProbe_ = std::move(probe);
}

void TfrmMain::SetSearchProbe(std::function<void()> probe) {
    searchProbe_ = std::move(probe);
}

void TfrmMain::SetOccurrenceLimit(std::int32_t limit) {
    WordTree.SetOccurrenceLimit(limit);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // The command that waits for the work ends as soon as the work has
    // stopped, and with it the program when this was its last window.
    work_->Cancel();
    QWidget::closeEvent(event);
}

void TfrmMain::N2Click() {
    commands_->Run([this] { OpenDictionary(); });
}

void TfrmMain::OpenDictionary() {
    const std::optional<QString> path = openDialog_ ? openDialog_(this) : std::nullopt;
    if (!path) {
        return;
    }
    const TWaitCursor wait;
    LoadDictionaryFrom(*path);
}

void TfrmMain::LoadDictionaryFrom(const QString& path) {
    // The new dictionary is built aside, off the window's thread; it takes
    // the place of the current one here, on the window's thread, and only
    // when it is complete. A load that fails or is cancelled leaves the
    // list, the network and the caption as they were.
    const std::string file = QFile::encodeName(path).toStdString();
    TLoadControl control;
    control.Cancel = &work_->CancelFlag();
    control.OnProgress = [work = work_](std::uint64_t read, std::uint64_t total) {
        work->ReportProgress(read, total);
    };
    std::optional<TDictionary> dictionary;
    const TNetworkConfig config = config_;
    bool underConfig = true;
    const auto load = [&] {
        dictionary = LoadDictionary(file, WordTree, WordCode, kProgramMaxIterations,
                                    allocationProbe_, control);
        // A load stores the program's code: another configuration in force
        // re-stores it, as part of the load.
        if (!SameConfig(config, ShippedConfigs().front())) {
            underConfig = ApplyConfig(*dictionary, config, control.Cancel,
                                      [work = work_](std::size_t done, std::size_t total) {
                                          work->ReportProgress(done, total);
                                      });
        }
    };
    if (!work_->Run(QStringLiteral("Загрузка словаря…"), load) || !underConfig) {
        return; // cancelled: no error box, and nothing has changed
    }
    ReplaceDictionary(std::move(*dictionary), path);
}

void TfrmMain::ReplaceDictionary(TDictionary dictionary, const QString& path) {
    if (static_cast<std::size_t>(dictionary.Network.PatternCount()) != dictionary.Entries.size()) {
        throw std::logic_error("The network and the dictionary disagree in size");
    }
    const QString caption = Title + QStringLiteral(" - словарь: ") + path;
    auto shown = std::make_shared<TDictionary>(std::move(dictionary));
    unshownSearch_.reset();
    dictionaryFile_ = path;
    shownSearch_.reset();
    if (frmNetwork_ != nullptr) {
        frmNetwork_->ForgetSearch();
        frmNetwork_->SetDictionaryFile(path);
    }
    model_->Replace(shown);
    dictionary_ = std::move(shown);
    setWindowTitle(caption);
    // A new list is shown from its top, as a freshly filled list is.
    lbWordsList->scrollToTop();
    lbWordsList->horizontalScrollBar()->setValue(0);
}

void TfrmMain::ToolButton2Click() {
    commands_->Run([this] { ShowHelp(); });
}

void TfrmMain::ShowHelp() {
    if (frmHelp_ != nullptr) {
        frmHelp_->ShowModal();
    }
}

void TfrmMain::ToolButton3Click() {
    commands_->Run([this] { ShowAbout(); });
}

void TfrmMain::ShowAbout() {
    if (frmAbout_ != nullptr) {
        frmAbout_->ShowModal();
    }
}

void TfrmMain::btnProcessClick() {
    commands_->Run([this] { SearchTypedWord(); });
}

void TfrmMain::SearchTypedWord() {
    // A character that Windows-1251 lacks becomes the substitute byte and
    // still counts as a character of the word.
    bool substituted = false;
    const std::string query = Utf8To1251(edtWord->text().toStdString(), substituted);
    // The input checks come before the wait cursor.
    if (const std::optional<TSearchStatus> refusal =
            CheckSearchInput(query, dictionary_->Entries, substituted)) {
        ShowMessage(SearchMessage(*refusal));
        return;
    }
    const TWaitCursor wait;
    TSearchControl control;
    control.Cancel = &work_->CancelFlag();
    control.OnProgress = [work = work_](std::int32_t done, std::int32_t total) {
        work->ReportProgress(static_cast<std::uint64_t>(done), static_cast<std::uint64_t>(total));
    };
    if (searchProbe_) {
        control.OnStep = [probe = searchProbe_](const TSearchStep&, std::int32_t) { probe(); };
    }
    // Nothing else changes the list or the network while the search
    // reads them: every command refuses while work runs.
    TSearchOutcome outcome;
    // An open network view follows the search: the one search, off the
    // window's thread, traces its recognitions for it.
    control.Trace = frmNetwork_ != nullptr && frmNetwork_->isVisible();
    if (control.Trace) {
        control.TracedRows = frmNetwork_->MeantRows(); // the word the user meant, if any
    }
    TDictionary& dictionary = *dictionary_;
    control.Coder = &dictionary.Coder;
    const auto search = [&] {
        outcome =
            SearchWord(query, dictionary.Entries, dictionary.Network, WordCode, false, control);
    };
    if (!work_->Run(QStringLiteral("Поиск…"), search) ||
        outcome.Status == TSearchStatus::Cancelled) {
        return; // the selection stays as it was
    }
    if (outcome.Status != TSearchStatus::Selected) {
        ShowMessage(outcome.Message()); // under the wait cursor, until it is closed
        return;
    }
    SelectEntry(outcome.BestRow);
    // A view closed while the search ran traces it when it is next opened.
    if (outcome.Trace && frmNetwork_->isVisible()) {
        frmNetwork_->ShowSearch(query, dictionary_, std::move(*outcome.Trace));
        shownSearch_ = query;
        unshownSearch_.reset();
    } else {
        unshownSearch_ = query; // traced when the view is next opened
    }
}

void TfrmMain::ShowNetworkView() {
    commands_->Run([this] { OpenNetworkView(); });
}

void TfrmMain::OpenNetworkView() {
    if (frmNetwork_ == nullptr) {
        frmNetwork_ = new TfrmNetwork(this, work_);
        frmNetwork_->SetDictionaryFile(dictionaryFile_);
        // «Взять из списка»: the list's current entry; its selection stays.
        frmNetwork_->SetListPick([this]() -> std::optional<std::int32_t> {
            const QModelIndex current = lbWordsList->currentIndex();
            if (!current.isValid()) {
                return std::nullopt;
            }
            return current.row();
        });
        // Beside the main window where the screen has room, otherwise
        // below the query strip, which stays in sight.
        frmNetwork_->PlaceBeside(*this, QRect(Panel2->mapTo(this, QPoint(0, 0)), Panel2->size()));
        // A closed view lets go of its search (traces and the dictionary
        // it shares), to trace it again when opened again.
        frmNetwork_->installEventFilter(new TCloseWatch(frmNetwork_, [this] {
            if (frmNetwork_->HasSearch() && shownSearch_) {
                unshownSearch_ = std::move(shownSearch_);
                frmNetwork_->ForgetSearch();
            }
            shownSearch_.reset();
        }));
    }
    if (unshownSearch_ && TraceForView(*unshownSearch_)) {
        shownSearch_ = std::move(unshownSearch_);
        unshownSearch_.reset();
    }
    // A minimised view comes back where it was.
    frmNetwork_->setWindowState(frmNetwork_->windowState() & ~Qt::WindowMinimized);
    frmNetwork_->show();
    frmNetwork_->raise();
    frmNetwork_->activateWindow();
}

bool TfrmMain::TraceForView(const std::string& query) {
    const TWaitCursor wait;
    TSearchControl control;
    control.Cancel = &work_->CancelFlag();
    control.OnProgress = [work = work_](std::int32_t done, std::int32_t total) {
        work->ReportProgress(static_cast<std::uint64_t>(done), static_cast<std::uint64_t>(total));
    };
    control.Coder = &dictionary_->Coder;
    std::optional<TSearchTrace> trace;
    const auto traceSearch = [&] {
        trace = TraceSearch(query, dictionary_->Entries, dictionary_->Network, WordCode,
                            frmNetwork_->MeantRows(), control);
    };
    // Cancelled, the view opens without it and traces it when next opened.
    if (!work_->Run(QStringLiteral("Поиск…"), traceSearch) ||
        trace->Status == TSearchStatus::Cancelled) {
        return false;
    }
    frmNetwork_->ShowSearch(query, dictionary_, std::move(*trace));
    return true;
}

void TfrmMain::ApplyNetworkConfig(const TNetworkConfig& config) {
    commands_->Run([this, &config] { UseConfig(config); });
}

void TfrmMain::UseConfig(const TNetworkConfig& config) {
    try {
        CheckConfig(config);
    } catch (const std::invalid_argument& error) {
        ShowConfig();
        ShowErrorBox(QString::fromUtf8(error.what()));
        return;
    }
    if (SameConfig(config, config_)) {
        config_ = config; // the same network; the name may differ
        ShowConfig();
        return;
    }
    const TWaitCursor wait;
    bool applied = false;
    TDictionary& dictionary = *dictionary_;
    const auto apply = [&, work = work_] {
        applied = ApplyConfig(
            dictionary, config, &work->CancelFlag(),
            [work](std::size_t done, std::size_t total) { work->ReportProgress(done, total); });
    };
    // Cancelled, ApplyConfig has put every row back: the menu shows the old
    // configuration again. Finished, the dictionary is under the new one,
    // whatever the button said meanwhile.
    work_->Run(QStringLiteral("Перестройка сети…"), apply);
    if (applied) {
        config_ = config;
        // The view's traces were made under the old configuration: the last
        // search is traced again when the view next shows it.
        if (frmNetwork_ != nullptr && frmNetwork_->HasSearch()) {
            unshownSearch_ = shownSearch_;
            shownSearch_.reset();
            frmNetwork_->ForgetSearch();
            if (frmNetwork_->isVisible() && unshownSearch_ && TraceForView(*unshownSearch_)) {
                shownSearch_ = std::move(unshownSearch_);
                unshownSearch_.reset();
            }
        }
    }
    ShowConfig();
}

void TfrmMain::LoadCodeTable() {
    commands_->Run([this] { ReadCodeTable(); });
}

void TfrmMain::ReadCodeTable() {
    const std::optional<QString> path = codeTableDialog_ ? codeTableDialog_(this) : std::nullopt;
    if (!path) {
        ShowConfig(); // the check mark goes back
        return;
    }
    TNetworkConfig config = config_;
    try {
        config.Coder = TWordCoder::FromTableFile(QFile::encodeName(*path).toStdString());
    } catch (const TCodeTableError& error) {
        ShowConfig();
        // It names the file, whose path may be long.
        ShowErrorBox(ShownText(QString::fromUtf8(error.what()), kShownCellCharacters * 4));
        return;
    }
    config.Name = "table";
    config.Title = "свой код «" + QFileInfo(*path).fileName().toStdString() + "»";
    UseConfig(config);
}

void TfrmMain::ShowExperiment() {
    commands_->Run([this] { OpenExperiment(); });
}

void TfrmMain::OpenExperiment() {
    if (frmExperiment_ == nullptr) {
        frmExperiment_ = new TfrmExperiment(this, *work_);
        frmExperiment_->SetSource([this]() -> std::shared_ptr<TDictionary> { return dictionary_; },
                                  [this] { return config_; });
        frmExperiment_->SetOpenMiss(
            [this](const std::string& query, const TNetworkConfig& config, std::int32_t intended) {
                ShowMissInView(query, config, intended);
            });
        frmExperiment_->FitScreen();
    }
    frmExperiment_->setWindowState(frmExperiment_->windowState() & ~Qt::WindowMinimized);
    frmExperiment_->show();
    frmExperiment_->raise();
    frmExperiment_->activateWindow();
}

void TfrmMain::ShowInNetworkView(const std::string& query, const TNetworkConfig& config) {
    commands_->Run([&] { ShowMissInView(query, config, -1); });
}

void TfrmMain::ShowMissInView(const std::string& query, const TNetworkConfig& config,
                              std::int32_t intended) {
    if (!SameConfig(config, config_)) {
        UseConfig(config);
        if (!SameConfig(config, config_)) {
            return; // refused or cancelled
        }
    }
    OpenNetworkView();
    if (intended >= 0) {
        frmNetwork_->FollowRow(dictionary_, intended);
    }
    edtWord->setText(QString::fromStdString(Utf8From1251(query)));
    SearchTypedWord();
}

void TfrmMain::SelectEntry(std::int32_t row) {
    const QModelIndex index = model_->index(row);
    QItemSelectionModel* selection = lbWordsList->selectionModel();
    if (selection->isSelected(index)) {
        return; // already selected: the list stays where the user scrolled it
    }
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    lbWordsList->scrollTo(index);
}

std::optional<QString> RunCodeTableDialog(QWidget* owner) {
    TPlainFileIconProvider icons;
    QFileDialog dialog(owner, QStringLiteral("Таблица кода"));
    dialog.setIconProvider(&icons);
    dialog.setObjectName(QStringLiteral("odCodeTable"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(
        {QStringLiteral("Текстовые файлы (*.txt)"), QStringLiteral("Все файлы (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> RunDictionaryOpenDialog(QWidget* owner) {
    // The provider outlives the dialog, whose model uses it to its end.
    TPlainFileIconProvider icons;
    QFileDialog dialog(owner, QStringLiteral("Выбор файла"));
    // Before any event is handled: the model describes the files it lists
    // (the first folder's too) on the window's thread, through the provider.
    dialog.setIconProvider(&icons);
    dialog.setObjectName(QStringLiteral("odDictonaryOpen"));
    // The desktop's own dialogs refuse the name of a missing file in open mode.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The filters read as their names only, without their patterns.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters{QStringLiteral("Текстовые файлы (*.txt)"),
                              QStringLiteral("Все файлы (*)")};
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.front());
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace verblinka
