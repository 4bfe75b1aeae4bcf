#pragma once
#include "Connection.h"
#include "FieldType.h"
#include "ParamParser.h"
#include "Table.h"
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <map>
#include <vector>

namespace pg {

class Query;

// A declared field of a query, read at the query's current row.
class Field {
public:
    Field(const Query *q, int column) : m_q(q), m_col(column) {}
    QString asString() const;
    QVariant value() const;
    bool isNull() const;
    int column() const { return m_col; }
private:
    const Query *m_q;
    int m_col;
};

// A statement with named parameters and declared result fields. open() fetches
// every row into a typed Table; the connection may close afterwards.
// Rows can be edited through a one-row edit buffer and written back to one
// table (setUpdateTable) with one self-committing statement per row.
class Query : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };

    Query(Connection *connection, QString name, QObject *parent = nullptr);
    ~Query() override;

    const QString &name() const { return m_name; }
    Connection *connection() const { return m_conn; }
    void setConnection(Connection *c) { m_conn = c; }

    void setSql(const QString &sql);
    const QString &sql() const { return m_sql; }
    void setFields(std::vector<FieldDef> fields);
    const std::vector<FieldDef> &fields() const { return m_fields; }
    int fieldIndex(const QString &name) const; // -1 when not declared

    // Parameters travel as text; a null QVariant is SQL NULL; QDate goes as yyyy-MM-dd.
    void setParam(const QString &name, const QVariant &value);
    QVariant param(const QString &name) const;
    QStringList paramNames() const { return m_parsed.names; }

    void open();    // throws; on failure the query stays closed
    void close();
    // Posts a pending edit (or drops an unchanged one), re-runs the statement,
    // keeps the current row index where possible.
    void refresh();
    bool isActive() const { return m_state != State::Inactive; }
    int recordCount() const { return isActive() ? int(m_table.rowCount()) : 0; }

    // Called every few thousand rows while a statement's rows arrive; returning
    // false cancels the statement on the server and the open or refresh fails.
    using FetchProgress = std::function<bool(size_t rowsFetched)>;
    void setFetchProgress(FetchProgress progress) { m_progress = std::move(progress); }

    // Fills the query from rows already in memory, as if the statement had
    // returned them (for screens fed without a server, and tests).
    void openFromTable(Table table);

    const Table &table() const { return m_table; }

    int currentRow() const { return m_current; }
    void setCurrentRow(int row); // posts a pending edit when the row changes
    Field fieldByName(const QString &name) const; // throws "<name>: Field 'x' not found"

    // Value of a cell as the grid shows it: the edit buffer for the row being edited.
    QVariant value(int row, int column) const;
    bool isNull(int row, int column) const;

    // Editing.
    State state() const { return m_state; }
    bool isEditing() const { return m_state == State::Edit || m_state == State::Insert; }
    int editRow() const { return isEditing() ? m_current : -1; }
    void setUpdateTable(const QString &table, const QStringList &keyFields);
    bool canWrite() const { return !m_updateTable.isEmpty(); }
    void edit();              // current row into editing (no-op when already editing)
    void insert(int position); // a new row at position, becomes current and inserting
    void setValue(int column, const QVariant &v); // into the edit buffer (starts editing)
    bool isModified() const;
    void post();   // throws; on failure the row stays in editing with its values
    void cancel();
    void deleteCurrent(); // throws; on failure the row stays

Q_SIGNALS:
    void reset();                 // rows replaced (open, refresh, close)
    void rowInserted(int row);
    void rowRemoved(int row);
    void rowChanged(int row);     // values or edit state of one row changed
    void stateChanged();
    void currentChanged(int row);
    void aboutToRefresh();        // the grid posts its open editor before this

private:
    void fetch(Table &out);
    Params bindParams() const;
    void writeInsert();
    void writeUpdate();
    // Key values of the current row as read, for update and delete.
    void bindKey(QStringList &where, Params &params) const;
    QString notFound(const QString &field) const;

    Connection *m_conn;
    QString m_name;
    QString m_sql;
    ParsedSql m_parsed;
    std::vector<FieldDef> m_fields;
    std::map<QString, QVariant> m_params;
    Table m_table;
    State m_state = State::Inactive;
    int m_current = -1;
    // edit buffer
    std::vector<QVariant> m_buffer;
    std::vector<bool> m_changed;
    QString m_updateTable;
    QStringList m_keyFields;
    FetchProgress m_progress;
};

// An executable statement with named parameters (insert, update, delete).
class Statement {
public:
    Statement(Connection *connection, QString name);
    void setSql(const QString &sql);
    void setParam(const QString &name, const QVariant &value);
    long long execute(); // affected rows; throws
private:
    Connection *m_conn;
    QString m_name;
    ParsedSql m_parsed;
    std::map<QString, QVariant> m_params;
};

// Text form of a value as a bound parameter (dates yyyy-MM-dd, shortest round-trip doubles).
std::optional<QByteArray> paramText(const QVariant &v);

} // namespace pg
