#pragma once
// Widgets the grid is made of; internal to the grid.
#include "GridStyle.h"
#include <QCheckBox>
#include <QFrame>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <functional>
#include <vector>

class QLabel;
class QHBoxLayout;

namespace pg {
enum class FieldType : uint8_t;
}

namespace grid {

struct DataGridPrivate;

inline constexpr char kColumnMime[] = "application/x-wpelvaro-grid-column";

class GridView : public QTreeView {
    Q_OBJECT
public:
    GridView(DataGridPrivate *d, QWidget *parent);
    void commitEditorData(QWidget *editor) { commitData(editor); }
    void closeEditorWith(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) { closeEditor(editor, hint); }
    QString emptyText() const;

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void drawBranches(QPainter *p, const QRect &rect, const QModelIndex &index) const override;

private:
    DataGridPrivate *d;
};

// Asks the grid before the focus moves: leaving a row posts its edit, and a
// refused post keeps the focus where it is.
class GridSelectionModel : public QItemSelectionModel {
    Q_OBJECT
public:
    GridSelectionModel(DataGridPrivate *d, QAbstractItemModel *model, QObject *parent);
    void setCurrentIndex(const QModelIndex &index, QItemSelectionModel::SelectionFlags command) override;

private:
    DataGridPrivate *d;
};

class GridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    GridDelegate(DataGridPrivate *d, QObject *parent);
    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void destroyEditor(QWidget *editor, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;

    // The value in an editor as the field would take it; nullopt with a message when it is not one.
    std::optional<QVariant> editorValue(QWidget *editor, const QModelIndex &index, QString *error) const;
    QWidget *openEditor() const { return m_editor; }
    QModelIndex openIndex() const { return m_editorIndex; }

protected:
    bool eventFilter(QObject *obj, QEvent *event) override;

private:
    DataGridPrivate *d;
    mutable QPointer<QWidget> m_editor;
    mutable QPersistentModelIndex m_editorIndex;
};

// A check box whose third state means "no condition": unset, checked, unchecked, unset...
class TriStateFilter : public QCheckBox {
    Q_OBJECT
public:
    explicit TriStateFilter(QWidget *parent);

protected:
    void nextCheckState() override;
    bool hitButton(const QPoint &pos) const override { return rect().contains(pos); }
};

// Column headers with a filter row under them: one cell per column, laid
// along the sections, and a drop-down of values in each header.
class FilterHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit FilterHeader(QWidget *parent);
    void setFilterCells(const std::vector<pg::FieldType> &types);
    QWidget *filterCell(int field) const;
    void setCellText(int field, const QString &text);
    QString cellText(int field) const;
    QLabel *placeholder() const { return m_placeholder; }
    int baseHeight() const;
    int filterRowHeight() const;
    bool suppressingClick() const { return m_suppressClick; }
    QRect dropDownRect(int section) const;
    QSize sizeHint() const override;
    void relayout();

Q_SIGNALS:
    void filterEdited(int field, const QString &text);
    void valuesMenuRequested(int section, const QPoint &globalPos);
    void headerMenuRequested(int section, const QPoint &globalPos);

protected:
    void paintSection(QPainter *p, const QRect &rect, int logicalIndex) const override;
    void updateGeometries() override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void contextMenuEvent(QContextMenuEvent *e) override;
    bool eventFilter(QObject *obj, QEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    void updatePlaceholder();
    std::vector<QWidget *> m_cells;
    QLabel *m_placeholder;
    int m_pressSection = -1;
    QPoint m_pressPos;
    bool m_suppressClick = false;
};

// "Drag a column header here to group by that column", or the chips of the grouped columns.
class GroupByBox : public QFrame {
    Q_OBJECT
public:
    explicit GroupByBox(QWidget *parent);
    void setGroups(const std::vector<std::pair<int, QString>> &fieldsAndCaptions);
    void setBoxStyle(const GridStyle &s);

Q_SIGNALS:
    void columnDropped(int field);
    void removeRequested(int field);

protected:
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dragMoveEvent(QDragMoveEvent *e) override;
    void dropEvent(QDropEvent *e) override;

private:
    QHBoxLayout *m_layout;
    QLabel *m_hint;
    std::vector<QWidget *> m_chips;
};

// Sums under the columns, laid along the header sections.
class FooterStrip : public QWidget {
    Q_OBJECT
public:
    FooterStrip(DataGridPrivate *d, QWidget *parent);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    DataGridPrivate *d;
};

} // namespace grid
