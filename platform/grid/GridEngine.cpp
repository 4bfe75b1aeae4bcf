#include "GridEngine.h"
#include "GridFormat.h"
#include "platform/pg/Table.h"
#include <QCollator>
#include <QLocale>
#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>
#include <string_view>
#include <unordered_map>

namespace grid {

QString filterOpText(FilterOp op)
{
    switch (op) {
    case FilterOp::Equal: return QStringLiteral("=");
    case FilterOp::NotEqual: return QStringLiteral("<>");
    case FilterOp::Less: return QStringLiteral("<");
    case FilterOp::LessOrEqual: return QStringLiteral("<=");
    case FilterOp::Greater: return QStringLiteral(">");
    case FilterOp::GreaterOrEqual: return QStringLiteral(">=");
    case FilterOp::Like: return QStringLiteral("LIKE");
    case FilterOp::NotLike: return QStringLiteral("NOT LIKE");
    case FilterOp::IsNull: return QStringLiteral("IS NULL");
    case FilterOp::IsNotNull: return QStringLiteral("IS NOT NULL");
    }
    return {};
}

// Distinct values of a text column: every row carries the id of its value, so
// a pattern is matched once per distinct value instead of once per row.
struct GridEngine::Dict {
    uint64_t generation = 0, revision = 0;
    size_t rows = 0;
    std::vector<uint32_t> code;     // per row; 0 = null
    std::vector<uint32_t> firstRow; // per id; [0] unused
    std::vector<QString> folded;    // per id
};

// An order-preserving unsigned key per row; 0 is null, the smallest value.
struct GridEngine::Keys {
    uint64_t generation = 0, revision = 0;
    size_t rows = 0;
    std::vector<uint64_t> key;
};

GridEngine::GridEngine() = default;
GridEngine::~GridEngine() = default;

void GridEngine::setTable(const pg::Table *table)
{
    m_table = table;
    invalidate();
}

void GridEngine::invalidate()
{
    ++m_generation;
    m_order.clear();
    m_orderSig.clear();
}

void GridEngine::setConditions(std::vector<FilterCondition> conditions) { m_conditions = std::move(conditions); }

void GridEngine::setSort(int column, Qt::SortOrder order)
{
    m_sortColumn = column;
    m_sortOrder = order;
}

QString GridEngine::format(int column) const
{
    return size_t(column) < m_formats.size() ? m_formats[size_t(column)] : QString();
}

void GridEngine::setGroupColumns(std::vector<int> columns) { m_groupColumns = std::move(columns); }

bool GridEngine::pinnedValid() const { return m_table && m_pinned >= 0 && size_t(m_pinned) < m_table->rowCount(); }

const GridEngine::Dict &GridEngine::dict(int column) const
{
    if (m_dicts.size() < size_t(m_table->columnCount()))
        m_dicts.resize(size_t(m_table->columnCount()));
    auto &slot = m_dicts[size_t(column)];
    const pg::Column &col = m_table->column(column);
    const size_t n = col.size();
    if (slot && slot->generation == m_generation && slot->revision == m_table->columnRevision(column) && slot->rows == n)
        return *slot;
    auto d = std::make_unique<Dict>();
    d->generation = m_generation;
    d->revision = m_table->columnRevision(column);
    d->rows = n;
    d->code.resize(n);
    d->firstRow.push_back(0);
    d->folded.emplace_back();
    std::unordered_map<std::string_view, uint32_t> ids;
    ids.reserve(std::min<size_t>(n, 1 << 16));
    for (size_t r = 0; r < n; ++r) {
        if (col.isNull(r)) {
            d->code[r] = 0;
            continue;
        }
        auto [it, added] = ids.try_emplace(col.text(r), uint32_t(d->firstRow.size()));
        if (added)
            d->firstRow.push_back(uint32_t(r));
        d->code[r] = it->second;
    }
    d->folded.reserve(d->firstRow.size());
    for (size_t id = 1; id < d->firstRow.size(); ++id) {
        const std::string_view s = col.text(d->firstRow[id]);
        d->folded.push_back(QString::fromUtf8(s.data(), qsizetype(s.size())).toCaseFolded());
    }
    slot = std::move(d);
    return *slot;
}

namespace {
uint64_t doubleKey(double v)
{
    if (v == 0)
        v = 0; // -0 sorts with 0
    const uint64_t b = std::bit_cast<uint64_t>(v);
    return (b & 0x8000000000000000ull) ? ~b : (b | 0x8000000000000000ull);
}
constexpr uint64_t kIntBias = 1ull << 40;
} // namespace

const GridEngine::Keys &GridEngine::keys(int column) const
{
    if (m_keys.size() < size_t(m_table->columnCount()))
        m_keys.resize(size_t(m_table->columnCount()));
    auto &slot = m_keys[size_t(column)];
    const pg::Column &col = m_table->column(column);
    const size_t n = col.size();
    if (slot && slot->generation == m_generation && slot->revision == m_table->columnRevision(column) && slot->rows == n)
        return *slot;
    auto k = std::make_unique<Keys>();
    k->generation = m_generation;
    k->revision = m_table->columnRevision(column);
    k->rows = n;
    k->key.resize(n);
    const auto &nul = col.nullMask();
    switch (col.type()) {
    case pg::FieldType::String:
    case pg::FieldType::Text: {
        const Dict &d = dict(column);
        // Rank the distinct values once, in the user's collation, ignoring case;
        // values equal under the collation are ordered by their bytes so the
        // order never depends on the data's arrival.
        const size_t ids = d.firstRow.size();
        QCollator coll;
        coll.setCaseSensitivity(Qt::CaseInsensitive);
        std::vector<QCollatorSortKey> sk;
        sk.reserve(ids);
        sk.push_back(coll.sortKey(QString()));
        for (size_t id = 1; id < ids; ++id) {
            const std::string_view s = col.text(d.firstRow[id]);
            sk.push_back(coll.sortKey(QString::fromUtf8(s.data(), qsizetype(s.size()))));
        }
        std::vector<uint32_t> byRank(ids > 0 ? ids - 1 : 0);
        std::iota(byRank.begin(), byRank.end(), 1u);
        std::sort(byRank.begin(), byRank.end(), [&](uint32_t a, uint32_t b) {
            const int c = sk[a].compare(sk[b]);
            if (c != 0)
                return c < 0;
            return col.text(d.firstRow[a]) < col.text(d.firstRow[b]);
        });
        std::vector<uint64_t> rank(ids, 0);
        for (size_t i = 0; i < byRank.size(); ++i)
            rank[byRank[i]] = i + 1;
        for (size_t r = 0; r < n; ++r)
            k->key[r] = rank[d.code[r]];
        break;
    }
    case pg::FieldType::Number: {
        const auto &num = col.numbers();
        for (size_t r = 0; r < n; ++r)
            k->key[r] = nul[r] ? 0 : doubleKey(num[r]);
        break;
    }
    case pg::FieldType::Integer:
    case pg::FieldType::Date:
        for (size_t r = 0; r < n; ++r)
            k->key[r] = nul[r] ? 0 : uint64_t(int64_t(col.integer(r)) + int64_t(kIntBias));
        break;
    case pg::FieldType::Boolean:
        for (size_t r = 0; r < n; ++r)
            k->key[r] = nul[r] ? 0 : (col.boolean(r) ? 2 : 1);
        break;
    case pg::FieldType::Timestamp:
        for (size_t r = 0; r < n; ++r)
            k->key[r] = nul[r] ? 0 : (uint64_t(col.msecs(r)) ^ 0x8000000000000000ull) | 1;
        break;
    }
    slot = std::move(k);
    return *slot;
}

// ---- filtering ---------------------------------------------------------

bool GridEngine::likeMatch(QStringView s, QStringView p)
{
    qsizetype si = 0, pi = 0, star = -1, mark = 0;
    while (si < s.size()) {
        if (pi < p.size() && (p[pi] == u'_' || p[pi] == s[si])) {
            ++si;
            ++pi;
        } else if (pi < p.size() && p[pi] == u'%') {
            star = pi++;
            mark = si;
        } else if (star >= 0) {
            pi = star + 1;
            si = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == u'%')
        ++pi;
    return pi == p.size();
}

std::optional<double> GridEngine::parseNumber(const QString &text)
{
    const QString t = text.trimmed();
    bool ok = false;
    double v = QLocale().toDouble(t, &ok);
    if (!ok)
        v = QLocale::c().toDouble(t, &ok);
    if (!ok)
        return std::nullopt;
    return v;
}

namespace {

template <class T>
bool compare(FilterOp op, T a, T b)
{
    switch (op) {
    case FilterOp::Equal: return a == b;
    case FilterOp::NotEqual: return a != b;
    case FilterOp::Less: return a < b;
    case FilterOp::LessOrEqual: return a <= b;
    case FilterOp::Greater: return a > b;
    case FilterOp::GreaterOrEqual: return a >= b;
    default: return false;
    }
}

// Applies "value op x" to every non-null row; null rows fail every comparison.
template <class Get, class T>
void andCompare(std::vector<uint8_t> &mask, const std::vector<uint8_t> &nul, FilterOp op, Get get, T x)
{
    const size_t n = mask.size();
    switch (op) {
#define WP_CMP(OPNAME, EXPR)                                                                                          \
    case FilterOp::OPNAME:                                                                                            \
        for (size_t r = 0; r < n; ++r)                                                                                \
            mask[r] &= uint8_t(!nul[r] && (EXPR));                                                                    \
        break;
        WP_CMP(Equal, get(r) == x)
        WP_CMP(NotEqual, get(r) != x)
        WP_CMP(Less, get(r) < x)
        WP_CMP(LessOrEqual, get(r) <= x)
        WP_CMP(Greater, get(r) > x)
        WP_CMP(GreaterOrEqual, get(r) >= x)
#undef WP_CMP
    default:
        std::fill(mask.begin(), mask.end(), 0);
    }
}

int64_t scaled(double v, double p) { return int64_t(v * p + (v < 0 ? -0.5 : 0.5)); }

} // namespace

void GridEngine::andCondition(const FilterCondition &c)
{
    if (c.column < 0 || c.column >= m_table->columnCount())
        return;
    const pg::Column &col = m_table->column(c.column);
    const auto &nul = col.nullMask();
    const size_t n = m_mask.size();
    if (c.op == FilterOp::IsNull || c.op == FilterOp::IsNotNull) {
        const uint8_t want = c.op == FilterOp::IsNull ? 1 : 0;
        for (size_t r = 0; r < n; ++r)
            m_mask[r] &= uint8_t(nul[r] == want);
        return;
    }
    switch (col.type()) {
    case pg::FieldType::String:
    case pg::FieldType::Text: {
        const Dict &d = dict(c.column);
        const size_t ids = d.firstRow.size();
        std::vector<uint8_t> match(ids, 0);
        QString value = c.value.toCaseFolded();
        if (c.op == FilterOp::Like || c.op == FilterOp::NotLike) {
            if (c.fromFilterRow && !value.endsWith(u'%'))
                value += u'%';
            const bool want = c.op == FilterOp::Like;
            // Most patterns typed are "prefix%": no wildcard before the end.
            const QStringView body = QStringView(value).chopped(1);
            const bool prefixOnly = value.endsWith(u'%') && !body.contains(u'%') && !body.contains(u'_');
            for (size_t id = 1; id < ids; ++id) {
                const bool m = prefixOnly ? d.folded[id].startsWith(body) : likeMatch(d.folded[id], value);
                match[id] = uint8_t(m == want);
            }
        } else if (c.op == FilterOp::Equal || c.op == FilterOp::NotEqual) {
            for (size_t id = 1; id < ids; ++id)
                match[id] = uint8_t((d.folded[id] == value) == (c.op == FilterOp::Equal));
        } else {
            QCollator coll;
            coll.setCaseSensitivity(Qt::CaseInsensitive);
            for (size_t id = 1; id < ids; ++id) {
                const std::string_view s = col.text(d.firstRow[id]);
                const int cmp = coll.compare(QString::fromUtf8(s.data(), qsizetype(s.size())), c.value);
                match[id] = uint8_t(compare(c.op, cmp, 0));
            }
        }
        const uint32_t *code = d.code.data();
        const uint8_t *m = match.data();
        for (size_t r = 0; r < n; ++r)
            m_mask[r] &= m[code[r]];
        return;
    }
    case pg::FieldType::Number: {
        const auto x = parseNumber(c.value);
        if (!x) {
            std::fill(m_mask.begin(), m_mask.end(), 0);
            return;
        }
        const double *num = col.numbers().data();
        const int s = col.scale();
        if (s >= 0 && s <= 12) {
            // Compare at the column's exact scale, so 0.1 + 0.2 equals a typed 0.3.
            const double p = std::pow(10.0, s);
            andCompare(m_mask, nul, c.op, [&](size_t r) { return scaled(num[r], p); }, scaled(*x, p));
        } else {
            andCompare(m_mask, nul, c.op, [&](size_t r) { return num[r]; }, *x);
        }
        return;
    }
    case pg::FieldType::Integer: {
        const auto x = parseNumber(c.value);
        if (!x) {
            std::fill(m_mask.begin(), m_mask.end(), 0);
            return;
        }
        andCompare(m_mask, nul, c.op, [&](size_t r) { return double(col.integer(r)); }, *x);
        return;
    }
    case pg::FieldType::Boolean: {
        const auto b = parseBoolean(c.value);
        if (!b) {
            std::fill(m_mask.begin(), m_mask.end(), 0);
            return;
        }
        andCompare(m_mask, nul, c.op, [&](size_t r) { return int(col.boolean(r)); }, int(*b));
        return;
    }
    case pg::FieldType::Date: {
        const QDate d = parseDate(c.value, format(c.column));
        if (!d.isValid()) {
            std::fill(m_mask.begin(), m_mask.end(), 0);
            return;
        }
        andCompare(m_mask, nul, c.op, [&](size_t r) { return int64_t(col.julianDay(r)); }, d.toJulianDay());
        return;
    }
    case pg::FieldType::Timestamp: {
        const auto range = parseTimestampRange(c.value, format(c.column));
        if (!range) {
            std::fill(m_mask.begin(), m_mask.end(), 0);
            return;
        }
        const auto [from, to] = *range; // [from, to)
        auto get = [&](size_t r) { return col.msecs(r); };
        switch (c.op) {
        case FilterOp::Equal:
            for (size_t r = 0; r < n; ++r)
                m_mask[r] &= uint8_t(!nul[r] && get(r) >= from && get(r) < to);
            break;
        case FilterOp::NotEqual:
            for (size_t r = 0; r < n; ++r)
                m_mask[r] &= uint8_t(!nul[r] && (get(r) < from || get(r) >= to));
            break;
        case FilterOp::Less: andCompare(m_mask, nul, FilterOp::Less, get, from); break;
        case FilterOp::LessOrEqual: andCompare(m_mask, nul, FilterOp::Less, get, to); break;
        case FilterOp::Greater: andCompare(m_mask, nul, FilterOp::GreaterOrEqual, get, to); break;
        case FilterOp::GreaterOrEqual: andCompare(m_mask, nul, FilterOp::GreaterOrEqual, get, from); break;
        default: std::fill(m_mask.begin(), m_mask.end(), 0);
        }
        return;
    }
    }
}

void GridEngine::computeMask()
{
    const size_t n = m_table ? m_table->rowCount() : 0;
    m_mask.assign(n, 1);
    if (!m_table)
        return;
    for (const FilterCondition &c : m_conditions)
        andCondition(c);
    if (pinnedValid())
        m_mask[size_t(m_pinned)] = 1;
}

void GridEngine::computeOrder()
{
    // Group columns first (ascending unless the sort column is one of them),
    // then the sort column; ties keep the order in which the rows came.
    struct Part {
        const std::vector<uint64_t> *key;
        bool desc;
    };
    std::vector<Part> parts;
    for (int g : m_groupColumns)
        parts.push_back({&keys(g).key, g == m_sortColumn && m_sortOrder == Qt::DescendingOrder});
    if (m_sortColumn >= 0 && std::find(m_groupColumns.begin(), m_groupColumns.end(), m_sortColumn) == m_groupColumns.end())
        parts.push_back({&keys(m_sortColumn).key, m_sortOrder == Qt::DescendingOrder});
    const size_t n = m_table->rowCount();
    // The order only changes with the sort, the grouping or the columns
    // involved, not with the filter: a keystroke must not re-sort.
    std::vector<uint64_t> sig{m_generation, n, uint64_t(int64_t(m_sortColumn)), uint64_t(m_sortOrder)};
    for (int g : m_groupColumns)
        sig.insert(sig.end(), {uint64_t(g), m_table->columnRevision(g)});
    if (m_sortColumn >= 0)
        sig.push_back(m_table->columnRevision(m_sortColumn));
    if (sig == m_orderSig && (m_order.size() == n || parts.empty()))
        return;
    m_orderSig = sig;
    m_order.clear();
    if (parts.empty())
        return;
    m_order.resize(n);
    if (parts.size() == 1) {
        std::vector<std::pair<uint64_t, uint32_t>> kv(n);
        const auto &key = *parts[0].key;
        const uint64_t flip = parts[0].desc ? ~0ull : 0ull;
        for (size_t r = 0; r < n; ++r)
            kv[r] = {key[r] ^ flip, uint32_t(r)};
        std::sort(kv.begin(), kv.end());
        for (size_t i = 0; i < n; ++i)
            m_order[i] = kv[i].second;
        return;
    }
    std::iota(m_order.begin(), m_order.end(), 0u);
    std::sort(m_order.begin(), m_order.end(), [&](uint32_t a, uint32_t b) {
        for (const Part &p : parts) {
            const uint64_t ka = (*p.key)[a], kb = (*p.key)[b];
            if (ka != kb)
                return p.desc ? ka > kb : ka < kb;
        }
        return a < b;
    });
}

int GridEngine::buildLevel(int parent, int level, int first, int last)
{
    const int col = m_groupColumns[size_t(level)];
    const auto &key = keys(col).key;
    int count = 0;
    std::vector<int> made;
    for (int i = first; i < last;) {
        const int start = i;
        const uint64_t k = key[size_t(m_visible[size_t(i)])];
        while (i < last && key[size_t(m_visible[size_t(i)])] == k)
            ++i;
        Group g;
        g.parent = parent;
        g.level = level;
        g.column = col;
        g.rowInParent = count++;
        g.first = start;
        g.last = i;
        m_groups.push_back(g);
        const int id = int(m_groups.size()) - 1;
        made.push_back(id);
        if (size_t(level) + 1 < m_groupColumns.size())
            buildLevel(id, level + 1, start, i);
    }
    if (parent < 0)
        m_top = std::move(made);
    else
        m_groups[size_t(parent)].children = std::move(made);
    return count;
}

void GridEngine::buildGroups()
{
    m_groups.clear();
    m_top.clear();
    if (!m_groupColumns.empty() && !m_visible.empty())
        buildLevel(-1, 0, 0, int(m_visible.size()));
}

void GridEngine::rebuild()
{
    m_posDirty = true;
    m_visible.clear();
    m_groups.clear();
    m_top.clear();
    m_mask.clear();
    if (!m_table)
        return;
    computeMask();
    computeOrder();
    const size_t n = m_table->rowCount();
    size_t shown = 0;
    for (uint8_t m : m_mask)
        shown += m;
    m_visible.reserve(shown);
    if (m_order.empty()) {
        for (size_t r = 0; r < n; ++r)
            if (m_mask[r])
                m_visible.push_back(int(r));
    } else {
        for (uint32_t r : m_order)
            if (m_mask[r])
                m_visible.push_back(int(r));
    }
    buildGroups();
    m_posDirty = true;
}

void GridEngine::rowInserted(int row, int visiblePos)
{
    for (int &v : m_visible)
        if (v >= row)
            ++v;
    if (visiblePos < 0 || visiblePos > int(m_visible.size()))
        visiblePos = int(m_visible.size());
    m_visible.insert(m_visible.begin() + visiblePos, row);
    if (size_t(row) <= m_mask.size())
        m_mask.insert(m_mask.begin() + row, 1);
    m_order.clear();
    m_orderSig.clear();
    m_groups.clear();
    m_top.clear();
    m_posDirty = true;
}

void GridEngine::rowRemoved(int row)
{
    auto it = std::find(m_visible.begin(), m_visible.end(), row);
    if (it != m_visible.end())
        m_visible.erase(it);
    for (int &v : m_visible)
        if (v > row)
            --v;
    if (size_t(row) < m_mask.size())
        m_mask.erase(m_mask.begin() + row);
    m_order.clear();
    m_orderSig.clear();
    m_groups.clear();
    m_top.clear();
    m_posDirty = true;
}

int GridEngine::visibleIndexOf(int row) const
{
    if (m_posDirty) {
        m_posOf.assign(m_mask.size(), -1);
        for (size_t i = 0; i < m_visible.size(); ++i)
            if (size_t(m_visible[i]) < m_posOf.size())
                m_posOf[size_t(m_visible[i])] = int(i);
        m_posDirty = false;
    }
    return row >= 0 && size_t(row) < m_posOf.size() ? m_posOf[size_t(row)] : -1;
}

// ---- sums --------------------------------------------------------------

struct GridEngine::Sum {
    bool exact = false;
    int scale = 0;
    int64_t units = 0; // exact: value * 10^scale
    long double approx = 0;
};

struct GridEngine::FullSum {
    uint64_t generation = 0, revision = 0;
    size_t rows = 0;
    Sum sum;
};

using Sum = GridEngine::Sum;

static Sum sumOver(const pg::Column &col, const std::vector<uint8_t> &mask)
{
    Sum s;
    const size_t n = std::min(mask.size(), col.size());
    const auto &nul = col.nullMask();
    const uint8_t *m = mask.data();
    const uint8_t *z = nul.data();
    if (col.type() == pg::FieldType::Integer) {
        s.exact = true;
        for (size_t r = 0; r < n; ++r)
            if (m[r] & ~z[r] & 1)
                s.units += col.integer(r);
        return s;
    }
    const double *v = col.numbers().data();
    if (col.scale() >= 0 && col.scale() <= 12) {
        // Values of numeric(p,s) are summed as integers of 10^-s, so a hundred
        // thousand lines of 0.001 give exactly 100.
        s.exact = true;
        s.scale = col.scale();
        const double p = std::pow(10.0, s.scale);
        int64_t acc = 0;
        for (size_t r = 0; r < n; ++r) {
            const int64_t k = scaled(v[r], p);
            acc += (m[r] & ~z[r] & 1) ? k : 0;
        }
        s.units = acc;
        return s;
    }
    long double acc = 0;
    for (size_t r = 0; r < n; ++r)
        if (m[r] & ~z[r] & 1)
            acc += v[r];
    s.approx = acc;
    return s;
}

GridEngine::Sum GridEngine::sumFor(int column) const
{
    const pg::Column &col = m_table->column(column);
    if (m_visible.size() != m_table->rowCount())
        return sumOver(col, m_mask);
    // Every row shown (no filter): the column's total, kept until the column changes.
    if (m_fullSums.size() < size_t(m_table->columnCount()))
        m_fullSums.resize(size_t(m_table->columnCount()));
    auto &slot = m_fullSums[size_t(column)];
    if (!slot || slot->generation != m_generation || slot->revision != m_table->columnRevision(column) ||
        slot->rows != col.size()) {
        slot = std::make_unique<FullSum>();
        slot->generation = m_generation;
        slot->revision = m_table->columnRevision(column);
        slot->rows = col.size();
        slot->sum = sumOver(col, m_mask);
    }
    return slot->sum;
}

std::optional<double> GridEngine::sum(int column) const
{
    if (!m_table || m_visible.empty() || column < 0 || column >= m_table->columnCount())
        return std::nullopt;
    const pg::Column &col = m_table->column(column);
    if (col.type() != pg::FieldType::Number && col.type() != pg::FieldType::Integer)
        return std::nullopt;
    const Sum s = sumFor(column);
    if (s.exact)
        return double(s.units) / std::pow(10.0, s.scale);
    return double(s.approx);
}

QString GridEngine::sumText(int column) const
{
    if (!m_table || m_visible.empty() || column < 0 || column >= m_table->columnCount())
        return {};
    const pg::Column &col = m_table->column(column);
    if (col.type() != pg::FieldType::Number && col.type() != pg::FieldType::Integer)
        return {};
    const Sum s = sumFor(column);
    double shown;
    if (s.exact) {
        // Round to cents in integers, half away from zero, before going to text.
        int64_t cents = s.units;
        if (s.scale > 2) {
            int64_t div = 1;
            for (int i = 2; i < s.scale; ++i)
                div *= 10;
            cents = (cents >= 0 ? cents + div / 2 : cents - div / 2) / div;
        } else {
            for (int i = s.scale; i < 2; ++i)
                cents *= 10;
        }
        shown = double(cents) / 100.0;
    } else {
        shown = double(s.approx);
    }
    return QLocale().toString(shown, 'f', 2);
}

std::vector<int> GridEngine::distinctRows(int column, int max) const
{
    std::vector<int> out;
    if (!m_table || column < 0 || column >= m_table->columnCount())
        return out;
    const auto &key = keys(column).key;
    std::vector<std::pair<uint64_t, uint32_t>> kv;
    kv.reserve(key.size());
    for (size_t r = 0; r < key.size(); ++r)
        if (key[r] != 0)
            kv.push_back({key[r], uint32_t(r)});
    std::sort(kv.begin(), kv.end());
    for (size_t i = 0; i < kv.size() && int(out.size()) < max; ++i)
        if (i == 0 || kv[i].first != kv[i - 1].first)
            out.push_back(int(kv[i].second));
    return out;
}

} // namespace grid
