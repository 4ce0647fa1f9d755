#include "ui/NetworkCharts.h"

#include "ui/AppShell.h"
#include "ui/ShownText.h"

#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QCursor>
#include <QLegend>
#include <QLineSeries>
#include <QLocale>
#include <QLogValueAxis>
#include <QScatterSeries>
#include <QStringList>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace verblinka {
namespace {

// Leaders named in the race's legend besides the winner and the rows asked
// for; the others are drawn, thinner, without a legend entry, so that the
// legend fits beside a chart of modest height.
constexpr std::size_t kLegendLeaders = 4;

// Qt Charts writes localized numbers only for the floating formats ("%d"
// then shows nothing).
void UseRussianNumbers(QChart& chart) {
    chart.setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    chart.setLocalizeNumbers(true);
}

// A logarithmic axis marks every power of its base; past ten thousand every
// second power of ten, so that the labels of a low chart do not overlap (Qt
// Charts would elide them all to "…").
double LogBase(double largest) {
    return largest > 10'000.0 ? 100.0 : 10.0;
}

// The step of a linear axis: 1, 2 or 5 times a power of ten, so that range
// takes at most `intervals` of them. A low chart has room for few labels, and
// Qt Charts elides labels that would overlap to "…".
double NiceStep(double range, int intervals) {
    const double raw = std::max(range, 1.0) / intervals;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double multiple : {1.0, 2.0, 5.0}) {
        if (multiple * power >= raw) {
            return multiple * power;
        }
    }
    return 10.0 * power;
}

QFont Scaled(QFont font, double factor) {
    font.setPointSizeF(std::max(6.0, font.pointSizeF() * factor));
    return font;
}

} // namespace

QString HistogramBarTip(std::size_t value, long long units) {
    return QStringLiteral("%1: %2").arg(
        Plural(static_cast<long long>(value), "совпадение", "совпадения", "совпадений"),
        Plural(units, "единица", "единицы", "единиц"));
}

std::unique_ptr<QChart> FirstLayerChart(const TRecognitionTrace& trace, std::int32_t winner) {
    auto chart = std::make_unique<QChart>();
    UseRussianNumbers(*chart);
    chart->setTitle(QStringLiteral("Первый слой: единицы по числу совпадений"));
    chart->setTitleFont(Scaled(chart->titleFont(), 0.9));
    chart->legend()->hide();
    chart->setMargins(QMargins(2, 2, 2, 2));
    std::size_t low = trace.Histogram.size();
    std::size_t high = 0;
    for (std::size_t v = 0; v < trace.Histogram.size(); ++v) {
        if (trace.Histogram[v] != 0) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    }
    if (low > high) {
        return chart;
    }
    const auto winnerBin =
        trace.Passes.empty()
            ? low
            : static_cast<std::size_t>(std::clamp(std::floor(trace.Value(winner, 0)), 0.0,
                                                  static_cast<double>(trace.Histogram.size() - 1)));
    auto* set = new QBarSet(QStringLiteral("единиц"));
    set->setColor(QColor(70, 110, 170));
    set->setBorderColor(QColor(70, 110, 170));
    set->setSelectedColor(QColor(220, 30, 30));
    double largest = 1.0;
    // Bar i stands for value i, so that the value axis reads the values
    // themselves; the bars below low are empty and out of the axis' range.
    for (std::size_t v = 0; v <= high; ++v) {
        const auto count = static_cast<double>(trace.Histogram[v]);
        // An empty bar sits on the axis' floor; log(0) has no place.
        set->append(count > 0.0 ? count : 0.5);
        largest = std::max(largest, count);
    }
    set->selectBar(static_cast<int>(winnerBin));
    std::vector<std::int64_t> counts(
        trace.Histogram.begin(), trace.Histogram.begin() + static_cast<std::ptrdiff_t>(high) + 1);
    QObject::connect(set, &QBarSet::hovered, set, [counts](bool status, int index) {
        RunCommand([&] {
            if (status && index >= 0 && static_cast<std::size_t>(index) < counts.size()) {
                QToolTip::showText(QCursor::pos(),
                                   HistogramBarTip(static_cast<std::size_t>(index),
                                                   counts[static_cast<std::size_t>(index)]));
            } else {
                QToolTip::hideText();
            }
        });
    });
    auto* series = new QBarSeries();
    series->append(set);
    series->setBarWidth(0.85);
    chart->addSeries(series);
    auto* x = new QValueAxis();
    const double span = static_cast<double>(high - low) + 1.0;
    x->setRange(static_cast<double>(low) - 0.5, static_cast<double>(high) + 0.5);
    x->setTickType(QValueAxis::TicksDynamic);
    x->setTickAnchor(0.0);
    // At most about six labels: a narrow chart would elide more.
    x->setTickInterval(span <= 8 ? 1.0 : (span <= 30 ? 5.0 : (span <= 60 ? 10.0 : 20.0)));
    x->setLabelFormat(QStringLiteral("%.0f"));
    x->setLabelsFont(Scaled(x->labelsFont(), 0.85));
    x->setTitleText(QStringLiteral("совпадений (из %1)")
                        .arg(RussianNumber(static_cast<long long>(trace.InputCount))));
    x->setTitleFont(Scaled(x->titleFont(), 0.85));
    auto* y = new QLogValueAxis();
    y->setBase(LogBase(largest));
    y->setRange(0.5, std::pow(10.0, std::ceil(std::log10(largest)) + 0.1));
    y->setLabelFormat(QStringLiteral("%.0f"));
    y->setLabelsFont(Scaled(y->labelsFont(), 0.85));
    y->setTitleText(QStringLiteral("единиц"));
    y->setTitleFont(Scaled(y->titleFont(), 0.85));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    return chart;
}

std::unique_ptr<QChart> RaceChart(const TRecognitionTrace& trace, const TEntryText& text) {
    auto chart = std::make_unique<QChart>();
    UseRussianNumbers(*chart);
    chart->setTitle(QStringLiteral("Соревнование лидеров по проходам"));
    chart->setTitleFont(Scaled(chart->titleFont(), 0.9));
    chart->legend()->hide();
    chart->setMargins(QMargins(2, 2, 2, 2));
    const int lastPass = std::max(1, trace.CompetitionPasses());
    auto* x = new QValueAxis();
    x->setRange(0, lastPass);
    x->setTickType(QValueAxis::TicksDynamic);
    x->setTickAnchor(0.0);
    x->setTickInterval(std::max(1, (lastPass + 9) / 10));
    x->setLabelFormat(QStringLiteral("%.0f"));
    x->setLabelsFont(Scaled(x->labelsFont(), 0.85));
    x->setTitleText(QStringLiteral("проход (0 — первый слой)"));
    x->setTitleFont(Scaled(x->titleFont(), 0.85));
    auto* y = new QValueAxis();
    double top = trace.MaxOutput;
    for (const TPassRecord& record : trace.Passes) {
        for (const double value : record.Tracked) {
            top = std::max(top, value);
        }
    }
    const double step = NiceStep(top, 3);
    y->setRange(0.0, std::max(step, std::ceil(top / step) * step));
    y->setTickType(QValueAxis::TicksDynamic);
    y->setTickAnchor(0.0);
    y->setTickInterval(step);
    y->setLabelFormat(QStringLiteral("%.0f"));
    y->setLabelsFont(Scaled(y->labelsFont(), 0.85));
    y->setTitleText(QStringLiteral("активность"));
    y->setTitleFont(Scaled(y->titleFont(), 0.85));
    auto* units = new QLogValueAxis();
    units->setBase(10.0); // set again below, once the largest count is known
    units->setLabelFormat(QStringLiteral("%.0f"));
    units->setLabelsFont(Scaled(units->labelsFont(), 0.85));
    // Named in the legend («единиц > 0 (правая шкала)»): a title would take the labels' room.
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    chart->addAxis(units, Qt::AlignRight);

    auto attach = [&](QAbstractSeries* series, QAbstractAxis* vertical) {
        chart->addSeries(series);
        series->attachAxis(x);
        series->attachAxis(vertical);
    };
    const TEntryText legendText = [&text](std::int32_t row) {
        std::optional<QString> shown = text ? text(row) : std::nullopt;
        if (shown) {
            *shown = ShownText(*shown, kShownLegendCharacters);
        }
        return shown;
    };
    auto* clip = new QLineSeries();
    clip->setName(QStringLiteral("уровень %1").arg(RussianNumber(trace.MaxOutput)));
    clip->append(0, trace.MaxOutput);
    clip->append(lastPass, trace.MaxOutput);
    clip->setPen(QPen(Qt::gray, 1, Qt::DashLine));
    attach(clip, y);
    for (std::size_t t = 0; t < trace.TrackedRows.size(); ++t) {
        const std::int32_t row = trace.TrackedRows[t];
        auto* line = new QLineSeries();
        line->setName(LegendName(row, legendText));
        for (const TPassRecord& record : trace.Passes) {
            line->append(record.Pass, record.Tracked[t]);
        }
        attach(line, y);
        QPen pen = line->pen();
        pen.setWidthF(row == trace.Winner ? 3.5 : 1.2);
        if (row == trace.Winner) {
            pen.setColor(QColor(220, 30, 30));
        }
        const bool named =
            row == trace.Winner || t < kLegendLeaders ||
            std::find(trace.Leaders.begin(), trace.Leaders.end(), row) == trace.Leaders.end();
        if (!named) {
            pen.setColor(QColor(170, 170, 170));
            pen.setWidthF(0.8);
        }
        line->setPen(pen);
        if (!named) {
            line->setName(QString()); // no legend entry
        }
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
    units->setBase(LogBase(most));
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
    return chart;
}

QString LegendText(const QChart& chart) {
    QStringList items;
    for (QAbstractSeries* series : chart.series()) {
        if (series->name().isEmpty()) {
            continue;
        }
        QColor color = Qt::gray;
        if (const auto* scatter = qobject_cast<const QScatterSeries*>(series)) {
            color = scatter->color();
        } else if (const auto* line = qobject_cast<const QLineSeries*>(series)) {
            color = line->pen().color();
        }
        items << QStringLiteral("<span style=\"color:%1\">■</span>&nbsp;%2")
                     .arg(color.name(), series->name().toHtmlEscaped().replace(
                                            QLatin1Char(' '), QStringLiteral("&nbsp;")));
    }
    return items.join(QStringLiteral(" &nbsp; "));
}

} // namespace verblinka
