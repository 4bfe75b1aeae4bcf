#pragma once
#include "FieldType.h"
#include <QVariant>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pg {

// One result column, stored typed: a million rows of a report must fit in
// memory and be scanned at typing speed, so no QVariant per cell.
//   Number     doubles
//   Integer    int32
//   Boolean    uint8 (0/1)
//   Date       int32 Julian day (QDate::toJulianDay)
//   Timestamp  int64 milliseconds since 1970-01-01T00:00 (naive local time)
//   String/Text UTF-8 in one arena, offset + length per row
class Column {
public:
    explicit Column(const FieldDef &def);

    const FieldDef &def() const { return m_def; }
    FieldType type() const { return m_def.type; }
    size_t size() const { return m_null.size(); }

    bool isNull(size_t r) const { return m_null[r] != 0; }
    double number(size_t r) const { return m_num[r]; }
    int32_t integer(size_t r) const { return m_i32[r]; }
    bool boolean(size_t r) const { return m_u8[r] != 0; }
    int32_t julianDay(size_t r) const { return m_i32[r]; }
    int64_t msecs(size_t r) const { return m_i64[r]; }
    std::string_view text(size_t r) const { return {m_arena.data() + m_off[r], m_len[r]}; }

    // Raw vectors for tight loops (filters, sums, export).
    const std::vector<uint8_t> &nullMask() const { return m_null; }
    const std::vector<double> &numbers() const { return m_num; }

    // Digits after the decimal point that exactly represent every value of a
    // numeric column (from numeric(p,s), or the widest value fetched);
    // -1 when unknown (double precision), in which case sums are not exact.
    int scale() const { return m_scale; }
    void setScale(int s) { m_scale = s; }

    QVariant value(size_t r) const;
    QString toText(size_t r) const; // server-style text form; empty for null

    void reserve(size_t n);
    // Appends a value from PostgreSQL's text output format; null when text is nullptr.
    void appendText(const char *text, int len);
    void appendVariant(const QVariant &v);
    void setVariant(size_t r, const QVariant &v); // throws AppError on a value the type cannot hold
    void insertNull(size_t pos);
    void remove(size_t pos);

private:
    void setText(size_t r, std::string_view s);
    uint32_t arenaEnd(size_t adding) const;
    FieldDef m_def;
    int m_scale = -1;
    std::vector<uint8_t> m_null;
    std::vector<double> m_num;
    std::vector<int32_t> m_i32;
    std::vector<int64_t> m_i64;
    std::vector<uint8_t> m_u8;   // Boolean
    // 32-bit offsets: a million report lines cost 4 MB less per text column;
    // an arena past 4 GiB is refused.
    std::vector<uint32_t> m_off;
    std::vector<uint32_t> m_len;
    std::string m_arena;
};

// Rows of one query result, column by column. Every mutation bumps revision()
// so derived caches (folded text, sort keys) know when to rebuild.
class Table {
public:
    Table() = default;
    explicit Table(const std::vector<FieldDef> &fields);

    size_t rowCount() const { return m_rows; }
    int columnCount() const { return int(m_cols.size()); }
    int indexOf(const QString &name) const; // -1 when absent; case-insensitive
    const Column &column(int c) const { return m_cols[size_t(c)]; }
    Column &column(int c) { return m_cols[size_t(c)]; }
    const FieldDef &field(int c) const { return m_cols[size_t(c)].def(); }
    uint64_t revision() const { return m_revision; }
    // Revision of one column; bumped with any change to that column or to the row set.
    uint64_t columnRevision(int c) const { return m_colRevision[size_t(c)]; }

    QVariant value(size_t r, int c) const { return m_cols[size_t(c)].value(r); }
    void setValue(size_t r, int c, const QVariant &v);
    void insertRow(size_t pos); // all columns null
    void removeRow(size_t pos);
    void appendRow(const std::vector<QVariant> &values);
    void finishAppend(size_t rows); // after column-wise appends
    void clear();

private:
    std::vector<Column> m_cols;
    std::vector<uint64_t> m_colRevision;
    size_t m_rows = 0;
    uint64_t m_revision = 1;
    void touchAll();
};

} // namespace pg
