#include "GridFormat.h"
#include "platform/pg/Table.h"
#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

namespace grid {

namespace {
QLocale numberLocale()
{
    QLocale l;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l;
}
QString shortDateFormat()
{
    // Four-digit years: a two-digit year in a grid of invoices is ambiguous.
    QString f = QLocale().dateFormat(QLocale::ShortFormat);
    if (!f.contains(QLatin1String("yyyy")))
        f.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return f;
}
QString timeFormat()
{
    QString f = QLocale().timeFormat(QLocale::ShortFormat);
    if (!f.contains(u's'))
        f.replace(QLatin1String("mm"), QLatin1String("mm:ss"));
    return f;
}
QString dateText(const QDate &d, const QString &fmt)
{
    return QLocale().toString(d, fmt.isEmpty() ? shortDateFormat() : fmt);
}
QString dateTimeText(const QDateTime &dt, const QString &fmt)
{
    return QLocale().toString(dt, fmt.isEmpty() ? shortDateFormat() + u' ' + timeFormat() : fmt);
}
constexpr int64_t kDayMs = 86400000;
constexpr int64_t kExcelEpochJd = 2415019; // 1899-12-30
constexpr int64_t kUnixEpochJd = 2440588;  // 1970-01-01
} // namespace

QString numberText(double v) { return numberLocale().toString(v, 'g', 15); }

int64_t naiveMsecs(const QDateTime &dt)
{
    return (dt.date().toJulianDay() - kUnixEpochJd) * kDayMs + dt.time().msecsSinceStartOfDay();
}

QDateTime fromNaiveMsecs(int64_t ms)
{
    int64_t days = ms / kDayMs;
    int64_t rest = ms % kDayMs;
    if (rest < 0) {
        rest += kDayMs;
        --days;
    }
    return QDateTime(QDate::fromJulianDay(days + kUnixEpochJd), QTime::fromMSecsSinceStartOfDay(int(rest)));
}

QString formatCell(const pg::Column &col, size_t row, const QString &fmt)
{
    if (col.isNull(row))
        return {};
    switch (col.type()) {
    case pg::FieldType::String:
    case pg::FieldType::Text: {
        const std::string_view s = col.text(row);
        QString t = QString::fromUtf8(s.data(), qsizetype(s.size()));
        if (col.type() == pg::FieldType::Text)
            t.replace(u'\n', u' ');
        return t;
    }
    case pg::FieldType::Number: return numberText(col.number(row));
    case pg::FieldType::Integer: return numberLocale().toString(col.integer(row));
    case pg::FieldType::Boolean: return col.boolean(row) ? QStringLiteral("True") : QStringLiteral("False");
    case pg::FieldType::Date: return dateText(QDate::fromJulianDay(col.julianDay(row)), fmt);
    case pg::FieldType::Timestamp: return dateTimeText(fromNaiveMsecs(col.msecs(row)), fmt);
    }
    return {};
}

QString formatValue(pg::FieldType type, const QVariant &v, const QString &fmt)
{
    if (v.isNull() || !v.isValid())
        return {};
    switch (type) {
    case pg::FieldType::String: return v.toString();
    case pg::FieldType::Text: return v.toString().replace(u'\n', u' ');
    case pg::FieldType::Number: return numberText(v.toDouble());
    case pg::FieldType::Integer: return numberLocale().toString(v.toLongLong());
    case pg::FieldType::Boolean: return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case pg::FieldType::Date: return dateText(v.toDate(), fmt);
    case pg::FieldType::Timestamp: return dateTimeText(v.toDateTime(), fmt);
    }
    return v.toString();
}

std::optional<bool> parseBoolean(const QString &text)
{
    const QString t = text.trimmed().toCaseFolded();
    static const QStringList yes = {QStringLiteral("1"), QStringLiteral("true"), QStringLiteral("da"),
                                    QStringLiteral("yes"), QStringLiteral("checked")};
    static const QStringList no = {QStringLiteral("0"), QStringLiteral("false"), QStringLiteral("nu"),
                                   QStringLiteral("no"), QStringLiteral("unchecked")};
    if (yes.contains(t))
        return true;
    if (no.contains(t))
        return false;
    return std::nullopt;
}

QDate parseDate(const QString &text, const QString &displayFormat)
{
    const QString t = text.trimmed();
    QDate d;
    if (!displayFormat.isEmpty())
        d = QLocale().toDate(t, displayFormat);
    if (!d.isValid())
        d = QLocale().toDate(t, shortDateFormat());
    if (!d.isValid())
        d = QLocale().toDate(t, QLocale::ShortFormat);
    if (!d.isValid())
        d = QDate::fromString(t, Qt::ISODate);
    return d;
}

QDateTime parseDateTime(const QString &text, const QString &displayFormat)
{
    const QString t = text.trimmed();
    QDateTime dt;
    if (!displayFormat.isEmpty())
        dt = QLocale().toDateTime(t, displayFormat);
    if (!dt.isValid())
        dt = QLocale().toDateTime(t, shortDateFormat() + u' ' + timeFormat());
    if (!dt.isValid())
        dt = QLocale().toDateTime(t, QLocale::ShortFormat);
    if (!dt.isValid())
        dt = QDateTime::fromString(t, Qt::ISODate);
    return dt;
}

std::optional<std::pair<int64_t, int64_t>> parseTimestampRange(const QString &text, const QString &displayFormat)
{
    const QDateTime dt = parseDateTime(text, displayFormat);
    if (dt.isValid()) {
        const int64_t ms = naiveMsecs(dt);
        return std::pair{ms, ms + 1};
    }
    const QDate d = parseDate(text, displayFormat);
    if (!d.isValid())
        return std::nullopt;
    const int64_t from = (d.toJulianDay() - kUnixEpochJd) * kDayMs;
    return std::pair{from, from + kDayMs};
}

double excelSerialFromJulianDay(int64_t jd) { return double(jd - kExcelEpochJd); }

double excelSerialFromMsecs(int64_t ms)
{
    return double(kUnixEpochJd - kExcelEpochJd) + double(ms) / double(kDayMs);
}

QString excelDateFormat(const QString &qt)
{
    // Qt writes months as M and minutes as m; a spreadsheet reads "mm" after
    // hours as minutes and elsewhere as months, so both map to lower case.
    QString out;
    for (qsizetype i = 0; i < qt.size(); ++i) {
        const QChar c = qt[i];
        if (c == u'\'') {
            const qsizetype end = qt.indexOf(u'\'', i + 1);
            const QString lit = qt.mid(i + 1, (end < 0 ? qt.size() : end) - i - 1);
            out += u'"' + lit + u'"';
            i = end < 0 ? qt.size() : end;
        } else if (c == u'M') {
            out += u'm';
        } else if (c == u'H') {
            out += u'h';
        } else if (c == u'z') {
            out += u'0'; // fractions of a second
        } else if (c == u'A' || c == u'a') {
            out += QStringLiteral("AM/PM");
            if (i + 1 < qt.size() && (qt[i + 1] == u'P' || qt[i + 1] == u'p'))
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace grid
