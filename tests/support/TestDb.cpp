#include "TestDb.h"
#include "data/u_dmCon.h"
#include "platform/Error.h"
#include <QFile>
#include <libpq-fe.h>

namespace testdb {

bool available() { return !qEnvironmentVariableIsEmpty("WPELVARO_TEST_PORT"); }
QString host() { return qEnvironmentVariable("WPELVARO_TEST_HOST", QStringLiteral("127.0.0.1")); }
int port() { return qEnvironmentVariableIntValue("WPELVARO_TEST_PORT"); }
QString password() { return qEnvironmentVariable("WPELVARO_TEST_PASSWORD"); }
QString sourceDir() { return qEnvironmentVariable("WPELVARO_SOURCE_DIR"); }

namespace {
PGconn *superConnect(const QString &database)
{
    const QByteArray h = host().toUtf8(), p = QByteArray::number(port()), d = database.toUtf8();
    const char *keys[] = {"host", "port", "dbname", "user", "sslmode", nullptr};
    const char *vals[] = {h.constData(), p.constData(), d.constData(), "postgres", "disable", nullptr};
    PGconn *c = PQconnectdbParams(keys, vals, 0);
    if (PQstatus(c) != CONNECTION_OK) {
        QString m = QString::fromUtf8(PQerrorMessage(c));
        PQfinish(c);
        throw AppError(m);
    }
    PQsetNoticeProcessor(c, [](void *, const char *) {}, nullptr);
    return c;
}

QString run(const QString &database, const QString &sql, bool wantValue)
{
    PGconn *c = superConnect(database);
    PGresult *r = PQexec(c, sql.toUtf8().constData());
    const ExecStatusType st = PQresultStatus(r);
    QString out;
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
        QString m = QString::fromUtf8(PQerrorMessage(c));
        PQclear(r);
        PQfinish(c);
        throw AppError(m);
    }
    if (wantValue && st == PGRES_TUPLES_OK && PQntuples(r) > 0 && !PQgetisnull(r, 0, 0))
        out = QString::fromUtf8(PQgetvalue(r, 0, 0));
    PQclear(r);
    PQfinish(c);
    return out;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("cannot read ") + path);
    return f.readAll();
}
} // namespace

void exec(const QString &database, const QString &sql) { run(database, sql, false); }
QString scalar(const QString &database, const QString &sql) { return run(database, sql, true); }
void execFile(const QString &database, const QString &path) { exec(database, QString::fromUtf8(readFile(path))); }

void grantAll(const QString &database)
{
    exec(database, QStringLiteral("grant select, insert, update, delete on all tables in schema public to kav;"
                                  "grant usage on all sequences in schema public to kav;"));
}

static void recreate(const QString &database)
{
    exec(QStringLiteral("postgres"), QStringLiteral("drop database if exists \"%1\" with (force)").arg(database));
    exec(QStringLiteral("postgres"), QStringLiteral("create database \"%1\"").arg(database));
}

void createCompany(const QString &database)
{
    recreate(database);
    execFile(database, sourceDir() + QStringLiteral("/data/sql/company.sql"));
    grantAll(database);
}

void createRegistry(const QString &database)
{
    recreate(database);
    execFile(database, sourceDir() + QStringLiteral("/data/sql/registry.sql"));
    grantAll(database);
}

void useTestRegistry()
{
    dmCon->conKavMob.setServer(host());
    dmCon->conKavMob.setPort(port());
    dmCon->conKavMob.setPassword(password());
    dmCon->conKav.setPassword(password());
}

} // namespace testdb
