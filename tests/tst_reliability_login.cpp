// The sign-in under attack and under faults, through the real login form
// against the real server: registry values that look like connection
// options, secrets on disk, damaged remembered-login files, a crash while
// saving it, a server connection killed, servers that refuse or never
// answer, and hostile text in the three boxes.
#include "data/u_dmCon.h"
#include "login/u_frmLogin.h"
#include "platform/Error.h"
#include "platform/pg/Query.h"
#include "platform/storage/LoginStore.h"
#include "support/Reliability.h"
#include "support/Screens.h"
#include "support/TestDb.h"
#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace screensfixture;

namespace {

const QString kCompanyDb = QStringLiteral("tst_rel_co");
// A real database whose name reads like connection options.
const QString kOptionsDb = QStringLiteral("tst_rel_co sslmode=disable host=evil");
const QString kIonPassword = QStringLiteral("Secret-Ion-7");
const QString kAnaPassword = QStringLiteral("Parola-Ana-9");
const QString kNulRefused = QStringLiteral("The text contains a NUL character (code 0), which the database cannot store.");

QStringList g_messages; // everything the program printed
QtMessageHandler g_previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &ctx, const QString &msg)
{
    g_messages << msg;
    if (g_previousHandler)
        g_previousHandler(type, ctx, msg);
}

QString sha(const QString &s) { return TfrmLogin::passwordForm(s, QStringLiteral("HashSHA2")); }

QString seconds(qint64 ms) { return QString::number(double(ms) / 1000.0, 'f', 2) + QStringLiteral(" s"); }

// A port on which nothing listens.
int closedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost);
    const int p = s.serverPort();
    s.close();
    return p;
}

// A server that declines SSL, as PostgreSQL with ssl = off answers the SSL
// request, and records every byte the client sends it. It runs on its own
// thread because the sign-in blocks this one while it connects.
class NoSslServer {
public:
    NoSslServer()
    {
        m_listen = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_listen, reinterpret_cast<sockaddr *>(&a), sizeof a);
        listen(m_listen, 4);
        socklen_t len = sizeof a;
        getsockname(m_listen, reinterpret_cast<sockaddr *>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~NoSslServer()
    {
        if (m_thread.joinable())
            m_thread.join();
        close(m_listen);
    }
    int port() const { return m_port; }
    // Everything received, once the client has gone.
    QByteArray received()
    {
        if (m_thread.joinable())
            m_thread.join();
        return m_received;
    }

private:
    void serve()
    {
        pollfd p{m_listen, POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0)
            return;
        const int c = accept(m_listen, nullptr, nullptr);
        char buf[4096];
        bool answered = false;
        for (;;) {
            pollfd q{c, POLLIN, 0};
            if (poll(&q, 1, 3000) <= 0)
                break;
            const ssize_t n = read(c, buf, sizeof buf);
            if (n <= 0)
                break;
            m_received.append(buf, n);
            if (!answered && m_received.size() >= 8) {
                answered = write(c, "N", 1) == 1;
            }
        }
        close(c);
    }

    int m_listen = -1;
    int m_port = 0;
    std::thread m_thread;
    QByteArray m_received;
};

} // namespace

class TestReliabilityLogin : public QObject {
    Q_OBJECT
    QTemporaryDir root;
    reliability::Results results{QStringLiteral("tst_reliability_login")};
    int attempts = 0;

    QString configDir() const { return root.path() + QStringLiteral("/config"); }
    QString loginFile() const { return storage::rememberedLoginPath(); }

    static void typeInto(QLineEdit *e, const QString &text)
    {
        e->setText(text);
        Q_EMIT e->textEdited(text);
    }

    // One press of "Login" with the three boxes as given; true when signed in.
    bool attempt(const QString &company, const QString &user, const QString &password)
    {
        if (!frmLogin->isVisible())
            frmLogin->show();
        recorder().clear();
        typeInto(frmLogin->Edit1, company);
        typeInto(frmLogin->Edit2, user);
        frmLogin->Edit3->setText(password);
        frmLogin->setResult(0);
        ++attempts;
        QTest::mouseClick(frmLogin->Button1, Qt::LeftButton);
        return frmLogin->result() == QDialog::Accepted;
    }

    bool signInWorks()
    {
        const bool ok = attempt(QStringLiteral("Sigur"), QStringLiteral("ion"), kIonPassword);
        if (!ok)
            qWarning() << "sign-in failed:" << recorder().errors;
        return ok && recorder().errors.isEmpty();
    }

    // Operator rows, the application and its grants, and a policy that hides
    // the operators from any connection made without SSL: a sign-in that
    // succeeds therefore proves the company connection was encrypted.
    void company(const QString &db)
    {
        testdb::createCompany(db);
        testdb::exec(db, QStringLiteral(
            "insert into emitent(emitent, operator_parola, eu_punct_lucru) values ('ion', '%1', 'PL Cluj'), ('ana', '%2', 'PL Iasi');"
            "insert into aplicatie_mob(aplicatie_mob, activ) values ('wpelvaro', true);"
            "insert into aplicatie_mob_emitent(aplicatie_mob, emitent, rol) values ('wpelvaro', 'ion', 'op'), ('wpelvaro', 'ana', 'op');"
            "insert into eu(jas_ip, tara, metoda_stoc, cod_cci, tip_contabilitate, localit, adresa, data_incep_activitate, data_denominare, norma) "
            "values ('srv:8443', 'RO', 'FIFO', 'c', 't', 'l', 'a', '2020-01-01', '2020-01-01', 1);"
            "alter table emitent enable row level security;"
            "create policy over_ssl on emitent for select to kav using (coalesce((select ssl from pg_stat_ssl where pid = pg_backend_pid()), false));")
            .arg(sha(kIonPassword), kAnaPassword));
    }

    void registryRow(const QString &name, const QString &ip, int port, const QString &db, const QString &hash = QStringLiteral("HashSHA2"))
    {
        testdb::exec(QStringLiteral("kav_mob"), QStringLiteral("delete from m_firma where nume_firma = %1;"
                                                               "insert into m_firma(nume_firma, ip, port, db_name, m_site, pw_hash_type) values (%1, %2, %3, %4, false, %5)")
                                                    .arg(lit(name), lit(ip), QString::number(port), lit(db), hash.isEmpty() ? QStringLiteral("null") : lit(hash)));
    }

    static QString lit(const QString &s)
    {
        QString q = s;
        q.replace(QLatin1Char('\''), QLatin1String("''"));
        return QLatin1Char('\'') + q + QLatin1Char('\'');
    }

private slots:
    void initTestCase()
    {
        QVERIFY(root.isValid());
        QDir().mkpath(configDir());
        QDir().mkpath(root.path() + QStringLiteral("/home"));
        qputenv("XDG_CONFIG_HOME", configDir().toUtf8());
        qputenv("HOME", (root.path() + QStringLiteral("/home")).toUtf8());
        g_previousHandler = qInstallMessageHandler(recordMessage);
        REQUIRE_TEST_SERVER();
        createProgram();
        testdb::createRegistry();
        testdb::exec(QStringLiteral("kav_mob"), QStringLiteral(
            "alter table m_firma enable row level security;"
            "create policy over_ssl on m_firma for select to kav using (coalesce((select ssl from pg_stat_ssl where pid = pg_backend_pid()), false));"));
        company(kCompanyDb);
        company(kOptionsDb);
        const QString h = testdb::host();
        const int p = testdb::port();
        registryRow(QStringLiteral("Sigur"), h, p, kCompanyDb);
        registryRow(QStringLiteral("Simplu"), h, p, kCompanyDb, QString());
        registryRow(QStringLiteral("Firmă 😀𝄞"), h, p, kCompanyDb);
        registryRow(QStringLiteral("Optiuni reale"), h, p, kOptionsDb);
        dmCon->conKavMob.setConnectTimeout(2);
        dmCon->conKav.setConnectTimeout(2);
    }

    void cleanup()
    {
        results.noteTestResult();
        dmCon->conKavMob.setServer(testdb::host());
        dmCon->conKavMob.setPort(testdb::port());
    }

    void cleanupTestCase()
    {
        qInstallMessageHandler(g_previousHandler);
        const QString diff = results.finishIfAllPassed();
        if (!diff.isEmpty())
            QFAIL(qPrintable(diff));
    }

    // ------------------------------------------------------------------
    void registryValuesAreNamesOnly_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("db");
        QTest::addColumn<QString>("message"); // part of the database layer's message
        const QString h = testdb::host();
        const QString p = QString::number(testdb::port());
        QTest::newRow("db_name with sslmode") << h << "tst_rel_co sslmode=disable" << "database \"tst_rel_co sslmode=disable\" does not exist";
        QTest::newRow("db_name as keywords") << h << "dbname=tst_rel_co sslmode=disable" << "database \"dbname=tst_rel_co sslmode=disable\" does not exist";
        QTest::newRow("db_name as a URI") << h << QStringLiteral("postgresql://kav@%1:%2/tst_rel_co?sslmode=disable").arg(h, p)
                                          << QStringLiteral("database \"postgresql://kav@%1:%2/tst_rel_co?sslmode=disable\" does not exist").arg(h, p);
        QTest::newRow("ip with sslmode") << h + QStringLiteral(" sslmode=disable") << kCompanyDb << "could not translate host name \"" + h + " sslmode=disable\"";
        QTest::newRow("ip as keyword") << "host=evil" << kCompanyDb << "could not translate host name \"host=evil\"";
        QTest::newRow("ip with hostaddr") << "hostaddr=127.0.0.1 sslmode=disable" << kCompanyDb << "could not translate host name \"hostaddr=127.0.0.1 sslmode=disable\"";
    }
    void registryValuesAreNamesOnly()
    {
        QFETCH(QString, ip);
        QFETCH(QString, db);
        QFETCH(QString, message);
        registryRow(QStringLiteral("Optiuni"), ip, testdb::port(), db);
        dmCon->glDataBase = QStringLiteral("before");
        QVERIFY(!attempt(QStringLiteral("Optiuni"), QStringLiteral("ion"), kIonPassword));
        QCOMPARE(recorder().errors.size(), 1);
        QVERIFY2(recorder().errors.first().contains(message), qPrintable(recorder().errors.first()));
        QCOMPARE(dmCon->glDataBase, QStringLiteral("before"));
        // The value reached the connection unchanged, as one name.
        QCOMPARE(dmCon->conKav.server(), ip);
        QCOMPARE(dmCon->conKav.database(), db);
        results.tally(QStringLiteral("Registry `ip`/`db_name` holding connection options (sslmode=disable, host=, hostaddr=, dbname=, a URI): sign-in through the login form"),
                      1, 0, QStringLiteral("connections without SSL"), QStringLiteral("each refused with the server's or libpq's message naming the whole value"));
    }

    void optionLookingNameOfARealDatabase()
    {
        // The name is used whole, and the connection is encrypted (the
        // operators are hidden from plain connections).
        QVERIFY(attempt(QStringLiteral("Optiuni reale"), QStringLiteral("ion"), kIonPassword));
        QVERIFY2(recorder().errors.isEmpty(), qPrintable(recorder().errors.join(QLatin1Char('\n'))));
        QCOMPARE(dmCon->glDataBase, kOptionsDb);
        // And a plain connection would indeed see nobody: the guard is real.
        const QString plain = testdb::scalar(kOptionsDb, QStringLiteral(
            "set role kav; select count(*) from emitent"));
        QCOMPARE(plain, QStringLiteral("0"));
        results.tally(QStringLiteral("A real database named \"tst_rel_co sslmode=disable host=evil\": sign-in"), 1, 0,
                      QStringLiteral("connections without SSL"), QStringLiteral("signed in over SSL to exactly that database"));
    }

    void registryRequiresSsl()
    {
        // The registry connection asks for SSL and gives up when the server
        // declines: the SSL request is the only thing that leaves, so neither
        // the company name nor the database user nor a password does.
        NoSslServer server;
        dmCon->conKavMob.setServer(QStringLiteral("127.0.0.1"));
        dmCon->conKavMob.setPort(server.port());
        QVERIFY(!attempt(QStringLiteral("Sigur"), QStringLiteral("ion"), kIonPassword));
        const QByteArray got = server.received();
        QCOMPARE(recorder().errors.size(), 1);
        QVERIFY2(recorder().errors.first().contains(QStringLiteral("server does not support SSL, but SSL was required")), qPrintable(recorder().errors.first()));
        QCOMPARE(got, QByteArray::fromHex("0000000804d2162f")); // the SSL request, nothing more
        const QString shown = recorder().errors.first();
        dmCon->conKavMob.setServer(testdb::host());
        dmCon->conKavMob.setPort(testdb::port());
        QVERIFY(signInWorks());
        results.tally(QStringLiteral("Registry server that declines SSL: sign-in, then a normal sign-in"), 2, 0, QStringLiteral("bytes sent besides the SSL request"),
                      QStringLiteral("\"%1\"; the server received only the 8-byte SSL request").arg(shown));
    }

    // ------------------------------------------------------------------
    void damagedRememberedLogin_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const QByteArray good = storage::writeLoginJson(storage::LoginRow{QStringLiteral("Sigur"), QStringLiteral("ion")});
        QRandomGenerator rng(20250417);
        QByteArray noise(4096, '\0');
        for (char &c : noise)
            c = char(rng.bounded(256));
        QByteArray wrongType = good;
        wrongType.replace("\"company\":\"Sigur\"", "\"company\":42");
        QVERIFY(wrongType != good);
        QByteArray badUtf8 = good;
        badUtf8.replace("Sigur", "Sig\xC0\x80r");
        QTest::newRow("corrupt") << noise << "is damaged";
        QTest::newRow("truncated") << good.left(good.size() / 2) << "is damaged: the file ends";
        QTest::newRow("empty") << QByteArray() << "is damaged: the file is empty";
        QTest::newRow("byte-order mark only") << QByteArray("\xEF\xBB\xBF") << "is damaged: the file is empty";
        QTest::newRow("50 MB") << QByteArray() << "is damaged: it is larger than 1 MiB";
        QTest::newRow("wrongly typed member") << QByteArray("{\"FDBS\":[]}") << "is damaged: \"FDBS\" is not an object";
        QTest::newRow("wrongly typed value") << wrongType << "is damaged: the value of \"company\" is not a text";
        QTest::newRow("invalid UTF-8") << badUtf8 << "is damaged: invalid UTF-8";
        QTest::newRow("nested 100000 deep") << QByteArray(100000, '[') << "is damaged: the data is nested more than";
    }
    void damagedRememberedLogin()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        frmLogin->hide();
        QFile f(loginFile());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        if (QByteArray(QTest::currentDataTag()) == "50 MB") {
            const QByteArray chunk(1024 * 1024, ' ');
            for (int i = 0; i < 50; ++i)
                QCOMPARE(f.write(chunk), chunk.size());
        } else {
            QCOMPARE(f.write(bytes), bytes.size());
        }
        f.close();
        frmLogin->dsLogin = storage::LoginRow{QStringLiteral("Ramas"), QStringLiteral("din sesiune")};
        recorder().clear();
        QElapsedTimer t;
        t.start();
        frmLogin->show(); // FormShow loads the file
        const qint64 ms = t.elapsed();
        QCOMPARE(recorder().errors.size(), 1);
        const QString shown = recorder().errors.first();
        QVERIFY2(shown.startsWith(QStringLiteral("The remembered-login file \"%1\" ").arg(loginFile())), qPrintable(shown));
        QVERIFY2(shown.contains(reason), qPrintable(shown));
        // The form opens with what it had and still signs in.
        QCOMPARE(frmLogin->Edit1->text(), QStringLiteral("Ramas"));
        QVERIFY(frmLogin->Button1->isEnabled() && frmLogin->Edit1->isEnabled());
        QVERIFY(signInWorks());
        // The sign-in replaced the damaged file with a good one.
        const auto row = storage::loadLoginFile(loginFile());
        QVERIFY(row.has_value());
        QCOMPARE(row->company.value_or(QString()), QStringLiteral("Sigur"));
        results.tally(QStringLiteral("Remembered-login file damaged: %1; login form shown, then sign-in").arg(QString::fromLatin1(QTest::currentDataTag())),
                      1, 0, QStringLiteral("failed sign-ins"), QStringLiteral("one error box (\"%1\"), loaded in %2, sign-in then succeeded").arg(shown.section(QStringLiteral(": "), 1), seconds(ms)));
    }

    void folderInPlaceOfRememberedLogin()
    {
        frmLogin->hide();
        QFile::remove(loginFile());
        QVERIFY(QDir().mkpath(loginFile()));
        recorder().clear();
        frmLogin->show();
        QCOMPARE(recorder().errors.size(), 1);
        QVERIFY2(recorder().errors.first().contains(loginFile()), qPrintable(recorder().errors.first()));
        // Saving cannot replace a folder: the attempt stops before the registry.
        QVERIFY(!attempt(QStringLiteral("Sigur"), QStringLiteral("ion"), kIonPassword));
        QCOMPARE(recorder().errors.size(), 1);
        QVERIFY2(recorder().errors.first().startsWith(QStringLiteral("Cannot create file \"%1\".").arg(loginFile())), qPrintable(recorder().errors.first()));
        QCOMPARE(frmLogin->Edit3->text(), kIonPassword);
        QVERIFY(QDir(loginFile()).removeRecursively());
        QVERIFY(signInWorks());
        results.tally(QStringLiteral("Remembered-login path is a folder: login form shown, sign-in, folder removed, sign-in"), 2, 0,
                      QStringLiteral("failed sign-ins after the folder was removed"), QStringLiteral("\"Cannot create file\" until removed, then signed in"));
    }

    void crashWhileSavingKeepsOldFile_data()
    {
        QTest::addColumn<bool>("killed");
        QTest::newRow("process killed mid-write (SIGXFSZ)") << true;
        QTest::newRow("write refused (file size limit, EFBIG)") << false;
    }
    void crashWhileSavingKeepsOldFile()
    {
        QFETCH(bool, killed);
        storage::saveLoginFile(loginFile(), storage::LoginRow{QStringLiteral("Vechi"), QStringLiteral("ion")});
        QFile f(loginFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();
        const QStringList filesBefore = QDir(configDir()).entryList(QDir::Files);
        const QString big(20000, QLatin1Char('x'));
        std::fflush(nullptr);
        const pid_t pid = fork();
        QVERIFY(pid >= 0);
        if (pid == 0) {
            // The child saves a file larger than it may write.
            rlimit lim{256, 256};
            setrlimit(RLIMIT_FSIZE, &lim);
            std::signal(SIGXFSZ, killed ? SIG_DFL : SIG_IGN);
            try {
                storage::saveLoginFile(storage::rememberedLoginPath(), storage::LoginRow{big, big});
            } catch (const AppError &) {
                _exit(3);
            }
            _exit(0);
        }
        int status = 0;
        QCOMPARE(waitpid(pid, &status, 0), pid);
        if (killed) {
            QVERIFY(WIFSIGNALED(status));
            QCOMPARE(WTERMSIG(status), SIGXFSZ);
        } else {
            QVERIFY(WIFEXITED(status));
            QCOMPARE(WEXITSTATUS(status), 3); // reported as a failure, not as saved
        }
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        f.close();
        QStringList leftovers = QDir(configDir()).entryList(QDir::Files);
        for (const QString &n : filesBefore)
            leftovers.removeAll(n);
        if (!killed)
            QCOMPARE(leftovers, QStringList());
        for (const QString &n : leftovers)
            QFile::remove(configDir() + QLatin1Char('/') + n);
        QCOMPARE(storage::loadLoginFile(loginFile())->company.value_or(QString()), QStringLiteral("Vechi"));
        results.tally(QStringLiteral("Remembered-login save interrupted: %1").arg(QString::fromLatin1(QTest::currentDataTag())), 1, 0,
                      QStringLiteral("damaged files"),
                      killed ? QStringLiteral("old file intact; %1 temporary file(s) left beside it").arg(leftovers.size())
                             : QStringLiteral("old file intact, error reported, no temporary file left"));
    }

    // ------------------------------------------------------------------
    void registryConnectionKilled()
    {
        QVERIFY(signInWorks()); // the registry connection is open now
        const int cycles = 5;
        for (int i = 0; i < cycles; ++i) {
            const int connects = dmCon->conKavMob.connectCount();
            const QString pids = testdb::scalar(QStringLiteral("postgres"), QStringLiteral(
                "select string_agg(pid::text, ',') from pg_stat_activity where datname = 'kav_mob' and usename = 'kav'"));
            QVERIFY2(!pids.isEmpty() && !pids.contains(QLatin1Char(',')), qPrintable(pids));
            QCOMPARE(testdb::scalar(QStringLiteral("postgres"), QStringLiteral("select pg_terminate_backend(%1, 10000)").arg(pids)), QStringLiteral("t"));
            // The next attempt reports the server's message ...
            QVERIFY(!attempt(QStringLiteral("Sigur"), QStringLiteral("ion"), kIonPassword));
            QCOMPARE(recorder().errors.size(), 1);
            const QString shown = recorder().errors.first();
            QVERIFY2(shown.contains(QStringLiteral("terminating connection due to administrator command"))
                         || shown.contains(QStringLiteral("server closed the connection unexpectedly")),
                     qPrintable(shown));
            QCOMPARE(frmLogin->Edit3->text(), kIonPassword);
            // ... and the one after connects afresh and signs in.
            QVERIFY(signInWorks());
            QCOMPARE(dmCon->conKavMob.connectCount(), connects + 1);
            if (i == 0)
                results.tally(QStringLiteral("Registry connection's server process terminated (pg_terminate_backend) between sign-ins"), 0, 0,
                              QStringLiteral("failed sign-ins after reconnecting"), QStringLiteral("next attempt: \"%1\"; the following one reconnected and signed in").arg(shown));
            results.tally(QStringLiteral("Registry connection's server process terminated (pg_terminate_backend) between sign-ins"), 1, 0, QStringLiteral("failed sign-ins after reconnecting"));
        }
    }

    // ------------------------------------------------------------------
    void unreachableServers_data()
    {
        QTest::addColumn<QString>("which");  // registry or company
        QTest::addColumn<QString>("kind");   // closed, silent, blackhole
        QTest::newRow("registry, closed port") << "registry" << "closed";
        QTest::newRow("registry, server that never answers") << "registry" << "silent";
        QTest::newRow("company, closed port") << "company" << "closed";
        QTest::newRow("company, server that never answers") << "company" << "silent";
        QTest::newRow("company, address 10.255.255.1") << "company" << "blackhole";
    }
    void unreachableServers()
    {
        QFETCH(QString, which);
        QFETCH(QString, kind);
        // A server that accepts the connection and then says nothing: the
        // kernel completes the handshake from the listen queue.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        QString ip = testdb::host();
        int port = kind == QLatin1String("closed") ? closedPort() : int(silent.serverPort());
        if (kind == QLatin1String("blackhole")) {
            ip = QStringLiteral("10.255.255.1");
            port = 5432;
        }
        const int timeout = 2;
        if (which == QLatin1String("registry")) {
            dmCon->conKavMob.setServer(ip);
            dmCon->conKavMob.setPort(port);
        } else {
            registryRow(QStringLiteral("Departe"), ip, port, kCompanyDb);
        }
        QElapsedTimer t;
        t.start();
        QVERIFY(!attempt(which == QLatin1String("registry") ? QStringLiteral("Sigur") : QStringLiteral("Departe"), QStringLiteral("ion"), kIonPassword));
        const qint64 ms = t.elapsed();
        QCOMPARE(recorder().errors.size(), 1);
        const QString shown = recorder().errors.first();
        QVERIFY2(shown.contains(QStringLiteral("connection to server at \"%1\"").arg(ip)) || shown.contains(QStringLiteral("timeout expired")), qPrintable(shown));
        // Within the connect time-out plus one second (and some slack for a loaded machine).
        QVERIFY2(ms <= (timeout + 3) * 1000, qPrintable(seconds(ms)));
        // The form stays usable.
        dmCon->conKavMob.setServer(testdb::host());
        dmCon->conKavMob.setPort(testdb::port());
        QVERIFY(signInWorks());
        results.tally(QStringLiteral("Sign-in with the %1 (connect time-out %2 s), then a normal sign-in").arg(QString::fromLatin1(QTest::currentDataTag())).arg(timeout),
                      2, 0, QStringLiteral("failed sign-ins afterwards"),
                      QStringLiteral("failed after %1 with \"%2\"").arg(seconds(ms), shown.left(160)));
    }

    // ------------------------------------------------------------------
    void hostileTextInTheBoxes_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("company");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("shown"); // the error box, or empty for a sign-in
        const QString nul(QChar(0));
        const QString eronate = QStringLiteral("User, Password eronate.");
        const QString inexistenta = QStringLiteral("Companie inexistenta.");
        const QString lone(QChar(0xD800));
        const QString tenK = QString(10000, QLatin1Char('w'));
        const QString ctl = QStringLiteral("\x01\x02\t\n\x1f\x7f");
        QTest::newRow("NUL after the company") << "NUL characters" << "Sigur" + nul + "x" << "ion" << kIonPassword << kNulRefused;
        QTest::newRow("NUL after the user") << "NUL characters" << "Sigur" << "ion" + nul + "x" << kIonPassword << kNulRefused;
        QTest::newRow("NUL after a plain password") << "NUL characters" << "Simplu" << "ana" << kAnaPassword + nul + "x" << kNulRefused;
        QTest::newRow("NUL after a hashed password") << "NUL characters" << "Sigur" << "ion" << kIonPassword + nul + "x" << eronate;
        QTest::newRow("unpaired surrogate in the company") << "unpaired surrogates" << "Sigur" + lone << "ion" << kIonPassword
                                                           << "The text contains an unpaired surrogate (code U+D800), which is not a character the database can store.";
        QTest::newRow("unpaired surrogate in a hashed password") << "unpaired surrogates" << "Sigur" << "ion" << kIonPassword + lone << eronate;
        QTest::newRow("control characters in the company") << "control characters" << "Sigur" + ctl << "ion" << kIonPassword << inexistenta;
        QTest::newRow("control characters in the user") << "control characters" << "Sigur" << "ion" + ctl << kIonPassword << eronate;
        QTest::newRow("control characters in the password") << "control characters" << "Simplu" << "ana" << kAnaPassword + ctl << eronate;
        QTest::newRow("characters outside the basic plane, registered company") << "characters outside the basic plane" << "Firmă 😀𝄞" << "ion" << kIonPassword << QString();
        QTest::newRow("characters outside the basic plane in the password") << "characters outside the basic plane" << "Sigur" << "ion" << "😀" + kIonPassword << eronate;
        QTest::newRow("10000 characters, company") << "10,000-character values" << tenK << "ion" << kIonPassword << inexistenta;
        QTest::newRow("10000 characters, user") << "10,000-character values" << "Sigur" << tenK << kIonPassword << eronate;
        QTest::newRow("10000 characters, password") << "10,000-character values" << "Simplu" << "ana" << tenK << eronate;
        QTest::newRow("SQL in the company") << "SQL-looking text" << "Sigur' or '1'='1" << "ion" << kIonPassword << inexistenta;
        QTest::newRow("SQL in the user") << "SQL-looking text" << "Sigur" << "ion' --" << kIonPassword << eronate;
        QTest::newRow("SQL in the password") << "SQL-looking text" << "Simplu" << "ana" << "' or ''='" << eronate;
        QTest::newRow("options in the company") << "SQL-looking text" << "Sigur sslmode=disable" << "ion" << kIonPassword << inexistenta;
    }
    void hostileTextInTheBoxes()
    {
        QFETCH(QString, group);
        QFETCH(QString, company);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, shown);
        const bool ok = attempt(company, user, password);
        QCOMPARE(recorder().errors.value(0), shown);
        QCOMPARE(ok, shown.isEmpty());
        if (!ok) {
            QCOMPARE(frmLogin->Edit3->text(), password); // kept for correction
            QVERIFY(!frmLogin->dsKavMobil->isActive());
        }
        // The remembered login holds exactly what was typed, never the password.
        const auto row = storage::loadLoginFile(loginFile());
        QVERIFY(row.has_value());
        QCOMPARE(row->company.value_or(QString()), company);
        QCOMPARE(row->username.value_or(QString()), user);
        QFile f(loginFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(!f.readAll().contains(password.toUtf8()));
        results.tally(QStringLiteral("Login boxes: %1 (company, user and password boxes)").arg(group), 1, 0,
                      QStringLiteral("wrong sign-ins or altered remembered values"),
                      shown.isEmpty() ? QStringLiteral("registered company signed in") : QStringLiteral("\"%1\"").arg(shown));
    }

    // Last, so that every sign-in of this program has left its traces.
    void secretsNeverOnDisk()
    {
        QVERIFY(attempt(QStringLiteral("Simplu"), QStringLiteral("ana"), kAnaPassword));
        QVERIFY(!attempt(QStringLiteral("Simplu"), QStringLiteral("ana"), QStringLiteral("Gresit-Parola-3")));
        QVERIFY(signInWorks());
        struct Secret { QString label; QString text; };
        QList<Secret> secrets{{QStringLiteral("operator password"), kIonPassword},
                              {QStringLiteral("operator password"), kAnaPassword},
                              {QStringLiteral("mistyped password"), QStringLiteral("Gresit-Parola-3")},
                              {QStringLiteral("database password"), testdb::password()}};
        QList<QPair<QString, QByteArray>> forms;
        for (const Secret &s : secrets) {
            forms.append({s.label, s.text.toUtf8()});
            forms.append({s.label + QStringLiteral(" (UTF-16)"), QByteArray(reinterpret_cast<const char *>(s.text.utf16()), s.text.size() * 2)});
            forms.append({s.label + QStringLiteral(" (SHA-256)"), sha(s.text).toLatin1()});
        }
        QStringList hits;
        int files = 0;
        QDirIterator it(root.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly))
                continue;
            ++files;
            const QByteArray bytes = f.readAll();
            for (const auto &form : forms)
                if (!form.second.isEmpty() && bytes.contains(form.second))
                    hits << path + QStringLiteral(": ") + form.first;
        }
        for (const QString &m : g_messages)
            for (const Secret &s : secrets)
                if (m.contains(s.text))
                    hits << QStringLiteral("printed: ") + s.label;
        QVERIFY2(hits.isEmpty(), qPrintable(hits.join(QLatin1Char('\n'))));
        QVERIFY(files >= 1);
        // The remembered row in memory never holds a password either.
        QVERIFY(frmLogin->dsLogin.has_value());
        QVERIFY(frmLogin->dsLogin->company != kIonPassword && frmLogin->dsLogin->username != kIonPassword);
        results.tally(QStringLiteral("Every sign-in of this program; then the config and home folders and everything printed scanned for the passwords (plain, UTF-16, SHA-256)"),
                      attempts, int(hits.size()), QStringLiteral("secrets found"),
                      QStringLiteral("%1 file(s) and %2 printed message(s) scanned").arg(files).arg(g_messages.size()));
    }
};

QTEST_MAIN(TestReliabilityLogin)
#include "tst_reliability_login.moc"
