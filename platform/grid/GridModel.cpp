#include "GridModel.h"
#include "GridFormat.h"
#include "platform/pg/Query.h"
#include <algorithm>

namespace grid {

GridModel::GridModel(QObject *parent) : QAbstractItemModel(parent) {}

void GridModel::setQuery(pg::Query *q)
{
    m_query = q;
    m_engine.setTable(q ? &q->table() : nullptr);
}

QString GridModel::caption(int field) const
{
    if (size_t(field) < m_meta.size() && !m_meta[size_t(field)].caption.isEmpty())
        return m_meta[size_t(field)].caption;
    if (m_query && field >= 0 && size_t(field) < m_query->fields().size())
        return m_query->fields()[size_t(field)].name;
    return {};
}

int GridModel::leafGroupOf(int pos) const
{
    const auto &groups = m_engine.groups();
    const std::vector<int> *level = &m_engine.topGroups();
    int g = -1;
    while (!level->empty()) {
        auto it = std::upper_bound(level->begin(), level->end(), pos,
                                   [&](int p, int id) { return p < groups[size_t(id)].first; });
        if (it == level->begin())
            return -1;
        g = *(it - 1);
        level = &groups[size_t(g)].children;
    }
    return g;
}

QModelIndex GridModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column < 0 || column >= columnCount())
        return {};
    if (!parent.isValid())
        return row < rowCount() ? createIndex(row, column, quintptr(0)) : QModelIndex();
    const int g = groupId(parent);
    if (g < 0 || row >= rowCount(parent))
        return {};
    return createIndex(row, column, quintptr(g + 1));
}

QModelIndex GridModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == 0)
        return {};
    return indexOfGroup(int(child.internalId()) - 1);
}

QModelIndex GridModel::indexOfGroup(int g) const
{
    const auto &groups = m_engine.groups();
    if (g < 0 || size_t(g) >= groups.size())
        return {};
    const auto &grp = groups[size_t(g)];
    return createIndex(grp.rowInParent, 0, quintptr(grp.parent + 1));
}

int GridModel::groupId(const QModelIndex &index) const
{
    if (!index.isValid() || !grouped())
        return -1;
    const auto &groups = m_engine.groups();
    const quintptr p = index.internalId();
    if (p == 0)
        return size_t(index.row()) < m_engine.topGroups().size() ? m_engine.topGroups()[size_t(index.row())] : -1;
    const auto &parent = groups[size_t(p - 1)];
    if (parent.children.empty())
        return -1;
    return size_t(index.row()) < parent.children.size() ? parent.children[size_t(index.row())] : -1;
}

int GridModel::logicalRow(const QModelIndex &index) const
{
    if (!index.isValid())
        return -1;
    const auto &vis = m_engine.visible();
    if (!grouped())
        return index.internalId() == 0 && size_t(index.row()) < vis.size() ? vis[size_t(index.row())] : -1;
    const quintptr p = index.internalId();
    if (p == 0)
        return -1;
    const auto &g = m_engine.groups()[size_t(p - 1)];
    if (!g.children.empty())
        return -1;
    const int pos = g.first + index.row();
    return pos < g.last ? vis[size_t(pos)] : -1;
}

QModelIndex GridModel::indexOfRow(int row, int column) const
{
    const int pos = m_engine.visibleIndexOf(row);
    if (pos < 0)
        return {};
    if (!grouped())
        return createIndex(pos, column, quintptr(0));
    const int g = leafGroupOf(pos);
    if (g < 0)
        return {};
    return createIndex(pos - m_engine.groups()[size_t(g)].first, column, quintptr(g + 1));
}

int GridModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    if (!parent.isValid())
        return grouped() ? int(m_engine.topGroups().size()) : int(m_engine.visible().size());
    const int g = groupId(parent);
    if (g < 0)
        return 0;
    const auto &grp = m_engine.groups()[size_t(g)];
    return grp.children.empty() ? grp.last - grp.first : int(grp.children.size());
}

int GridModel::columnCount(const QModelIndex &) const
{
    return 1 + (m_query ? int(m_query->table().columnCount()) : 0);
}

bool GridModel::hasChildren(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return rowCount() > 0;
    return groupId(parent) >= 0 && parent.column() == 0;
}

QString GridModel::cellText(int row, int field) const
{
    if (!m_query || row < 0 || field < 0)
        return {};
    const QString fmt = size_t(field) < m_meta.size() ? m_meta[size_t(field)].displayFormat : QString();
    if (m_query->isEditing() && row == m_query->editRow())
        return formatValue(m_query->table().field(field).type, m_query->value(row, field), fmt);
    return formatCell(m_query->table().column(field), size_t(row), fmt);
}

QString GridModel::groupCaption(int g) const
{
    const auto &grp = m_engine.groups()[size_t(g)];
    const int row = m_engine.visible()[size_t(grp.first)];
    const QString fmt = size_t(grp.column) < m_meta.size() ? m_meta[size_t(grp.column)].displayFormat : QString();
    const QString value = formatCell(m_query->table().column(grp.column), size_t(row), fmt);
    return QStringLiteral("%1 : %2 (%3)").arg(caption(grp.column), value).arg(grp.last - grp.first);
}

QVariant GridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !m_query)
        return {};
    const int g = groupId(index);
    if (g >= 0) {
        if (role == GroupRole)
            return g;
        if (role == Qt::DisplayRole && index.column() == 0)
            return groupCaption(g);
        return {};
    }
    const int row = logicalRow(index);
    if (row < 0)
        return {};
    const int field = fieldOf(index.column());
    switch (role) {
    case LogicalRowRole: return row;
    case Qt::DisplayRole:
        if (field < 0) {
            if (row != m_query->currentRow())
                return {};
            switch (m_query->state()) {
            case pg::Query::State::Edit: return QStringLiteral("\u270E");
            case pg::Query::State::Insert: return QStringLiteral("*");
            default: return QStringLiteral("\u25B6");
            }
        }
        if (m_query->table().field(field).type == pg::FieldType::Boolean)
            return {};
        return cellText(row, field);
    case Qt::EditRole: return field < 0 ? QVariant() : m_query->value(row, field);
    case Qt::CheckStateRole: {
        if (field < 0 || m_query->table().field(field).type != pg::FieldType::Boolean)
            return {};
        const QVariant v = m_query->value(row, field);
        if (v.isNull())
            return Qt::PartiallyChecked;
        return v.toBool() ? Qt::Checked : Qt::Unchecked;
    }
    case FieldTypeRole: return field < 0 ? -1 : int(m_query->table().field(field).type);
    case Qt::TextAlignmentRole: {
        if (field < 0)
            return int(Qt::AlignCenter);
        const auto t = m_query->table().field(field).type;
        if (t == pg::FieldType::Number || t == pg::FieldType::Integer)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    }
    default: return {};
    }
}

bool GridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    // Throws AppError on a value the field cannot hold; every caller runs
    // under the grid's guard.
    const int row = logicalRow(index);
    const int field = fieldOf(index.column());
    if (row < 0 || field < 0 || !m_query)
        return false;
    QVariant v = value;
    if (role == Qt::CheckStateRole)
        v = value.toInt() == Qt::Checked;
    else if (role != Qt::EditRole)
        return false;
    if (m_query->currentRow() != row)
        m_query->setCurrentRow(row);
    m_query->setValue(field, v);
    return true;
}

QVariant GridModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (o != Qt::Horizontal || role != Qt::DisplayRole || section == 0)
        return {};
    return caption(fieldOf(section));
}

Qt::ItemFlags GridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const int field = fieldOf(index.column());
    if (field >= 0 && m_query && groupId(index) < 0 && !m_query->table().field(field).readOnly)
        f |= Qt::ItemIsEditable;
    return f;
}

void GridModel::rowInsertedFlat(int row, int visiblePos)
{
    const int n = int(m_engine.visible().size());
    if (visiblePos < 0 || visiblePos > n)
        visiblePos = n;
    beginInsertRows({}, visiblePos, visiblePos);
    m_engine.rowInserted(row, visiblePos);
    endInsertRows();
}

void GridModel::rowRemovedFlat(int row)
{
    const int pos = m_engine.visibleIndexOf(row);
    if (pos < 0) {
        m_engine.rowRemoved(row);
        return;
    }
    beginRemoveRows({}, pos, pos);
    m_engine.rowRemoved(row);
    endRemoveRows();
}

void GridModel::rowRefreshed(int row)
{
    const QModelIndex a = indexOfRow(row, 0);
    if (a.isValid())
        Q_EMIT dataChanged(a, a.siblingAtColumn(columnCount() - 1));
}

} // namespace grid
