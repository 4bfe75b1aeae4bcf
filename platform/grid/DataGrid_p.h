#pragma once
// Internal state of DataGrid, shared with the widgets it is made of.
#include "DataGrid.h"
#include "GridModel.h"
#include "GridParts.h"
#include "GridStyle.h"
#include <QMap>
#include <array>
#include <map>
#include <set>

class QLabel;
class QToolButton;
class QFrame;

namespace grid {

struct DataGridPrivate {
    DataGrid *q;
    pg::Query *query = nullptr;
    GridModel *model = nullptr;
    GridView *view = nullptr;
    FilterHeader *header = nullptr;
    GridDelegate *delegate = nullptr;
    GroupByBox *groupBox = nullptr;
    FooterStrip *footer = nullptr;
    QFrame *filterBox = nullptr;
    QLabel *filterBoxText = nullptr;
    QWidget *navigator = nullptr;
    std::array<QToolButton *, 15> nav{};
    QLabel *info = nullptr;
    GridStyle style;
    std::vector<GridColumn> columns;
    std::set<int> footerFields;
    std::map<int, std::function<void()>> buttons;
    mutable QMap<int, QString> footerCache;
    std::vector<QMetaObject::Connection> queryConnections;
    int bookmark = -1;
    bool syncing = false;
    bool restoring = false;

    explicit DataGridPrivate(DataGrid *grid) : q(grid) {}

    const pg::Table *table() const;
    int fieldCount() const;
    int fieldIndex(const QString &name) const;
    pg::FieldType fieldType(int field) const;
    bool editable(int field) const;
    bool anyEditable() const;

    void build();
    void applyStyle();
    void applyColumns();
    void rebuild();
    void afterRowsChanged();
    void updateFooter();
    void updateFilterBox();
    void updateInfo();
    void updateNavigator();
    void updateGroupBox();
    void updateIndicator();
    void syncFilterRow();

    // Editing.
    void commitEditor();                    // throws AppError on a value the field cannot take
    void finishEditing(QWidget *editor, bool forward);
    void escape();
    bool allowCurrentChange(const QModelIndex &to);
    void onCurrentChanged(const QModelIndex &current);
    void focusIndex(const QModelIndex &index);
    void keyPress(QKeyEvent *e, bool *handled);
    void toggleBoolean(const QModelIndex &index);

    // Query signals.
    void connectQuery();
    void onReset();
    void onRowInserted(int row);
    void onRowRemoved(int row);
    void onRowChanged(int row);
    void onCurrentRowChanged(int row);

    void setRowCondition(int field, const QString &text);
    void onHeaderClicked(int section);
    void showValuesMenu(int section, const QPoint &globalPos);
    void showHeaderMenu(int section, const QPoint &globalPos);
};

} // namespace grid
