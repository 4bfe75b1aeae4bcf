#include "GridExportSource.h"
#include "DataGrid.h"
#include "DataGrid_p.h"
#include "GridFormat.h"
#include "platform/pg/Query.h"
#include <QLocale>

namespace grid {

namespace {
xlsx::CellKind kindOf(pg::FieldType t)
{
    switch (t) {
    case pg::FieldType::Number:
    case pg::FieldType::Integer: return xlsx::CellKind::Number;
    case pg::FieldType::Boolean: return xlsx::CellKind::Boolean;
    case pg::FieldType::Date: return xlsx::CellKind::Date;
    case pg::FieldType::Timestamp: return xlsx::CellKind::DateTime;
    default: return xlsx::CellKind::Text;
    }
}
QString shortDate()
{
    QString f = QLocale().dateFormat(QLocale::ShortFormat);
    if (!f.contains(QLatin1String("yyyy")))
        f.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return f;
}
} // namespace

GridExportSource::GridExportSource(const DataGrid &grid) : m_table(grid.query() ? &grid.query()->table() : nullptr)
{
    if (!m_table)
        return;
    m_columns = grid.visibleColumns();
    for (int f : m_columns) {
        xlsx::ColumnSpec s;
        s.caption = grid.caption(f);
        s.widthPx = grid.columnWidth(f);
        const pg::FieldType t = m_table->field(f).type;
        s.kind = kindOf(t);
        const QString fmt = grid.displayFormat(f);
        if (t == pg::FieldType::Date)
            s.numberFormat = excelDateFormat(fmt.isEmpty() ? shortDate() : fmt);
        else if (t == pg::FieldType::Timestamp)
            s.numberFormat = excelDateFormat(fmt.isEmpty() ? shortDate() + QStringLiteral(" hh:mm:ss") : fmt);
        m_specs.push_back(s);
        m_footer.push_back(std::nullopt);
    }
    m_hasFooter = grid.hasFooter();
    for (size_t i = 0; i < m_columns.size(); ++i)
        if (grid.d->footerFields.count(m_columns[i]))
            m_footer[i] = grid.footerValue(m_columns[i]);

    const GridModel *model = grid.d->model;
    const GridEngine &e = model->engine();
    const auto &vis = e.visible();
    if (e.topGroups().empty()) {
        m_rows.assign(vis.begin(), vis.end());
        return;
    }
    // Every group expanded, in view order: the group row, then what it holds.
    const auto &groups = e.groups();
    m_groups.resize(groups.size());
    m_rows.reserve(vis.size() + groups.size());
    std::function<void(int)> walk = [&](int g) {
        const auto &grp = groups[size_t(g)];
        m_groups[size_t(g)] = {model->groupCaption(g), grp.level};
        m_rows.push_back(-(int64_t(g) + 1));
        if (grp.children.empty())
            for (int i = grp.first; i < grp.last; ++i)
                m_rows.push_back(vis[size_t(i)]);
        else
            for (int c : grp.children)
                walk(c);
    };
    for (int g : e.topGroups())
        walk(g);
}

bool GridExportSource::isGroupRow(int64_t r, QString *caption, int *level) const
{
    const int64_t v = m_rows[size_t(r)];
    if (v >= 0)
        return false;
    const GroupRow &g = m_groups[size_t(-v - 1)];
    if (caption)
        *caption = g.caption;
    if (level)
        *level = g.level;
    return true;
}

xlsx::Cell GridExportSource::cell(int64_t r, int c) const
{
    xlsx::Cell out;
    const int64_t row = m_rows[size_t(r)];
    if (row < 0)
        return out;
    const pg::Column &col = m_table->column(m_columns[size_t(c)]);
    if (col.isNull(size_t(row)))
        return out;
    switch (col.type()) {
    case pg::FieldType::Number:
        out.kind = xlsx::CellKind::Number;
        out.number = col.number(size_t(row));
        break;
    case pg::FieldType::Integer:
        out.kind = xlsx::CellKind::Number;
        out.number = col.integer(size_t(row));
        break;
    case pg::FieldType::Boolean:
        out.kind = xlsx::CellKind::Boolean;
        out.boolean = col.boolean(size_t(row));
        break;
    case pg::FieldType::Date:
        out.kind = xlsx::CellKind::Date;
        out.number = excelSerialFromJulianDay(col.julianDay(size_t(row)));
        break;
    case pg::FieldType::Timestamp:
        out.kind = xlsx::CellKind::DateTime;
        out.number = excelSerialFromMsecs(col.msecs(size_t(row)));
        break;
    case pg::FieldType::String:
    case pg::FieldType::Text:
        out.kind = xlsx::CellKind::Text;
        out.text = col.text(size_t(row)); // lives in the table's arena
        break;
    }
    return out;
}

} // namespace grid
