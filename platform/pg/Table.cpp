#include "Table.h"
#include "platform/Error.h"
#include <QDate>
#include <QDateTime>
#include <QTimeZone>
#include <charconv>
#include <cmath>
#include <cstring>

namespace pg {

namespace {

constexpr int64_t kMsPerDay = 86400000;
const int64_t kEpochJd = QDate(1970, 1, 1).toJulianDay();

bool parseInt(std::string_view s, int64_t &out)
{
    auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// yyyy-mm-dd (the server's ISO DateStyle); returns false on anything else,
// such as 'infinity' or BC dates, which the client cannot show.
bool parseDate(std::string_view s, int32_t &jd)
{
    if (s.size() < 10 || s[4] != '-' || s[7] != '-')
        return false;
    int64_t y, m, d;
    if (!parseInt(s.substr(0, 4), y) || !parseInt(s.substr(5, 2), m) || !parseInt(s.substr(8, 2), d))
        return false;
    const QDate date{int(y), int(m), int(d)};
    if (!date.isValid())
        return false;
    jd = int32_t(date.toJulianDay());
    return true;
}

// yyyy-mm-dd hh:mm:ss[.ffffff][+zz]; the zone, when present, is dropped:
// the client shows the server's wall-clock time.
bool parseTimestamp(std::string_view s, int64_t &ms)
{
    int32_t jd;
    if (!parseDate(s, jd))
        return false;
    int64_t h = 0, mi = 0, sec = 0, frac = 0;
    if (s.size() >= 19) {
        if (!parseInt(s.substr(11, 2), h) || !parseInt(s.substr(14, 2), mi) || !parseInt(s.substr(17, 2), sec))
            return false;
        size_t p = 19;
        if (p < s.size() && s[p] == '.') {
            ++p;
            int digits = 0;
            while (p < s.size() && s[p] >= '0' && s[p] <= '9') {
                if (digits < 3) { frac = frac * 10 + (s[p] - '0'); ++digits; }
                ++p;
            }
            while (digits < 3) { frac *= 10; ++digits; }
        }
    }
    ms = (int64_t(jd) - kEpochJd) * kMsPerDay + ((h * 60 + mi) * 60 + sec) * 1000 + frac;
    return true;
}

} // namespace

Column::Column(const FieldDef &def) : m_def(def) {}

uint32_t Column::arenaEnd(size_t adding) const
{
    if (m_arena.size() + adding > UINT32_MAX)
        throw AppError(QStringLiteral("The result is too large: more than 4 GB of text in column '%1'").arg(m_def.name));
    return uint32_t(m_arena.size());
}

void Column::reserve(size_t n)
{
    m_null.reserve(n);
    switch (m_def.type) {
    case FieldType::Number: m_num.reserve(n); break;
    case FieldType::Timestamp: m_i64.reserve(n); break;
    case FieldType::String:
    case FieldType::Text: m_off.reserve(n); m_len.reserve(n); break;
    case FieldType::Boolean: m_u8.reserve(n); break;
    default: m_i32.reserve(n); break;
    }
}

void Column::appendText(const char *text, int len)
{
    const bool null = text == nullptr;
    std::string_view s = null ? std::string_view() : std::string_view(text, size_t(len));
    m_null.push_back(null ? 1 : 0);
    switch (m_def.type) {
    case FieldType::Number: {
        double v = 0;
        if (!null) {
            auto r = std::from_chars(s.data(), s.data() + s.size(), v);
            if (r.ec != std::errc()) {
                if (s == "NaN") v = std::nan("");
                else if (s == "Infinity") v = HUGE_VAL;
                else if (s == "-Infinity") v = -HUGE_VAL;
            }
            // Track the widest fraction so sums can be exact in scaled integers.
            if (m_scale >= 0 || m_scale == -2) {
                auto dot = s.find('.');
                if (dot != std::string_view::npos && s.find_first_of("eE") == std::string_view::npos) {
                    int digits = int(s.size() - dot - 1);
                    if (digits > 9) m_scale = -1; // too fine for int64 sums: fall back to long double
                    else if (m_scale == -2 || digits > m_scale) m_scale = digits;
                } else if (m_scale == -2) {
                    m_scale = 0;
                }
            }
        }
        m_num.push_back(v);
        break;
    }
    case FieldType::Integer: {
        int64_t v = 0;
        if (!null) parseInt(s, v);
        m_i32.push_back(int32_t(v));
        break;
    }
    case FieldType::Boolean:
        m_u8.push_back(!null && !s.empty() && s[0] == 't');
        break;
    case FieldType::Date: {
        int32_t jd = 0;
        if (!null && !parseDate(s, jd))
            m_null.back() = 1;
        m_i32.push_back(jd);
        break;
    }
    case FieldType::Timestamp: {
        int64_t ms = 0;
        if (!null && !parseTimestamp(s, ms))
            m_null.back() = 1;
        m_i64.push_back(ms);
        break;
    }
    case FieldType::String:
    case FieldType::Text:
        m_off.push_back(arenaEnd(s.size()));
        m_len.push_back(uint32_t(s.size()));
        m_arena.append(s.data(), s.size());
        break;
    }
}

QVariant Column::value(size_t r) const
{
    if (m_null[r])
        return QVariant();
    switch (m_def.type) {
    case FieldType::Number: return m_num[r];
    case FieldType::Integer: return m_i32[r];
    case FieldType::Boolean: return m_u8[r] != 0;
    case FieldType::Date: return QDate::fromJulianDay(m_i32[r]);
    case FieldType::Timestamp: {
        int64_t ms = m_i64[r];
        int64_t days = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
        int64_t rest = ms - days * kMsPerDay;
        return QDateTime(QDate::fromJulianDay(kEpochJd + days), QTime::fromMSecsSinceStartOfDay(int(rest)));
    }
    case FieldType::String:
    case FieldType::Text: {
        auto t = text(r);
        return QString::fromUtf8(t.data(), qsizetype(t.size()));
    }
    }
    return QVariant();
}

QString Column::toText(size_t r) const
{
    if (m_null[r])
        return QString();
    switch (m_def.type) {
    case FieldType::Number: return QString::number(m_num[r], 'g', QLocale::FloatingPointShortest);
    case FieldType::Integer: return QString::number(m_i32[r]);
    case FieldType::Boolean: return m_u8[r] ? QStringLiteral("True") : QStringLiteral("False");
    case FieldType::Date: return QDate::fromJulianDay(m_i32[r]).toString(Qt::ISODate);
    case FieldType::Timestamp: return value(r).toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    default: return value(r).toString();
    }
}

void Column::setText(size_t r, std::string_view s)
{
    // Edits are rare: the old bytes stay in the arena, the row points at new ones.
    m_off[r] = arenaEnd(s.size());
    m_len[r] = uint32_t(s.size());
    m_arena.append(s.data(), s.size());
}

static double toNumber(const QVariant &v, const FieldDef &def)
{
    bool ok = false;
    double d = 0;
    if (v.typeId() == QMetaType::QString) {
        QString s = v.toString().trimmed();
        d = QLocale().toDouble(s, &ok);
        if (!ok) d = s.toDouble(&ok);
    } else {
        d = v.toDouble(&ok);
    }
    if (!ok || !std::isfinite(d))
        throw AppError(QStringLiteral("'%1' is not a valid number for field '%2'").arg(v.toString(), def.name));
    return d;
}

void Column::setVariant(size_t r, const QVariant &v)
{
    if (!v.isValid() || v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isEmpty() && m_def.type != FieldType::String && m_def.type != FieldType::Text)) {
        m_null[r] = 1;
        if (m_def.type == FieldType::String || m_def.type == FieldType::Text) { m_off[r] = 0; m_len[r] = 0; }
        return;
    }
    switch (m_def.type) {
    case FieldType::Number: {
        double d = toNumber(v, m_def);
        m_num[r] = d;
        if (m_scale >= 0 || m_scale == -2) {
            // Keep sums exact: widen the scale when the typed value needs more digits.
            QString s = QString::number(d, 'f', 10);
            while (s.endsWith(QLatin1Char('0'))) s.chop(1);
            int digits = int(s.size() - s.indexOf(QLatin1Char('.')) - 1);
            if (digits > 9) m_scale = -1;
            else if (m_scale == -2 || digits > m_scale) m_scale = digits;
        }
        break;
    }
    case FieldType::Integer: {
        bool ok = false;
        qlonglong i = v.toLongLong(&ok);
        if (!ok || i < INT32_MIN || i > INT32_MAX)
            throw AppError(QStringLiteral("'%1' is not a valid integer for field '%2'").arg(v.toString(), m_def.name));
        m_i32[r] = int32_t(i);
        break;
    }
    case FieldType::Boolean: m_u8[r] = v.toBool(); break;
    case FieldType::Date: {
        QDate d = v.typeId() == QMetaType::QDateTime ? v.toDateTime().date() : v.toDate();
        if (!d.isValid())
            throw AppError(QStringLiteral("'%1' is not a valid date for field '%2'").arg(v.toString(), m_def.name));
        m_i32[r] = int32_t(d.toJulianDay());
        break;
    }
    case FieldType::Timestamp: {
        QDateTime dt = v.typeId() == QMetaType::QDate ? v.toDate().startOfDay() : v.toDateTime();
        if (!dt.isValid())
            throw AppError(QStringLiteral("'%1' is not a valid date and time for field '%2'").arg(v.toString(), m_def.name));
        m_i64[r] = (dt.date().toJulianDay() - kEpochJd) * kMsPerDay + dt.time().msecsSinceStartOfDay();
        break;
    }
    case FieldType::String:
    case FieldType::Text: {
        QByteArray u = v.toString().toUtf8();
        setText(r, std::string_view(u.constData(), size_t(u.size())));
        break;
    }
    }
    m_null[r] = 0;
}

void Column::appendVariant(const QVariant &v)
{
    insertNull(size());
    setVariant(size() - 1, v);
}

void Column::insertNull(size_t pos)
{
    m_null.insert(m_null.begin() + ptrdiff_t(pos), 1);
    switch (m_def.type) {
    case FieldType::Number: m_num.insert(m_num.begin() + ptrdiff_t(pos), 0.0); break;
    case FieldType::Timestamp: m_i64.insert(m_i64.begin() + ptrdiff_t(pos), 0); break;
    case FieldType::String:
    case FieldType::Text:
        m_off.insert(m_off.begin() + ptrdiff_t(pos), 0);
        m_len.insert(m_len.begin() + ptrdiff_t(pos), 0);
        break;
    case FieldType::Boolean: m_u8.insert(m_u8.begin() + ptrdiff_t(pos), 0); break;
    default: m_i32.insert(m_i32.begin() + ptrdiff_t(pos), 0); break;
    }
}

void Column::remove(size_t pos)
{
    m_null.erase(m_null.begin() + ptrdiff_t(pos));
    switch (m_def.type) {
    case FieldType::Number: m_num.erase(m_num.begin() + ptrdiff_t(pos)); break;
    case FieldType::Timestamp: m_i64.erase(m_i64.begin() + ptrdiff_t(pos)); break;
    case FieldType::String:
    case FieldType::Text:
        m_off.erase(m_off.begin() + ptrdiff_t(pos));
        m_len.erase(m_len.begin() + ptrdiff_t(pos));
        break;
    case FieldType::Boolean: m_u8.erase(m_u8.begin() + ptrdiff_t(pos)); break;
    default: m_i32.erase(m_i32.begin() + ptrdiff_t(pos)); break;
    }
}

Table::Table(const std::vector<FieldDef> &fields)
{
    m_cols.reserve(fields.size());
    for (const auto &f : fields) {
        m_cols.emplace_back(f);
        if (f.type == FieldType::Number)
            m_cols.back().setScale(-2); // learn the scale from the values
    }
    m_colRevision.assign(fields.size(), 1);
}

int Table::indexOf(const QString &name) const
{
    for (size_t i = 0; i < m_cols.size(); ++i)
        if (m_cols[i].def().name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

void Table::touchAll()
{
    ++m_revision;
    for (auto &r : m_colRevision) r = m_revision;
}

void Table::setValue(size_t r, int c, const QVariant &v)
{
    m_cols[size_t(c)].setVariant(r, v);
    ++m_revision;
    m_colRevision[size_t(c)] = m_revision;
}

void Table::insertRow(size_t pos)
{
    for (auto &c : m_cols) {
        c.insertNull(pos);
        if (c.scale() == -2) c.setScale(0);
    }
    ++m_rows;
    touchAll();
}

void Table::removeRow(size_t pos)
{
    for (auto &c : m_cols) c.remove(pos);
    --m_rows;
    touchAll();
}

void Table::appendRow(const std::vector<QVariant> &values)
{
    for (size_t c = 0; c < m_cols.size(); ++c)
        m_cols[c].appendVariant(c < values.size() ? values[c] : QVariant());
    for (auto &c : m_cols)
        if (c.scale() == -2) c.setScale(0);
    ++m_rows;
    touchAll();
}

void Table::finishAppend(size_t rows)
{
    m_rows = rows;
    for (auto &c : m_cols)
        if (c.scale() == -2) c.setScale(0); // no fractional value seen
    touchAll();
}

void Table::clear()
{
    std::vector<FieldDef> defs;
    for (auto &c : m_cols) defs.push_back(c.def());
    *this = Table(defs);
}

} // namespace pg
