#include "ui/fmExperiment.h"

#include "ui/AppShell.h"
#include "ui/BackgroundWork.h"
#include "ui/Commands.h"
#include "ui/NetworkStory.h"
#include "ui/ShownText.h"

#include <QAbstractTableModel>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QSvgGenerator>
#include <QTableView>
#include <QTableWidget>
#include <QTextStream>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace verblinka {
namespace {

constexpr int kMostPerKind = 5000;
constexpr int kMargin = 8;

// A rate as the table and the chart show it, in per cent; nothing without cases.
std::optional<double> Rate(const THitCount& count) {
    if (count.Total == 0) {
        return std::nullopt;
    }
    return 100.0 * static_cast<double>(count.Hits) / static_cast<double>(count.Total);
}

QString RateText(const THitCount& count) {
    const std::optional<double> rate = Rate(count);
    return rate ? QString::number(*rate, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(','))
                : QStringLiteral("—");
}

QString Title(const TNetworkConfig& config) {
    return ShownText(QString::fromStdString(config.Title.empty() ? config.Name : config.Title),
                     kShownNameCharacters);
}

QString CodeTitle(const TWordCoder& coder) {
    switch (coder.Kind()) {
    case TCodeKind::Program:
        return QStringLiteral("код программы");
    case TCodeKind::Keyboard:
        return QStringLiteral("клавиатурный");
    case TCodeKind::Padded:
        return QStringLiteral("с пробелами");
    case TCodeKind::Pairs:
        return coder.Name() == "pairs"
                   ? QStringLiteral("пар букв")
                   : QStringLiteral("пар букв (%1)")
                         .arg(ShownText(QString::fromStdString(coder.Name()), 20));
    case TCodeKind::Table:
        return QStringLiteral("свой: %1")
            .arg(ShownText(QString::fromStdString(coder.Name()), kShownNameCharacters));
    }
    return {};
}

// The columns of the table: the kinds, the given pairs when there are any,
// every misspelling, and the median time.
struct TColumns {
    bool Given = false;
    int Count() const { return static_cast<int>(kMisspellingKinds) + (Given ? 1 : 0) + 2; }
};

QStringList Headers(const TColumns& columns) {
    QStringList headers;
    for (std::size_t kind = 0; kind < kMisspellingKinds; ++kind) {
        headers << QString::fromStdString(
            MisspellingKindTitle(static_cast<TMisspellingKind>(kind)));
    }
    if (columns.Given) {
        headers << QStringLiteral("пары");
    }
    headers << QStringLiteral("все") << QStringLiteral("медиана, мс");
    return headers;
}

QStringList Cells(const TConfigResult& result, const TColumns& columns) {
    QStringList cells;
    for (const THitCount& count : result.ByKind) {
        cells << RateText(count);
    }
    if (columns.Given) {
        cells << RateText(result.Given);
    }
    cells << RateText(result.Overall)
          << QString::number(result.MedianSeconds * 1000.0, 'f', 2)
                 .replace(QLatin1Char('.'), QLatin1Char(','));
    return cells;
}

// The grouped bars: a group per kind (and all), a colour per configuration.
std::unique_ptr<QChart> ResultsChart(const std::vector<TConfigResult>& results,
                                     const TColumns& columns) {
    auto chart = std::make_unique<QChart>();
    chart->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    chart->setLocalizeNumbers(true);
    chart->legend()->setAlignment(Qt::AlignBottom);
    QStringList categories = Headers(columns);
    categories.removeLast(); // the time is no rate
    auto* series = new QBarSeries();
    for (const TConfigResult& result : results) {
        auto* set = new QBarSet(Title(result.Config));
        for (const THitCount& count : result.ByKind) {
            *set << Rate(count).value_or(0.0);
        }
        if (columns.Given) {
            *set << Rate(result.Given).value_or(0.0);
        }
        *set << Rate(result.Overall).value_or(0.0);
        series->append(set);
    }
    chart->addSeries(series);
    auto* x = new QBarCategoryAxis();
    x->append(categories);
    chart->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
    auto* y = new QValueAxis();
    y->setRange(0, 100);
    y->setLabelFormat(QStringLiteral("%.0f"));
    y->setTickCount(3);
    y->setTitleText(QStringLiteral("%"));
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);
    return chart;
}

} // namespace

// The misses of every configuration, one row each: the configuration, the
// kind, and «опечатка → выбрано (задумано)». A row's texts are made when it
// is shown, so that a million misses cost no more than their counts.
class TMissesModel final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    // Where a row of the list lies: a configuration and its miss.
    struct TPlace {
        std::size_t Config = 0;
        std::size_t Miss = 0;
    };
    // The kind and the text of a miss.
    using TTexts = std::function<std::pair<QString, QString>(const TPlace& place)>;

    void Show(std::vector<std::size_t> counts, QStringList configs, TTexts texts) {
        beginResetModel();
        counts_ = std::move(counts);
        configs_ = std::move(configs);
        texts_ = std::move(texts);
        endResetModel();
    }
    TPlace Place(int row) const {
        auto left = static_cast<std::size_t>(row);
        std::size_t config = 0;
        while (config + 1 < counts_.size() && left >= counts_[config]) {
            left -= counts_[config++];
        }
        return {config, left};
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        if (parent.isValid()) {
            return 0;
        }
        std::size_t rows = 0;
        for (const std::size_t count : counts_) {
            rows += count;
        }
        return static_cast<int>(std::min<std::size_t>(rows, std::numeric_limits<int>::max()));
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : 3;
    }
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) {
            return {};
        }
        const TPlace place = Place(index.row());
        if (index.column() == 0) {
            return configs_.value(static_cast<qsizetype>(place.Config));
        }
        const std::pair<QString, QString> texts = texts_(place);
        return index.column() == 1 ? texts.first : texts.second;
    }
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
            return {};
        }
        static const char* const kHeaders[] = {"Конфигурация", "Вид",
                                               "Опечатка → выбрано (задумано)"};
        return QString::fromUtf8(kHeaders[section]);
    }

private:
    std::vector<std::size_t> counts_;
    QStringList configs_;
    TTexts texts_;
};

TfrmExperiment::TfrmExperiment(QWidget* owner, TBackgroundWork& work)
    : QWidget(owner, Qt::Window), work_(work) {
    setObjectName(QStringLiteral("frmExperiment"));
    setWindowTitle(QStringLiteral("Опыт: как часто сеть находит задуманное слово"));
    commands_ = new TCommands(*this, work_);
    askPairs_ = [](QWidget* parent) -> std::optional<QString> {
        const QString path = QFileDialog::getOpenFileName(
            parent, QStringLiteral("Пары «опечатка — задуманное»"), QString(),
            QStringLiteral("Текстовые файлы (*.txt *.tsv);;Все файлы (*)"), nullptr,
            QFileDialog::DontUseNativeDialog);
        return path.isEmpty() ? std::nullopt : std::optional<QString>(path);
    };
    askExport_ = [](QWidget* parent) -> std::optional<QString> {
        QString path = AskSaveFileName(
            parent, QStringLiteral("Сохранить результаты"), QStringLiteral("опыт.png"),
            QStringLiteral("Рисунок PNG (*.png);;Рисунок SVG (*.svg);;Таблица TSV (*.tsv)"));
        return path.isEmpty() ? std::nullopt : std::optional<QString>(path);
    };
    CreateControls();
    resize(900, 640);
}

void TfrmExperiment::FitScreen() {
    // Never larger than the screen leaves, with room for a frame.
    if (const QScreen* shown = screen(); shown != nullptr) {
        const QRect free = shown->availableGeometry();
        resize(size().boundedTo(free.size() - QSize(16, 40)));
        move(free.topLeft() + QPoint(std::max(0, (free.width() - width()) / 2),
                                     std::max(0, (free.height() - height() - 30) / 2)));
    }
}

TfrmExperiment::~TfrmExperiment() = default;

void TfrmExperiment::SetSource(std::function<std::shared_ptr<TDictionary>()> dictionary,
                               std::function<TNetworkConfig()> current) {
    dictionary_ = std::move(dictionary);
    current_ = std::move(current);
    FillCodes();
}

void TfrmExperiment::CreateControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setChildrenCollapsible(false);
    layout->addWidget(splitter, 1);

    auto* settingsBox = new QScrollArea(splitter);
    settingsBox->setWidgetResizable(true);
    settingsBox->setFrameShape(QFrame::NoFrame);
    settingsBox->setWidget(CreateSettings());
    settingsBox->setMinimumHeight(80);

    // The results: the table over the chart, then the misses.
    resultsPanel_ = new QWidget(splitter);
    resultsPanel_->setObjectName(QStringLiteral("pnlResults"));
    resultsPanel_->setAutoFillBackground(true);
    auto* results = new QVBoxLayout(resultsPanel_);
    results->setContentsMargins(0, 0, 0, 0);
    tblResults = new QTableWidget(resultsPanel_);
    tblResults->setObjectName(QStringLiteral("tblResults"));
    tblResults->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblResults->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // As high as four configurations' rows: the rates never scroll.
    const int rowHeight = fontMetrics().height() + 6;
    tblResults->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tblResults->verticalHeader()->setDefaultSectionSize(rowHeight);
    tblResults->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tblResults->setFixedHeight(static_cast<int>(kExperimentSlots) * rowHeight +
                               tblResults->horizontalHeader()->sizeHint().height() +
                               2 * tblResults->frameWidth() + 4 +
                               tblResults->horizontalScrollBar()->sizeHint().height());
    results->addWidget(tblResults);
    chResults = new QChartView(resultsPanel_);
    chResults->setObjectName(QStringLiteral("chResults"));
    chResults->setRenderHint(QPainter::Antialiasing);
    chResults->setMinimumHeight(160);
    results->addWidget(chResults, 1);

    tblMisses = new QTableView(splitter);
    tblMisses->setObjectName(QStringLiteral("tblMisses"));
    misses_ = new TMissesModel(tblMisses);
    tblMisses->setModel(misses_);
    tblMisses->verticalHeader()->hide();
    tblMisses->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tblMisses->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    tblMisses->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblMisses->setSelectionMode(QAbstractItemView::SingleSelection);
    tblMisses->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblMisses->setWordWrap(false);
    tblMisses->horizontalHeader()->setStretchLastSection(true);
    tblMisses->setToolTip(QStringLiteral("Двойной щелчок или Enter: показать в «Работе сети»"));
    tblMisses->setMinimumHeight(60);
    connect(tblMisses, &QTableView::activated, this,
            [this](const QModelIndex& index) { OpenMiss(index.row()); });
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 3);
    splitter->setStretchFactor(2, 1);
    // The chart gets most of the height; the misses a few lines.
    splitter->setSizes({settingsBox->widget()->sizeHint().height(), 400, 6 * rowHeight});

    auto* bottom = new QHBoxLayout();
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setTextFormat(Qt::PlainText);
    lblStatus->setWordWrap(true);
    lblStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bottom->addWidget(lblStatus, 1);
    btnExport = new QPushButton(QStringLiteral("Сохранить…"), this);
    btnExport->setObjectName(QStringLiteral("btnExport"));
    btnExport->setEnabled(false);
    commands_->Bind(*btnExport, [this] { AskAndExport(); });
    bottom->addWidget(btnExport);
    layout->addLayout(bottom);
}

QWidget* TfrmExperiment::CreateSettings() {
    auto* panel = new QWidget(this);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    auto* source = new QHBoxLayout();
    source->addWidget(new QLabel(QStringLiteral("Опечатки:"), panel));
    sePerKind = new QSpinBox(panel);
    sePerKind->setObjectName(QStringLiteral("sePerKind"));
    sePerKind->setRange(1, kMostPerKind);
    sePerKind->setValue(200);
    source->addWidget(sePerKind);
    source->addWidget(new QLabel(QStringLiteral("каждого из 5 видов, зерно"), panel));
    seSeed = new QSpinBox(panel);
    seSeed->setObjectName(QStringLiteral("seSeed"));
    seSeed->setRange(0, std::numeric_limits<int>::max());
    seSeed->setValue(1);
    source->addWidget(seSeed);
    source->addWidget(new QLabel(QStringLiteral("или"), panel));
    btnPairs = new QPushButton(QStringLiteral("Загрузить пары…"), panel);
    btnPairs->setObjectName(QStringLiteral("btnPairs"));
    commands_->Bind(*btnPairs, [this] { AskForPairs(); });
    source->addWidget(btnPairs);
    source->addStretch(1);
    btnRun = new QPushButton(QStringLiteral("Запустить"), panel);
    btnRun->setObjectName(QStringLiteral("btnRun"));
    commands_->Bind(*btnRun, [this] { RunExperimentNow(); });
    source->addWidget(btnRun);
    layout->addLayout(source);
    lblPairs = new QLabel(panel);
    lblPairs->setObjectName(QStringLiteral("lblPairs"));
    lblPairs->setTextFormat(Qt::PlainText);
    lblPairs->setWordWrap(true);
    lblPairs->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(lblPairs);
    lblPairs->hide(); // until pairs are read

    // The configurations side by side: a column each.
    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);
    const char* const rows[] = {"", "Код", "МаксВыход", "ε·M", "Предел проходов"};
    for (int row = 0; row < 5; ++row) {
        grid->addWidget(new QLabel(QString::fromUtf8(rows[row]), panel), row, 0);
    }
    const std::vector<TNetworkConfig>& shipped = ShippedConfigs();
    for (std::size_t slot = 0; slot < kExperimentSlots; ++slot) {
        const int column = static_cast<int>(slot) + 1;
        const QString suffix = QString::number(slot + 1);
        auto* head = new QHBoxLayout();
        chUse[slot] = new QCheckBox(panel);
        chUse[slot]->setObjectName(QStringLiteral("chUse") + suffix);
        chUse[slot]->setChecked(slot < 3);
        head->addWidget(chUse[slot]);
        cbPreset[slot] = new QComboBox(panel);
        cbPreset[slot]->setObjectName(QStringLiteral("cbPreset") + suffix);
        for (const TNetworkConfig& config : shipped) {
            cbPreset[slot]->addItem(QString::fromStdString(config.Title));
        }
        cbPreset[slot]->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        cbPreset[slot]->setMinimumContentsLength(8);
        head->addWidget(cbPreset[slot], 1);
        grid->addLayout(head, 0, column);
        cbCode[slot] = new QComboBox(panel);
        cbCode[slot]->setObjectName(QStringLiteral("cbCode") + suffix);
        cbCode[slot]->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        cbCode[slot]->setMinimumContentsLength(8);
        grid->addWidget(cbCode[slot], 1, column);
        seMaxOutput[slot] = new QDoubleSpinBox(panel);
        seMaxOutput[slot]->setObjectName(QStringLiteral("seMaxOutput") + suffix);
        seMaxOutput[slot]->setRange(0.01, 1e6);
        seMaxOutput[slot]->setDecimals(2);
        grid->addWidget(seMaxOutput[slot], 2, column);
        seEpsilon[slot] = new QDoubleSpinBox(panel);
        seEpsilon[slot]->setObjectName(QStringLiteral("seEpsilon") + suffix);
        seEpsilon[slot]->setRange(0.0, 1000.0);
        seEpsilon[slot]->setDecimals(4);
        seEpsilon[slot]->setSingleStep(0.1);
        grid->addWidget(seEpsilon[slot], 3, column);
        seMaxIterations[slot] = new QSpinBox(panel);
        seMaxIterations[slot]->setObjectName(QStringLiteral("seMaxIterations") + suffix);
        seMaxIterations[slot]->setRange(0, kMostMaxIterations);
        grid->addWidget(seMaxIterations[slot], 4, column);
        grid->setColumnStretch(column, 1);
        connect(cbPreset[slot], &QComboBox::currentIndexChanged, this,
                [this, slot] { RunCommand([this, slot] { ShowPreset(slot); }); });
    }
    layout->addLayout(grid);
    FillCodes();
    for (std::size_t slot = 0; slot < kExperimentSlots; ++slot) {
        // The program, the keyboard code, the padded code, the best found.
        const int preset = std::min<int>(static_cast<int>(slot == 3 ? shipped.size() - 1 : slot),
                                         static_cast<int>(shipped.size()) - 1);
        cbPreset[slot]->setCurrentIndex(preset);
        ShowPreset(slot);
    }

    return panel;
}

void TfrmExperiment::FillCodes() {
    // The shipped configurations' codes, and the one in force when it is
    // none of them (a table of the user's).
    std::vector<TWordCoder> codes;
    const auto add = [&codes](const TWordCoder& coder) {
        if (std::none_of(codes.begin(), codes.end(),
                         [&](const TWordCoder& known) { return known == coder; })) {
            codes.push_back(coder);
        }
    };
    for (const TNetworkConfig& config : ShippedConfigs()) {
        add(config.Coder);
    }
    if (current_) {
        add(current_().Coder);
    }
    if (cbCode[0] != nullptr && codes.size() == codes_.size()) {
        return;
    }
    for (std::size_t slot = 0; slot < kExperimentSlots && cbCode[slot] != nullptr; ++slot) {
        const int chosen = cbCode[slot]->currentIndex();
        const QSignalBlocker blocker(cbCode[slot]);
        cbCode[slot]->clear();
        for (const TWordCoder& coder : codes) {
            cbCode[slot]->addItem(CodeTitle(coder));
        }
        cbCode[slot]->setCurrentIndex(std::max(chosen, 0));
    }
    codes_ = std::move(codes);
}

void TfrmExperiment::ShowPreset(std::size_t slot) {
    const int preset = cbPreset[slot]->currentIndex();
    if (preset < 0 || static_cast<std::size_t>(preset) >= ShippedConfigs().size()) {
        return;
    }
    const TNetworkConfig& config = ShippedConfigs()[static_cast<std::size_t>(preset)];
    for (std::size_t code = 0; code < codes_.size(); ++code) {
        if (codes_[code] == config.Coder) {
            cbCode[slot]->setCurrentIndex(static_cast<int>(code));
        }
    }
    seMaxOutput[slot]->setValue(config.MaxOutput);
    seEpsilon[slot]->setValue(config.EpsilonFactor);
    seMaxIterations[slot]->setValue(config.MaxIterations);
}

TNetworkConfig TfrmExperiment::SlotConfig(std::size_t slot) const {
    const auto preset = static_cast<std::size_t>(std::max(cbPreset[slot]->currentIndex(), 0));
    TNetworkConfig config = ShippedConfigs()[std::min(preset, ShippedConfigs().size() - 1)];
    const TNetworkConfig base = config;
    const auto code = static_cast<std::size_t>(std::max(cbCode[slot]->currentIndex(), 0));
    if (code < codes_.size()) {
        config.Coder = codes_[code];
    }
    config.MaxOutput = seMaxOutput[slot]->value();
    config.EpsilonFactor = seEpsilon[slot]->value();
    config.MaxIterations = seMaxIterations[slot]->value();
    if (!(config.Coder == base.Coder) || config.MaxOutput != base.MaxOutput ||
        config.EpsilonFactor != base.EpsilonFactor || config.MaxIterations != base.MaxIterations) {
        // An edited configuration says what it was made from and what it is.
        config.Name = "edited";
        config.Title =
            QStringLiteral("%1: %2, МаксВыход %3, ε·M %4, предел %5")
                .arg(QString::number(slot + 1), CodeTitle(config.Coder),
                     RussianNumber(config.MaxOutput), RussianNumber(config.EpsilonFactor),
                     RussianNumber(static_cast<long long>(config.MaxIterations)))
                .toStdString();
    }
    return config;
}

std::vector<TNetworkConfig> TfrmExperiment::ChosenConfigs() const {
    std::vector<TNetworkConfig> configs;
    for (std::size_t slot = 0; slot < kExperimentSlots; ++slot) {
        if (chUse[slot]->isChecked()) {
            configs.push_back(SlotConfig(slot));
        }
    }
    return configs;
}

void TfrmExperiment::StartExperiment() {
    commands_->Run([this] { RunExperimentNow(); });
}

void TfrmExperiment::ChoosePairs() {
    commands_->Run([this] { AskForPairs(); });
}

void TfrmExperiment::AskForPairs() {
    const std::optional<QString> path = askPairs_ ? askPairs_(this) : std::nullopt;
    if (path) {
        ReadPairs(*path);
    }
}

bool TfrmExperiment::ReadPairs(const QString& path) {
    const std::string file = QFile::encodeName(path).toStdString();
    std::optional<std::vector<TMisspelling>> pairs;
    QString error;
    const auto read = [&] {
        try {
            pairs = ReadMisspellingPairs(file);
        } catch (const std::runtime_error& failure) {
            error = QString::fromUtf8(failure.what());
        }
    };
    if (!work_.Run(QStringLiteral("Чтение пар…"), read)) {
        return false;
    }
    if (!pairs) {
        // The pairs read before stay in force.
        ShowErrorBox(ShownText(error, 400));
        return false;
    }
    pairs_ = std::move(pairs);
    lblPairs->setText(
        QStringLiteral("Пары из файла %1: %2. Генерация опечаток выключена; чтобы вернуться к ней, "
                       "закройте и снова откройте окно.")
            .arg(ShownText(QFileInfo(path).fileName(), kShownNameCharacters),
                 Plural(static_cast<long long>(pairs_->size()), "пара", "пары", "пар")));
    lblPairs->show();
    sePerKind->setEnabled(false);
    seSeed->setEnabled(false);
    return true;
}

bool TfrmExperiment::RunExperimentNow() {
    FillCodes();
    const std::shared_ptr<TDictionary> dictionary = dictionary_ ? dictionary_() : nullptr;
    if (dictionary == nullptr || dictionary->Entries.empty()) {
        ShowMessage(QStringLiteral("Сначала откройте словарь: опечатки делаются из его слов."));
        return false;
    }
    const std::vector<TNetworkConfig> configs = ChosenConfigs();
    if (configs.empty()) {
        ShowMessage(QStringLiteral("Отметьте хотя бы одну конфигурацию."));
        return false;
    }
    for (const TNetworkConfig& config : configs) {
        try {
            CheckConfig(config);
        } catch (const std::invalid_argument& error) {
            ShowErrorBox(QString::fromUtf8(error.what()));
            return false;
        }
    }
    const auto perKind = static_cast<std::size_t>(sePerKind->value());
    const auto seed = static_cast<std::uint32_t>(seSeed->value());
    std::vector<TMisspelling> misspellings;
    std::optional<std::vector<TConfigResult>> results;
    const auto run = [&, work = &work_] {
        misspellings = pairs_ ? *pairs_ : MakeMisspellings(dictionary->Entries, perKind, seed);
        TExperimentControl control;
        control.Cancel = &work->CancelFlag();
        control.OnProgress = [work, probe = probe_](std::size_t done, std::size_t total) {
            if (probe) {
                probe();
            }
            work->ReportProgress(done, total);
        };
        results = RunExperiment(*dictionary, configs, misspellings, control);
    };
    const TWaitCursor wait;
    if (!work_.Run(QStringLiteral("Опыт…"), run) || !results) {
        lblStatus->setText(QStringLiteral("Опыт прерван; прежние результаты не изменились."));
        return false;
    }
    misspellings_ = std::move(misspellings);
    results_ = std::move(*results);
    ranOn_ = dictionary;
    ShowResults();
    return true;
}

void TfrmExperiment::ShowResults() {
    TColumns columns;
    for (const TConfigResult& result : results_) {
        columns.Given = columns.Given || result.Given.Total > 0;
    }
    const QStringList headers = Headers(columns);
    tblResults->clear();
    tblResults->setColumnCount(columns.Count());
    tblResults->setRowCount(static_cast<int>(results_.size()));
    tblResults->setHorizontalHeaderLabels(headers);
    QStringList titles;
    for (std::size_t i = 0; i < results_.size(); ++i) {
        titles << Title(results_[i].Config);
        const QStringList cells = Cells(results_[i], columns);
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            tblResults->setItem(static_cast<int>(i), column, item);
        }
    }
    tblResults->setVerticalHeaderLabels(titles);
    QChart* old = chResults->chart();
    chResults->setChart(ResultsChart(results_, columns).release());
    delete old;

    std::vector<std::size_t> counts;
    for (const TConfigResult& result : results_) {
        counts.push_back(result.Misses.size());
    }
    misses_->Show(std::move(counts), titles, [this](const TMissesModel::TPlace& place) {
        const TMiss& miss = results_[place.Config].Misses[place.Miss];
        const TMisspelling& misspelling = misspellings_[miss.Misspelling];
        const std::shared_ptr<TDictionary> dictionary = ranOn_.lock();
        QString chosen = QStringLiteral("ряд %1").arg(miss.ChosenRow);
        if (dictionary != nullptr && miss.ChosenRow >= 0 &&
            static_cast<std::size_t>(miss.ChosenRow) < dictionary->Entries.size()) {
            chosen = ShownText(dictionary->Entries[static_cast<std::size_t>(miss.ChosenRow)].Word,
                               kShownNameCharacters);
        }
        return std::pair{misspelling.Kind
                             ? QString::fromStdString(MisspellingKindTitle(*misspelling.Kind))
                             : QStringLiteral("пара"),
                         QStringLiteral("%1 → %2 (%3)")
                             .arg(ShownText(misspelling.Text, kShownNameCharacters), chosen,
                                  ShownText(misspelling.Intended, kShownNameCharacters))};
    });
    // Widths from the titles, never from measuring the rows.
    int titleWidth = tblMisses->fontMetrics().horizontalAdvance(QStringLiteral("Конфигурация"));
    for (const QString& title : titles) {
        titleWidth = std::max(titleWidth, tblMisses->fontMetrics().horizontalAdvance(title));
    }
    tblMisses->setColumnWidth(0, std::min(titleWidth + 16, 260));
    tblMisses->setColumnWidth(
        1, tblMisses->fontMetrics().horizontalAdvance(QStringLiteral("перестановка")) + 16);
    std::size_t total = 0;
    for (const TConfigResult& result : results_) {
        total += result.Misses.size();
    }
    lblStatus->setText(QStringLiteral("%1, %2; промахов: %3.")
                           .arg(Plural(static_cast<long long>(misspellings_.size()), "опечатка",
                                       "опечатки", "опечаток"),
                                Plural(static_cast<long long>(results_.size()), "конфигурация",
                                       "конфигурации", "конфигураций"),
                                RussianNumber(static_cast<long long>(total))));
    btnExport->setEnabled(true);
}

void TfrmExperiment::OpenMiss(int row) {
    if (row < 0 || row >= misses_->rowCount() || !openMiss_) {
        return;
    }
    const TMissesModel::TPlace shown = misses_->Place(row);
    const TConfigResult& result = results_[shown.Config];
    const TMiss& miss = result.Misses[shown.Miss];
    // Rows name entries of the dictionary the experiment ran on only.
    const std::shared_ptr<TDictionary> current = dictionary_ ? dictionary_() : nullptr;
    const std::int32_t intended =
        current != nullptr && current == ranOn_.lock() ? miss.IntendedRow : -1;
    openMiss_(misspellings_[miss.Misspelling].Text, result.Config, intended);
}

QString TfrmExperiment::TableText() const {
    TColumns columns;
    for (const TConfigResult& result : results_) {
        columns.Given = columns.Given || result.Given.Total > 0;
    }
    QString text = QStringLiteral("конфигурация\t") + Headers(columns).join(QLatin1Char('\t')) +
                   QLatin1Char('\n');
    for (const TConfigResult& result : results_) {
        text += Title(result.Config) + QLatin1Char('\t') +
                Cells(result, columns).join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

bool TfrmExperiment::Export(const QString& path) {
    if (results_.empty()) {
        return false;
    }
    if (path.endsWith(QStringLiteral(".tsv"), Qt::CaseInsensitive)) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return false;
        }
        const QByteArray bytes = TableText().toUtf8();
        return file.write(bytes) == bytes.size() && file.flush();
    }
    const QString title = lblStatus->text();
    const QFontMetrics metrics = fontMetrics();
    const int width = std::max(resultsPanel_->width(), 400) + 2 * kMargin;
    const int titleHeight = metrics.height() + 2 * kMargin;
    const QSize size(width, titleHeight + resultsPanel_->height() + kMargin);
    const auto paint = [&](QPainter& painter) {
        painter.fillRect(QRect(QPoint(0, 0), size), palette().window());
        painter.setPen(palette().windowText().color());
        painter.setFont(font());
        painter.drawText(QRect(kMargin, kMargin, width - 2 * kMargin, metrics.height()),
                         Qt::AlignLeft | Qt::TextSingleLine,
                         windowTitle() + QStringLiteral(". ") + title);
        resultsPanel_->render(&painter, QPoint(kMargin, titleHeight));
    };
    if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(windowTitle());
        svg.setDescription(TableText());
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

void TfrmExperiment::ChooseExport() {
    commands_->Run([this] { AskAndExport(); });
}

void TfrmExperiment::AskAndExport() {
    std::optional<QString> path = askExport_ ? askExport_(this) : std::nullopt;
    if (!path) {
        return;
    }
    static const char* const kKnown[] = {".png", ".svg", ".tsv"};
    if (std::none_of(std::begin(kKnown), std::end(kKnown), [&](const char* suffix) {
            return path->endsWith(QLatin1String(suffix), Qt::CaseInsensitive);
        })) {
        *path += QStringLiteral(".png");
    }
    const QString shown = ShownText(*path, kShownCellCharacters);
    lblStatus->setText(Export(*path) ? QStringLiteral("Сохранено: %1").arg(shown)
                                     : QStringLiteral("Не удалось сохранить %1").arg(shown));
}

} // namespace verblinka
