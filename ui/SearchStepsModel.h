// The table of a traced search's steps: the query and its variants with a
// blank, each with the row the network returned, the entry, the distance and
// how its competition ended. The model reads the trace as it is (nothing is
// copied per row), so a query of a hundred thousand letters makes a table of
// as many rows without an item object each; every text it gives is cut to a
// bounded length. The tab-separated copy of the table comes from it too.
#pragma once

#include "search/SearchTrace.h"
#include "text/WordCode.h"

#include <QAbstractTableModel>
#include <QTableView>

#include <memory>
#include <string>
#include <string_view>

namespace verblinka {

struct TDictionary;

// The text of step `step` of a search for query (0: the query itself, p: the
// query with a blank before its p-th character), as Windows-1251 bytes cut to
// about maxCharacters: a long text keeps its start and, when the blank lies
// further on, the part around the blank; each cut is marked by the byte of
// "…". Only bounded parts of the query are ever copied.
std::string StepBytes(std::string_view query, std::size_t step, std::size_t maxCharacters);
// The same as text, its blank (and every other) shown as "␣".
QString StepText(std::string_view query, std::size_t step, std::size_t maxCharacters);

// The word code of step `step` of a search for query, from its first
// characters only (a code holds the first kCodedCharacters).
TWordCode StepCode(std::string_view query, std::size_t step);

class TSearchStepsModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum TColumn { Mark, Number, Row, Text, Entry, Distance, Passes, End, ColumnCount };
    // A cell as the tab-separated copy writes it: escaped as the tool escapes.
    static constexpr int kExportRole = Qt::UserRole + 1;

    explicit TSearchStepsModel(QObject* parent = nullptr);

    void Show(std::shared_ptr<const TSearchTrace> search, std::string query,
              std::shared_ptr<const TDictionary> dictionary);
    void Clear();
    // The query's bytes, whole (the texts shown are cut from it).
    const std::string& Query() const { return query_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The header and one line per step, fields separated by tabs; the mark
    // of the chosen step has a column of its own.
    QString TabSeparated() const;

private:
    QString Cell(int row, int column, bool exported) const;

    std::shared_ptr<const TSearchTrace> search_;
    std::string query_;
    std::shared_ptr<const TDictionary> dictionary_;
};

// A cell of TStepsTable, read as a QTableWidget's item is read.
struct TStepsCell {
    QString Text;
    QString text() const { return Text; }
};

// The view of the steps. Besides QTableView it reads like a QTableWidget
// (rowCount, item, setCurrentCell), so that its callers need not go through
// the model.
class TStepsTable final : public QTableView {
    Q_OBJECT

public:
    explicit TStepsTable(QWidget* parent = nullptr);

    int rowCount() const;
    int columnCount() const;
    // The cell's shown text; nullptr outside the table.
    std::unique_ptr<TStepsCell> item(int row, int column) const;
    void setCurrentCell(int row, int column);
};

} // namespace verblinka
