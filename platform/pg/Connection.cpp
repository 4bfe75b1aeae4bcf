#include "Connection.h"
#include "platform/Error.h"
#include <libpq-fe.h>

namespace pg {

namespace {
QString g_applicationName = QStringLiteral("wpelvaro");

QString connError(PGconn *c)
{
    return QString::fromUtf8(PQerrorMessage(c)).trimmed();
}
} // namespace

Connection::~Connection()
{
    if (m_conn)
        PQfinish(m_conn);
}

void Connection::setApplicationName(const QString &name) { g_applicationName = name; }

void Connection::setServer(const QString &v)
{
    if (v == m_server) return;
    close();
    m_server = v;
}

void Connection::setPort(int v)
{
    if (v == m_port) return;
    close();
    m_port = v;
}

void Connection::setDatabase(const QString &v)
{
    if (v == m_database) return;
    close();
    m_database = v;
}

void Connection::connect()
{
    if (m_conn)
        return;
    // Every value is passed as its own keyword with expand_dbname = 0, so a
    // database name such as "x sslmode=disable" stays a name and can never
    // add or override connection options.
    const QByteArray host = m_server.toUtf8();
    const QByteArray port = QByteArray::number(m_port == 0 ? 5432 : m_port);
    const QByteArray db = m_database.toUtf8();
    const QByteArray user = m_user.toUtf8();
    const QByteArray pass = m_password.toUtf8();
    const QByteArray ssl = m_sslMode.toUtf8();
    const QByteArray timeout = QByteArray::number(m_connectTimeout);
    const QByteArray app = g_applicationName.toUtf8();
    std::vector<const char *> keys, vals;
    auto add = [&](const char *k, const QByteArray &v) { keys.push_back(k); vals.push_back(v.constData()); };
    add("host", host);
    add("port", port);
    add("dbname", db);
    add("user", user);
    if (!pass.isEmpty())
        add("password", pass);
    add("sslmode", ssl);
    add("connect_timeout", timeout);
    add("client_encoding", QByteArrayLiteral("UTF8"));
    add("application_name", app);
    // ISO dates whatever the server's configuration, without an extra round trip.
    add("options", QByteArrayLiteral("-c datestyle=ISO,YMD"));
    keys.push_back(nullptr);
    vals.push_back(nullptr);
    PGconn *c = PQconnectdbParams(keys.data(), vals.data(), 0);
    if (!c)
        throw AppError(QStringLiteral("out of memory"));
    if (PQstatus(c) != CONNECTION_OK) {
        QString msg = connError(c);
        PQfinish(c);
        throw AppError(msg);
    }
    m_conn = c;
    ++m_connectCount;
}

void Connection::close()
{
    if (m_conn) {
        PQfinish(m_conn);
        m_conn = nullptr;
    }
}

pg_conn *Connection::acquire()
{
    if (!m_conn)
        connect();
    else if (PQstatus(m_conn) != CONNECTION_OK) {
        // A connection the server dropped: start afresh rather than fail forever.
        close();
        connect();
    }
    ++m_uses;
    return m_conn;
}

void Connection::release()
{
    if (m_uses > 0)
        --m_uses;
    if (m_uses == 0 && m_disconnected && m_conn && PQtransactionStatus(m_conn) == PQTRANS_IDLE)
        close();
}

void Connection::checkResult(pg_result *res, pg_conn *conn)
{
    const ExecStatusType st = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
    if (st == PGRES_FATAL_ERROR || st == PGRES_BAD_RESPONSE || st == PGRES_NONFATAL_ERROR) {
        const char *primary = res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
        const char *state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
        QString msg = primary ? QString::fromUtf8(primary) : connError(conn);
        if (msg.isEmpty() && res)
            msg = QString::fromUtf8(PQresultErrorMessage(res)).trimmed();
        throw AppError(msg, state ? QByteArray(state) : QByteArray());
    }
}

long long Connection::execute(const QString &sql, const Params &params)
{
    ConnectionUse use(*this);
    const QByteArray text = sql.toUtf8();
    std::vector<const char *> values;
    values.reserve(params.size());
    for (const auto &p : params)
        values.push_back(p ? p->constData() : nullptr);
    PGresult *res = PQexecParams(use.get(), text.constData(), int(values.size()), nullptr, values.data(), nullptr, nullptr, 0);
    try {
        checkResult(res, use.get());
    } catch (...) {
        PQclear(res);
        throw;
    }
    const char *tuples = PQcmdTuples(res);
    long long n = (tuples && *tuples) ? atoll(tuples) : 0;
    PQclear(res);
    return n;
}

} // namespace pg
