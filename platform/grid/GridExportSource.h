#pragma once
#include "platform/xlsx/ExportSource.h"
#include <QString>
#include <string>
#include <vector>

namespace pg {
class Table;
}

namespace grid {

class DataGrid;

// A snapshot of what a grid shows, for the workbook writer: the shown columns
// in their order, the rows passing the filter in view order with every group
// expanded, and the footer sums.
class GridExportSource : public xlsx::ExportSource {
public:
    explicit GridExportSource(const DataGrid &grid);

    int columnCount() const override { return int(m_columns.size()); }
    xlsx::ColumnSpec column(int c) const override { return m_specs[size_t(c)]; }
    int64_t rowCount() const override { return int64_t(m_rows.size()); }
    bool isGroupRow(int64_t r, QString *caption, int *level) const override;
    xlsx::Cell cell(int64_t r, int c) const override;
    bool hasFooter() const override { return m_hasFooter; }
    std::optional<double> footerValue(int c) const override { return m_footer[size_t(c)]; }

private:
    struct GroupRow {
        QString caption;
        int level;
    };
    const pg::Table *m_table;
    std::vector<int> m_columns; // fields
    std::vector<xlsx::ColumnSpec> m_specs;
    std::vector<int64_t> m_rows; // >= 0: table row; < 0: -(group + 1)
    std::vector<GroupRow> m_groups;
    std::vector<std::optional<double>> m_footer;
    bool m_hasFooter = false;
};

} // namespace grid
