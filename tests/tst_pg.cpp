// The PostgreSQL layer against a real server: parameters, declared fields,
// typed storage, write-back, disconnected mode, SSL.
#include "platform/Error.h"
#include "platform/pg/Query.h"
#include "support/TestDb.h"
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <thread>

using namespace pg;

class TestPg : public QObject {
    Q_OBJECT
    const QString db = QStringLiteral("tst_pg");
    Connection con;

    void point(Connection &c, const QString &database)
    {
        c.setServer(testdb::host());
        c.setPort(testdb::port());
        c.setDatabase(database);
        c.setUser(QStringLiteral("kav"));
        c.setPassword(testdb::password());
        c.setSslMode(QStringLiteral("require"));
    }

    std::vector<FieldDef> packagingFields()
    {
        return {{QStringLiteral("articol"), FieldType::String, 200, true, false},
                {QStringLiteral("kg_ambalaj_primar_total_hartie"), FieldType::Number},
                {QStringLiteral("kg_ambalaj_primar_total_sticla"), FieldType::Number},
                {QStringLiteral("data_ins"), FieldType::Timestamp, 0, false, true}};
    }

private slots:
    void parser_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("plain") << "select * from t where a = :pA and b = :pB" << "select * from t where a = $1 and b = $2" << QStringList{"pA", "pB"};
        QTest::newRow("repeat") << "where a = :p or b = :P" << "where a = $1 or b = $1" << QStringList{"p"};
        QTest::newRow("cast") << "select x::numeric(18,3), :pX::date" << "select x::numeric(18,3), $1::date" << QStringList{"pX"};
        QTest::newRow("literal") << "select ':notme', 'it''s :no', :yes" << "select ':notme', 'it''s :no', $1" << QStringList{"yes"};
        QTest::newRow("quoted ident") << "select \":col\" from t where a=:a" << "select \":col\" from t where a=$1" << QStringList{"a"};
        QTest::newRow("comments") << "select 1 -- :c\n, /* :d */ :e" << "select 1 -- :c\n, /* :d */ $1" << QStringList{"e"};
        QTest::newRow("dollar") << "select $$ :x $$, $t$ :y $t$, :z" << "select $$ :x $$, $t$ :y $t$, $1" << QStringList{"z"};
        QTest::newRow("slice") << "select a[1:2]" << "select a[1:2]" << QStringList{};
        QTest::newRow("unterminated") << "select ':x" << "select ':x" << QStringList{};
        QTest::newRow("trailing colon") << "select :" << "select :" << QStringList{};
    }
    void parser()
    {
        QFETCH(QString, sql);
        QFETCH(QString, expected);
        QFETCH(QStringList, names);
        const ParsedSql p = parseNamedParams(sql);
        QCOMPARE(p.sql, expected);
        QCOMPARE(p.names, names);
    }

    void initTestCase()
    {
        REQUIRE_TEST_SERVER();
        testdb::createCompany(db);
        point(con, db);
    }

    void typedFetchAndParameters()
    {
        Query q(&con, QStringLiteral("dsT"));
        q.setSql(QStringLiteral("select :pText::text as t, :pDate::date as d, 3 * 0.1235::numeric(18,4) as n, "
                                "cast(3 * 0.1235 as numeric(18,3)) as r, true as b, 42 as i, "
                                "timestamp '2025-04-17 13:14:15.678' as ts, null::numeric as z, 'ăîșț 😀'::varchar(20) as s"));
        q.setFields({{QStringLiteral("t"), FieldType::Text}, {QStringLiteral("d"), FieldType::Date},
                     {QStringLiteral("n"), FieldType::Number}, {QStringLiteral("r"), FieldType::Number},
                     {QStringLiteral("b"), FieldType::Boolean}, {QStringLiteral("i"), FieldType::Integer},
                     {QStringLiteral("ts"), FieldType::Timestamp}, {QStringLiteral("z"), FieldType::Number},
                     {QStringLiteral("s"), FieldType::String, 20}});
        // SQL-looking text stays a value.
        const QString evil = QStringLiteral("x'); drop table articol; --");
        q.setParam(QStringLiteral("pText"), evil);
        q.setParam(QStringLiteral("pDate"), QDate(2025, 2, 28));
        q.open();
        QCOMPARE(q.recordCount(), 1);
        QCOMPARE(q.fieldByName(QStringLiteral("t")).asString(), evil);
        QCOMPARE(q.fieldByName(QStringLiteral("d")).value().toDate(), QDate(2025, 2, 28));
        QCOMPARE(q.fieldByName(QStringLiteral("r")).value().toDouble(), 0.371);
        QCOMPARE(q.table().column(3).scale(), 3);
        QCOMPARE(q.fieldByName(QStringLiteral("b")).value().toBool(), true);
        QCOMPARE(q.fieldByName(QStringLiteral("i")).value().toInt(), 42);
        QCOMPARE(q.fieldByName(QStringLiteral("ts")).value().toDateTime(), QDateTime(QDate(2025, 4, 17), QTime(13, 14, 15, 678)));
        QVERIFY(q.fieldByName(QStringLiteral("z")).isNull());
        QCOMPARE(q.fieldByName(QStringLiteral("s")).asString(), QStringLiteral("ăîșț 😀"));
        QCOMPARE(testdb::scalar(db, QStringLiteral("select count(*) from articol")), QStringLiteral("0"));
        try {
            q.fieldByName(QStringLiteral("nope"));
            QFAIL("no error");
        } catch (const AppError &e) {
            QCOMPARE(e.message(), QStringLiteral("dsT: Field 'nope' not found"));
        }
    }

    void declaredFieldErrors_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("message");
        const QString nf = QStringLiteral("dsX: Field 'v' not found");
        QTest::newRow("missing") << "select 1 as w" << int(FieldType::Number) << nf;
        QTest::newRow("integer for number") << "select 1 as v" << int(FieldType::Number)
                                            << "Type mismatch for field 'v', expecting: Number actual: Integer";
        QTest::newRow("text for string") << "select 'a'::text as v" << int(FieldType::String)
                                         << "Type mismatch for field 'v', expecting: String actual: Text";
        QTest::newRow("string for text") << "select 'a'::varchar(3) as v" << int(FieldType::Text)
                                         << "Type mismatch for field 'v', expecting: Text actual: String";
        QTest::newRow("bigint for integer") << "select 1::bigint as v" << int(FieldType::Integer)
                                            << "Type mismatch for field 'v', expecting: Integer actual: LargeInt";
        QTest::newRow("timestamp for date") << "select now()::timestamp as v" << int(FieldType::Date) << QString();
        QTest::newRow("double for number") << "select 1.5::float8 as v" << int(FieldType::Number) << QString();
        QTest::newRow("char for string") << "select 'ab'::char(2) as v" << int(FieldType::String) << QString();
    }
    void declaredFieldErrors()
    {
        QFETCH(QString, sql);
        QFETCH(int, type);
        QFETCH(QString, message);
        Query q(&con, QStringLiteral("dsX"));
        q.setSql(sql);
        q.setFields({{QStringLiteral("v"), FieldType(type), 10}});
        QString got;
        try { q.open(); } catch (const AppError &e) { got = e.message(); }
        QCOMPARE(got, message);
        QCOMPARE(q.isActive(), message.isEmpty());
    }

    void serverErrorCarriesMessageAndState()
    {
        Query q(&con, QStringLiteral("dsBad"));
        q.setSql(QStringLiteral("select * from no_such_table"));
        try {
            q.open();
            QFAIL("no error");
        } catch (const AppError &e) {
            QCOMPARE(e.message(), QStringLiteral("relation \"no_such_table\" does not exist"));
            QCOMPARE(e.sqlState(), QByteArray("42P01"));
        }
        QVERIFY(!q.isActive());
    }

    void disconnectedModeClosesAfterFetch()
    {
        Connection c;
        point(c, db);
        c.setDisconnectedMode(true);
        Query q(&c, QStringLiteral("dsD"));
        q.setSql(QStringLiteral("select generate_series(1, 1000) as n"));
        q.setFields({{QStringLiteral("n"), FieldType::Integer}});
        q.open();
        QVERIFY(!c.isConnected());
        QCOMPARE(q.recordCount(), 1000);
        q.setCurrentRow(999);
        QCOMPARE(q.fieldByName(QStringLiteral("n")).value().toInt(), 1000);
        q.refresh();
        QCOMPARE(c.connectCount(), 2);
        QVERIFY(!c.isConnected());
        QCOMPARE(q.currentRow(), 999);
    }

    void fetchProgressAndCancel()
    {
        Query q(&con, QStringLiteral("dsC"));
        q.setSql(QStringLiteral("select generate_series(1, 200000) as n"));
        q.setFields({{QStringLiteral("n"), FieldType::Integer}});
        std::vector<size_t> seen;
        q.setFetchProgress([&seen](size_t rows) { seen.push_back(rows); return true; });
        q.open();
        QCOMPARE(q.recordCount(), 200000);
        QVERIFY(seen.size() >= 10);
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
        q.close();
        // Cancelled at the first report: the query stays closed, the connection still serves.
        q.setFetchProgress([](size_t) { return false; });
        try { q.open(); QFAIL("opened"); } catch (const AppError &e) {
            QCOMPARE(e.message(), QStringLiteral("dsC: cancelled"));
        }
        QVERIFY(!q.isActive());
        q.setFetchProgress({});
        q.open();
        QCOMPARE(q.recordCount(), 200000);
    }

    void retargetClosesOpenConnection()
    {
        Connection c;
        point(c, db);
        c.connect();
        QVERIFY(c.isConnected());
        c.setDatabase(db); // same value: nothing happens
        QVERIFY(c.isConnected());
        c.setPort(testdb::port());
        QVERIFY(c.isConnected());
        c.setDatabase(QStringLiteral("postgres"));
        QVERIFY(!c.isConnected());
    }

    void databaseNameCannotCarryOptions()
    {
        // With option expansion a name like this would switch SSL off.
        testdb::exec(QStringLiteral("postgres"), QStringLiteral("drop database if exists \"tst_pg sslmode=disable\""));
        Connection c;
        point(c, QStringLiteral("%1 sslmode=disable").arg(db));
        try {
            c.connect();
            QFAIL("connected to a database that does not exist");
        } catch (const AppError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("does not exist")), qPrintable(e.message()));
        }
        testdb::exec(QStringLiteral("postgres"), QStringLiteral("drop database if exists \"tst_pg sslmode=disable\""));
        testdb::exec(QStringLiteral("postgres"), QStringLiteral("create database \"tst_pg sslmode=disable\""));
        c.connect();
        Query q(&c, QStringLiteral("dsS"));
        q.setSql(QStringLiteral("select ssl from pg_stat_ssl where pid = pg_backend_pid()"));
        q.setFields({{QStringLiteral("ssl"), FieldType::Boolean}});
        q.open();
        QCOMPARE(q.fieldByName(QStringLiteral("ssl")).value().toBool(), true);
    }

    void requireRefusesServerWithoutSsl()
    {
        // A server that declines SSL, as PostgreSQL with ssl = off answers.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const int p = server.serverPort();
        Connection c;
        c.setServer(QStringLiteral("127.0.0.1"));
        c.setPort(p);
        c.setDatabase(QStringLiteral("kav_mob"));
        c.setUser(QStringLiteral("kav"));
        c.setPassword(QStringLiteral("secret"));
        c.setSslMode(QStringLiteral("require"));
        c.setConnectTimeout(5);
        QString err;
        QByteArray received;
        std::thread client([&] {
            try { c.connect(); } catch (const AppError &e) { err = e.message(); }
        });
        QVERIFY(server.waitForNewConnection(5000));
        QTcpSocket *s = server.nextPendingConnection();
        QVERIFY(s->waitForReadyRead(5000));
        received = s->readAll(); // the 8-byte SSLRequest
        s->write("N");
        s->flush();
        s->waitForBytesWritten(1000);
        s->waitForReadyRead(1000);
        received += s->readAll();
        client.join();
        QCOMPARE(received.size(), 8); // nothing but the SSL request went out
        QVERIFY2(err.contains(QStringLiteral("SSL")), qPrintable(err));
        QVERIFY(!c.isConnected());
    }

    void writeBackPaths()
    {
        testdb::exec(db, QStringLiteral("delete from articol_ambalaje;"
                                        "insert into articol_ambalaje(articol, kg_ambalaj_primar_total_hartie, kg_ambalaj_primar_total_sticla) "
                                        "values ('A', 1.5, 2), ('B', null, 3)"));
        Connection c;
        point(c, db);
        c.setDisconnectedMode(true);
        Query q(&c, QStringLiteral("dsArticolAmbalaje"));
        q.setSql(QStringLiteral("select * from articol_ambalaje order by articol"));
        q.setFields(packagingFields());
        q.setUpdateTable(QStringLiteral("articol_ambalaje"), {QStringLiteral("articol")});
        q.open();
        QCOMPARE(q.recordCount(), 2);

        // Another operator changes column sticla meanwhile: our update of
        // hartie must not overwrite it.
        testdb::exec(db, QStringLiteral("update articol_ambalaje set kg_ambalaj_primar_total_sticla = 9 where articol = 'A'"));
        q.setCurrentRow(0);
        q.setValue(1, QStringLiteral("0.25"));
        QCOMPARE(q.state(), Query::State::Edit);
        q.post();
        QCOMPARE(testdb::scalar(db, QStringLiteral("select kg_ambalaj_primar_total_hartie || '/' || kg_ambalaj_primar_total_sticla from articol_ambalaje where articol='A'")),
                 QStringLiteral("0.2500/9.0000"));

        // Key changed: update by the key as read.
        q.setValue(0, QStringLiteral("A2"));
        q.post();
        QCOMPARE(testdb::scalar(db, QStringLiteral("select count(*) from articol_ambalaje where articol='A2'")), QStringLiteral("1"));

        // Row deleted by someone else: "Update failed. Found 0 records", row stays in editing.
        testdb::exec(db, QStringLiteral("delete from articol_ambalaje where articol='B'"));
        q.setCurrentRow(1);
        q.setValue(2, 7.0);
        try { q.post(); QFAIL("posted"); } catch (const AppError &e) {
            QCOMPARE(e.message(), QStringLiteral("Update failed. Found 0 records"));
        }
        QCOMPARE(q.state(), Query::State::Edit);
        QCOMPARE(q.value(1, 2).toDouble(), 7.0);
        q.cancel();
        try { q.deleteCurrent(); QFAIL("deleted"); } catch (const AppError &e) {
            QCOMPARE(e.message(), QStringLiteral("Update failed. Found 0 records"));
        }
        QCOMPARE(q.recordCount(), 2);

        // Required field refused before anything is written.
        q.insert(0);
        q.setValue(1, 1.0);
        try { q.post(); QFAIL("posted"); } catch (const AppError &e) {
            QCOMPARE(e.message(), QStringLiteral("Field 'articol' must have a value"));
        }
        QCOMPARE(q.state(), Query::State::Insert);
        q.setValue(0, QStringLiteral("C"));
        q.post();
        QCOMPARE(testdb::scalar(db, QStringLiteral("select coalesce(kg_ambalaj_primar_total_sticla::text,'null') || '/' || (data_ins is not null) from articol_ambalaje where articol='C'")),
                 QStringLiteral("null/true"));
        QVERIFY(q.isNull(0, 3)); // not re-read

        // Duplicate key: the database's message, the row stays inserting with its values.
        q.insert(0);
        q.setValue(0, QStringLiteral("C"));
        try { q.post(); QFAIL("posted"); } catch (const AppError &e) {
            QCOMPARE(e.sqlState(), QByteArray("23505"));
            QVERIFY(e.message().contains(QStringLiteral("duplicate key")));
        }
        QCOMPARE(q.state(), Query::State::Insert);
        QCOMPARE(q.value(0, 0).toString(), QStringLiteral("C"));
        q.cancel();
        QCOMPARE(q.recordCount(), 3);

        // Delete.
        q.setCurrentRow(0);
        QCOMPARE(q.value(0, 0).toString(), QStringLiteral("C"));
        q.deleteCurrent();
        QCOMPARE(testdb::scalar(db, QStringLiteral("select count(*) from articol_ambalaje where articol='C'")), QStringLiteral("0"));
        QCOMPARE(q.recordCount(), 2);
        QVERIFY(!c.isConnected());
    }

    void refreshPostsChangesAndDropsUntouchedRows()
    {
        testdb::exec(db, QStringLiteral("delete from articol_ambalaje; insert into articol_ambalaje(articol) values ('R1')"));
        Connection c;
        point(c, db);
        Query q(&c, QStringLiteral("dsR"));
        q.setSql(QStringLiteral("select * from articol_ambalaje order by articol"));
        q.setFields(packagingFields());
        q.setUpdateTable(QStringLiteral("articol_ambalaje"), {QStringLiteral("articol")});
        q.open();
        q.insert(0); // nothing typed
        q.refresh();
        QCOMPARE(q.recordCount(), 1);
        QCOMPARE(q.state(), Query::State::Browse);
        q.setValue(1, 2.5);
        q.refresh(); // posted first, then read again
        QCOMPARE(testdb::scalar(db, QStringLiteral("select kg_ambalaj_primar_total_hartie from articol_ambalaje")), QStringLiteral("2.5000"));
        QCOMPARE(q.value(0, 1).toDouble(), 2.5);
        QVERIFY(!q.isNull(0, 3)); // data_ins now read from the database
    }

    void badValuesAreRefusedWhileTyping_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("letters in number") << 1 << QVariant(QStringLiteral("abc"));
        QTest::newRow("infinite") << 1 << QVariant(QStringLiteral("inf"));
    }
    void badValuesAreRefusedWhileTyping()
    {
        QFETCH(int, column);
        QFETCH(QVariant, value);
        Table t(packagingFields());
        t.appendRow({QStringLiteral("A"), 1.0, 2.0, QVariant()});
        Query q(nullptr, QStringLiteral("dsMem"));
        q.setFields(packagingFields());
        q.openFromTable(std::move(t));
        q.setCurrentRow(0);
        QVERIFY_THROWS_EXCEPTION(AppError, q.setValue(column, value));
        QCOMPARE(q.value(0, column).toDouble(), 1.0);
    }
};

QTEST_GUILESS_MAIN(TestPg)
#include "tst_pg.moc"
