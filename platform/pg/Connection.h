#pragma once
#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

struct pg_conn;
struct pg_result;

namespace pg {

// Values bound to $1..$n, in PostgreSQL's text form; nullopt is SQL NULL.
using Params = std::vector<std::optional<QByteArray>>;

// A PostgreSQL client connection. Settings are plain values; connecting never
// prompts. In disconnected mode the connection opens when a statement needs it
// and closes as soon as no statement is using it (results are fetched whole).
class Connection {
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Changing server, port or database to another value closes an open connection.
    void setServer(const QString &v);
    void setPort(int v); // 0 means 5432
    void setDatabase(const QString &v);
    void setUser(const QString &v) { m_user = v; }
    void setPassword(const QString &v) { m_password = v; }
    void setSslMode(const QString &v) { m_sslMode = v; } // "require", "prefer", ...
    void setDisconnectedMode(bool on) { m_disconnected = on; }
    void setConnectTimeout(int seconds) { m_connectTimeout = seconds; }
    static void setApplicationName(const QString &name); // shared by every connection

    const QString &server() const { return m_server; }
    int port() const { return m_port; }
    const QString &database() const { return m_database; }
    const QString &user() const { return m_user; }
    const QString &sslMode() const { return m_sslMode; }
    bool disconnectedMode() const { return m_disconnected; }

    bool isConnected() const { return m_conn != nullptr; }
    void connect(); // throws AppError with libpq's message
    void close();

    // Statements hold a use while they talk to the server; in disconnected mode
    // the last release closes the connection.
    pg_conn *acquire();
    void release();

    // Runs one statement with bound parameters and returns the affected-row
    // count (PQcmdTuples). Throws AppError with the server's message.
    long long execute(const QString &sqlWithDollarParams, const Params &params);

    // Connections made since start (for the benchmarks and tests).
    int connectCount() const { return m_connectCount; }

    // Throws AppError carrying the result's message and SQLSTATE, when it is an error.
    static void checkResult(pg_result *res, pg_conn *conn);

private:
    pg_conn *m_conn = nullptr;
    QString m_server, m_database, m_user, m_password;
    QString m_sslMode = QStringLiteral("prefer");
    int m_port = 0;
    int m_connectTimeout = 15;
    bool m_disconnected = false;
    int m_uses = 0;
    int m_connectCount = 0;
};

// RAII use of a connection.
class ConnectionUse {
public:
    explicit ConnectionUse(Connection &c) : m_c(c), m_conn(c.acquire()) {}
    ~ConnectionUse() { m_c.release(); }
    pg_conn *get() const { return m_conn; }
private:
    Connection &m_c;
    pg_conn *m_conn;
};

} // namespace pg
