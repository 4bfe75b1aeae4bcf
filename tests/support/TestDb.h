#pragma once
#include <QString>
#include <QStringList>

// The throw-away PostgreSQL server that scripts/test.sh starts. Tests make
// their own databases on it through the superuser and reach them as "kav".
namespace testdb {

bool available();            // the WPELVARO_TEST_* settings are present
QString host();
int port();
QString password();          // of the database user "kav"
QString sourceDir();

// Runs SQL as superuser in a database (throws AppError on failure).
void exec(const QString &database, const QString &sql);
void execFile(const QString &database, const QString &path);
// Single value of a query as text ("" for null).
QString scalar(const QString &database, const QString &sql);

// Fresh company database with the schema (dropped first when it exists);
// "kav" may read and write it.
void createCompany(const QString &database);
// Fresh registry database "kav_mob" holding m_firma.
void createRegistry(const QString &database = QStringLiteral("kav_mob"));
void grantAll(const QString &database);

// Points the data module's registry connection at the test server.
void useTestRegistry();

} // namespace testdb

#define REQUIRE_TEST_SERVER() \
    do { if (!testdb::available()) QSKIP("WPELVARO_TEST_PORT not set: run through scripts/test.sh"); } while (0)
