#pragma once
#include <QDate>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <optional>
#include <utility>

namespace pg {
class Column;
enum class FieldType : uint8_t;
} // namespace pg

namespace grid {

// How the grid writes and reads values: the user's regional settings, with
// numbers in general format (no fixed decimals, no thousands grouping).
QString numberText(double v);
QString formatCell(const pg::Column &col, size_t row, const QString &displayFormat);
QString formatValue(pg::FieldType type, const QVariant &v, const QString &displayFormat);

std::optional<bool> parseBoolean(const QString &text);
// Short date format of the locale (two- or four-digit year) or ISO.
QDate parseDate(const QString &text, const QString &displayFormat = {});
QDateTime parseDateTime(const QString &text, const QString &displayFormat = {});
// A typed moment, or a whole day when only a date was typed: [from, to) in
// the table's timestamp unit.
std::optional<std::pair<int64_t, int64_t>> parseTimestampRange(const QString &text, const QString &displayFormat = {});

// Timestamps are kept as naive local milliseconds since 1970-01-01T00:00.
int64_t naiveMsecs(const QDateTime &dt);
QDateTime fromNaiveMsecs(int64_t ms);

double excelSerialFromJulianDay(int64_t jd);
double excelSerialFromMsecs(int64_t ms);
// Qt date/time pattern ("dd.MM.yyyy hh:mm:ss") as a spreadsheet number format.
QString excelDateFormat(const QString &qtFormat);

} // namespace grid
