#include "GridParts.h"
#include "DataGrid_p.h"
#include "GridFormat.h"
#include "platform/Error.h"
#include "platform/pg/Query.h"
#include "platform/ui/Ui.h"
#include <QApplication>
#include <QDateEdit>
#include <QDateTimeEdit>
#include <QDrag>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QToolButton>

namespace grid {

// ---- view --------------------------------------------------------------

GridView::GridView(DataGridPrivate *dd, QWidget *parent) : QTreeView(parent), d(dd) {}

QString GridView::emptyText() const { return QStringLiteral("<No data to display>"); }

void GridView::keyPressEvent(QKeyEvent *e)
{
    bool handled = false;
    d->keyPress(e, &handled);
    if (!handled)
        QTreeView::keyPressEvent(e);
}

void GridView::paintEvent(QPaintEvent *e)
{
    QTreeView::paintEvent(e);
    if (model() && model()->rowCount() == 0) {
        QPainter p(viewport());
        p.setPen(d->style.rowText);
        p.setFont(d->style.contentFont);
        p.drawText(viewport()->rect().adjusted(0, 8, 0, 0), Qt::AlignHCenter | Qt::AlignTop, emptyText());
    }
}

void GridView::drawBranches(QPainter *p, const QRect &rect, const QModelIndex &index) const
{
    p->fillRect(rect, d->style.groupRow);
    if (!model()->hasChildren(index))
        return;
    // A plain +/- box; the platform styles draw nothing visible on our colours.
    const int s = 9;
    const QRect box(rect.right() - s - 3, rect.center().y() - s / 2, s, s);
    p->setPen(Qt::black);
    p->setBrush(Qt::white);
    p->drawRect(box);
    p->drawLine(box.left() + 2, box.center().y(), box.right() - 2, box.center().y());
    if (!isExpanded(index))
        p->drawLine(box.center().x(), box.top() + 2, box.center().x(), box.bottom() - 2);
}

// ---- selection model ---------------------------------------------------

GridSelectionModel::GridSelectionModel(DataGridPrivate *dd, QAbstractItemModel *model, QObject *parent)
    : QItemSelectionModel(model, parent), d(dd)
{
}

void GridSelectionModel::setCurrentIndex(const QModelIndex &index, QItemSelectionModel::SelectionFlags command)
{
    if (!d->allowCurrentChange(index))
        return;
    QItemSelectionModel::setCurrentIndex(index, command);
}

// ---- delegate ----------------------------------------------------------

GridDelegate::GridDelegate(DataGridPrivate *dd, QObject *parent) : QStyledItemDelegate(parent), d(dd) {}

void GridDelegate::paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const GridStyle &s = d->style;
    const bool group = index.data(GridModel::GroupRole).isValid();
    const bool selected = option.state & QStyle::State_Selected;
    const bool active = option.state & QStyle::State_Active;
    QColor bg, fg = s.rowText;
    QFont font = s.contentFont;
    if (group) {
        bg = s.groupRow;
        font.setBold(true);
    } else if (index.column() == 0) {
        bg = s.indicator;
    } else if (selected) {
        bg = active ? s.selection : s.inactiveSelection;
        fg = active ? s.selectionText : s.rowText;
    } else {
        bg = (option.features & QStyleOptionViewItem::Alternate) ? s.oddRow : s.evenRow;
    }
    p->save();
    p->fillRect(option.rect, bg);
    const QVariant check = index.data(Qt::CheckStateRole);
    if (check.isValid()) {
        QStyleOptionButton cb;
        cb.rect = QRect(option.rect.center().x() - 6, option.rect.center().y() - 6, 13, 13);
        const int st = check.toInt();
        cb.state = QStyle::State_Enabled | (st == Qt::Checked ? QStyle::State_On : st == Qt::Unchecked ? QStyle::State_Off : QStyle::State_NoChange);
        const QWidget *w = option.widget;
        (w ? w->style() : QApplication::style())->drawPrimitive(QStyle::PE_IndicatorCheckBox, &cb, p, w);
    } else {
        const QString text = index.data(Qt::DisplayRole).toString();
        p->setPen(fg);
        p->setFont(font);
        const QRect r = option.rect.adjusted(3, 0, -3, 0);
        const int align = index.data(Qt::TextAlignmentRole).isValid() ? index.data(Qt::TextAlignmentRole).toInt()
                                                                      : int(Qt::AlignLeft | Qt::AlignVCenter);
        p->drawText(r, align, QFontMetrics(font).elidedText(text, Qt::ElideRight, r.width()));
    }
    if (!group) {
        p->setPen(QColor(0xC0, 0xC0, 0xC0));
        p->drawLine(option.rect.topRight(), option.rect.bottomRight());
        p->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    }
    if ((option.state & QStyle::State_HasFocus) && index.column() > 0 && !group) {
        p->setPen(QPen(fg, 1, Qt::DotLine));
        p->setBrush(Qt::NoBrush);
        p->drawRect(option.rect.adjusted(1, 1, -2, -2));
    }
    p->restore();
}

QSize GridDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const int w = index.column() == 0 ? 14 : 64;
    return QSize(w, QFontMetrics(d->style.contentFont).height() + 5);
}

namespace {
QIcon ellipsisIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(Qt::black);
    p.setBrush(Qt::black);
    for (int i = 0; i < 3; ++i)
        p.drawRect(3 + i * 4, 11, 1, 1);
    return QIcon(pm);
}
const QDate kNullDate(100, 1, 1);
} // namespace

QWidget *GridDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const int field = GridModel::fieldOf(index.column());
    if (field < 0 || !d->editable(field) || index.data(GridModel::GroupRole).isValid())
        return nullptr;
    const pg::FieldDef &def = d->table()->field(field);
    const QString fmt = d->q->displayFormat(field);
    QWidget *editor = nullptr;
    switch (def.type) {
    case pg::FieldType::Boolean: return nullptr; // toggled in place
    case pg::FieldType::Date: {
        auto *e = new QDateEdit(parent);
        e->setCalendarPopup(true);
        e->setMinimumDate(kNullDate);
        e->setSpecialValueText(QStringLiteral(" "));
        QString f = fmt.isEmpty() ? QLocale().dateFormat(QLocale::ShortFormat) : fmt;
        if (!f.contains(QLatin1String("yyyy")))
            f.replace(QLatin1String("yy"), QLatin1String("yyyy"));
        e->setDisplayFormat(f);
        editor = e;
        break;
    }
    case pg::FieldType::Timestamp: {
        auto *e = new QDateTimeEdit(parent);
        e->setCalendarPopup(true);
        e->setMinimumDate(kNullDate);
        e->setSpecialValueText(QStringLiteral(" "));
        if (!fmt.isEmpty())
            e->setDisplayFormat(fmt);
        editor = e;
        break;
    }
    case pg::FieldType::Text: {
        auto *e = new QPlainTextEdit(parent);
        e->setTabChangesFocus(true);
        editor = e;
        break;
    }
    default: {
        auto *e = new QLineEdit(parent);
        e->setFrame(false);
        if (def.type == pg::FieldType::String && def.size > 0)
            e->setMaxLength(def.size);
        auto b = d->buttons.find(field);
        if (b != d->buttons.end()) {
            QAction *a = e->addAction(ellipsisIcon(), QLineEdit::TrailingPosition);
            a->setObjectName(QStringLiteral("ellipsisButton"));
            a->setToolTip(QStringLiteral("…"));
            auto handler = b->second;
            QPointer<QLineEdit> guardEditor(e);
            QPersistentModelIndex pidx(index);
            connect(a, &QAction::triggered, e, [this, handler, guardEditor, pidx] {
                ui::guard([&] {
                    handler();
                    if (guardEditor && pidx.isValid())
                        setEditorData(guardEditor, pidx);
                });
            });
        }
        editor = e;
        break;
    }
    }
    editor->setObjectName(QStringLiteral("gridEditor"));
    editor->setAutoFillBackground(true);
    editor->setFont(d->style.contentFont);
    m_editor = editor;
    m_editorIndex = index;
    return editor;
}

void GridDelegate::destroyEditor(QWidget *editor, const QModelIndex &index) const
{
    if (m_editor == editor) {
        m_editor = nullptr;
        m_editorIndex = QPersistentModelIndex();
    }
    QStyledItemDelegate::destroyEditor(editor, index);
}

void GridDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    const QVariant v = index.data(Qt::EditRole);
    const int field = GridModel::fieldOf(index.column());
    if (auto *e = qobject_cast<QDateTimeEdit *>(editor)) {
        if (qobject_cast<QDateEdit *>(editor))
            e->setDate(v.isNull() ? kNullDate : v.toDate());
        else
            e->setDateTime(v.isNull() ? QDateTime(kNullDate, QTime(0, 0)) : v.toDateTime());
    } else if (auto *e = qobject_cast<QPlainTextEdit *>(editor)) {
        e->setPlainText(v.toString());
    } else if (auto *e = qobject_cast<QLineEdit *>(editor)) {
        const auto t = d->fieldType(field);
        if (v.isNull())
            e->clear();
        else if (t == pg::FieldType::Number)
            e->setText(numberText(v.toDouble()));
        else if (t == pg::FieldType::Integer)
            e->setText(QLocale().toString(v.toLongLong()).remove(QLocale().groupSeparator()));
        else
            e->setText(v.toString());
    }
}

std::optional<QVariant> GridDelegate::editorValue(QWidget *editor, const QModelIndex &index, QString *error) const
{
    const int field = GridModel::fieldOf(index.column());
    if (auto *e = qobject_cast<QDateEdit *>(editor))
        return e->date() == kNullDate ? QVariant() : QVariant(e->date());
    if (auto *e = qobject_cast<QDateTimeEdit *>(editor))
        return e->date() == kNullDate ? QVariant() : QVariant(e->dateTime());
    if (auto *e = qobject_cast<QPlainTextEdit *>(editor)) {
        const QString t = e->toPlainText();
        return t.isEmpty() ? QVariant() : QVariant(t);
    }
    if (auto *e = qobject_cast<QLineEdit *>(editor)) {
        const QString t = e->text();
        if (t.trimmed().isEmpty())
            return QVariant();
        const auto type = d->fieldType(field);
        if (type == pg::FieldType::Number || type == pg::FieldType::Integer) {
            const auto v = GridEngine::parseNumber(t);
            if (!v || (type == pg::FieldType::Integer && (*v != std::floor(*v) || std::abs(*v) > 2147483647.0))) {
                *error = type == pg::FieldType::Number ? QStringLiteral("'%1' is not a valid floating point value").arg(t)
                                                       : QStringLiteral("'%1' is not a valid integer value").arg(t);
                return std::nullopt;
            }
            return type == pg::FieldType::Integer ? QVariant(qlonglong(*v)) : QVariant(*v);
        }
        return QVariant(t);
    }
    return QVariant();
}

void GridDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    QString error;
    const auto v = editorValue(editor, index, &error);
    if (!v) {
        ui::showError(error);
        return;
    }
    const QVariant old = index.data(Qt::EditRole);
    if (old.isNull() == v->isNull() && (old.isNull() || old == *v))
        return; // unchanged: the row does not go into editing
    ui::guard([&] { model->setData(index, *v, Qt::EditRole); });
}

void GridDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &) const
{
    QRect r = option.rect;
    if (qobject_cast<QPlainTextEdit *>(editor))
        r.setHeight(r.height() * 4); // room for several lines of a memo
    editor->setGeometry(r);
}

bool GridDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                               const QModelIndex &index)
{
    if (index.data(Qt::CheckStateRole).isValid() && (model->flags(index) & Qt::ItemIsEditable)) {
        if (event->type() == QEvent::MouseButtonRelease) {
            auto *me = static_cast<QMouseEvent *>(event);
            if (me->button() == Qt::LeftButton && option.rect.contains(me->position().toPoint())) {
                d->toggleBoolean(index);
                return true;
            }
        } else if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space) {
            d->toggleBoolean(index);
            return true;
        }
        if (event->type() == QEvent::MouseButtonDblClick)
            return true;
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

bool GridDelegate::eventFilter(QObject *obj, QEvent *event)
{
    auto *editor = qobject_cast<QWidget *>(obj);
    if (!editor)
        return QStyledItemDelegate::eventFilter(obj, event);
    if (event->type() == QEvent::KeyPress) {
        auto *ke = static_cast<QKeyEvent *>(event);
        switch (ke->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (auto *memo = qobject_cast<QPlainTextEdit *>(editor); memo && (ke->modifiers() & Qt::ControlModifier)) {
                memo->insertPlainText(QStringLiteral("\n"));
                return true;
            }
            d->finishEditing(editor, !(ke->modifiers() & Qt::ShiftModifier));
            return true;
        case Qt::Key_Tab:
            d->finishEditing(editor, true);
            return true;
        case Qt::Key_Backtab:
            d->finishEditing(editor, false);
            return true;
        case Qt::Key_Escape:
            d->escape();
            return true;
        default: break;
        }
    } else if (event->type() == QEvent::FocusOut && editor == m_editor) {
        QString error;
        if (!editorValue(editor, m_editorIndex, &error))
            return true; // keep the editor and its text; the error shows when the row is left or posted
    }
    return QStyledItemDelegate::eventFilter(obj, event);
}

// ---- filter row --------------------------------------------------------

TriStateFilter::TriStateFilter(QWidget *parent) : QCheckBox(parent)
{
    setTristate(true);
    setCheckState(Qt::PartiallyChecked);
}

void TriStateFilter::nextCheckState()
{
    switch (checkState()) {
    case Qt::PartiallyChecked: setCheckState(Qt::Checked); break;
    case Qt::Checked: setCheckState(Qt::Unchecked); break;
    case Qt::Unchecked: setCheckState(Qt::PartiallyChecked); break;
    }
}

FilterHeader::FilterHeader(QWidget *parent)
    : QHeaderView(Qt::Horizontal, parent), m_placeholder(new QLabel(QStringLiteral("Click here to define a filter"), this))
{
    m_placeholder->setObjectName(QStringLiteral("filterRowPlaceholder"));
    m_placeholder->setAutoFillBackground(true);
    m_placeholder->setCursor(Qt::IBeamCursor);
    m_placeholder->installEventFilter(this);
    setSectionsClickable(true);
    setSectionsMovable(true);
    setFirstSectionMovable(false);
    setHighlightSections(false);
    setSortIndicatorShown(true);
    setSortIndicator(-1, Qt::AscendingOrder);
    connect(this, &QHeaderView::sectionResized, this, &FilterHeader::relayout);
    connect(this, &QHeaderView::sectionMoved, this, &FilterHeader::relayout);
}

int FilterHeader::baseHeight() const { return QHeaderView::sizeHint().height(); }

int FilterHeader::filterRowHeight() const { return fontMetrics().height() + 8; }

QSize FilterHeader::sizeHint() const
{
    QSize s = QHeaderView::sizeHint();
    s.setHeight(s.height() + filterRowHeight());
    return s;
}

void FilterHeader::setFilterCells(const std::vector<pg::FieldType> &types)
{
    for (QWidget *w : m_cells)
        delete w;
    m_cells.clear();
    for (size_t f = 0; f < types.size(); ++f) {
        const int field = int(f);
        QWidget *cell;
        if (types[f] == pg::FieldType::Boolean) {
            auto *cb = new TriStateFilter(this);
            connect(cb, &QCheckBox::stateChanged, this, [this, field](int st) {
                Q_EMIT filterEdited(field, st == Qt::Checked ? QStringLiteral("true")
                                               : st == Qt::Unchecked ? QStringLiteral("false") : QString());
                updatePlaceholder();
            });
            cell = cb;
        } else {
            auto *le = new QLineEdit(this);
            le->setFrame(false);
            connect(le, &QLineEdit::textChanged, this, [this, field](const QString &t) {
                Q_EMIT filterEdited(field, t);
                updatePlaceholder();
            });
            cell = le;
        }
        cell->setObjectName(QStringLiteral("filterCell_%1").arg(field));
        // Reached by a click, not by Tab: the keyboard's way through a screen
        // goes to the rows, and the placeholder stays visible meanwhile.
        cell->setFocusPolicy(Qt::ClickFocus);
        cell->setAutoFillBackground(true);
        cell->installEventFilter(this);
        m_cells.push_back(cell);
    }
    relayout();
    updatePlaceholder();
}

QWidget *FilterHeader::filterCell(int field) const
{
    return field >= 0 && size_t(field) < m_cells.size() ? m_cells[size_t(field)] : nullptr;
}

void FilterHeader::setCellText(int field, const QString &text)
{
    QWidget *w = filterCell(field);
    if (!w)
        return;
    const QSignalBlocker block(w);
    if (auto *le = qobject_cast<QLineEdit *>(w)) {
        if (le->text() != text)
            le->setText(text);
    } else if (auto *cb = qobject_cast<QCheckBox *>(w)) {
        const auto b = parseBoolean(text);
        cb->setCheckState(!b ? Qt::PartiallyChecked : *b ? Qt::Checked : Qt::Unchecked);
    }
    updatePlaceholder();
}

QString FilterHeader::cellText(int field) const
{
    QWidget *w = filterCell(field);
    if (auto *le = qobject_cast<QLineEdit *>(w))
        return le->text();
    if (auto *cb = qobject_cast<QCheckBox *>(w))
        return cb->checkState() == Qt::Checked ? QStringLiteral("true")
             : cb->checkState() == Qt::Unchecked ? QStringLiteral("false") : QString();
    return {};
}

void FilterHeader::updatePlaceholder()
{
    bool empty = true, focused = false;
    for (size_t f = 0; f < m_cells.size(); ++f) {
        empty = empty && cellText(int(f)).isEmpty();
        focused = focused || m_cells[f]->hasFocus();
    }
    m_placeholder->setVisible(empty && !focused && !m_cells.empty());
    if (m_placeholder->isVisible())
        m_placeholder->raise();
}

void FilterHeader::relayout()
{
    const int y = height() - filterRowHeight();
    const int h = filterRowHeight();
    int firstX = -1;
    for (size_t f = 0; f < m_cells.size(); ++f) {
        const int section = int(f) + 1;
        QWidget *w = m_cells[f];
        if (section >= count() || isSectionHidden(section)) {
            w->hide();
            continue;
        }
        const int x = sectionViewportPosition(section);
        w->setGeometry(x + 1, y + 1, sectionSize(section) - 2, h - 2);
        w->show();
        if (firstX < 0 || x < firstX)
            firstX = x;
    }
    if (firstX < 0)
        firstX = 0;
    m_placeholder->setGeometry(firstX + 1, y + 1, std::max(0, viewport()->width() - firstX - 2), h - 2);
    updatePlaceholder();
}

void FilterHeader::updateGeometries()
{
    QHeaderView::updateGeometries();
    relayout();
}

QRect FilterHeader::dropDownRect(int section) const
{
    const int x = sectionViewportPosition(section);
    const int w = sectionSize(section);
    const int h = baseHeight();
    return QRect(x + w - 16, (h - 12) / 2, 12, 12);
}

void FilterHeader::paintSection(QPainter *p, const QRect &rect, int logicalIndex) const
{
    const QRect top(rect.left(), rect.top(), rect.width(), baseHeight());
    p->save();
    QHeaderView::paintSection(p, top, logicalIndex);
    p->restore();
    if (logicalIndex > 0 && rect.width() > 24) {
        // The values drop-down.
        const QRect r = dropDownRect(logicalIndex).translated(0, rect.top());
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        p->setPen(Qt::NoPen);
        p->setBrush(palette().color(QPalette::ButtonText));
        const QPointF c = r.center();
        p->drawPolygon(QPolygonF({QPointF(c.x() - 3.5, c.y() - 1.5), QPointF(c.x() + 3.5, c.y() - 1.5), QPointF(c.x(), c.y() + 2.5)}));
        p->restore();
    }
}

void FilterHeader::mousePressEvent(QMouseEvent *e)
{
    const QPoint pos = e->position().toPoint();
    const int section = logicalIndexAt(pos);
    if (e->button() == Qt::LeftButton && section > 0 && pos.y() < baseHeight() && dropDownRect(section).contains(pos)) {
        Q_EMIT valuesMenuRequested(section, mapToGlobal(dropDownRect(section).bottomLeft()));
        return;
    }
    m_pressSection = e->button() == Qt::LeftButton ? section : -1;
    m_pressPos = pos;
    QHeaderView::mousePressEvent(e);
}

void FilterHeader::mouseMoveEvent(QMouseEvent *e)
{
    const QPoint pos = e->position().toPoint();
    if ((e->buttons() & Qt::LeftButton) && m_pressSection > 0 && pos.y() < -QApplication::startDragDistance()) {
        // Dragged up out of the header: towards the group-by box. End the
        // header's own section move first, without it counting as a click.
        const int section = m_pressSection;
        m_pressSection = -1;
        m_suppressClick = true;
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(m_pressPos), QPointF(mapToGlobal(m_pressPos)),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QHeaderView::mouseReleaseEvent(&release);
        m_suppressClick = false;
        auto *drag = new QDrag(this);
        auto *mime = new QMimeData;
        mime->setData(QString::fromLatin1(kColumnMime), QByteArray::number(section - 1));
        drag->setMimeData(mime);
        const QRect r(sectionViewportPosition(section), 0, sectionSize(section), baseHeight());
        drag->setPixmap(viewport()->grab(r));
        drag->exec(Qt::MoveAction);
        return;
    }
    QHeaderView::mouseMoveEvent(e);
}

void FilterHeader::mouseReleaseEvent(QMouseEvent *e)
{
    m_pressSection = -1;
    QHeaderView::mouseReleaseEvent(e);
}

void FilterHeader::contextMenuEvent(QContextMenuEvent *e)
{
    const int section = logicalIndexAt(e->pos());
    if (section > 0 && e->pos().y() < baseHeight())
        Q_EMIT headerMenuRequested(section, e->globalPos());
}

void FilterHeader::showEvent(QShowEvent *e)
{
    QHeaderView::showEvent(e);
    // The first showing is the first time the cells' and the placeholder's
    // final places are known.
    relayout();
}

bool FilterHeader::eventFilter(QObject *obj, QEvent *e)
{
    if (obj == m_placeholder && e->type() == QEvent::MouseButtonPress) {
        const int x = static_cast<QMouseEvent *>(e)->position().toPoint().x() + m_placeholder->x();
        int section = logicalIndexAt(x);
        if (section <= 0 || size_t(section - 1) >= m_cells.size())
            section = 1;
        m_placeholder->hide();
        if (QWidget *w = filterCell(section - 1))
            w->setFocus(Qt::MouseFocusReason);
        return true;
    }
    if (e->type() == QEvent::FocusIn || e->type() == QEvent::FocusOut)
        updatePlaceholder();
    return QHeaderView::eventFilter(obj, e);
}

// ---- group-by box ------------------------------------------------------

GroupByBox::GroupByBox(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("groupByBox"));
    setAcceptDrops(true);
    setAutoFillBackground(true);
    m_layout = new QHBoxLayout(this);
    m_layout->setContentsMargins(6, 4, 6, 4);
    m_hint = new QLabel(QStringLiteral("Drag a column header here to group by that column"), this);
    m_hint->setObjectName(QStringLiteral("groupByHint"));
    m_layout->addWidget(m_hint);
    m_layout->addStretch(1);
}

void GroupByBox::setBoxStyle(const GridStyle &s)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, s.groupByBox);
    pal.setColor(QPalette::WindowText, s.groupByBoxText);
    setPalette(pal);
}

void GroupByBox::setGroups(const std::vector<std::pair<int, QString>> &groups)
{
    for (QWidget *w : m_chips)
        delete w;
    m_chips.clear();
    m_hint->setVisible(groups.empty());
    int pos = 0;
    for (const auto &[field, caption] : groups) {
        auto *chip = new QToolButton(this);
        chip->setObjectName(QStringLiteral("groupChip_%1").arg(field));
        chip->setText(caption + QStringLiteral("  \u2715"));
        chip->setToolTip(QStringLiteral("Remove grouping"));
        chip->setAutoRaise(false);
        const int f = field;
        connect(chip, &QToolButton::clicked, this, [this, f] { Q_EMIT removeRequested(f); });
        m_layout->insertWidget(pos++, chip);
        m_chips.push_back(chip);
    }
}

void GroupByBox::dragEnterEvent(QDragEnterEvent *e)
{
    if (e->mimeData()->hasFormat(QString::fromLatin1(kColumnMime)))
        e->acceptProposedAction();
}

void GroupByBox::dragMoveEvent(QDragMoveEvent *e)
{
    if (e->mimeData()->hasFormat(QString::fromLatin1(kColumnMime)))
        e->acceptProposedAction();
}

void GroupByBox::dropEvent(QDropEvent *e)
{
    bool ok = false;
    const int field = e->mimeData()->data(QString::fromLatin1(kColumnMime)).toInt(&ok);
    if (!ok)
        return;
    e->acceptProposedAction();
    Q_EMIT columnDropped(field);
}

// ---- footer ------------------------------------------------------------

FooterStrip::FooterStrip(DataGridPrivate *dd, QWidget *parent) : QWidget(parent), d(dd)
{
    setObjectName(QStringLiteral("gridFooter"));
}

QSize FooterStrip::sizeHint() const { return QSize(100, QFontMetrics(d->style.footerFont).height() + 8); }

void FooterStrip::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), d->style.footer);
    p.setFont(d->style.footerFont);
    p.setPen(d->style.footerText);
    QHeaderView *h = d->header;
    const int dx = h->viewport()->mapTo(window(), QPoint(0, 0)).x() - mapTo(window(), QPoint(0, 0)).x();
    for (int field : d->footerFields) {
        const int section = GridModel::columnOf(field);
        if (section >= h->count() || h->isSectionHidden(section))
            continue;
        const QRect r(dx + h->sectionViewportPosition(section), 0, h->sectionSize(section), height());
        p.drawText(r.adjusted(3, 0, -4, 0), Qt::AlignRight | Qt::AlignVCenter, d->q->footerText(field));
        p.save();
        p.setPen(QColor(0xC0, 0xC0, 0xC0));
        p.drawRect(r.adjusted(1, 1, -2, -2));
        p.restore();
    }
}

} // namespace grid
