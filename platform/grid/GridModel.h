#pragma once
#include "GridEngine.h"
#include <QAbstractItemModel>
#include <vector>

namespace pg {
class Query;
}

namespace grid {

// The rows of a query as the view shows them. Column 0 is the indicator
// column; column c + 1 shows field c. When the engine groups, the top level
// holds group rows and the innermost groups hold the data rows; otherwise the
// model is flat. The engine decides everything: the model only translates.
class GridModel : public QAbstractItemModel {
    Q_OBJECT
public:
    struct ColumnMeta {
        QString caption;
        QString displayFormat;
    };
    enum Role { LogicalRowRole = Qt::UserRole + 1, GroupRole, FieldTypeRole };

    explicit GridModel(QObject *parent = nullptr);

    void setQuery(pg::Query *q);
    pg::Query *query() const { return m_query; }
    GridEngine &engine() { return m_engine; }
    const GridEngine &engine() const { return m_engine; }
    std::vector<ColumnMeta> &meta() { return m_meta; }
    const std::vector<ColumnMeta> &meta() const { return m_meta; }
    bool grouped() const { return !m_engine.topGroups().empty(); }

    static int fieldOf(int modelColumn) { return modelColumn - 1; }
    static int columnOf(int field) { return field + 1; }

    int logicalRow(const QModelIndex &index) const; // -1 for group rows
    int groupId(const QModelIndex &index) const;    // -1 for data rows
    QModelIndex indexOfRow(int row, int column) const;
    QModelIndex indexOfGroup(int group) const;
    QString groupCaption(int group) const;
    QString cellText(int row, int field) const;
    QString caption(int field) const;

    // Wrappers so the grid can tell the view what the engine did.
    void beginRebuild() { beginResetModel(); }
    void endRebuild() { endResetModel(); }
    void rowInsertedFlat(int row, int visiblePos);
    void rowRemovedFlat(int row);
    void rowRefreshed(int row);

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation o, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    int leafGroupOf(int visiblePos) const;
    pg::Query *m_query = nullptr;
    GridEngine m_engine;
    std::vector<ColumnMeta> m_meta;
};

} // namespace grid
