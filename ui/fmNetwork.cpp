#include "ui/fmNetwork.h"

#include "dictionary/DictionaryLoad.h"
#include "text/CodePage1251.h"
#include "ui/AppShell.h"

#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPainter>
#include <QPushButton>
#include <QScatterSeries>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QSvgGenerator>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace verblinka {
namespace {

constexpr int kCell = 10;       // one bit of the grids, in pixels
constexpr int kGridGap = 4;     // between the two grids
constexpr int kGridLabel = 170; // the texts left of the grids
constexpr int kReplayMaxPasses = 100;

QString FromBytes(std::string_view bytes) {
    return QString::fromStdString(Utf8From1251(bytes));
}

// The coded text with its blanks made visible.
QString Visible(std::string_view bytes) {
    QString text = FromBytes(bytes);
    text.replace(QLatin1Char(' '), QChar(0x2423));
    return text;
}

QString Plural(long long n, const char* one, const char* few, const char* many) {
    const long long tens = n % 100;
    const long long units = n % 10;
    const char* word = many;
    if (tens < 11 || tens > 14) {
        word = units == 1 ? one : (units >= 2 && units <= 4 ? few : many);
    }
    return QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(word));
}

QString Number(double value) {
    return QString::number(value, 'g', 6);
}

QString EndText(TCompetitionEnd end) {
    return end == TCompetitionEnd::Stable ? QStringLiteral("устойчиво")
                                          : QStringLiteral("предел проходов");
}

// The first pass after which the winner was the only unit above zero, or -1.
std::int32_t PassAlone(const TRecognitionTrace& trace) {
    for (const TPassRecord& record : trace.Passes) {
        if (record.Pass > 0 && record.AboveZero == 1) {
            return record.Pass;
        }
    }
    return -1;
}

// The chart replaces the view's previous one, which the view gives back.
void Replace(QChartView* view, QChart* chart) {
    QChart* old = view->chart();
    view->setChart(chart);
    delete old;
}

} // namespace

// ---------------------------------------------------------------- TBitGrid

TBitGrid::TBitGrid(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pbCodes"));
    setMinimumSize(sizeHint());
}

QSize TBitGrid::sizeHint() const {
    return {kGridLabel + kWordCodeLength / 8 * kCell + 8, 2 * 8 * kCell + kGridGap + 8};
}

void TBitGrid::SetCodes(const QString& inputText, const TWordCode& input, const QString& storedText,
                        const TWordCode& stored, double firstLayer) {
    inputText_ = inputText;
    storedText_ = storedText;
    input_ = input;
    stored_ = stored;
    firstLayer_ = firstLayer;
    empty_ = false;
    update();
}

void TBitGrid::Clear() {
    empty_ = true;
    update();
}

double TBitGrid::AgreementCount() const {
    double count = 0.0;
    for (std::size_t i = 0; i < input_.size(); ++i) {
        if (input_[i] == 0 || stored_[i] == 0) {
            count += 0.5;
        } else if (input_[i] == stored_[i]) {
            count += 1.0;
        }
    }
    return count;
}

int TBitGrid::DisagreeingBits() const {
    int count = 0;
    for (std::size_t i = 0; i < input_.size(); ++i) {
        count += input_[i] != 0 && stored_[i] != 0 && input_[i] != stored_[i] ? 1 : 0;
    }
    return count;
}

void TBitGrid::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (empty_) {
        return;
    }
    const QColor set(40, 40, 40);
    const QColor clear(250, 250, 250);
    const QColor none(205, 205, 205);
    const QColor differ(220, 30, 30);
    auto drawGrid = [&](int top, const QString& text, const TWordCode& code) {
        painter.setPen(palette().windowText().color());
        painter.drawText(QRect(2, top, kGridLabel - 6, 8 * kCell),
                         Qt::AlignRight | Qt::AlignVCenter, text);
        for (int character = 0; character < kWordCodeLength / 8; ++character) {
            for (int bit = 0; bit < 8; ++bit) {
                const std::size_t i =
                    static_cast<std::size_t>(character) * 8 + static_cast<std::size_t>(bit);
                const QRect cell(kGridLabel + character * kCell, top + bit * kCell, kCell - 1,
                                 kCell - 1);
                QColor fill = code[i] > 0 ? set : (code[i] < 0 ? clear : none);
                const bool disagree = input_[i] != 0 && stored_[i] != 0 && input_[i] != stored_[i];
                if (disagree) {
                    fill = code[i] > 0 ? differ : differ.lighter(160);
                }
                painter.fillRect(cell, fill);
                if (disagree) {
                    painter.setPen(differ);
                    painter.drawRect(cell.adjusted(0, 0, -1, -1));
                }
            }
        }
    };
    drawGrid(2, inputText_, input_);
    drawGrid(2 + 8 * kCell + kGridGap, storedText_, stored_);
}

// ------------------------------------------------------------- TfrmNetwork

TfrmNetwork::TfrmNetwork(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("frmNetwork"));
    setWindowTitle(QStringLiteral("Работа сети"));
    CreateControls();
    resize(1180, 800);
    ForgetSearch();
}

void TfrmNetwork::CreateControls() {
    auto* layout = new QVBoxLayout(this);
    lblStory = new QLabel(this);
    lblStory->setObjectName(QStringLiteral("lblStory"));
    lblStory->setWordWrap(true);
    lblStory->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(lblStory);

    pnlPages = new QStackedWidget(this);
    layout->addWidget(pnlPages, 1);
    pnlPages->addWidget(new QWidget(pnlPages)); // before the first search: the sentence alone

    auto* content = new QWidget(pnlPages);
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    auto* splitter = new QSplitter(Qt::Horizontal, content);
    contentLayout->addWidget(splitter, 1);

    tblSteps = new QTableWidget(0, 7, splitter);
    tblSteps->setObjectName(QStringLiteral("tblSteps"));
    tblSteps->setHorizontalHeaderLabels({QStringLiteral("№"), QStringLiteral("Текст"),
                                         QStringLiteral("Ряд"), QStringLiteral("Запись"),
                                         QStringLiteral("Расст."), QStringLiteral("Проходов"),
                                         QStringLiteral("Конец")});
    tblSteps->verticalHeader()->hide();
    tblSteps->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblSteps->setSelectionMode(QAbstractItemView::SingleSelection);
    tblSteps->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblSteps->horizontalHeader()->setStretchLastSection(true);
    tblSteps->verticalHeader()->setDefaultSectionSize(tblSteps->fontMetrics().height() + 6);
    connect(tblSteps, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
        if (row >= 0 && row != selected_) {
            SelectStep(row);
        }
    });

    chartsPanel_ = new QWidget(splitter);
    chartsPanel_->setObjectName(QStringLiteral("pnlCharts"));
    chartsPanel_->setAutoFillBackground(true);
    auto* charts = new QVBoxLayout(chartsPanel_);
    lblCodes = new QLabel(chartsPanel_);
    lblCodes->setObjectName(QStringLiteral("lblCodes"));
    charts->addWidget(lblCodes);
    pbCodes = new TBitGrid(chartsPanel_);
    charts->addWidget(pbCodes);
    chFirstLayer = new QChartView(chartsPanel_);
    chFirstLayer->setObjectName(QStringLiteral("chFirstLayer"));
    chFirstLayer->setRenderHint(QPainter::Antialiasing);
    // Minimums that let the view fit a screen 768 pixels high with its frame.
    chFirstLayer->setMinimumHeight(120);
    charts->addWidget(chFirstLayer, 2);
    chRace = new QChartView(chartsPanel_);
    chRace->setObjectName(QStringLiteral("chRace"));
    chRace->setRenderHint(QPainter::Antialiasing);
    chRace->setMinimumHeight(220);
    charts->addWidget(chRace, 4);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    splitter->setSizes({440, 740});

    auto* controls = new QHBoxLayout();
    controls->addWidget(new QLabel(QStringLiteral("Предел проходов"), content));
    sePassLimit = new QSpinBox(content);
    sePassLimit->setObjectName(QStringLiteral("sePassLimit"));
    sePassLimit->setRange(1, kReplayMaxPasses);
    sePassLimit->setValue(kProgramMaxIterations);
    controls->addWidget(sePassLimit);
    btnReplay = new QPushButton(QStringLiteral("Повторить"), content);
    btnReplay->setObjectName(QStringLiteral("btnReplay"));
    connect(btnReplay, &QPushButton::clicked, this, [this] { Replay(sePassLimit->value()); });
    controls->addWidget(btnReplay);
    lblReplay = new QLabel(content);
    lblReplay->setObjectName(QStringLiteral("lblReplay"));
    // A long report must not widen the window.
    lblReplay->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    controls->addWidget(lblReplay, 1);
    btnSave = new QPushButton(QStringLiteral("Сохранить графики…"), content);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    connect(btnSave, &QPushButton::clicked, this, &TfrmNetwork::AskAndSave);
    controls->addWidget(btnSave);
    btnCopy = new QPushButton(QStringLiteral("Копировать таблицу"), content);
    btnCopy->setObjectName(QStringLiteral("btnCopy"));
    connect(btnCopy, &QPushButton::clicked, this, &TfrmNetwork::CopyTable);
    controls->addWidget(btnCopy);
    contentLayout->addLayout(controls);
    pnlPages->addWidget(content);
}

void TfrmNetwork::ForgetSearch() {
    dictionary_.reset();
    search_.reset();
    replay_.reset();
    selected_ = -1;
    tblSteps->setRowCount(0);
    pnlPages->setCurrentIndex(0);
    lblStory->setText(QStringLiteral(
        "Откройте словарь и найдите слово в главном окне: здесь появится, как сеть "
        "его выбрала — коды, первый слой, соревнование по проходам и выбор по расстоянию."));
}

void TfrmNetwork::ShowSearch(std::string_view query, std::shared_ptr<const TDictionary> dictionary,
                             TSearchTrace search) {
    if (search.Status != TSearchStatus::Selected) {
        // The main window has its result; an older search must not pass for it.
        ForgetSearch();
        lblStory->setText(QStringLiteral("Не удалось проследить поиск «%1».")
                              .arg(FromBytes(query)));
        return;
    }
    dictionary_ = std::move(dictionary);
    search_ = std::move(search);
    query_ = FromBytes(query);
    replay_.reset();
    selected_ = -1;
    pnlPages->setCurrentIndex(1);
    FillTable();
    SelectStep(search_->ChosenStep);
}

QString TfrmNetwork::EntryName(std::int32_t row) const {
    if (dictionary_ == nullptr || row < 0 ||
        static_cast<std::size_t>(row) >= dictionary_->Entries.size()) {
        return QStringLiteral("ряд %1").arg(row);
    }
    return QStringLiteral("«%1»").arg(
        FromBytes(dictionary_->Entries[static_cast<std::size_t>(row)].Word));
}

void TfrmNetwork::FillTable() {
    const auto& steps = search_->Steps;
    tblSteps->blockSignals(true);
    tblSteps->setRowCount(static_cast<int>(steps.size()));
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const TTracedStep& step = steps[i];
        const bool chosen = static_cast<int>(i) == search_->ChosenStep;
        const QString passes = step.ReusedFrom >= 0
                                   ? QStringLiteral("= №%1").arg(step.ReusedFrom)
                                   : QString::number(step.Trace->CompetitionPasses());
        const QString end = step.ReusedFrom >= 0
                                ? QStringLiteral("тот же код, что у №%1").arg(step.ReusedFrom)
                                : EndText(step.Trace->End);
        const QStringList cells = {
            QString::number(i) + (chosen ? QStringLiteral(" ✓") : QString()),
            Visible(step.Text),
            QString::number(step.Row),
            FromBytes(dictionary_->Entries[static_cast<std::size_t>(step.Row)].Word),
            QString::number(step.Distance),
            passes,
            end};
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (chosen) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
            }
            tblSteps->setItem(static_cast<int>(i), column, item);
        }
    }
    tblSteps->resizeColumnsToContents();
    tblSteps->blockSignals(false);
}

void TfrmNetwork::SelectStep(int index) {
    if (!search_ || index < 0 || index >= static_cast<int>(search_->Steps.size())) {
        return;
    }
    selected_ = index;
    replay_.reset();
    lblReplay->clear();
    tblSteps->blockSignals(true);
    tblSteps->setCurrentCell(index, 0);
    tblSteps->selectRow(index);
    tblSteps->blockSignals(false);
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
    if (!search_ || selected_ < 0) {
        return nullptr;
    }
    const TRecognitionTrace& recorded = *search_->Steps[static_cast<std::size_t>(selected_)].Trace;
    replay_ = ReplayTrace(recorded, std::clamp(passLimit, 1, kReplayMaxPasses));
    sePassLimit->setValue(replay_->MaxIterations);
    lblReplay->setText(
        QStringLiteral("Повтор с пределом %1: победил ряд %2 %3, %4 (в поиске — ряд %5)")
            .arg(replay_->MaxIterations)
            .arg(replay_->Winner)
            .arg(EntryName(replay_->Winner))
            .arg(Plural(replay_->CompetitionPasses(), "проход", "прохода", "проходов"))
            .arg(recorded.Winner));
    ShowTrace();
    return &*replay_;
}

void TfrmNetwork::ShowTrace() {
    const TRecognitionTrace* trace = ShownTrace();
    if (trace == nullptr) {
        return;
    }
    const TTracedStep& step = search_->Steps[static_cast<std::size_t>(selected_)];
    const std::int32_t winner = trace->Winner;
    TWordCode stored{};
    if (dictionary_ != nullptr && static_cast<std::size_t>(winner) < dictionary_->Entries.size()) {
        CodeWord(dictionary_->Entries[static_cast<std::size_t>(winner)].Word, stored);
    }
    const double firstLayer = trace->Passes.empty() ? 0.0 : trace->Value(winner, 0);
    pbCodes->SetCodes(Visible(step.Text), step.Code,
                      FromBytes(dictionary_ != nullptr
                                    ? dictionary_->Entries[static_cast<std::size_t>(winner)].Word
                                    : std::string()),
                      stored, firstLayer);
    lblCodes->setText(QStringLiteral("Коды: вход и победитель (ряд %1). Совпадений по первому "
                                     "слою: %2 из %3, красным — %4 несовпадающих битов.")
                          .arg(winner)
                          .arg(Number(firstLayer))
                          .arg(trace->InputCount)
                          .arg(pbCodes->DisagreeingBits()));
    DrawFirstLayer(*trace, winner);
    DrawRace(*trace);
    lblStory->setText(Story());
}

void TfrmNetwork::DrawFirstLayer(const TRecognitionTrace& trace, std::int32_t winner) {
    auto* chart = new QChart();
    chart->setTitle(QStringLiteral("Первый слой: сколько единиц с каждым числом совпадений "
                                   "(лог. шкала)"));
    chart->legend()->hide();
    std::size_t low = trace.Histogram.size();
    std::size_t high = 0;
    for (std::size_t v = 0; v < trace.Histogram.size(); ++v) {
        if (trace.Histogram[v] != 0) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    }
    if (low <= high) {
        const auto winnerBin = trace.Passes.empty()
                                   ? low
                                   : static_cast<std::size_t>(std::floor(trace.Value(winner, 0)));
        auto* set = new QBarSet(QStringLiteral("единиц"));
        set->setColor(QColor(70, 110, 170));
        set->setSelectedColor(QColor(220, 30, 30));
        QStringList categories;
        double largest = 1.0;
        for (std::size_t v = low; v <= high; ++v) {
            const auto count = static_cast<double>(trace.Histogram[v]);
            // An empty bar sits on the axis' floor; log(0) has no place.
            set->append(count > 0.0 ? count : 0.5);
            largest = std::max(largest, count);
            categories << QString::number(v);
        }
        if (winnerBin >= low && winnerBin <= high) {
            set->selectBar(static_cast<int>(winnerBin - low));
        }
        auto* series = new QBarSeries();
        series->append(set);
        series->setBarWidth(0.9);
        chart->addSeries(series);
        auto* x = new QBarCategoryAxis();
        x->append(categories);
        x->setLabelsAngle(-90);
        QFont small = x->labelsFont();
        small.setPointSizeF(std::max(5.0, small.pointSizeF() * 0.7));
        x->setLabelsFont(small);
        auto* y = new QLogValueAxis();
        y->setBase(10.0);
        y->setRange(0.5, std::pow(10.0, std::ceil(std::log10(largest)) + 0.1));
        y->setLabelFormat(QStringLiteral("%g"));
        chart->addAxis(x, Qt::AlignBottom);
        chart->addAxis(y, Qt::AlignLeft);
        series->attachAxis(x);
        series->attachAxis(y);
    }
    Replace(chFirstLayer, chart);
}

void TfrmNetwork::DrawRace(const TRecognitionTrace& trace) {
    auto* chart = new QChart();
    chart->setTitle(QStringLiteral("Соревнование: активность лидеров по проходам"));
    chart->legend()->setAlignment(Qt::AlignRight);
    QFont legendFont = chart->legend()->font();
    legendFont.setPointSizeF(legendFont.pointSizeF() * 0.85);
    chart->legend()->setFont(legendFont);
    chart->setMargins(QMargins(4, 4, 4, 4));
    const int lastPass = std::max(1, trace.CompetitionPasses());
    auto* x = new QValueAxis();
    x->setRange(0, lastPass);
    x->setTickType(QValueAxis::TicksDynamic);
    x->setTickAnchor(0.0);
    x->setTickInterval(std::max(1, (lastPass + 9) / 10));
    x->setLabelFormat(QStringLiteral("%d"));
    x->setTitleText(QStringLiteral("проход (0 — первый слой)"));
    auto* y = new QValueAxis();
    double top = trace.MaxOutput;
    for (const TPassRecord& record : trace.Passes) {
        for (const double value : record.Tracked) {
            top = std::max(top, value);
        }
    }
    y->setRange(0.0, std::ceil(top / 20.0) * 20.0);
    y->setTickType(QValueAxis::TicksDynamic);
    y->setTickAnchor(0.0);
    y->setTickInterval(20.0);
    y->setLabelFormat(QStringLiteral("%d"));
    y->setTitleText(QStringLiteral("активность"));
    auto* units = new QLogValueAxis();
    units->setBase(10.0);
    units->setLabelFormat(QStringLiteral("%g"));
    units->setTitleText(QStringLiteral("единиц > 0"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    chart->addAxis(units, Qt::AlignRight);

    auto attach = [&](QAbstractSeries* series, QAbstractAxis* vertical) {
        chart->addSeries(series);
        series->attachAxis(x);
        series->attachAxis(vertical);
    };
    auto* clip = new QLineSeries();
    clip->setName(QStringLiteral("уровень %1").arg(Number(trace.MaxOutput)));
    clip->append(0, trace.MaxOutput);
    clip->append(lastPass, trace.MaxOutput);
    clip->setPen(QPen(Qt::gray, 1, Qt::DashLine));
    attach(clip, y);
    for (std::size_t t = 0; t < trace.TrackedRows.size(); ++t) {
        const std::int32_t row = trace.TrackedRows[t];
        auto* line = new QLineSeries();
        line->setName(QStringLiteral("%1 %2").arg(row).arg(EntryName(row)));
        for (const TPassRecord& record : trace.Passes) {
            line->append(record.Pass, record.Tracked[t]);
        }
        attach(line, y);
        QPen pen = line->pen();
        pen.setWidthF(row == trace.Winner ? 3.5 : 1.2);
        if (row == trace.Winner) {
            pen.setColor(QColor(220, 30, 30));
        }
        line->setPen(pen);
    }
    auto* above = new QLineSeries();
    above->setName(QStringLiteral("единиц > 0 (правая шкала)"));
    double most = 1.0;
    for (const TPassRecord& record : trace.Passes) {
        const auto count = static_cast<double>(record.AboveZero);
        above->append(record.Pass, std::max(count, 0.5));
        most = std::max(most, count);
    }
    above->setPen(QPen(QColor(90, 90, 90), 1.5, Qt::DotLine));
    units->setRange(0.5, std::pow(10.0, std::ceil(std::log10(most)) + 0.1));
    attach(above, units);
    if (const std::int32_t alone = PassAlone(trace);
        alone > 0 && trace.TrackedIndex(trace.Winner) >= 0) {
        auto* mark = new QScatterSeries();
        mark->setName(QStringLiteral("остался один"));
        mark->setMarkerSize(10);
        mark->setColor(QColor(220, 30, 30));
        mark->append(alone, trace.Value(trace.Winner, alone));
        attach(mark, y);
    }
    Replace(chRace, chart);
}

QString TfrmNetwork::SearchStory() const {
    const TSearchTrace& search = *search_;
    const TTracedStep& chosen = search.Steps[static_cast<std::size_t>(search.ChosenStep)];
    QString text = QStringLiteral("Поиск «%1» в словаре из %2: выбрана запись %3 %4 (%5, "
                                  "расстояние %6).")
                       .arg(query_)
                       .arg(Plural(static_cast<long long>(dictionary_->Entries.size()), "записи",
                                   "записей", "записей"))
                       .arg(search.BestRow)
                       .arg(EntryName(search.BestRow))
                       .arg(search.ChosenStep == 0 ? QStringLiteral("само слово")
                                                   : QStringLiteral("вариант %1 «%2»")
                                                         .arg(search.ChosenStep)
                                                         .arg(Visible(chosen.Text)))
                       .arg(search.BestDistance);
    const std::int32_t own = search.Steps.front().Distance;
    if (search.ChosenStep > 0) {
        text += own == search.BestDistance
                    ? QStringLiteral(" У самого слова расстояние то же, %1, но при равных "
                                     "расстояниях выбирается более поздний вариант.")
                          .arg(own)
                    : QStringLiteral(" Вариант ближе, чем кандидат самого слова (%1 против "
                                     "%2); при равных расстояниях выбирается более поздний.")
                          .arg(search.BestDistance)
                          .arg(own);
    } else if (search.Steps.size() > 1) {
        text += QStringLiteral(" Ни один вариант с пробелом не оказался ближе.");
    }
    return text;
}

QString TfrmNetwork::RecognitionStory(const TRecognitionTrace& trace) const {
    if (trace.Passes.empty()) {
        return {};
    }
    const std::int32_t leader = trace.Leaders.front();
    const double lead = trace.Value(leader, 0);
    int level = 0;
    for (const std::int32_t row : trace.Leaders) {
        level += trace.Value(row, 0) == lead ? 1 : 0;
    }
    QString text = QStringLiteral(" В распознавании №%1 после первого слоя впереди %2 (ряд %3, "
                                  "%4 из %5)")
                       .arg(selected_)
                       .arg(EntryName(leader))
                       .arg(leader)
                       .arg(lead == std::floor(lead)
                                ? Plural(static_cast<long long>(lead), "совпадение",
                                         "совпадения", "совпадений")
                                : Number(lead) + QStringLiteral(" совпадений"))
                       .arg(trace.InputCount);
    if (level > 1) {
        text +=
            QStringLiteral(", вровень с ним ещё %1%2")
                .arg(level - 1)
                .arg(level == static_cast<int>(trace.Leaders.size()) ? QStringLiteral(" и больше")
                                                                     : QString());
    }
    text += QStringLiteral(".");
    if (trace.Passes.size() > 1) {
        int clipped = 0;
        for (const double value : trace.Passes[1].Tracked) {
            clipped += value == trace.MaxOutput ? 1 : 0;
        }
        if (clipped > 1) {
            text += QStringLiteral(" На первом проходе отсечка на %1 уравняла %2; из равных "
                                   "побеждает нижний ряд, пока их не разведут округления сумм.")
                        .arg(Number(trace.MaxOutput))
                        .arg(Plural(clipped, "единицу", "единицы", "единиц"));
        }
    }
    const std::int32_t alone = PassAlone(trace);
    if (trace.End == TCompetitionEnd::Stable) {
        text += QStringLiteral(" На проходе %1 ничего не изменилось: победил ряд %2 %3.")
                    .arg(trace.CompetitionPasses())
                    .arg(trace.Winner)
                    .arg(EntryName(trace.Winner));
    } else {
        text += alone > 0 ? QStringLiteral(" С прохода %1 выше нуля остался только ряд %2 %3; ")
                                .arg(alone)
                                .arg(trace.Winner)
                                .arg(EntryName(trace.Winner))
                          : QStringLiteral(" Ряд %1 %2 вёл, но соперники ещё не погасли; ")
                                .arg(trace.Winner)
                                .arg(EntryName(trace.Winner));
        text += QStringLiteral("гонку остановил предел проходов (%1).")
                    .arg(Plural(trace.CompetitionPasses(), "проход", "прохода", "проходов"));
    }
    return text;
}

QString TfrmNetwork::Story() const {
    if (!search_) {
        return lblStory->text();
    }
    const TRecognitionTrace* trace = ShownTrace();
    QString text = SearchStory();
    if (trace != nullptr) {
        text += RecognitionStory(*trace);
    }
    return text;
}

QString TfrmNetwork::TableText() const {
    QStringList lines;
    QStringList header;
    for (int column = 0; column < tblSteps->columnCount(); ++column) {
        header << tblSteps->horizontalHeaderItem(column)->text();
    }
    lines << header.join(QLatin1Char('\t'));
    for (int row = 0; row < tblSteps->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < tblSteps->columnCount(); ++column) {
            const QTableWidgetItem* item = tblSteps->item(row, column);
            cells << (item != nullptr ? item->text() : QString());
        }
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool TfrmNetwork::SaveCharts(const QString& path) {
    if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(chartsPanel_->size());
        svg.setViewBox(chartsPanel_->rect());
        svg.setTitle(windowTitle());
        QPainter painter;
        if (!painter.begin(&svg)) {
            return false;
        }
        chartsPanel_->render(&painter);
        return painter.end();
    }
    return chartsPanel_->grab().save(path, "PNG");
}

void TfrmNetwork::AskAndSave() {
    QString path = AskSaveFileName(
        this, QStringLiteral("Сохранить графики"), QStringLiteral("сеть.png"),
        QStringLiteral("Рисунок PNG (*.png);;Рисунок SVG (*.svg)"));
    if (path.isEmpty()) {
        return;
    }
    if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive) &&
        !path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        path += QStringLiteral(".png");
    }
    lblReplay->setText(SaveCharts(path) ? QStringLiteral("Сохранено: %1").arg(path)
                                        : QStringLiteral("Не удалось сохранить %1").arg(path));
}

void TfrmNetwork::CopyTable() {
    QApplication::clipboard()->setText(TableText());
}

} // namespace verblinka
