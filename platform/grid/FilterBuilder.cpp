#include "FilterBuilder.h"
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace grid {

std::vector<FilterOp> FilterBuilderDialog::operators()
{
    return {FilterOp::Equal, FilterOp::NotEqual, FilterOp::Less, FilterOp::LessOrEqual, FilterOp::Greater,
            FilterOp::GreaterOrEqual, FilterOp::Like, FilterOp::NotLike, FilterOp::IsNull, FilterOp::IsNotNull};
}

FilterBuilderDialog::FilterBuilderDialog(const std::vector<std::pair<int, QString>> &columns, QWidget *parent)
    : QDialog(parent), m_columns(columns)
{
    setObjectName(QStringLiteral("filterBuilder"));
    setWindowTitle(QStringLiteral("Filter builder"));
    auto *lay = new QVBoxLayout(this);
    m_rowsLayout = new QVBoxLayout;
    lay->addLayout(m_rowsLayout);
    auto *add = new QPushButton(QStringLiteral("Add condition"), this);
    add->setObjectName(QStringLiteral("addCondition"));
    connect(add, &QPushButton::clicked, this, [this] { addRow(); });
    lay->addWidget(add, 0, Qt::AlignLeft);
    lay->addStretch(1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    lay->addWidget(buttons);
    resize(520, 240);
}

int FilterBuilderDialog::addRow(const FilterCondition &c)
{
    Row r;
    r.box = new QWidget(this);
    auto *h = new QHBoxLayout(r.box);
    h->setContentsMargins(0, 0, 0, 0);
    r.column = new QComboBox(r.box);
    for (const auto &[field, caption] : m_columns)
        r.column->addItem(caption, field);
    if (c.column >= 0)
        r.column->setCurrentIndex(std::max(0, r.column->findData(c.column)));
    r.op = new QComboBox(r.box);
    for (FilterOp op : operators())
        r.op->addItem(filterOpText(op), int(op));
    r.op->setCurrentIndex(std::max(0, r.op->findData(int(c.column >= 0 ? c.op : FilterOp::Equal))));
    r.value = new QLineEdit(r.box);
    QString value = c.value;
    if (c.fromFilterRow && c.op == FilterOp::Like && !value.endsWith(u'%'))
        value += u'%'; // shown as the pattern that applies
    r.value->setText(value);
    r.fromFilterRow = false;
    auto *remove = new QToolButton(r.box);
    remove->setText(QStringLiteral("\u2715"));
    remove->setObjectName(QStringLiteral("removeCondition"));
    QWidget *box = r.box;
    connect(remove, &QToolButton::clicked, this, [this, box] {
        for (size_t i = 0; i < m_rows.size(); ++i)
            if (m_rows[i].box == box) {
                removeRow(int(i));
                return;
            }
    });
    h->addWidget(r.column, 2);
    h->addWidget(r.op, 1);
    h->addWidget(r.value, 2);
    h->addWidget(remove);
    m_rowsLayout->addWidget(r.box);
    m_rows.push_back(r);
    return int(m_rows.size()) - 1;
}

void FilterBuilderDialog::removeRow(int i)
{
    if (i < 0 || size_t(i) >= m_rows.size())
        return;
    delete m_rows[size_t(i)].box;
    m_rows.erase(m_rows.begin() + i);
}

void FilterBuilderDialog::setConditions(const std::vector<FilterCondition> &conditions)
{
    while (!m_rows.empty())
        removeRow(0);
    for (const FilterCondition &c : conditions)
        addRow(c);
}

std::vector<FilterCondition> FilterBuilderDialog::conditions() const
{
    std::vector<FilterCondition> out;
    for (const Row &r : m_rows) {
        FilterCondition c;
        c.column = r.column->currentData().toInt();
        c.op = FilterOp(r.op->currentData().toInt());
        c.value = r.value->text();
        if (c.op != FilterOp::IsNull && c.op != FilterOp::IsNotNull && c.value.isEmpty())
            continue; // an unfinished row
        out.push_back(c);
    }
    return out;
}

} // namespace grid
