#include "ui/fmNetwork.h"

#include "dictionary/DictionaryLoad.h"
#include "engine/Precision.h"
#include "text/CodePage1251.h"
#include "ui/AppShell.h"
#include "ui/BackgroundWork.h"
#include "ui/Commands.h"
#include "ui/NetworkCharts.h"
#include "ui/ShownText.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QSvgGenerator>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace verblinka {
namespace {

constexpr int kReplayMaxPasses = 100;
constexpr int kTitleMargin = 8;

// The chart replaces the view's previous one, which the view gives back.
void Replace(QChartView* view, std::unique_ptr<QChart> chart) {
    QChart* old = view->chart();
    view->setChart(chart.release());
    delete old;
}

// Thrown from the replay's pass observer to stop it once Cancel was pressed.
// The one place the view computes a replay: recorded's recognition run again
// on network with another pass limit; onPass runs on every pass. Nothing when
// cancel was set before the replay ended.
std::optional<TRecognitionTrace>
ComputeReplay(const THammingNet& network, const TRecognitionTrace& recorded, std::int32_t passLimit,
              const std::atomic<bool>& cancel,
              const std::function<void(std::int32_t pass)>& onPass) {
    return ReplayTrace(network, recorded, passLimit, false, &cancel, onPass);
}

// The code a recognition was given, as its trace recorded it.
TWordCode InputCode(const TRecognitionTrace& trace) {
    TWordCode code{};
    if (trace.Input.size() == code.size()) {
        std::copy(trace.Input.begin(), trace.Input.end(), code.begin());
    }
    return code;
}

// The coded characters of a search's step: the query's first ones, with the
// step's blank when it falls among them.
std::string StepHead(std::string_view query, std::size_t step) {
    const std::string_view head = query.substr(0, kCodedCharacters);
    if (step == 0 || step > head.size() + 1) {
        return std::string(head);
    }
    std::string text = InsertBlank(head, static_cast<std::int32_t>(step));
    text.resize(std::min<std::size_t>(text.size(), kCodedCharacters));
    return text;
}

QLabel* PlainLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText); // entries and queries are never markup
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long text wraps within the width it is given; it never widens the window.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

} // namespace

TfrmNetwork::TfrmNetwork(QWidget* owner, TBackgroundWork* work)
    : QWidget(owner, Qt::Window), work_(work) {
    setObjectName(QStringLiteral("frmNetwork"));
    setWindowTitle(QStringLiteral("Работа сети"));
    if (work_ == nullptr) {
        work_ = new TBackgroundWork(*this);
    }
    commands_ = new TCommands(*this, *work_);
    CreateControls();
    resize(1000, 700);
    ForgetSearch();
}

void TfrmNetwork::CreateControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);

    // The story in a box of at most a few lines that scrolls: however long,
    // it never sets the window's minimum height.
    lblStory = PlainLabel(this, "lblStory");
    auto* storyBox = new QScrollArea(this);
    storyBox->setWidget(lblStory);
    storyBox->setWidgetResizable(true);
    storyBox->setFrameShape(QFrame::NoFrame);
    storyBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    storyBox->setFixedHeight(5 * fontMetrics().lineSpacing() + 6);
    layout->addWidget(storyBox);

    pnlPages = new QStackedWidget(this);
    layout->addWidget(pnlPages, 1);
    pnlPages->addWidget(new QWidget(pnlPages)); // before the first search: the sentence alone

    auto* content = new QWidget(pnlPages);
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->setSpacing(4);
    auto* splitter = new QSplitter(Qt::Horizontal, content);
    splitter->setChildrenCollapsible(false);
    contentLayout->addWidget(splitter, 1);

    // Left: the steps, and below them the selected step's codes, which
    // scroll when the window is too low for them.
    auto* left = new QSplitter(Qt::Vertical, splitter);
    left->setChildrenCollapsible(false);
    tblSteps = new TStepsTable(left);
    tblSteps->setObjectName(QStringLiteral("tblSteps"));
    steps_ = new TSearchStepsModel(tblSteps);
    tblSteps->setModel(steps_);
    tblSteps->verticalHeader()->hide();
    tblSteps->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblSteps->setSelectionMode(QAbstractItemView::SingleSelection);
    tblSteps->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblSteps->setWordWrap(false);
    tblSteps->setTextElideMode(Qt::ElideRight);
    tblSteps->horizontalHeader()->setStretchLastSection(true);
    tblSteps->horizontalHeader()->setMinimumSectionSize(
        fontMetrics().horizontalAdvance(QStringLiteral("✓")) + 10);
    // Every row as high as the font: the view never measures its rows.
    tblSteps->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tblSteps->verticalHeader()->setDefaultSectionSize(tblSteps->fontMetrics().height() + 6);
    {
        // Widths that show a query of twelve letters, its variants and their
        // entries whole; longer texts are elided.
        // Texts measured in bold, as the chosen step's row shows them; a
        // longer text is elided, and its cell's tool-tip holds it.
        QFont bold = tblSteps->font();
        bold.setBold(true);
        const QFontMetrics boldMetrics(bold);
        const QFontMetrics metrics(tblSteps->font());
        const auto width = [&](const QString& sample) {
            return metrics.horizontalAdvance(sample) + 14;
        };
        const auto boldWidth = [&](const QString& sample) {
            return boldMetrics.horizontalAdvance(sample) + 14;
        };
        const int widths[TSearchStepsModel::ColumnCount] = {
            width(QStringLiteral("✓")),
            width(QStringLiteral("№99")),
            boldWidth(QStringLiteral("1000000")),
            boldWidth(QStringLiteral("ПРЕДУСМОТРИ␣Т")),
            boldWidth(QStringLiteral("ПРЕДУСМОТРИТ")),
            width(QStringLiteral("Расст.")),
            width(QStringLiteral("Проходов")),
            boldWidth(QStringLiteral("предел проходов"))};
        for (int column = 0; column < TSearchStepsModel::ColumnCount; ++column) {
            tblSteps->horizontalHeader()->resizeSection(column, widths[column]);
        }
    }
    tblSteps->setMinimumWidth(200);
    // Choosing a step is no command: it starts no work and shows only what the
    // view holds, so it goes on while work runs, and a replay still running
    // then is dropped when it ends.
    connect(tblSteps->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && current.row() != selected_) {
                    RunCommand([this, row = current.row()] { SelectStep(row); });
                }
            });
    tblSteps->setMinimumHeight(4 * tblSteps->verticalHeader()->defaultSectionSize());
    // Below the steps, the selected step's codes, and beside them the
    // learner's pages: the word they meant and the passes' formulas. Each
    // scrolls when the window is too low for it.
    pnlTabs = new QTabWidget(left);
    pnlTabs->setObjectName(QStringLiteral("pnlTabs"));
    pnlTabs->setDocumentMode(true);
    auto* codesBox = new QScrollArea(pnlTabs);
    codesBox->setWidgetResizable(true);
    codesBox->setFrameShape(QFrame::NoFrame);
    codesBox->setMinimumHeight(60);
    codesPanel_ = new QWidget(codesBox);
    codesPanel_->setObjectName(QStringLiteral("pnlCodes"));
    codesPanel_->setAutoFillBackground(true);
    auto* codes = new QVBoxLayout(codesPanel_);
    codes->setContentsMargins(0, 0, 0, 0);
    codes->setSpacing(2);
    lblCodes = PlainLabel(codesPanel_, "lblCodes");
    codes->addWidget(lblCodes);
    pbCodes = new TBitGrid(codesPanel_);
    codes->addWidget(pbCodes);
    codesBox->setWidget(codesPanel_);
    pnlTabs->addTab(codesBox, QStringLiteral("Коды"));
    pnlTabs->addTab(CreateMeantPage(), QStringLiteral("Задуманное слово"));
    passesPage_ = CreatePassesPage();
    pnlTabs->addTab(passesPage_, QStringLiteral("Проходы"));
    connect(pnlTabs, &QTabWidget::currentChanged, this,
            [this] { RunCommand([this] { OfferPassSums(); }); });
    // The sums start after the event that asked for them: the work waits in
    // an event loop of its own.
    sumsTimer_ = new QTimer(this);
    sumsTimer_->setSingleShot(true);
    sumsTimer_->setInterval(0);
    connect(sumsTimer_, &QTimer::timeout, this, [this] {
        if (sumsGeneration_ == traceGeneration_ && !work_->Busy()) {
            commands_->Run([this] { ComputePassSums(); });
        }
    });
    left->setStretchFactor(0, 1);
    left->setStretchFactor(1, 0);
    left->setSizes(
        {400, codesPanel_->sizeHint().height() + pnlTabs->tabBar()->sizeHint().height()});

    // Right: the charts, which scroll when the window is small.
    auto* chartsBox = new QScrollArea(splitter);
    chartsBox->setWidgetResizable(true);
    chartsBox->setFrameShape(QFrame::NoFrame);
    chartsBox->setMinimumWidth(260);
    chartsPanel_ = new QWidget(chartsBox);
    chartsPanel_->setObjectName(QStringLiteral("pnlCharts"));
    chartsPanel_->setAutoFillBackground(true);
    auto* charts = new QVBoxLayout(chartsPanel_);
    charts->setContentsMargins(0, 0, 0, 0);
    charts->setSpacing(2);
    chFirstLayer = new QChartView(chartsPanel_);
    chFirstLayer->setObjectName(QStringLiteral("chFirstLayer"));
    chFirstLayer->setRenderHint(QPainter::Antialiasing);
    chFirstLayer->setMinimumHeight(140);
    charts->addWidget(chFirstLayer, 2);
    chRace = new QChartView(chartsPanel_);
    chRace->setObjectName(QStringLiteral("chRace"));
    chRace->setRenderHint(QPainter::Antialiasing);
    chRace->setMinimumHeight(170);
    charts->addWidget(chRace, 3);
    // Rich text for the colours; every name in it is escaped (LegendText).
    lblRaceLegend = new QLabel(chartsPanel_);
    lblRaceLegend->setObjectName(QStringLiteral("lblRaceLegend"));
    lblRaceLegend->setTextFormat(Qt::RichText);
    lblRaceLegend->setWordWrap(true);
    lblRaceLegend->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Minimum);
    charts->addWidget(lblRaceLegend);
    chartsBox->setWidget(chartsPanel_);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    int tableWidth = 4;
    for (int column = 0; column < TSearchStepsModel::ColumnCount; ++column) {
        tableWidth += tblSteps->horizontalHeader()->sectionSize(column);
    }
    tableWidth += tblSteps->verticalScrollBar()->sizeHint().width();
    splitter->setSizes({std::max(tableWidth, pbCodes->sizeHint().width()), 440});

    auto* controls = new QHBoxLayout();
    controls->setSpacing(6);
    controls->addWidget(new QLabel(QStringLiteral("Предел проходов"), content));
    sePassLimit = new QSpinBox(content);
    sePassLimit->setObjectName(QStringLiteral("sePassLimit"));
    sePassLimit->setRange(1, kReplayMaxPasses);
    sePassLimit->setValue(kProgramMaxIterations);
    controls->addWidget(sePassLimit);
    lblPassLimit = new QLabel(content);
    lblPassLimit->setObjectName(QStringLiteral("lblPassLimit"));
    lblPassLimit->setTextFormat(Qt::PlainText);
    lblPassLimit->setToolTip(QStringLiteral(
        "Соревнование кончается, когда проход ничего не меняет, или после прохода, номер "
        "которого превысил предел: при пределе n — не больше n + 2 проходов."));
    // As wide as its widest text, so that the buttons do not move.
    lblPassLimit->setMinimumWidth(fontMetrics().horizontalAdvance(PassLimitNote(kReplayMaxPasses)) +
                                  4);
    const auto note = [this](int limit) {
        RunCommand([this, limit] { lblPassLimit->setText(PassLimitNote(limit)); });
    };
    connect(sePassLimit, &QSpinBox::valueChanged, this, note);
    note(sePassLimit->value());
    controls->addWidget(lblPassLimit);
    btnReplay = new QPushButton(QStringLiteral("Повторить"), content);
    btnReplay->setObjectName(QStringLiteral("btnReplay"));
    commands_->Bind(*btnReplay, [this] { Replay(sePassLimit->value()); });
    controls->addWidget(btnReplay);
    controls->addStretch(1);
    btnSave = new QPushButton(QStringLiteral("Сохранить графики…"), content);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    commands_->Bind(*btnSave, [this] { AskAndSave(); });
    controls->addWidget(btnSave);
    btnCopy = new QPushButton(QStringLiteral("Копировать таблицу"), content);
    btnCopy->setObjectName(QStringLiteral("btnCopy"));
    commands_->Bind(*btnCopy, [this] { CopyTable(); });
    controls->addWidget(btnCopy);
    contentLayout->addLayout(controls);
    // The replay's report on a line of its own, wrapped rather than cut.
    lblReplay = PlainLabel(content, "lblReplay");
    lblReplay->setMinimumHeight(2 * fontMetrics().lineSpacing());
    lblReplay->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    contentLayout->addWidget(lblReplay);
    pnlPages->addWidget(content);
}

QWidget* TfrmNetwork::CreateMeantPage() {
    auto* box = new QScrollArea(pnlTabs);
    box->setWidgetResizable(true);
    box->setFrameShape(QFrame::NoFrame);
    auto* page = new QWidget(box);
    page->setObjectName(QStringLiteral("pnlMeant"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    auto* choose = new QHBoxLayout();
    edtMeant = new QLineEdit(page);
    edtMeant->setObjectName(QStringLiteral("edtMeant"));
    edtMeant->setPlaceholderText(QStringLiteral("задуманное слово"));
    edtMeant->setMaxLength(std::numeric_limits<int>::max());
    choose->addWidget(edtMeant, 1);
    btnMeant = new QPushButton(QStringLiteral("Показать"), page);
    btnMeant->setObjectName(QStringLiteral("btnMeant"));
    commands_->Bind(*btnMeant, [this] { ShowMeant(edtMeant->text()); });
    choose->addWidget(btnMeant);
    // Enter in the box presses the button, which is disabled while work runs.
    connect(edtMeant, &QLineEdit::returnPressed, btnMeant, &QPushButton::click);
    btnFromList = new QPushButton(QStringLiteral("Взять из списка"), page);
    btnFromList->setObjectName(QStringLiteral("btnFromList"));
    btnFromList->setToolTip(QStringLiteral("Запись, на которой стоит курсор в списке главного "
                                           "окна; выделение там не меняется."));
    commands_->Bind(*btnFromList, [this] {
        const std::optional<std::int32_t> row = listPick_ ? listPick_() : std::nullopt;
        if (row) {
            ShowMeantRow(*row);
        }
    });
    choose->addWidget(btnFromList);
    layout->addLayout(choose);
    lblMeant = PlainLabel(page, "lblMeant");
    layout->addWidget(lblMeant);
    pbMeant = new TBitGrid(page);
    pbMeant->setObjectName(QStringLiteral("pbMeant"));
    layout->addWidget(pbMeant);
    lblMeantSum = PlainLabel(page, "lblMeantSum");
    layout->addWidget(lblMeantSum);
    layout->addStretch(1);
    box->setWidget(page);
    return box;
}

QWidget* TfrmNetwork::CreatePassesPage() {
    auto* box = new QScrollArea(pnlTabs);
    box->setWidgetResizable(true);
    box->setFrameShape(QFrame::NoFrame);
    auto* page = new QWidget(box);
    page->setObjectName(QStringLiteral("pnlPasses"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    auto* unit = new QHBoxLayout();
    unit->addWidget(new QLabel(QStringLiteral("Единица"), page));
    cbUnit = new QComboBox(page);
    cbUnit->setObjectName(QStringLiteral("cbUnit"));
    cbUnit->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbUnit->setMinimumContentsLength(16);
    unit->addWidget(cbUnit, 1);
    layout->addLayout(unit);
    auto* pass = new QHBoxLayout();
    pass->addWidget(new QLabel(QStringLiteral("Проход"), page));
    sldPass = new QSlider(Qt::Horizontal, page);
    sldPass->setObjectName(QStringLiteral("sldPass"));
    sldPass->setPageStep(1);
    sldPass->setTickPosition(QSlider::TicksBelow);
    pass->addWidget(sldPass, 1);
    lblPass = new QLabel(page);
    lblPass->setObjectName(QStringLiteral("lblPass"));
    lblPass->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("102 из 102")) + 4);
    pass->addWidget(lblPass);
    layout->addLayout(pass);
    lblFormula = PlainLabel(page, "lblFormula");
    layout->addWidget(lblFormula);
    btnSums = new QPushButton(QStringLiteral("Посчитать суммы"), page);
    btnSums->setObjectName(QStringLiteral("btnSums"));
    btnSums->setToolTip(QStringLiteral("Сумма остальных единиц не хранится: она считается заново "
                                       "по всем единицам, как её складывает сеть."));
    commands_->Bind(*btnSums, [this] { ComputePassSums(); });
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(btnSums);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->addStretch(1);
    // Choosing a unit or a pass starts no work of its own: it is no command.
    connect(cbUnit, &QComboBox::currentIndexChanged, this, [this](int index) {
        RunCommand([this, index] {
            if (index >= 0) {
                SelectUnit(cbUnit->itemData(index).toInt());
            }
        });
    });
    connect(sldPass, &QSlider::valueChanged, this,
            [this](int value) { RunCommand([this, value] { SelectPass(value); }); });
    box->setWidget(page);
    return box;
}

void TfrmNetwork::ForgetSearch() {
    dictionary_.reset();
    search_.reset();
    replay_.reset();
    selected_ = -1;
    steps_->Clear();
    pbCodes->Clear();
    lblCodes->clear();
    lblReplay->clear();
    Replace(chFirstLayer, std::make_unique<QChart>());
    Replace(chRace, std::make_unique<QChart>());
    lblRaceLegend->clear();
    lblMeant->clear();
    lblMeantSum->clear();
    pbMeant->Clear();
    lblFormula->clear();
    lblPass->clear();
    {
        const QSignalBlocker units(cbUnit);
        const QSignalBlocker passes(sldPass);
        cbUnit->clear();
        sldPass->setRange(0, 0);
    }
    sums_.reset();
    passStep_ = {};
    ++traceGeneration_;
    pnlPages->setCurrentIndex(0);
    lblStory->setText(QStringLiteral(
        "Откройте словарь и найдите слово в главном окне: здесь появится, как сеть "
        "его выбрала — коды, первый слой, соревнование по проходам и выбор по расстоянию."));
}

void TfrmNetwork::SetDictionaryFile(const QString& path) {
    dictionaryFile_ = path;
}

void TfrmNetwork::FollowRow(const std::shared_ptr<TDictionary>& dictionary, std::int32_t row) {
    meant_ = row;
    meantOf_ = dictionary;
    pnlTabs->setCurrentIndex(1);
    if (dictionary != nullptr && static_cast<std::size_t>(row) < dictionary->Entries.size()) {
        edtMeant->setText(ShownText(dictionary->Entries[static_cast<std::size_t>(row)].Word,
                                    kShownCellCharacters));
    }
}

void TfrmNetwork::ShowSearch(std::string_view query, std::shared_ptr<TDictionary> dictionary,
                             TSearchTrace search) {
    if (search.Status != TSearchStatus::Selected) {
        // The main window has its result; an older search must not pass for it.
        ForgetSearch();
        lblStory->setText(QStringLiteral("Не удалось проследить поиск «%1».")
                              .arg(ShownText(query, kShownNameCharacters)));
        return;
    }
    dictionary_ = std::move(dictionary);
    if (meantOf_.lock() != dictionary_) {
        meant_.reset(); // a row of another dictionary
    }
    search_ = std::make_shared<const TSearchTrace>(std::move(search));
    replay_.reset();
    selected_ = -1;
    steps_->Show(search_, std::string(query), dictionary_);
    pnlPages->setCurrentIndex(1);
    // The limit the search ran with, not the last replay's.
    const TTracedStep& chosen = search_->Steps[static_cast<std::size_t>(search_->ChosenStep)];
    sePassLimit->setValue(chosen.Trace != nullptr && chosen.Trace->MaxIterations > 0
                              ? std::clamp(chosen.Trace->MaxIterations, 1, kReplayMaxPasses)
                              : kProgramMaxIterations);
    SelectStep(search_->ChosenStep);
}

std::optional<QString> TfrmNetwork::EntryText(std::int32_t row) const {
    if (dictionary_ == nullptr || row < 0 ||
        static_cast<std::size_t>(row) >= dictionary_->Entries.size()) {
        return std::nullopt;
    }
    return ShownText(dictionary_->Entries[static_cast<std::size_t>(row)].Word,
                     kShownNameCharacters);
}

TEntryText TfrmNetwork::Namer() const {
    return [this](std::int32_t row) { return EntryText(row); };
}

void TfrmNetwork::SelectStep(int index) {
    if (!search_ || index < 0 || index >= static_cast<int>(search_->Steps.size())) {
        return;
    }
    selected_ = index;
    replay_.reset();
    lblReplay->clear();
    const QSignalBlocker blocker(tblSteps->selectionModel());
    tblSteps->setCurrentCell(index, 0);
    tblSteps->selectRow(index);
    ShowTrace();
}

const TRecognitionTrace* TfrmNetwork::ShownTrace() const {
    if (replay_) {
        return &*replay_;
    }
    if (!search_ || selected_ < 0) {
        return nullptr;
    }
    return search_->Steps[static_cast<std::size_t>(selected_)].Trace.get();
}

const TRecognitionTrace* TfrmNetwork::Replay(int passLimit) {
    if (!search_ || selected_ < 0 || work_->Busy()) {
        return nullptr;
    }
    // The work keeps what it reads alive, whatever the window does meanwhile.
    const std::shared_ptr<const TSearchTrace> search = search_;
    const int step = selected_;
    const std::shared_ptr<const TRecognitionTrace> recorded =
        search->Steps[static_cast<std::size_t>(step)].Trace;
    const std::int32_t limit = std::clamp(passLimit, 1, kReplayMaxPasses);
    // The work keeps the dictionary it reads alive as well.
    const std::shared_ptr<const TDictionary> dictionary = dictionary_;
    if (dictionary == nullptr) {
        return nullptr;
    }
    std::optional<TRecognitionTrace> result;
    const auto replay = [&, work = work_, probe = replayProbe_] {
        const std::uint64_t total = static_cast<std::uint64_t>(PassesAllowed(limit)) + 1;
        result = ComputeReplay(dictionary->Network, *recorded, limit, work->CancelFlag(),
                               [&](std::int32_t pass) {
                                   if (probe) {
                                       probe();
                                   }
                                   work->ReportProgress(static_cast<std::uint64_t>(pass), total);
                               });
    };
    const bool done = work_->Run(QStringLiteral("Повтор соревнования…"), replay);
    if (!done || !result) {
        lblReplay->setText(QStringLiteral("Повтор с пределом %1 прерван.").arg(limit));
        return nullptr;
    }
    if (search != search_ || step != selected_) {
        return nullptr; // another search or step is shown by now
    }
    replay_ = std::move(*result);
    sePassLimit->setValue(replay_->MaxIterations);
    lblReplay->setText(ReplayReport(*replay_, recorded->Winner, Namer()));
    ShowTrace();
    return &*replay_;
}

void TfrmNetwork::ShowTrace() {
    const TRecognitionTrace* trace = ShownTrace();
    if (trace == nullptr) {
        return;
    }
    ++traceGeneration_;
    sums_.reset();
    sumsDeclined_ = false;
    const std::int32_t winner = trace->Winner;
    std::string_view storedWord;
    if (dictionary_ != nullptr && winner >= 0 &&
        static_cast<std::size_t>(winner) < dictionary_->Entries.size()) {
        storedWord = dictionary_->Entries[static_cast<std::size_t>(winner)].Word;
    }
    const double firstLayer = trace->Passes.empty() ? 0.0 : trace->Value(winner, 0);
    pbCodes->SetCodes(
        StepText(steps_->Query(), static_cast<std::size_t>(selected_), kShownNameCharacters),
        InputCode(*trace), ShownText(storedWord, kShownNameCharacters), RowCode(winner),
        firstLayer);
    const std::string stepHead = StepHead(steps_->Query(), static_cast<std::size_t>(selected_));
    pbCodes->SetLetters(Letters(stepHead), Letters(storedWord));
    lblCodes->setText(
        QStringLiteral("Коды: вход и победитель (%1). Совпадений по первому "
                       "слою: %2 из %3, красным — %4. Первый слой: %5.")
            .arg(RowName(winner, Namer()), RussianNumber(firstLayer),
                 RussianNumber(static_cast<long long>(trace->InputCount)),
                 Plural(pbCodes->DisagreeingBits(), "несовпадающий бит", "несовпадающих бита",
                        "несовпадающих битов"),
                 FirstLayerSum(pbCodes->AgreeingBits(), pbCodes->Blanks(), firstLayer)));
    Replace(chFirstLayer, FirstLayerChart(*trace, winner));
    Replace(chRace, RaceChart(*trace, Namer()));
    lblRaceLegend->setText(LegendText(*chRace->chart()));
    lblStory->setText(Story());
    ShowMeantInTrace(*trace);
    FillUnits(*trace);
    OfferPassSums();
}

TWordCode TfrmNetwork::RowCode(std::int32_t row) const {
    TWordCode code{};
    if (dictionary_ == nullptr || row < 0 || row >= dictionary_->Network.PatternCount() ||
        dictionary_->Network.InputCount() != kWordCodeLength) {
        return code;
    }
    for (std::size_t i = 0; i < code.size(); ++i) {
        code[i] = static_cast<std::int32_t>(
            dictionary_->Network.Weight(row, static_cast<std::int32_t>(i)));
    }
    return code;
}

QString TfrmNetwork::Letters(std::string_view bytes) const {
    if (dictionary_ == nullptr || !dictionary_->Coder.Positional()) {
        return {};
    }
    // One byte is one character; the code reads them upper-cased.
    QString letters = ShownText(UpperCase1251(bytes.substr(0, kCodedCharacters)), kCodedCharacters);
    letters.replace(QLatin1Char(' '), QChar(0x2423));
    for (QChar& letter : letters) {
        if (!letter.isPrint()) {
            letter = QChar(0x00B7);
        }
    }
    return letters;
}

void TfrmNetwork::ShowMeantInTrace(const TRecognitionTrace& trace) {
    pbMeant->Clear();
    lblMeantSum->clear();
    if (!meant_) {
        lblMeant->setText(QStringLiteral("Введите слово, которое вы имели в виду, или возьмите "
                                         "запись из списка главного окна: здесь будет видно, "
                                         "почему сеть выбрала не её."));
        return;
    }
    const std::int32_t row = *meant_;
    if (trace.Passes.empty() || trace.TrackedIndex(row) < 0) {
        lblMeant->setText(QStringLiteral("Запись %1 в этом распознавании не прослежена: нажмите "
                                         "«Показать».")
                              .arg(RowName(row, Namer())));
        return;
    }
    lblMeant->setText(MeantSearchStory(*search_, row) + QLatin1Char(' ') +
                      MeantStory(trace, row, Namer()));
    const double firstLayer = trace.Value(row, 0);
    std::string_view word;
    if (dictionary_ != nullptr && static_cast<std::size_t>(row) < dictionary_->Entries.size()) {
        word = dictionary_->Entries[static_cast<std::size_t>(row)].Word;
    }
    pbMeant->SetCodes(
        StepText(steps_->Query(), static_cast<std::size_t>(selected_), kShownNameCharacters),
        InputCode(trace), ShownText(word, kShownNameCharacters), RowCode(row), firstLayer);
    const std::string stepHead = StepHead(steps_->Query(), static_cast<std::size_t>(selected_));
    pbMeant->SetLetters(Letters(stepHead), Letters(word));
    lblMeantSum->setText(
        QStringLiteral("Вход и задуманная запись: %1; красным — %2.")
            .arg(FirstLayerSum(pbMeant->AgreeingBits(), pbMeant->Blanks(), firstLayer),
                 Plural(pbMeant->DisagreeingBits(), "несовпадающий бит", "несовпадающих бита",
                        "несовпадающих битов")));
}

std::vector<std::int32_t> TfrmNetwork::MeantRows() const {
    return meant_ ? std::vector<std::int32_t>{*meant_} : std::vector<std::int32_t>{};
}

bool TfrmNetwork::ShowMeant(const QString& typed) {
    return FollowMeant(typed.toStdString(), std::nullopt);
}

bool TfrmNetwork::ShowMeantRow(std::int32_t row) {
    if (dictionary_ != nullptr && row >= 0 &&
        static_cast<std::size_t>(row) < dictionary_->Entries.size()) {
        edtMeant->setText(ShownText(dictionary_->Entries[static_cast<std::size_t>(row)].Word,
                                    kShownCellCharacters));
    }
    return FollowMeant(std::nullopt, row);
}

bool TfrmNetwork::FollowMeant(const std::optional<std::string>& typed,
                              std::optional<std::int32_t> row) {
    if (!search_ || dictionary_ == nullptr || work_->Busy()) {
        return false;
    }
    // The work keeps what it reads alive, whatever the window does meanwhile.
    const std::shared_ptr<TDictionary> dictionary = dictionary_;
    const std::shared_ptr<const TSearchTrace> search = search_;
    const std::string query = steps_->Query();
    std::optional<TSearchTrace> traced;
    bool found = false;
    const auto follow = [&, work = work_] {
        if (typed) {
            // As the search converts typed text, upper-cased as entries are.
            const std::string word = UpperCase1251(Utf8To1251(*typed));
            const TDictionaryEntries& entries = dictionary->Entries;
            for (std::size_t i = 0; i < entries.size() && !work->CancelFlag().load(); ++i) {
                if (entries[i].Word == word) {
                    row = static_cast<std::int32_t>(i);
                    break;
                }
            }
        }
        found = row && *row >= 0 && static_cast<std::size_t>(*row) < dictionary->Entries.size();
        if (!found || work->CancelFlag().load()) {
            return;
        }
        const bool followed =
            std::all_of(search->Steps.begin(), search->Steps.end(), [&](const TTracedStep& step) {
                return step.Trace != nullptr && step.Trace->TrackedIndex(*row) >= 0;
            });
        if (followed) {
            return;
        }
        TSearchControl control;
        control.Cancel = &work->CancelFlag();
        control.OnProgress = [work](std::int32_t done, std::int32_t total) {
            work->ReportProgress(static_cast<std::uint64_t>(done),
                                 static_cast<std::uint64_t>(total));
        };
        control.Coder = &dictionary->Coder;
        TWordCode code{};
        traced =
            TraceSearch(query, dictionary->Entries, dictionary->Network, code, {*row}, control);
    };
    const bool done = work_->Run(QStringLiteral("Поиск задуманного слова…"), follow);
    if (!done || (traced && traced->Status == TSearchStatus::Cancelled)) {
        lblMeant->setText(QStringLiteral("Поиск задуманного слова прерван."));
        return false;
    }
    if (search != search_) {
        return false; // another search is shown by now
    }
    if (!found) {
        meant_.reset();
        ShowTrace();
        lblMeant->setText(
            QStringLiteral("Записи «%1» в словаре нет.")
                .arg(typed ? ShownText(
                                 QString::fromUtf8(typed->data(),
                                                   static_cast<qsizetype>(std::min<std::size_t>(
                                                       typed->size(), 4 * kShownNameCharacters))),
                                 kShownNameCharacters)
                           : RussianNumber(static_cast<long long>(row.value_or(-1)))));
        return false;
    }
    meant_ = *row;
    meantOf_ = dictionary_;
    if (traced && traced->Status == TSearchStatus::Selected) {
        search_ = std::make_shared<const TSearchTrace>(std::move(*traced));
        steps_->Show(search_, query, dictionary_);
    }
    const int step = selected_;
    selected_ = -1;
    SelectStep(step);
    pnlTabs->setCurrentIndex(1);
    return true;
}

void TfrmNetwork::FillUnits(const TRecognitionTrace& trace) {
    const std::int32_t previous = passStep_.Row;
    const bool keep = trace.TrackedIndex(previous) >= 0 && cbUnit->count() > 0;
    {
        const QSignalBlocker units(cbUnit);
        const QSignalBlocker passes(sldPass);
        cbUnit->clear();
        for (const std::int32_t row : trace.TrackedRows) {
            cbUnit->addItem(ShownText(LegendName(row, Namer()), kShownNameCharacters), row);
        }
        const std::int32_t unit = keep ? previous : trace.Winner;
        cbUnit->setCurrentIndex(std::max(0, trace.TrackedIndex(unit)));
        passStep_.Row = unit;
        const int last = std::max(trace.CompetitionPasses(), 1);
        sldPass->setRange(1, last);
        sldPass->setEnabled(trace.CompetitionPasses() > 0);
        sldPass->setValue(std::clamp(passStep_.Pass, 1, last));
        passStep_.Pass = sldPass->value();
    }
    ShowPassStep();
}

void TfrmNetwork::SelectUnit(std::int32_t row) {
    const TRecognitionTrace* trace = ShownTrace();
    if (trace == nullptr || trace->TrackedIndex(row) < 0) {
        return;
    }
    passStep_.Row = row;
    const QSignalBlocker units(cbUnit);
    cbUnit->setCurrentIndex(trace->TrackedIndex(row));
    ShowPassStep();
    OfferPassSums();
}

void TfrmNetwork::SelectPass(int pass) {
    const TRecognitionTrace* trace = ShownTrace();
    if (trace == nullptr || pass < 1 || pass > trace->CompetitionPasses()) {
        return;
    }
    passStep_.Pass = pass;
    const QSignalBlocker passes(sldPass);
    sldPass->setValue(pass);
    ShowPassStep();
    OfferPassSums();
}

void TfrmNetwork::ShowPassStep() {
    const TRecognitionTrace* trace = ShownTrace();
    if (trace == nullptr || trace->TrackedIndex(passStep_.Row) < 0 ||
        trace->CompetitionPasses() < 1) {
        lblFormula->setText(QStringLiteral("Соревнование не сделало ни одного прохода."));
        lblPass->clear();
        return;
    }
    TPassStep step;
    step.Row = passStep_.Row;
    step.Pass = std::clamp(passStep_.Pass, 1, trace->CompetitionPasses());
    step.Previous = trace->Value(step.Row, step.Pass - 1);
    step.Next = trace->Value(step.Row, step.Pass);
    step.Epsilon = trace->Epsilon;
    step.MaxOutput = trace->MaxOutput;
    if (sums_) {
        step.SumOfOthers = sums_->Of(step.Row, step.Pass);
    }
    if (step.SumOfOthers) {
        // As the pass computes it: the product and difference extended, stored once.
        step.Inhibited = precision::Inhibit(step.Previous, *step.SumOfOthers, step.Epsilon);
        step.Clipped = Activation(*step.Inhibited, step.MaxOutput);
    }
    passStep_ = step;
    lblPass->setText(QStringLiteral("%1 из %2").arg(step.Pass).arg(trace->CompetitionPasses()));
    lblFormula->setText(PassFormula(step, Namer()));
}

void TfrmNetwork::OfferPassSums() {
    if (sumsTimer_ == nullptr || sums_ || sumsDeclined_ ||
        pnlTabs->currentWidget() != passesPage_ || !isVisible() || ShownTrace() == nullptr) {
        return;
    }
    sumsGeneration_ = traceGeneration_;
    sumsTimer_->start();
}

bool TfrmNetwork::ComputePassSums() {
    const TRecognitionTrace* shown = ShownTrace();
    if (shown == nullptr || dictionary_ == nullptr || work_->Busy()) {
        return false;
    }
    if (sums_) {
        return true;
    }
    // The work reads its own copies: a step chosen meanwhile drops the trace.
    const TRecognitionTrace recorded = *shown;
    const std::shared_ptr<const TDictionary> dictionary = dictionary_;
    const std::uint64_t generation = traceGeneration_;
    std::optional<TPassSums> result;
    const auto sum = [&, work = work_] {
        const auto total = static_cast<std::uint64_t>(recorded.CompetitionPasses()) + 1;
        result = verblinka::ComputePassSums(
            dictionary->Network, recorded, &work->CancelFlag(), [&](std::int32_t pass) {
                work->ReportProgress(static_cast<std::uint64_t>(pass), total);
            });
    };
    const bool done = work_->Run(QStringLiteral("Суммы проходов…"), sum);
    if (generation != traceGeneration_) {
        return false; // another trace is shown by now
    }
    if (!done || !result) {
        sumsDeclined_ = true;
        lblFormula->setText(lblFormula->text() +
                            QStringLiteral(" Подсчёт сумм прерван; «Посчитать суммы» начнёт его "
                                           "снова."));
        return false;
    }
    sums_ = std::move(*result);
    ShowPassStep();
    return true;
}

QString TfrmNetwork::Story() const {
    if (!search_) {
        return lblStory->text();
    }
    const std::string& query = steps_->Query();
    QString text = SearchStory(
        *search_, StepText(query, 0, kShownNameCharacters),
        static_cast<long long>(dictionary_ != nullptr ? dictionary_->Entries.size() : 0),
        StepText(query, static_cast<std::size_t>(search_->ChosenStep), kShownNameCharacters),
        Namer());
    if (const TRecognitionTrace* trace = ShownTrace(); trace != nullptr) {
        text += RecognitionStory(*trace, selected_, Namer());
    }
    return text;
}

QString TfrmNetwork::TableText() const {
    return steps_->TabSeparated();
}

QString TfrmNetwork::ChartsTitle() const {
    if (!search_) {
        return Story();
    }
    const QString file =
        dictionaryFile_.isEmpty()
            ? QString()
            : QStringLiteral(", словарь %1")
                  .arg(ShownText(QFileInfo(dictionaryFile_).fileName(), kShownNameCharacters));
    return QStringLiteral("«%1»%2. %3")
        .arg(StepText(steps_->Query(), 0, kShownNameCharacters), file, Story());
}

bool TfrmNetwork::SaveCharts(const QString& path) {
    // The title above the codes above the charts, as wide as the widest.
    const QString title = ChartsTitle();
    const int width =
        std::max({codesPanel_->width(), chartsPanel_->width(), 400}) + 2 * kTitleMargin;
    const QFontMetrics metrics = fontMetrics();
    const int titleHeight =
        metrics
            .boundingRect(QRect(0, 0, width - 2 * kTitleMargin, 1 << 16), Qt::TextWordWrap, title)
            .height() +
        2 * kTitleMargin;
    const QSize size(width,
                     titleHeight + codesPanel_->height() + chartsPanel_->height() + kTitleMargin);
    const auto paint = [&](QPainter& painter) {
        painter.fillRect(QRect(QPoint(0, 0), size), palette().window());
        painter.setPen(palette().windowText().color());
        painter.setFont(font());
        painter.drawText(QRect(kTitleMargin, kTitleMargin, width - 2 * kTitleMargin,
                               titleHeight - 2 * kTitleMargin),
                         Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, title);
        codesPanel_->render(&painter, QPoint(kTitleMargin, titleHeight));
        chartsPanel_->render(&painter, QPoint(kTitleMargin, titleHeight + codesPanel_->height()));
    };
    if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(windowTitle());
        svg.setDescription(title);
        QPainter painter;
        if (!painter.begin(&svg)) {
            return false;
        }
        paint(painter);
        return painter.end();
    }
    QImage image(size, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        paint(painter);
    }
    return image.save(path, "PNG");
}

void TfrmNetwork::AskAndSave() {
    QString path =
        AskSaveFileName(this, QStringLiteral("Сохранить графики"), QStringLiteral("сеть.png"),
                        QStringLiteral("Рисунок PNG (*.png);;Рисунок SVG (*.svg)"));
    if (path.isEmpty()) {
        return;
    }
    if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive) &&
        !path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        path += QStringLiteral(".png");
    }
    const QString shown = ShownText(path, kShownCellCharacters);
    lblReplay->setText(SaveCharts(path) ? QStringLiteral("Сохранено: %1").arg(shown)
                                        : QStringLiteral("Не удалось сохранить %1").arg(shown));
}

void TfrmNetwork::CopyTable() {
    QApplication::clipboard()->setText(TableText());
}

void TfrmNetwork::PlaceBeside(const QWidget& owner, const QRect& keepVisible) {
    const QScreen* shown = owner.screen();
    const QRect outer = owner.frameGeometry();
    const QRect inner = owner.geometry();
    // The view's frame, unknown before it is shown, taken to be the owner's.
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
    if (shown == nullptr) {
        move(outer.topRight() + QPoint(8, 0));
        return;
    }
    const QRect free = shown->availableGeometry();
    resize(size().boundedTo(free.size().shrunkBy(frame)).expandedTo(minimumSizeHint()));
    const QSize whole = size().grownBy(frame);
    const auto clampInto = [&](QPoint place) {
        place.setX(std::max(free.left(), std::min(place.x(), free.right() + 1 - whole.width())));
        place.setY(std::max(free.top(), std::min(place.y(), free.bottom() + 1 - whole.height())));
        return place;
    };
    if (outer.right() + 8 + whole.width() <= free.right() + 1) {
        move(clampInto(QPoint(outer.right() + 8, outer.top())));
        return;
    }
    if (outer.left() - 8 - whole.width() >= free.left()) {
        move(clampInto(QPoint(outer.left() - 8 - whole.width(), outer.top())));
        return;
    }
    // No room beside it: below the part that must stay visible, as high as the
    // screen leaves there (down to the view's own minimum).
    const int top = owner.mapToGlobal(keepVisible.bottomLeft()).y() + 4;
    const int height = std::max(minimumSizeHint().height(),
                                free.bottom() + 1 - top - frame.top() - frame.bottom());
    resize(width(), std::min(height, size().height()));
    const QSize framed = size().grownBy(frame);
    move(QPoint(std::max(free.left(), free.left() + (free.width() - framed.width()) / 2),
                std::max(free.top(), std::min(top, free.bottom() + 1 - framed.height()))));
}

} // namespace verblinka
