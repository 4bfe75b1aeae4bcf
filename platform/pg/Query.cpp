#include "Query.h"
#include "platform/Error.h"
#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <libpq-fe.h>
#include <memory>

namespace pg {

namespace {

// OIDs of the built-in types (pg_type.dat); stable across server versions.
enum : Oid {
    kBool = 16, kChar = 18, kName = 19, kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25,
    kFloat4 = 700, kFloat8 = 701, kUnknown = 705, kBpchar = 1042, kVarchar = 1043,
    kDate = 1082, kTimestamp = 1114, kTimestampTz = 1184, kNumeric = 1700
};

// The family a server type belongs to, named as the mismatch message shows it.
QString actualTypeName(Oid oid)
{
    switch (oid) {
    case kVarchar: case kBpchar: case kName: case kChar: return QStringLiteral("String");
    case kText: case kUnknown: return QStringLiteral("Text");
    case kInt2: case kInt4: return QStringLiteral("Integer");
    case kInt8: return QStringLiteral("LargeInt");
    case kNumeric: case kFloat4: case kFloat8: return QStringLiteral("Number");
    case kBool: return QStringLiteral("Boolean");
    case kDate: return QStringLiteral("Date");
    case kTimestamp: case kTimestampTz: return QStringLiteral("Timestamp");
    default: return QStringLiteral("Unknown(%1)").arg(oid);
    }
}

bool fits(FieldType t, Oid oid)
{
    switch (t) {
    case FieldType::String: return oid == kVarchar || oid == kBpchar || oid == kName || oid == kChar;
    case FieldType::Text: return oid == kText || oid == kUnknown;
    case FieldType::Integer: return oid == kInt2 || oid == kInt4;
    case FieldType::Number: return oid == kNumeric || oid == kFloat4 || oid == kFloat8;
    case FieldType::Boolean: return oid == kBool;
    case FieldType::Date:
    case FieldType::Timestamp: return oid == kDate || oid == kTimestamp || oid == kTimestampTz;
    }
    return false;
}

struct ResultDeleter { void operator()(PGresult *r) const { PQclear(r); } };
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

QString quoteIdent(const QString &name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

// Why a text cannot go to the server unchanged, or empty when it can.
// Values travel as C strings, so a NUL would silently cut the value short
// ("ion\0x" would find the operator "ion"), and the server's text cannot hold
// one anyway. An unpaired surrogate has no UTF-8 form and would arrive as
// another character. Both are refused before anything is sent.
QString unsendableText(const QString &s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c.isNull())
            return QStringLiteral("contains a NUL character (code 0), which the database cannot store");
        if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate())
            return QStringLiteral("contains an unpaired surrogate (code U+%1), which is not a character the database can store")
                .arg(QString::number(c.unicode(), 16).toUpper());
    }
    return {};
}

Params bindNamed(const ParsedSql &parsed, const std::map<QString, QVariant> &params)
{
    Params out;
    out.reserve(size_t(parsed.names.size()));
    for (const auto &n : parsed.names) {
        auto it = params.find(n.toLower());
        out.push_back(it == params.end() ? std::nullopt : paramText(it->second));
    }
    return out;
}

} // namespace

std::optional<QByteArray> paramText(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return std::nullopt;
    switch (v.typeId()) {
    case QMetaType::QDate: return v.toDate().toString(Qt::ISODate).toUtf8();
    case QMetaType::QDateTime: return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toUtf8();
    case QMetaType::Double:
    case QMetaType::Float: return QByteArray::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::Bool: return v.toBool() ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
    default: break;
    }
    const QString s = v.toString();
    const QString problem = unsendableText(s);
    if (!problem.isEmpty())
        throw AppError(QStringLiteral("The text ") + problem);
    return s.toUtf8();
}

// ---------------------------------------------------------------- Field

QVariant Field::value() const
{
    const int row = m_q->currentRow();
    if (!m_q->isActive() || row < 0 || row >= m_q->recordCount())
        return QVariant();
    return m_q->value(row, m_col);
}

bool Field::isNull() const { return value().isNull(); }

QString Field::asString() const
{
    const QVariant v = value();
    if (v.isNull())
        return QString();
    if (v.typeId() == QMetaType::Double)
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    return v.toString();
}

// ---------------------------------------------------------------- Query

Query::Query(Connection *connection, QString name, QObject *parent)
    : QObject(parent), m_conn(connection), m_name(std::move(name))
{
}

Query::~Query() = default;

void Query::setSql(const QString &sql)
{
    m_sql = sql;
    m_parsed = parseNamedParams(sql);
}

void Query::setFields(std::vector<FieldDef> fields)
{
    m_fields = std::move(fields);
    // An empty table of the declared shape, so a grid can lay out its
    // columns before the first open.
    if (!isActive())
        m_table = Table(m_fields);
}

int Query::fieldIndex(const QString &name) const
{
    for (size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

void Query::setParam(const QString &name, const QVariant &value) { m_params[name.toLower()] = value; }

QVariant Query::param(const QString &name) const
{
    auto it = m_params.find(name.toLower());
    return it == m_params.end() ? QVariant() : it->second;
}

Params Query::bindParams() const { return bindNamed(m_parsed, m_params); }

QString Query::notFound(const QString &field) const
{
    return m_name + QStringLiteral(": Field '%1' not found").arg(field);
}

void Query::fetch(Table &out)
{
    if (!m_conn)
        throw AppError(m_name + QStringLiteral(": no connection"));
    ConnectionUse use(*m_conn);
    PGconn *c = use.get();
    const QByteArray text = m_parsed.sql.toUtf8();
    const Params params = bindParams();
    std::vector<const char *> values;
    for (const auto &p : params)
        values.push_back(p ? p->constData() : nullptr);
    if (!PQsendQueryParams(c, text.constData(), int(values.size()), nullptr, values.data(), nullptr, nullptr, 0))
        throw AppError(QString::fromUtf8(PQerrorMessage(c)).trimmed());
    PQsetSingleRowMode(c);

    Table table(m_fields);
    std::vector<int> srcCol; // result column of each declared field
    bool mapped = false;
    size_t rows = 0;
    std::unique_ptr<AppError> failure;

    auto mapColumns = [&](PGresult *r) {
        const int nf = PQnfields(r);
        srcCol.assign(m_fields.size(), -1);
        for (size_t f = 0; f < m_fields.size(); ++f) {
            const QByteArray want = m_fields[f].name.toUtf8();
            for (int k = 0; k < nf; ++k)
                if (qstricmp(PQfname(r, k), want.constData()) == 0) { srcCol[f] = k; break; }
            if (srcCol[f] < 0)
                throw AppError(notFound(m_fields[f].name));
            const Oid oid = PQftype(r, srcCol[f]);
            if (!fits(m_fields[f].type, oid))
                throw AppError(QStringLiteral("Type mismatch for field '%1', expecting: %2 actual: %3")
                                   .arg(m_fields[f].name, fieldTypeName(m_fields[f].type), actualTypeName(oid)));
            Column &col = table.column(int(f));
            if (m_fields[f].type == FieldType::Number) {
                const int mod = PQfmod(r, srcCol[f]);
                if (oid == kNumeric && mod >= 4) col.setScale((mod - 4) & 0xffff);
                else if (oid != kNumeric) col.setScale(-1);
            }
        }
        mapped = true;
    };

    while (PGresult *raw = PQgetResult(c)) {
        ResultPtr r(raw);
        if (failure)
            continue; // drain what is left of the statement
        const ExecStatusType st = PQresultStatus(raw);
        try {
            if (st == PGRES_SINGLE_TUPLE || st == PGRES_TUPLES_OK) {
                if (!mapped)
                    mapColumns(raw);
                const int n = PQntuples(raw);
                for (int t = 0; t < n; ++t) {
                    for (size_t f = 0; f < srcCol.size(); ++f) {
                        const int k = srcCol[f];
                        if (PQgetisnull(raw, t, k))
                            table.column(int(f)).appendText(nullptr, 0);
                        else
                            table.column(int(f)).appendText(PQgetvalue(raw, t, k), PQgetlength(raw, t, k));
                    }
                    ++rows;
                    if (m_progress && (rows & 0x3FFF) == 0 && !m_progress(rows)) {
                        if (PGcancel *cancel = PQgetCancel(c)) {
                            char err[256];
                            PQcancel(cancel, err, int(sizeof err));
                            PQfreeCancel(cancel);
                        }
                        throw AppError(m_name + QStringLiteral(": cancelled"));
                    }
                }
            } else if (st == PGRES_COMMAND_OK) {
                throw AppError(m_name + QStringLiteral(": the statement returned no rows"));
            } else {
                Connection::checkResult(raw, c);
            }
        } catch (const AppError &e) {
            failure = std::make_unique<AppError>(e);
        }
    }
    if (failure)
        throw *failure;
    table.finishAppend(rows);
    out = std::move(table);
}

void Query::open()
{
    if (isActive())
        return;
    Table t;
    fetch(t);
    m_table = std::move(t);
    m_state = State::Browse;
    m_current = m_table.rowCount() > 0 ? 0 : -1;
    Q_EMIT reset();
    Q_EMIT stateChanged();
    Q_EMIT currentChanged(m_current);
}

void Query::openFromTable(Table table)
{
    m_table = std::move(table);
    if (m_fields.empty())
        for (int c = 0; c < m_table.columnCount(); ++c)
            m_fields.push_back(m_table.field(c));
    m_state = State::Browse;
    m_current = m_table.rowCount() > 0 ? 0 : -1;
    Q_EMIT reset();
    Q_EMIT stateChanged();
    Q_EMIT currentChanged(m_current);
}

void Query::close()
{
    if (!isActive())
        return;
    m_table = Table(m_fields);
    m_state = State::Inactive;
    m_current = -1;
    m_buffer.clear();
    m_changed.clear();
    Q_EMIT reset();
    Q_EMIT stateChanged();
    Q_EMIT currentChanged(m_current);
}

void Query::refresh()
{
    if (!isActive()) {
        open();
        return;
    }
    Q_EMIT aboutToRefresh();
    if (isEditing()) {
        if (isModified()) post();
        else cancel(); // nothing typed: a new row is dropped, an edited one left as read
    }
    Table t;
    fetch(t);
    m_table = std::move(t);
    m_state = State::Browse;
    const int n = int(m_table.rowCount());
    m_current = n == 0 ? -1 : std::clamp(m_current, 0, n - 1);
    Q_EMIT reset();
    Q_EMIT stateChanged();
    Q_EMIT currentChanged(m_current);
}

void Query::setCurrentRow(int row)
{
    if (row == m_current)
        return;
    if (isEditing())
        post();
    m_current = row;
    Q_EMIT currentChanged(row);
}

Field Query::fieldByName(const QString &name) const
{
    const int idx = fieldIndex(name);
    if (idx < 0)
        throw AppError(notFound(name));
    return Field(this, idx);
}

QVariant Query::value(int row, int column) const
{
    if (isEditing() && row == m_current)
        return m_buffer[size_t(column)];
    return m_table.value(size_t(row), column);
}

bool Query::isNull(int row, int column) const
{
    if (isEditing() && row == m_current)
        return m_buffer[size_t(column)].isNull();
    return m_table.column(column).isNull(size_t(row));
}

void Query::setUpdateTable(const QString &table, const QStringList &keyFields)
{
    m_updateTable = table;
    m_keyFields = keyFields;
}

void Query::edit()
{
    if (isEditing())
        return;
    if (!isActive() || m_current < 0 || m_current >= int(m_table.rowCount()))
        return;
    m_buffer.resize(size_t(m_table.columnCount()));
    for (int c = 0; c < m_table.columnCount(); ++c)
        m_buffer[size_t(c)] = m_table.value(size_t(m_current), c);
    m_changed.assign(m_buffer.size(), false);
    m_state = State::Edit;
    Q_EMIT stateChanged();
    Q_EMIT rowChanged(m_current);
}

void Query::insert(int position)
{
    if (!isActive())
        return;
    if (isEditing())
        post();
    const int n = int(m_table.rowCount());
    position = std::clamp(position, 0, n);
    m_table.insertRow(size_t(position));
    m_buffer.assign(size_t(m_table.columnCount()), QVariant());
    m_changed.assign(m_buffer.size(), false);
    m_current = position;
    m_state = State::Insert;
    Q_EMIT rowInserted(position);
    Q_EMIT currentChanged(position);
    Q_EMIT stateChanged();
}

void Query::setValue(int column, const QVariant &v)
{
    if (!isEditing())
        edit();
    if (!isEditing())
        return;
    // Convert now, so a value the column cannot hold is refused while typing
    // and the row keeps what it had.
    const FieldType type = m_table.field(column).type;
    if ((type == FieldType::String || type == FieldType::Text) && v.typeId() == QMetaType::QString) {
        const QString problem = unsendableText(v.toString());
        if (!problem.isEmpty())
            throw AppError(QStringLiteral("The text for field '%1' ").arg(m_table.field(column).name) + problem);
    }
    Column scratch(m_table.field(column));
    scratch.insertNull(0);
    scratch.setVariant(0, v);
    const QVariant typed = scratch.value(0);
    m_buffer[size_t(column)] = typed;
    if (m_state == State::Insert) {
        m_changed[size_t(column)] = !typed.isNull();
    } else {
        const QVariant old = m_table.value(size_t(m_current), column);
        m_changed[size_t(column)] = !(old.isNull() == typed.isNull() && old == typed);
    }
    Q_EMIT rowChanged(m_current);
}

bool Query::isModified() const
{
    for (bool b : m_changed)
        if (b) return true;
    return false;
}

void Query::post()
{
    if (!isEditing())
        return;
    for (size_t c = 0; c < m_fields.size() && c < m_buffer.size(); ++c) {
        const FieldDef &f = m_table.field(int(c));
        if (f.required && !f.readOnly && m_buffer[c].isNull())
            throw AppError(QStringLiteral("Field '%1' must have a value").arg(f.name));
    }
    if (canWrite()) {
        if (m_state == State::Insert) writeInsert();
        else if (isModified()) writeUpdate();
    }
    for (size_t c = 0; c < m_buffer.size(); ++c)
        if (m_state == State::Insert || m_changed[c])
            m_table.setValue(size_t(m_current), int(c), m_buffer[c]);
    m_state = State::Browse;
    m_buffer.clear();
    m_changed.clear();
    Q_EMIT stateChanged();
    Q_EMIT rowChanged(m_current);
}

void Query::cancel()
{
    if (!isEditing())
        return;
    const bool inserting = m_state == State::Insert;
    m_state = State::Browse;
    m_buffer.clear();
    m_changed.clear();
    if (inserting) {
        const int row = m_current;
        m_table.removeRow(size_t(row));
        const int n = int(m_table.rowCount());
        m_current = n == 0 ? -1 : std::min(row, n - 1);
        Q_EMIT rowRemoved(row);
        Q_EMIT currentChanged(m_current);
    } else {
        Q_EMIT rowChanged(m_current);
    }
    Q_EMIT stateChanged();
}

void Query::bindKey(QStringList &where, Params &params) const
{
    for (const QString &k : m_keyFields) {
        const int kc = m_table.indexOf(k);
        if (kc < 0)
            throw AppError(notFound(k));
        params.push_back(paramText(m_table.value(size_t(m_current), kc)));
        where << QStringLiteral("%1 = $%2").arg(quoteIdent(k)).arg(params.size());
    }
}

void Query::writeInsert()
{
    QStringList cols, marks;
    Params params;
    for (size_t c = 0; c < m_buffer.size(); ++c) {
        const FieldDef &f = m_table.field(int(c));
        // Empty cells are left out so the database's defaults apply.
        if (f.readOnly || m_buffer[c].isNull())
            continue;
        cols << quoteIdent(f.name);
        params.push_back(paramText(m_buffer[c]));
        marks << QStringLiteral("$%1").arg(params.size());
    }
    const QString sql = cols.isEmpty()
        ? QStringLiteral("insert into %1 default values").arg(quoteIdent(m_updateTable))
        : QStringLiteral("insert into %1 (%2) values (%3)").arg(quoteIdent(m_updateTable), cols.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
    const long long n = m_conn->execute(sql, params);
    if (n != 1)
        throw AppError(QStringLiteral("Update failed. Found %1 records").arg(n));
}

void Query::writeUpdate()
{
    QStringList sets, where;
    Params params;
    for (size_t c = 0; c < m_buffer.size(); ++c) {
        if (!m_changed[c])
            continue;
        const FieldDef &f = m_table.field(int(c));
        if (f.readOnly)
            continue;
        params.push_back(paramText(m_buffer[c]));
        sets << QStringLiteral("%1 = $%2").arg(quoteIdent(f.name)).arg(params.size());
    }
    if (sets.isEmpty())
        return;
    bindKey(where, params);
    const QString sql = QStringLiteral("update %1 set %2 where %3").arg(quoteIdent(m_updateTable), sets.join(QStringLiteral(", ")), where.join(QStringLiteral(" and ")));
    const long long n = m_conn->execute(sql, params);
    if (n != 1)
        throw AppError(QStringLiteral("Update failed. Found %1 records").arg(n));
}

void Query::deleteCurrent()
{
    if (!isActive() || m_current < 0 || m_current >= int(m_table.rowCount()))
        return;
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    if (m_state == State::Edit)
        cancel();
    if (canWrite()) {
        QStringList where;
        Params params;
        bindKey(where, params);
        const QString sql = QStringLiteral("delete from %1 where %2").arg(quoteIdent(m_updateTable), where.join(QStringLiteral(" and ")));
        const long long n = m_conn->execute(sql, params);
        if (n != 1)
            throw AppError(QStringLiteral("Update failed. Found %1 records").arg(n));
    }
    const int row = m_current;
    m_table.removeRow(size_t(row));
    const int n = int(m_table.rowCount());
    m_current = n == 0 ? -1 : std::min(row, n - 1);
    Q_EMIT rowRemoved(row);
    Q_EMIT currentChanged(m_current);
}

// ---------------------------------------------------------------- Statement

Statement::Statement(Connection *connection, QString name) : m_conn(connection), m_name(std::move(name)) {}

void Statement::setSql(const QString &sql) { m_parsed = parseNamedParams(sql); }

void Statement::setParam(const QString &name, const QVariant &value) { m_params[name.toLower()] = value; }

long long Statement::execute() { return m_conn->execute(m_parsed.sql, bindNamed(m_parsed, m_params)); }

} // namespace pg
