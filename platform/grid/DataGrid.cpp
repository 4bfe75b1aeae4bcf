#include "DataGrid.h"
#include "DataGrid_p.h"
#include "FilterBuilder.h"
#include "GridExportSource.h"
#include "GridFormat.h"
#include "platform/Error.h"
#include "platform/pg/Query.h"
#include "platform/ui/Ui.h"
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QSet>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace grid {

namespace {
struct NavSpec {
    const char *name;
    const char *glyph;
    const char *hint;
};
// Navigator buttons, in the order operators know from the platform grid.
const NavSpec kNav[15] = {
    {"navFirst", "|\u25C0", "First record"},        {"navPrevPage", "\u25C0\u25C0", "Previous page"},
    {"navPrev", "\u25C0", "Previous record"},       {"navNext", "\u25B6", "Next record"},
    {"navNextPage", "\u25B6\u25B6", "Next page"},   {"navLast", "\u25B6|", "Last record"},
    {"navInsert", "+", "Insert record"},            {"navDelete", "\u2212", "Delete record"},
    {"navEdit", "\u270E", "Edit record"},           {"navPost", "\u2714", "Post edit"},
    {"navCancel", "\u2716", "Cancel edit"},         {"navRefresh", "\u27F3", "Refresh"},
    {"navSaveBookmark", "\u2605", "Save bookmark"}, {"navGotoBookmark", "\u2192\u2605", "Go to bookmark"},
    {"navFilter", "\u2261", "Customize filter"},
};
enum Nav { First, PrevPage, Prev, Next, NextPage, Last, Insert, Delete, Edit, Post, Cancel, Refresh, SaveBm, GotoBm, Filter };
} // namespace

// ---- private -----------------------------------------------------------

const pg::Table *DataGridPrivate::table() const { return query ? &query->table() : nullptr; }

int DataGridPrivate::fieldIndex(const QString &name) const
{
    // Screens name their columns before the first open: the declared fields count then.
    if (!query)
        return -1;
    const int f = query->table().indexOf(name);
    return f >= 0 ? f : query->fieldIndex(name);
}

int DataGridPrivate::fieldCount() const { return query ? query->table().columnCount() : 0; }

pg::FieldType DataGridPrivate::fieldType(int field) const { return table()->field(field).type; }

bool DataGridPrivate::editable(int field) const
{
    return query && field >= 0 && field < fieldCount() && !table()->field(field).readOnly;
}

void DataGridPrivate::build()
{
    auto *lay = new QVBoxLayout(q);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);

    groupBox = new GroupByBox(q);
    lay->addWidget(groupBox);
    QObject::connect(groupBox, &GroupByBox::columnDropped, q, [this](int f) { ui::guard([&] { q->groupByColumn(f); }); });
    QObject::connect(groupBox, &GroupByBox::removeRequested, q, [this](int f) { ui::guard([&] { q->ungroupColumn(f); }); });

    model = new GridModel(q);
    view = new GridView(this, q);
    view->setObjectName(QStringLiteral("gridView"));
    header = new FilterHeader(view);
    // Captions start at the left and are cut at the right, so a narrow column still shows where its name begins.
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setTextElideMode(Qt::ElideRight);
    header->setObjectName(QStringLiteral("gridHeader"));
    view->setHeader(header);
    view->setModel(model);
    QItemSelectionModel *old = view->selectionModel();
    view->setSelectionModel(new GridSelectionModel(this, model, view));
    delete old;
    view->setUniformRowHeights(true);
    view->setRootIsDecorated(false);
    view->setIndentation(0);
    view->setAlternatingRowColors(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // A click opens the editor through clicked() below, at once; the view's own
    // "selected clicked" trigger waits for a double-click interval first.
    view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
    view->setAllColumnsShowFocus(false);
    view->setSortingEnabled(false); // we sort ourselves; this also made the header unclickable
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    view->setExpandsOnDoubleClick(true);
    delegate = new GridDelegate(this, view);
    view->setItemDelegate(delegate);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(14);

    QObject::connect(view->selectionModel(), &QItemSelectionModel::currentChanged, q,
                     [this](const QModelIndex &cur, const QModelIndex &) { onCurrentChanged(cur); });
    QObject::connect(view, &QAbstractItemView::clicked, q, [this](const QModelIndex &idx) {
        // A click opens the cell's editor at once.
        if (idx == view->currentIndex() && (model->flags(idx) & Qt::ItemIsEditable) &&
            !idx.data(Qt::CheckStateRole).isValid() && delegate->openEditor() == nullptr) {
            view->edit(idx);
        }
    });
    QObject::connect(header, &QHeaderView::sectionClicked, q, [this](int s) { onHeaderClicked(s); });
    QObject::connect(header, &FilterHeader::filterEdited, q,
                     [this](int f, const QString &t) { ui::guard([&] { setRowCondition(f, t); }); });
    QObject::connect(header, &FilterHeader::valuesMenuRequested, q,
                     [this](int s, const QPoint &p) { showValuesMenu(s, p); });
    QObject::connect(header, &FilterHeader::headerMenuRequested, q,
                     [this](int s, const QPoint &p) { showHeaderMenu(s, p); });
    QObject::connect(header, &QHeaderView::sectionMoved, q, [this](int, int, int) {
        if (header->visualIndex(0) != 0)
            header->moveSection(header->visualIndex(0), 0); // the indicator stays at the left
        if (footer)
            footer->update();
    });
    QObject::connect(header, &QHeaderView::sectionResized, q, [this] {
        if (footer)
            footer->update();
    });
    QObject::connect(view->horizontalScrollBar(), &QScrollBar::valueChanged, q, [this] {
        header->relayout();
        footer->update();
    });
    lay->addWidget(view, 1);

    footer = new FooterStrip(this, q);
    footer->hide();
    lay->addWidget(footer);

    filterBox = new QFrame(q);
    filterBox->setObjectName(QStringLiteral("filterBox"));
    filterBox->setAutoFillBackground(true);
    auto *fb = new QHBoxLayout(filterBox);
    fb->setContentsMargins(4, 2, 4, 2);
    auto *clear = new QToolButton(filterBox);
    clear->setObjectName(QStringLiteral("filterBoxClear"));
    clear->setText(QStringLiteral("\u2715"));
    clear->setToolTip(QStringLiteral("Clear the filter"));
    QObject::connect(clear, &QToolButton::clicked, q, [this] { ui::guard([&] { q->clearFilter(); }); });
    filterBoxText = new QLabel(filterBox);
    filterBoxText->setObjectName(QStringLiteral("filterBoxText"));
    auto *customize = new QToolButton(filterBox);
    customize->setObjectName(QStringLiteral("filterBoxBuilder"));
    customize->setText(QStringLiteral("Customize..."));
    QObject::connect(customize, &QToolButton::clicked, q, [this] { ui::guard([&] { q->openFilterBuilder(); }); });
    fb->addWidget(clear);
    fb->addWidget(filterBoxText, 1);
    fb->addWidget(customize);
    filterBox->hide();
    lay->addWidget(filterBox);

    navigator = new QWidget(q);
    navigator->setObjectName(QStringLiteral("navigator"));
    auto *nl = new QHBoxLayout(navigator);
    nl->setContentsMargins(2, 2, 2, 2);
    nl->setSpacing(1);
    for (int i = 0; i < 15; ++i) {
        auto *b = new QToolButton(navigator);
        b->setObjectName(QString::fromLatin1(kNav[i].name));
        b->setText(QString::fromUtf8(kNav[i].glyph));
        b->setToolTip(QString::fromLatin1(kNav[i].hint));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        nl->addWidget(b);
        nav[size_t(i)] = b;
        QObject::connect(b, &QToolButton::clicked, q, [this, i] {
            ui::guard([&] {
                switch (Nav(i)) {
                case First: q->moveToFirst(); break;
                case PrevPage: q->moveBy(-std::max(1, view->viewport()->height() / std::max(1, view->sizeHintForRow(0)))); break;
                case Prev: q->moveBy(-1); break;
                case Next: q->moveBy(1); break;
                case NextPage: q->moveBy(std::max(1, view->viewport()->height() / std::max(1, view->sizeHintForRow(0)))); break;
                case Last: q->moveToLast(); break;
                case Insert: q->insertRow(); break;
                case Delete: q->deleteFocusedRow(); break;
                case Edit:
                    if (query && q->focusedRow() >= 0) {
                        query->edit();
                        const QModelIndex idx = view->currentIndex();
                        if (model->flags(idx) & Qt::ItemIsEditable)
                            view->edit(idx);
                    }
                    break;
                case Post: q->postPendingEdit(); break;
                case Cancel: q->cancelEdit(); break;
                case Refresh: q->refresh(); break;
                case SaveBm: q->saveBookmark(); break;
                case GotoBm: q->gotoBookmark(); break;
                case Filter: q->openFilterBuilder(); break;
                }
                view->setFocus();
            });
        });
    }
    info = new QLabel(navigator);
    info->setObjectName(QStringLiteral("navInfo"));
    info->setMinimumWidth(90);
    nl->addSpacing(8);
    nl->addWidget(info);
    nl->addStretch(1);
    lay->addWidget(navigator);

    applyStyle();
    updateGroupBox();
    updateNavigator();
    updateInfo();
}

void DataGridPrivate::applyStyle()
{
    const GridStyle &s = style;
    QPalette pal = view->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::Base, s.background);
        pal.setColor(group, QPalette::AlternateBase, s.oddRow);
        pal.setColor(group, QPalette::Text, s.contentText);
    }
    pal.setColor(QPalette::Active, QPalette::Highlight, s.selection);
    pal.setColor(QPalette::Active, QPalette::HighlightedText, s.selectionText);
    pal.setColor(QPalette::Inactive, QPalette::Highlight, s.inactiveSelection);
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, s.rowText);
    view->setPalette(pal);
    view->setFont(s.contentFont);
    header->setFont(s.headerFont);
    header->setStyleSheet(QStringLiteral(
        "QHeaderView::section { background-color: %1; color: %2; font-family: '%3'; font-size: %4pt; font-weight: %5;"
        " border: none; border-right: 1px solid #8CA9D9; border-bottom: 1px solid #8CA9D9; padding: 2px 18px 2px 4px; }")
                              .arg(s.header.name(), s.headerText.name(), s.headerFont.family())
                              .arg(s.headerFont.pointSize())
                              .arg(s.headerFont.bold() ? QStringLiteral("bold") : QStringLiteral("normal")));
    groupBox->setBoxStyle(s);
    QPalette fp = filterBox->palette();
    fp.setColor(QPalette::Window, s.filterBox);
    fp.setColor(QPalette::WindowText, s.filterBoxText);
    filterBox->setPalette(fp);
    footer->setFont(s.footerFont);
    footer->updateGeometry();
    footer->update();
    view->viewport()->update();
}

void DataGridPrivate::applyColumns()
{
    const int n = fieldCount();
    auto &meta = model->meta();
    meta.assign(size_t(n), {});
    std::vector<QString> formats(static_cast<size_t>(n));
    std::vector<int> order;
    std::vector<bool> shown(static_cast<size_t>(n), columns.empty());
    std::vector<int> widths(static_cast<size_t>(n), 0);
    for (const GridColumn &c : columns) {
        const int f = fieldIndex(c.fieldName);
        if (f < 0)
            continue;
        meta[size_t(f)] = {c.caption, c.displayFormat};
        formats[size_t(f)] = c.displayFormat;
        shown[size_t(f)] = c.visible;
        widths[size_t(f)] = c.widthPx;
        order.push_back(f);
    }
    if (columns.empty())
        for (int f = 0; f < n; ++f)
            order.push_back(f);
    model->engine().setDisplayFormats(formats);
    if (header->count() != n + 1)
        return;
    header->resizeSection(0, 14);
    header->setSectionResizeMode(0, QHeaderView::Fixed);
    int visual = 1;
    for (int f : order) {
        const int section = GridModel::columnOf(f);
        header->moveSection(header->visualIndex(section), visual++);
    }
    for (int f = 0; f < n; ++f) {
        const int section = GridModel::columnOf(f);
        header->setSectionHidden(section, !shown[size_t(f)]);
        header->resizeSection(section, widths[size_t(f)] > 0 ? widths[size_t(f)] : 100);
    }
    Q_EMIT model->headerDataChanged(Qt::Horizontal, 0, n);
    header->relayout();
}

void DataGridPrivate::connectQuery()
{
    for (auto &c : queryConnections)
        QObject::disconnect(c);
    queryConnections.clear();
    if (!query)
        return;
    auto &cs = queryConnections;
    cs.push_back(QObject::connect(query, &pg::Query::reset, q, [this] { onReset(); }));
    cs.push_back(QObject::connect(query, &pg::Query::rowInserted, q, [this](int r) { onRowInserted(r); }));
    cs.push_back(QObject::connect(query, &pg::Query::rowRemoved, q, [this](int r) { onRowRemoved(r); }));
    cs.push_back(QObject::connect(query, &pg::Query::rowChanged, q, [this](int r) { onRowChanged(r); }));
    cs.push_back(QObject::connect(query, &pg::Query::stateChanged, q, [this] {
        updateIndicator();
        updateNavigator();
    }));
    cs.push_back(QObject::connect(query, &pg::Query::currentChanged, q, [this](int r) { onCurrentRowChanged(r); }));
    cs.push_back(QObject::connect(query, &pg::Query::aboutToRefresh, q, [this] {
        // The query posts its pending edit next; put what the operator typed into it,
        // unless the editor holds something the field cannot take.
        if (QWidget *e = delegate->openEditor()) {
            QString err;
            if (delegate->editorValue(e, delegate->openIndex(), &err))
                ui::guard([&] { commitEditor(); });
            else
                view->closeEditorWith(e, QAbstractItemDelegate::RevertModelCache);
        }
    }));
}

void DataGridPrivate::onReset()
{
    if (QWidget *e = delegate->openEditor())
        view->closeEditorWith(e, QAbstractItemDelegate::RevertModelCache);
    model->setQuery(query);
    const int n = fieldCount();
    const bool newShape = header->count() != n + 1 || model->meta().size() != size_t(n);
    if (newShape) {
        model->beginRebuild();
        model->endRebuild();
        std::vector<pg::FieldType> types;
        for (int f = 0; f < n; ++f)
            types.push_back(fieldType(f));
        header->setFilterCells(types);
        applyColumns();
        syncFilterRow();
    }
    rebuild();
}

namespace {
QString groupPath(const GridModel *m, int g)
{
    QString path;
    const auto &groups = m->engine().groups();
    for (; g >= 0; g = groups[size_t(g)].parent)
        path.prepend(m->groupCaption(g).section(QStringLiteral(" ("), 0, 0) + QChar(0x1f));
    return path;
}
} // namespace

void DataGridPrivate::rebuild()
{
    // Which groups were open, so a refresh or a keystroke does not fold them.
    QSet<QString> expanded;
    if (model->grouped())
        for (size_t g = 0; g < model->engine().groups().size(); ++g)
            if (view->isExpanded(model->indexOfGroup(int(g))))
                expanded.insert(groupPath(model, int(g)));
    const int column = std::max(1, view->currentIndex().column());
    auto &engine = model->engine();
    engine.setPinnedRow(query && query->isEditing() ? query->editRow() : -1);
    restoring = true;
    model->beginRebuild();
    engine.rebuild();
    model->endRebuild();
    const bool grouped = model->grouped();
    view->setRootIsDecorated(grouped);
    view->setIndentation(grouped ? 16 : 0);
    // The tree indents the first column per group level; widen it so the
    // indicator keeps its room.
    if (header->count() > 0)
        header->resizeSection(0, 14 + (grouped ? 16 * (int(engine.groupColumns().size()) + 1) : 0));
    if (grouped) {
        for (size_t g = 0; g < engine.groups().size(); ++g) {
            const QModelIndex idx = model->indexOfGroup(int(g));
            view->setFirstColumnSpanned(idx.row(), idx.parent(), true);
            if (expanded.contains(groupPath(model, int(g))))
                view->setExpanded(idx, true);
        }
    }
    restoring = false;
    const int row = query ? query->currentRow() : -1;
    QModelIndex idx = model->indexOfRow(row, column);
    if (!idx.isValid() && !engine.visible().empty() && !grouped)
        idx = model->index(0, column);
    if (idx.isValid()) {
        if (grouped)
            for (QModelIndex p = idx.parent(); p.isValid(); p = p.parent())
                view->setExpanded(p, true);
        focusIndex(idx);
    }
    afterRowsChanged();
}

void DataGridPrivate::afterRowsChanged()
{
    updateFooter();
    updateInfo();
    updateNavigator();
    view->viewport()->update();
}

void DataGridPrivate::updateFooter()
{
    footerCache.clear();
    for (int f : footerFields)
        footerCache.insert(f, model->engine().sumText(f));
    footer->setVisible(!footerFields.empty());
    footer->update();
}

void DataGridPrivate::updateFilterBox()
{
    const bool on = !model->engine().conditions().empty();
    filterBoxText->setText(q->filterDescription());
    filterBox->setVisible(on);
}

bool DataGridPrivate::anyEditable() const
{
    // A grid without an editable column only shows its rows: nothing to add or delete.
    for (int f = 0; f < fieldCount(); ++f)
        if (editable(f))
            return true;
    return false;
}

void DataGridPrivate::updateInfo() { info->setText(q->infoText()); }

void DataGridPrivate::updateNavigator()
{
    const bool active = query && query->isActive();
    const int n = q->visibleRowCount();
    const int row = q->focusedRow();
    const int pos = row >= 0 ? model->engine().visibleIndexOf(row) : -1;
    const bool editing = query && query->isEditing();
    const bool anyEditable = this->anyEditable();
    nav[First]->setEnabled(active && pos > 0);
    nav[PrevPage]->setEnabled(active && pos > 0);
    nav[Prev]->setEnabled(active && pos > 0);
    nav[Next]->setEnabled(active && pos >= 0 && pos < n - 1);
    nav[NextPage]->setEnabled(active && pos >= 0 && pos < n - 1);
    nav[Last]->setEnabled(active && pos >= 0 && pos < n - 1);
    nav[Insert]->setEnabled(active && anyEditable);
    nav[Delete]->setEnabled(active && row >= 0 && anyEditable);
    nav[Edit]->setEnabled(active && row >= 0 && !editing && anyEditable);
    nav[Post]->setEnabled(editing);
    nav[Cancel]->setEnabled(editing);
    nav[Refresh]->setEnabled(active);
    nav[SaveBm]->setEnabled(active && row >= 0);
    nav[GotoBm]->setEnabled(active && bookmark >= 0);
    nav[Filter]->setEnabled(query != nullptr);
}

void DataGridPrivate::updateGroupBox()
{
    std::vector<std::pair<int, QString>> gs;
    for (int f : model->engine().groupColumns())
        gs.push_back({f, q->caption(f)});
    groupBox->setGroups(gs);
}

void DataGridPrivate::updateIndicator() { view->viewport()->update(); }

void DataGridPrivate::syncFilterRow()
{
    for (int f = 0; f < fieldCount(); ++f) {
        QString text;
        for (const FilterCondition &c : model->engine().conditions())
            if (c.column == f && (c.fromFilterRow || c.op == FilterOp::Like || c.op == FilterOp::Equal)) {
                text = c.value;
                break;
            }
        header->setCellText(f, text);
    }
}

// ---- editing -----------------------------------------------------------

void DataGridPrivate::commitEditor()
{
    QWidget *e = delegate->openEditor();
    if (!e)
        return;
    const QModelIndex idx = delegate->openIndex();
    QString err;
    const auto v = delegate->editorValue(e, idx, &err);
    if (!v)
        throw AppError(err);
    const QVariant old = idx.data(Qt::EditRole);
    if (!(old.isNull() == v->isNull() && (old.isNull() || old == *v)))
        model->setData(idx, *v, Qt::EditRole);
    view->closeEditorWith(e, QAbstractItemDelegate::NoHint);
}

void DataGridPrivate::finishEditing(QWidget *, bool forward)
{
    ui::guard([&] {
        commitEditor();
        const QModelIndex before = view->currentIndex();
        q->moveCell(forward);
        const QModelIndex now = view->currentIndex();
        if (now != before && (model->flags(now) & Qt::ItemIsEditable) && !now.data(Qt::CheckStateRole).isValid())
            view->edit(now);
        else
            view->setFocus();
    });
}

void DataGridPrivate::escape()
{
    ui::guard([&] { q->cancelEdit(); });
    view->setFocus();
}

bool DataGridPrivate::allowCurrentChange(const QModelIndex &to)
{
    if (restoring || syncing || !query)
        return true;
    bool ok = true;
    try {
        if (delegate->openEditor() && to != delegate->openIndex())
            commitEditor();
        if (query->isEditing() && model->logicalRow(to) != query->editRow())
            query->post();
    } catch (const AppError &e) {
        ok = false;
        ui::showError(e.message());
    }
    if (!ok) {
        // Keep the row and its values; the click that asked to leave may have
        // selected another row already.
        QTimer::singleShot(0, q, [this] {
            const QModelIndex cur = view->currentIndex();
            if (cur.isValid())
                view->selectionModel()->select(cur, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        });
    }
    return ok;
}

void DataGridPrivate::onCurrentChanged(const QModelIndex &current)
{
    const int row = model->logicalRow(current);
    if (!syncing && !restoring && row >= 0 && query && query->currentRow() != row) {
        syncing = true;
        ui::guard([&] { query->setCurrentRow(row); });
        syncing = false;
    }
    updateIndicator();
    updateInfo();
    updateNavigator();
    Q_EMIT q->focusedRowChanged(row);
}

void DataGridPrivate::focusIndex(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->scrollTo(index);
}

void DataGridPrivate::onCurrentRowChanged(int row)
{
    if (syncing)
        return;
    const int column = std::max(1, view->currentIndex().column());
    const QModelIndex idx = model->indexOfRow(row, column);
    if (!idx.isValid())
        return;
    for (QModelIndex p = idx.parent(); p.isValid(); p = p.parent())
        view->setExpanded(p, true);
    syncing = true;
    focusIndex(idx);
    syncing = false;
    updateInfo();
    updateNavigator();
}

void DataGridPrivate::toggleBoolean(const QModelIndex &index)
{
    ui::guard([&] {
        const int st = index.data(Qt::CheckStateRole).toInt();
        model->setData(index, st == Qt::Checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    });
}

void DataGridPrivate::keyPress(QKeyEvent *e, bool *handled)
{
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    *handled = true;
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: ui::guard([&] { q->moveCell(!(e->modifiers() & Qt::ShiftModifier)); }); return;
    case Qt::Key_Insert:
        ui::guard([&] {
            if (ctrl)
                q->copySelection();
            else
                q->insertRow();
        });
        return;
    case Qt::Key_Delete: ui::guard([&] { q->deleteFocusedRow(); }); return;
    case Qt::Key_Escape: ui::guard([&] { q->cancelEdit(); }); return;
    default: *handled = false;
    }
}

// ---- query signals -----------------------------------------------------

void DataGridPrivate::onRowInserted(int row)
{
    if (bookmark >= row)
        ++bookmark;
    if (model->grouped()) {
        rebuild();
        return;
    }
    const QModelIndex cur = view->currentIndex();
    int pos = model->engine().visibleIndexOf(row); // the row that was there
    if (cur.isValid() && model->logicalRow(cur) == row)
        pos = cur.row();
    model->engine().setPinnedRow(row);
    model->rowInsertedFlat(row, pos);
    afterRowsChanged();
}

void DataGridPrivate::onRowRemoved(int row)
{
    if (bookmark == row)
        bookmark = -1;
    else if (bookmark > row)
        --bookmark;
    if (model->grouped()) {
        rebuild();
        return;
    }
    restoring = true;
    model->rowRemovedFlat(row);
    restoring = false;
    afterRowsChanged();
}

void DataGridPrivate::onRowChanged(int row)
{
    model->rowRefreshed(row);
    updateFooter();
    updateIndicator();
}

// ---- filter, sort, menus -----------------------------------------------

void DataGridPrivate::setRowCondition(int field, const QString &text)
{
    auto conds = model->engine().conditions();
    auto it = std::find_if(conds.begin(), conds.end(), [&](const FilterCondition &c) {
        return c.column == field && (c.fromFilterRow || c.op == FilterOp::Like || c.op == FilterOp::Equal);
    });
    const pg::FieldType t = fieldType(field);
    const bool textual = t == pg::FieldType::String || t == pg::FieldType::Text;
    FilterCondition c{field, textual ? FilterOp::Like : FilterOp::Equal, text, true};
    if (text.isEmpty()) {
        if (it != conds.end())
            conds.erase(it);
    } else if (it != conds.end()) {
        *it = c;
    } else {
        conds.push_back(c);
    }
    model->engine().setConditions(std::move(conds));
    rebuild();
    updateFilterBox();
    Q_EMIT q->filterChanged();
}

void DataGridPrivate::onHeaderClicked(int section)
{
    const int field = GridModel::fieldOf(section);
    if (header->suppressingClick() || field < 0) {
        // Not a sort: put the indicator back where the sort is.
        const int sc = model->engine().sortColumn();
        header->setSortIndicator(sc >= 0 ? GridModel::columnOf(sc) : -1, model->engine().sortOrder());
        return;
    }
    const auto &e = model->engine();
    const Qt::SortOrder order = e.sortColumn() == field && e.sortOrder() == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                                               : Qt::AscendingOrder;
    ui::guard([&] { q->sortByColumn(field, order); });
}

void DataGridPrivate::showValuesMenu(int section, const QPoint &globalPos)
{
    QMenu *m = q->valuesMenu(GridModel::fieldOf(section), view);
    m->setAttribute(Qt::WA_DeleteOnClose);
    m->popup(globalPos);
}

void DataGridPrivate::showHeaderMenu(int section, const QPoint &globalPos)
{
    const int field = GridModel::fieldOf(section);
    auto *m = new QMenu(view);
    m->setObjectName(QStringLiteral("headerMenu"));
    m->setAttribute(Qt::WA_DeleteOnClose);
    auto act = [&](const QString &text, std::function<void()> f) {
        QObject::connect(m->addAction(text), &QAction::triggered, q, [f] { ui::guard(f); });
    };
    act(QStringLiteral("Sort Ascending"), [this, field] { q->sortByColumn(field, Qt::AscendingOrder); });
    act(QStringLiteral("Sort Descending"), [this, field] { q->sortByColumn(field, Qt::DescendingOrder); });
    act(QStringLiteral("Clear Sorting"), [this] { q->clearSort(); });
    m->addSeparator();
    act(QStringLiteral("Group By This Column"), [this, field] { q->groupByColumn(field); });
    act(QStringLiteral("Remove Grouping"), [this] { q->clearGrouping(); });
    m->addSeparator();
    QMenu *values = q->valuesMenu(field, m);
    values->setTitle(QStringLiteral("Filter Values"));
    m->addMenu(values);
    m->popup(globalPos);
}

// ---- DataGrid ----------------------------------------------------------

DataGrid::DataGrid(QWidget *parent) : QWidget(parent), d(std::make_unique<DataGridPrivate>(this))
{
    d->build();
}

DataGrid::~DataGrid()
{
    for (auto &c : d->queryConnections)
        QObject::disconnect(c);
    // The parts call back into d while they go (an open editor losing focus):
    // let them go while d is still there.
    const auto parts = findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    qDeleteAll(parts);
}

void DataGrid::setQuery(pg::Query *query)
{
    d->query = query;
    d->model->setQuery(query);
    d->model->meta().clear();
    d->connectQuery();
    d->onReset();
    if (query)
        d->onCurrentRowChanged(query->currentRow());
}

pg::Query *DataGrid::query() const { return d->query; }

void DataGrid::setColumns(const std::vector<GridColumn> &columns)
{
    d->columns = columns;
    d->applyColumns();
    d->rebuild();
}

void DataGrid::setGridStyle(const GridStyle &style)
{
    d->style = style;
    d->applyStyle();
}

void DataGrid::setFooterSum(int column, bool on)
{
    if (on)
        d->footerFields.insert(column);
    else
        d->footerFields.erase(column);
    d->updateFooter();
}

void DataGrid::setFooterSum(const QString &fieldName, bool on)
{
    const int f = d->fieldIndex(fieldName);
    if (f >= 0)
        setFooterSum(f, on);
}

bool DataGrid::hasFooter() const { return !d->footerFields.empty(); }

void DataGrid::setColumnButton(int column, std::function<void()> handler) { d->buttons[column] = std::move(handler); }

void DataGrid::setColumnButton(const QString &fieldName, std::function<void()> handler)
{
    const int f = d->fieldIndex(fieldName);
    if (f >= 0)
        setColumnButton(f, std::move(handler));
}

QTreeView *DataGrid::view() const { return d->view; }
FilterHeader *DataGrid::header() const { return d->header; }
QString DataGrid::caption(int column) const { return d->model->caption(column); }

QString DataGrid::displayFormat(int column) const
{
    const auto &m = d->model->meta();
    return size_t(column) < m.size() ? m[size_t(column)].displayFormat : QString();
}

QString DataGrid::displayText(int row, int column) const { return d->model->cellText(row, column); }

std::vector<int> DataGrid::visibleColumns() const
{
    std::vector<int> out;
    for (int v = 0; v < d->header->count(); ++v) {
        const int section = d->header->logicalIndex(v);
        if (section > 0 && !d->header->isSectionHidden(section))
            out.push_back(GridModel::fieldOf(section));
    }
    return out;
}

int DataGrid::columnWidth(int column) const { return d->header->sectionSize(GridModel::columnOf(column)); }

int DataGrid::visibleRowCount() const { return int(d->model->engine().visible().size()); }

int DataGrid::logicalRowAt(int visibleIndex) const
{
    const auto &v = d->model->engine().visible();
    return visibleIndex >= 0 && size_t(visibleIndex) < v.size() ? v[size_t(visibleIndex)] : -1;
}

int DataGrid::visibleIndexOf(int row) const { return d->model->engine().visibleIndexOf(row); }

int DataGrid::focusedRow() const { return d->model->logicalRow(d->view->currentIndex()); }

int DataGrid::focusedColumn() const { return GridModel::fieldOf(d->view->currentIndex().column()); }

void DataGrid::setFocusedRow(int row, int column)
{
    const int col = column >= 0 ? GridModel::columnOf(column) : std::max(1, d->view->currentIndex().column());
    const QModelIndex idx = d->model->indexOfRow(row, col);
    for (QModelIndex p = idx.parent(); p.isValid(); p = p.parent())
        d->view->setExpanded(p, true);
    d->focusIndex(idx);
}

void DataGrid::setFilterText(int column, const QString &text)
{
    d->header->setCellText(column, text);
    d->setRowCondition(column, text);
}

QString DataGrid::filterText(int column) const { return d->header->cellText(column); }

void DataGrid::setFilterConditions(std::vector<FilterCondition> conditions)
{
    d->model->engine().setConditions(std::move(conditions));
    d->syncFilterRow();
    d->rebuild();
    d->updateFilterBox();
    Q_EMIT filterChanged();
}

const std::vector<FilterCondition> &DataGrid::filterConditions() const { return d->model->engine().conditions(); }

QString DataGrid::filterDescription() const
{
    QStringList parts;
    for (const FilterCondition &c : filterConditions()) {
        if (c.column < 0 || c.column >= d->fieldCount())
            continue;
        const pg::FieldType t = d->fieldType(c.column);
        QString part = caption(c.column) + u' ' + filterOpText(c.op);
        if (c.op != FilterOp::IsNull && c.op != FilterOp::IsNotNull) {
            QString v = c.value;
            if (c.fromFilterRow && c.op == FilterOp::Like && !v.endsWith(u'%'))
                v += u'%';
            const bool quoted = t == pg::FieldType::String || t == pg::FieldType::Text || t == pg::FieldType::Date ||
                                t == pg::FieldType::Timestamp;
            part += u' ' + (quoted ? u'\'' + QString(v).replace(u'\'', QStringLiteral("''")) + u'\'' : v);
        }
        parts << part;
    }
    return parts.join(QStringLiteral(" AND "));
}

void DataGrid::clearFilter() { setFilterConditions({}); }

FilterBuilderDialog *DataGrid::openFilterBuilder()
{
    std::vector<std::pair<int, QString>> cols;
    for (int f : visibleColumns())
        cols.push_back({f, caption(f)});
    auto *dlg = new FilterBuilderDialog(cols, this);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->setWindowModality(Qt::WindowModal);
    dlg->setConditions(filterConditions());
    if (dlg->rowCount() == 0)
        dlg->addRow();
    connect(dlg, &QDialog::accepted, this, [this, dlg] { ui::guard([&] { setFilterConditions(dlg->conditions()); }); });
    dlg->show();
    return dlg;
}

QMenu *DataGrid::valuesMenu(int column, QWidget *parent)
{
    auto *m = new QMenu(parent ? parent : this);
    m->setObjectName(QStringLiteral("valuesMenu"));
    if (column < 0 || column >= d->fieldCount())
        return m;
    auto setCond = [this, column](std::optional<FilterCondition> c) {
        auto conds = filterConditions();
        conds.erase(std::remove_if(conds.begin(), conds.end(), [&](const FilterCondition &x) { return x.column == column; }),
                    conds.end());
        if (c)
            conds.push_back(*c);
        setFilterConditions(std::move(conds));
    };
    connect(m->addAction(QStringLiteral("(All)")), &QAction::triggered, this, [setCond] { ui::guard([&] { setCond(std::nullopt); }); });
    connect(m->addAction(QStringLiteral("(Blanks)")), &QAction::triggered, this,
            [setCond, column] { ui::guard([&] { setCond(FilterCondition{column, FilterOp::IsNull, {}, false}); }); });
    connect(m->addAction(QStringLiteral("(Non blanks)")), &QAction::triggered, this,
            [setCond, column] { ui::guard([&] { setCond(FilterCondition{column, FilterOp::IsNotNull, {}, false}); }); });
    m->addSeparator();
    // A menu of a million entries helps nobody: the first thousand values, in order.
    constexpr int kMax = 1000;
    const auto rows = d->model->engine().distinctRows(column, kMax + 1);
    for (size_t i = 0; i < rows.size() && i < size_t(kMax); ++i) {
        const QString text = formatCell(d->query->table().column(column), size_t(rows[i]), displayFormat(column));
        QAction *a = m->addAction(text);
        connect(a, &QAction::triggered, this,
                [setCond, column, text] { ui::guard([&] { setCond(FilterCondition{column, FilterOp::Equal, text, false}); }); });
    }
    if (rows.size() > size_t(kMax))
        m->addAction(QStringLiteral("…"))->setEnabled(false);
    return m;
}

void DataGrid::sortByColumn(int column, Qt::SortOrder order)
{
    d->model->engine().setSort(column, order);
    d->header->setSortIndicator(column >= 0 ? GridModel::columnOf(column) : -1, order);
    d->rebuild();
}

void DataGrid::clearSort() { sortByColumn(-1, Qt::AscendingOrder); }
int DataGrid::sortColumn() const { return d->model->engine().sortColumn(); }
Qt::SortOrder DataGrid::sortOrder() const { return d->model->engine().sortOrder(); }

void DataGrid::groupByColumn(int column)
{
    auto g = d->model->engine().groupColumns();
    if (column < 0 || column >= d->fieldCount() || std::find(g.begin(), g.end(), column) != g.end())
        return;
    g.push_back(column);
    d->model->engine().setGroupColumns(g);
    d->rebuild();
    d->updateGroupBox();
}

void DataGrid::ungroupColumn(int column)
{
    auto g = d->model->engine().groupColumns();
    g.erase(std::remove(g.begin(), g.end(), column), g.end());
    d->model->engine().setGroupColumns(g);
    d->rebuild();
    d->updateGroupBox();
}

void DataGrid::clearGrouping()
{
    d->model->engine().setGroupColumns({});
    d->rebuild();
    d->updateGroupBox();
}

std::vector<int> DataGrid::groupColumns() const { return d->model->engine().groupColumns(); }

QString DataGrid::footerText(int column) const
{
    if (!d->footerFields.count(column))
        return {};
    auto it = d->footerCache.find(column);
    if (it == d->footerCache.end())
        it = d->footerCache.insert(column, d->model->engine().sumText(column));
    return *it;
}

std::optional<double> DataGrid::footerValue(int column) const
{
    if (!d->footerFields.count(column))
        return std::nullopt;
    return d->model->engine().sum(column);
}

QString DataGrid::infoText() const
{
    const int n = visibleRowCount();
    const QModelIndex cur = d->view->currentIndex();
    int pos = -1;
    if (const int g = d->model->groupId(cur); g >= 0)
        pos = d->model->engine().groups()[size_t(g)].first;
    else if (const int row = d->model->logicalRow(cur); row >= 0)
        pos = visibleIndexOf(row);
    return QStringLiteral("%1 of %2").arg(pos + 1).arg(n);
}

std::unique_ptr<xlsx::ExportSource> DataGrid::exportSource() const { return std::make_unique<GridExportSource>(*this); }

void DataGrid::postPendingEdit()
{
    d->commitEditor();
    if (d->query && d->query->isEditing())
        d->query->post();
}

void DataGrid::cancelEdit()
{
    if (QWidget *e = d->delegate->openEditor())
        d->view->closeEditorWith(e, QAbstractItemDelegate::RevertModelCache);
    if (d->query && d->query->isEditing())
        d->query->cancel();
}

void DataGrid::insertRow()
{
    if (!d->query || !d->query->isActive() || !d->anyEditable())
        return;
    postPendingEdit();
    const int row = focusedRow();
    d->query->insert(row >= 0 ? row : 0);
    const int first = visibleColumns().empty() ? -1 : visibleColumns().front();
    if (first >= 0)
        setFocusedRow(d->query->currentRow(), first);
}

void DataGrid::deleteFocusedRow()
{
    const int row = focusedRow();
    if (!d->query || row < 0 || !d->anyEditable())
        return;
    if (!ui::confirm(QStringLiteral("Delete record?")))
        return;
    if (QWidget *e = d->delegate->openEditor())
        d->view->closeEditorWith(e, QAbstractItemDelegate::RevertModelCache);
    if (d->query->currentRow() != row)
        d->query->setCurrentRow(row);
    d->query->deleteCurrent();
}

void DataGrid::copySelection()
{
    std::vector<int> rows;
    for (const QModelIndex &i : d->view->selectionModel()->selectedRows())
        if (const int r = d->model->logicalRow(i); r >= 0)
            rows.push_back(r);
    if (rows.empty() && focusedRow() >= 0)
        rows.push_back(focusedRow());
    std::sort(rows.begin(), rows.end(), [this](int a, int b) { return visibleIndexOf(a) < visibleIndexOf(b); });
    const auto cols = visibleColumns();
    QStringList lines;
    for (int r : rows) {
        QStringList cells;
        for (int c : cols)
            cells << displayText(r, c);
        lines << cells.join(u'\t');
    }
    QGuiApplication::clipboard()->setText(lines.join(u'\n'));
}

void DataGrid::refresh()
{
    if (!d->query)
        return;
    postPendingEdit();
    d->query->refresh();
}

void DataGrid::saveBookmark()
{
    d->bookmark = focusedRow();
    d->updateNavigator();
}

void DataGrid::gotoBookmark()
{
    if (d->bookmark >= 0 && visibleIndexOf(d->bookmark) >= 0)
        setFocusedRow(d->bookmark);
}

void DataGrid::moveBy(int rows)
{
    const int n = visibleRowCount();
    if (n == 0)
        return;
    const int pos = std::max(0, visibleIndexOf(focusedRow()));
    setFocusedRow(logicalRowAt(std::clamp(pos + rows, 0, n - 1)));
}

void DataGrid::moveToFirst() { moveBy(-visibleRowCount()); }
void DataGrid::moveToLast() { moveBy(visibleRowCount()); }

void DataGrid::moveCell(bool forward)
{
    const auto cols = visibleColumns();
    const int row = focusedRow();
    if (cols.empty() || row < 0)
        return;
    auto it = std::find(cols.begin(), cols.end(), focusedColumn());
    int c = it == cols.end() ? (forward ? -1 : int(cols.size())) : int(it - cols.begin());
    c += forward ? 1 : -1;
    int target = row;
    if (c >= int(cols.size()) || c < 0) {
        // Past the end of the row: on to the next row's first cell (or back to the previous row's last).
        const int pos = visibleIndexOf(row) + (forward ? 1 : -1);
        if (pos < 0 || pos >= visibleRowCount())
            return;
        target = logicalRowAt(pos);
        c = forward ? 0 : int(cols.size()) - 1;
    }
    setFocusedRow(target, cols[size_t(c)]);
}

} // namespace grid
