#include "ui/fmSearch.h"

#include "search/Messages.h"
#include "search/Search.h"
#include "search/SearchTrace.h"
#include "ui/AppShell.h"
#include "ui/Commands.h"
#include "ui/FMHELP.h"
#include "ui/WordListModel.h"
#include "ui/fmAbout.h"
#include "ui/fmNetwork.h"

#include <QAction>
#include <QCloseEvent>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMargins>
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
    : QWidget(parent), dictionary_(EmptyDictionary()), openDialog_(RunDictionaryOpenDialog) {
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
    const auto load = [&] {
        dictionary = LoadDictionary(file, WordTree, WordCode, kProgramMaxIterations,
                                    allocationProbe_, control);
    };
    if (!work_->Run(QStringLiteral("Загрузка словаря…"), load)) {
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
    if (unshownSearch_) {
        const TWaitCursor wait;
        TSearchControl control;
        control.Cancel = &work_->CancelFlag();
        control.OnProgress = [work = work_](std::int32_t done, std::int32_t total) {
            work->ReportProgress(static_cast<std::uint64_t>(done),
                                 static_cast<std::uint64_t>(total));
        };
        std::optional<TSearchTrace> trace;
        const auto traceSearch = [&] {
            trace = TraceSearch(*unshownSearch_, dictionary_->Entries, dictionary_->Network,
                                WordCode, frmNetwork_->MeantRows(), control);
        };
        // Cancelled, the view opens without it and traces it when next opened.
        if (work_->Run(QStringLiteral("Поиск…"), traceSearch) &&
            trace->Status != TSearchStatus::Cancelled) {
            frmNetwork_->ShowSearch(*unshownSearch_, dictionary_, std::move(*trace));
            shownSearch_ = std::move(unshownSearch_);
            unshownSearch_.reset();
        }
    }
    frmNetwork_->show();
    frmNetwork_->raise();
    frmNetwork_->activateWindow();
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
