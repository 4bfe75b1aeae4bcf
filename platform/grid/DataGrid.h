#pragma once
#include "GridEngine.h"
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTreeView;
class QMenu;

namespace pg {
class Query;
}
namespace xlsx {
class ExportSource;
}

namespace grid {

struct GridStyle;
struct DataGridPrivate;
class FilterBuilderDialog;
class FilterHeader;
class GridExportSource;

// A column as a screen declares it. Fields of the query that no column names
// are fetched but not shown.
struct GridColumn {
    QString fieldName;
    QString caption;        // empty: the field name
    int widthPx = 0;        // 0: a default width
    QString displayFormat;  // QDate/QDateTime::toString pattern for dates and timestamps
    bool visible = true;
};

// Shows and edits one query: filter row, header sorting, grouping, footer
// sums, navigator and in-place editors. Column numbers in this interface are
// the query's field indices.
class DataGrid : public QWidget {
    Q_OBJECT
public:
    explicit DataGrid(QWidget *parent = nullptr);
    ~DataGrid() override;

    void setQuery(pg::Query *query);
    pg::Query *query() const;
    void setColumns(const std::vector<GridColumn> &columns);
    void setGridStyle(const GridStyle &style);
    void setFooterSum(int column, bool on);
    void setFooterSum(const QString &fieldName, bool on);
    bool hasFooter() const;
    // A text column whose editor carries a "…" button calling handler.
    void setColumnButton(int column, std::function<void()> handler);
    void setColumnButton(const QString &fieldName, std::function<void()> handler);

    QTreeView *view() const;
    FilterHeader *header() const;
    QString caption(int column) const;
    QString displayFormat(int column) const;
    QString displayText(int row, int column) const; // as the cell shows it
    // Shown columns in their current order, and their widths.
    std::vector<int> visibleColumns() const;
    int columnWidth(int column) const;

    // Rows passing the filter, in view order (groups expanded).
    int visibleRowCount() const;
    int logicalRowAt(int visibleIndex) const;
    int visibleIndexOf(int row) const;
    int focusedRow() const; // table row, -1 when none
    void setFocusedRow(int row, int column = -1);
    int focusedColumn() const;

    // Filtering.
    void setFilterText(int column, const QString &text); // as typed in the filter row
    QString filterText(int column) const;
    void setFilterConditions(std::vector<FilterCondition> conditions);
    const std::vector<FilterCondition> &filterConditions() const;
    QString filterDescription() const; // the filter box's text
    void clearFilter();
    FilterBuilderDialog *openFilterBuilder(); // shown without blocking
    QMenu *valuesMenu(int column, QWidget *parent = nullptr); // the header drop-down

    // Sorting and grouping.
    void sortByColumn(int column, Qt::SortOrder order);
    void clearSort();
    int sortColumn() const;
    Qt::SortOrder sortOrder() const;
    void groupByColumn(int column);
    void ungroupColumn(int column);
    void clearGrouping();
    std::vector<int> groupColumns() const;

    // Footer.
    QString footerText(int column) const;
    std::optional<double> footerValue(int column) const;

    QString infoText() const;
    std::unique_ptr<xlsx::ExportSource> exportSource() const;

    // Editing and navigation, as the keyboard and the navigator do them.
    void postPendingEdit(); // throws AppError
    void cancelEdit();
    void insertRow();
    void deleteFocusedRow(); // asks "Delete record?"
    void copySelection();
    void refresh();
    void saveBookmark();
    void gotoBookmark();
    void moveBy(int rows);
    void moveToFirst();
    void moveToLast();
    void moveCell(bool forward);

Q_SIGNALS:
    void focusedRowChanged(int row);
    void filterChanged();

private:
    std::unique_ptr<DataGridPrivate> d;
    friend struct DataGridPrivate;
    friend class GridExportSource;
};

} // namespace grid
