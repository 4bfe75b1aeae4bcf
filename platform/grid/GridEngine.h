#pragma once
#include <QString>
#include <Qt>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace pg {
class Table;
}

namespace grid {

enum class FilterOp : uint8_t { Equal, NotEqual, Less, LessOrEqual, Greater, GreaterOrEqual, Like, NotLike, IsNull, IsNotNull };

// One condition of a grid filter; all conditions must hold.
struct FilterCondition {
    int column = -1;        // field index of the query
    FilterOp op = FilterOp::Like;
    QString value;          // as the operator typed it
    // Typed in the filter row: a text pattern gets "%" appended.
    bool fromFilterRow = false;
    bool operator==(const FilterCondition &o) const
    {
        return column == o.column && op == o.op && value == o.value && fromFilterRow == o.fromFilterRow;
    }
};

QString filterOpText(FilterOp op);

// Rows of a table as the grid shows them: which pass the filter, in which
// order, how they group, and the sums over them. Works on the typed columns
// with per-column caches (dictionary codes, sort keys) that are rebuilt only
// when the column changes, so a filter keystroke over a million rows is a
// single pass over small integers.
class GridEngine {
public:
    GridEngine();
    ~GridEngine();

    struct Group {
        int parent = -1;      // -1 for a top-level group
        int level = 0;
        int column = -1;      // field index the group is formed on
        int rowInParent = 0;
        int first = 0, last = 0;   // range in visible()
        std::vector<int> children; // empty for the innermost level
    };

    // The table may be replaced wholesale (a refresh): call invalidate() then.
    void setTable(const pg::Table *table);
    const pg::Table *table() const { return m_table; }
    void invalidate(); // forget every cache

    void setConditions(std::vector<FilterCondition> conditions);
    const std::vector<FilterCondition> &conditions() const { return m_conditions; }
    void setSort(int column, Qt::SortOrder order);
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    void setGroupColumns(std::vector<int> columns);
    const std::vector<int> &groupColumns() const { return m_groupColumns; }
    // A row that stays shown whatever the filter says (the row being inserted).
    void setPinnedRow(int row) { m_pinned = row; }
    // Display formats per field, for reading typed dates the way they are shown.
    void setDisplayFormats(std::vector<QString> formats) { m_formats = std::move(formats); }

    // Recomputes the shown rows and the groups.
    void rebuild();
    // Follows a row inserted into / removed from the table without re-filtering
    // or re-sorting; the new row is shown at visiblePos (-1: at the end).
    void rowInserted(int row, int visiblePos);
    void rowRemoved(int row);

    const std::vector<int> &visible() const { return m_visible; }
    int visibleIndexOf(int row) const;
    const std::vector<Group> &groups() const { return m_groups; }
    const std::vector<int> &topGroups() const { return m_top; }

    // Sum of a number column over the shown rows; nullopt when no row is shown.
    std::optional<double> sum(int column) const;
    // The same, already as text with two decimals in the locale's format.
    QString sumText(int column) const;

    // Case-folded LIKE: "%" any run, "_" any one character.
    static bool likeMatch(QStringView folded, QStringView foldedPattern);
    // A parsed filter value; nullopt when the text is not a value of that type.
    static std::optional<double> parseNumber(const QString &text);

    // Distinct values of a column in sort order (text as shown), at most max.
    std::vector<int> distinctRows(int column, int max) const;

    struct Sum;
    struct FullSum;

private:
    struct Dict;
    struct Keys;
    Sum sumFor(int column) const;
    const Dict &dict(int column) const;
    const Keys &keys(int column) const;
    void computeMask();
    void computeOrder();
    void buildGroups();
    int buildLevel(int parent, int level, int first, int last);
    void andCondition(const FilterCondition &c);
    bool pinnedValid() const;
    QString format(int column) const;

    const pg::Table *m_table = nullptr;
    uint64_t m_generation = 1;
    std::vector<FilterCondition> m_conditions;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    std::vector<int> m_groupColumns;
    int m_pinned = -1;

    std::vector<uint8_t> m_mask;   // per table row: shown
    std::vector<uint32_t> m_order; // all rows in sort order (empty: natural order)
    std::vector<uint64_t> m_orderSig;
    std::vector<int> m_visible;
    std::vector<QString> m_formats;
    mutable std::vector<int> m_posOf; // table row -> index in m_visible
    mutable bool m_posDirty = true;
    std::vector<Group> m_groups;
    std::vector<int> m_top;
    mutable std::vector<std::unique_ptr<Dict>> m_dicts;
    mutable std::vector<std::unique_ptr<Keys>> m_keys;
    mutable std::vector<std::unique_ptr<FullSum>> m_fullSums;
};

} // namespace grid
