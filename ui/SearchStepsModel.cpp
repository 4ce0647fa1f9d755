#include "ui/SearchStepsModel.h"

#include "dictionary/DictionaryLoad.h"
#include "search/Search.h"
#include "ui/NetworkStory.h"
#include "ui/ShownText.h"

#include <QFont>
#include <QStringList>

#include <algorithm>

namespace verblinka {
namespace {

constexpr char kEllipsisByte = '\x85'; // "…" in Windows-1251

QString Shown(const std::string& bytes) {
    return ShownText(std::string_view(bytes), bytes.size());
}

} // namespace

std::string StepBytes(std::string_view query, std::size_t step, std::size_t maxCharacters) {
    maxCharacters = std::max<std::size_t>(maxCharacters, 8);
    if (step == 0) {
        return query.size() <= maxCharacters
                   ? std::string(query)
                   : std::string(query.substr(0, maxCharacters)) + kEllipsisByte;
    }
    const auto position = static_cast<std::int32_t>(step);
    if (query.size() < maxCharacters) {
        return InsertBlank(query, position);
    }
    const std::size_t blank = step - 1; // the blank's place in the text
    const std::size_t context = maxCharacters / 4;
    if (blank + context < maxCharacters) {
        // The blank lies in the text's start.
        std::string text = InsertBlank(query.substr(0, maxCharacters - 1), position);
        text.resize(maxCharacters);
        return text + kEllipsisByte;
    }
    std::string text(query.substr(0, maxCharacters / 2));
    text += kEllipsisByte;
    const std::size_t start = blank - context;
    const std::string_view around = query.substr(start, 2 * context);
    text += InsertBlank(around, static_cast<std::int32_t>(blank - start + 1));
    if (start + around.size() < query.size()) {
        text += kEllipsisByte;
    }
    return text;
}

QString StepText(std::string_view query, std::size_t step, std::size_t maxCharacters) {
    QString text = Shown(StepBytes(query, step, maxCharacters));
    text.replace(QLatin1Char(' '), QChar(0x2423));
    return text;
}

TWordCode StepCode(std::string_view query, std::size_t step) {
    const std::string_view head = query.substr(0, kCodedCharacters);
    TWordCode code{};
    if (step == 0 || step > head.size() + 1) {
        CodeWord(head, code); // the blank lies past the coded characters
    } else {
        CodeWord(InsertBlank(head, static_cast<std::int32_t>(step)), code);
    }
    return code;
}

TSearchStepsModel::TSearchStepsModel(QObject* parent) : QAbstractTableModel(parent) {}

void TSearchStepsModel::Show(std::shared_ptr<const TSearchTrace> search, std::string query,
                             std::shared_ptr<const TDictionary> dictionary) {
    beginResetModel();
    search_ = std::move(search);
    query_ = std::move(query);
    dictionary_ = std::move(dictionary);
    endResetModel();
}

void TSearchStepsModel::Clear() {
    beginResetModel();
    search_.reset();
    query_.clear();
    query_.shrink_to_fit();
    dictionary_.reset();
    endResetModel();
}

int TSearchStepsModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || search_ == nullptr) {
        return 0;
    }
    return static_cast<int>(search_->Steps.size());
}

int TSearchStepsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TSearchStepsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != kExportRole)) {
        return {};
    }
    static const char* const kHeaders[ColumnCount] = {"✓",      "№",      "Ряд",      "Текст",
                                                      "Запись", "Расст.", "Проходов", "Конец"};
    if (section < 0 || section >= ColumnCount) {
        return {};
    }
    return QString::fromUtf8(kHeaders[section]);
}

QString TSearchStepsModel::Cell(int row, int column, bool exported) const {
    const auto i = static_cast<std::size_t>(row);
    const TTracedStep& step = search_->Steps[i];
    switch (column) {
    case Mark:
        return row == search_->ChosenStep ? QStringLiteral("✓") : QString();
    case Number:
        return QString::number(row);
    case Row:
        return QString::number(step.Row);
    case Text: {
        if (exported) {
            return EscapedCell(StepBytes(query_, i, kShownCellCharacters), std::string::npos);
        }
        return StepText(query_, i, kShownCellCharacters);
    }
    case Entry: {
        if (dictionary_ == nullptr || step.Row < 0 ||
            static_cast<std::size_t>(step.Row) >= dictionary_->Entries.size()) {
            return {};
        }
        const std::string& word = dictionary_->Entries[static_cast<std::size_t>(step.Row)].Word;
        if (exported) {
            return EscapedCell(word, kShownCellCharacters);
        }
        return word.empty() ? QStringLiteral("(пустая запись)")
                            : ShownText(word, kShownCellCharacters);
    }
    case Distance:
        return QString::number(step.Distance);
    case Passes:
        return step.ReusedFrom >= 0 ? QStringLiteral("= №%1").arg(step.ReusedFrom)
                                    : QString::number(step.Trace->CompetitionPasses());
    case End:
        return step.ReusedFrom >= 0 ? QStringLiteral("код как у №%1").arg(step.ReusedFrom)
                                    : EndText(step.Trace->End);
    default:
        return {};
    }
}

QVariant TSearchStepsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return Cell(index.row(), index.column(), false);
    case kExportRole:
        return Cell(index.row(), index.column(), true);
    case Qt::ToolTipRole: // the whole of an elided cell
        return index.column() == Text || index.column() == Entry || index.column() == Distance
                   ? QVariant(Cell(index.row(), index.column(), false))
                   : QVariant();
    case Qt::FontRole:
        if (index.row() == search_->ChosenStep) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::TextAlignmentRole:
        return index.column() == Text || index.column() == Entry || index.column() == End
                   ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                   : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    default:
        return {};
    }
}

QString TSearchStepsModel::TabSeparated() const {
    QString text;
    QStringList fields;
    for (int column = 0; column < ColumnCount; ++column) {
        fields << headerData(column, Qt::Horizontal, kExportRole).toString();
    }
    text += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (int row = 0; row < rowCount(); ++row) {
        fields.clear();
        for (int column = 0; column < ColumnCount; ++column) {
            fields << Cell(row, column, true);
        }
        text += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

TStepsTable::TStepsTable(QWidget* parent) : QTableView(parent) {}

int TStepsTable::rowCount() const {
    return model() != nullptr ? model()->rowCount() : 0;
}

int TStepsTable::columnCount() const {
    return model() != nullptr ? model()->columnCount() : 0;
}

std::unique_ptr<TStepsCell> TStepsTable::item(int row, int column) const {
    if (model() == nullptr) {
        return nullptr;
    }
    const QModelIndex index = model()->index(row, column);
    if (!index.isValid()) {
        return nullptr;
    }
    return std::make_unique<TStepsCell>(TStepsCell{index.data().toString()});
}

void TStepsTable::setCurrentCell(int row, int column) {
    if (model() != nullptr) {
        setCurrentIndex(model()->index(row, column));
    }
}

} // namespace verblinka
