// Two clients editing, deleting and adding the same rows of articol_ambalaje
// and articol, each from its own connection and its own (often stale) view,
// as two operators would. Every write's outcome is predicted from a model of
// what the successful writes did; at the end the tables must equal that
// model: no lost update, no duplicate article, no write reported wrongly.
#include "platform/Error.h"
#include "platform/pg/Query.h"
#include "support/Reliability.h"
#include "support/TestDb.h"
#include <QElapsedTimer>
#include <QtTest>
#include <map>
#include <optional>
#include <random>

using pg::FieldDef;
using pg::FieldType;

namespace {

const QString kDb = QStringLiteral("tst_rel_cc");
constexpr int kOperations = 2000;
constexpr qint64 kTimeCapMs = 300000; // a safety net for a very slow machine, inside ctest's time-out

// Kilograms and weights are kept in ten-thousandths, as numeric(15,4) holds them.
using Value = std::optional<qint64>;

QVariant toVariant(const Value &v) { return v ? QVariant(double(*v) / 10000.0) : QVariant(); }

// One table as the clients see it: its name, its key, its value columns.
struct Shape {
    QString table;
    QStringList columns;   // value columns after the key
    QStringList required;  // value columns that must hold a value (sent on insert)
    std::vector<FieldDef> fields() const
    {
        std::vector<FieldDef> f{{QStringLiteral("articol"), FieldType::String, 200, true, false}};
        for (const QString &c : columns) {
            if (c == QLatin1String("um")) f.push_back({c, FieldType::String, 5, true, false});
            else if (c.startsWith(QLatin1String("da_nu"))) f.push_back({c, FieldType::Boolean, 0, true, false});
            else f.push_back({c, FieldType::Number});
        }
        return f;
    }
};

// The truth: what the successful writes left in a table.
using Row = std::map<QString, QVariant>; // column -> value (invalid QVariant = null)
using Model = std::map<QString, Row>;

struct Tally {
    int tries = 0, updates = 0, deletes = 0, inserts = 0, refreshes = 0, unchanged = 0, notFound = 0, duplicates = 0;
};

bool sameCell(const QVariant &a, const QVariant &b)
{
    return a.isNull() == b.isNull() && (a.isNull() || a == b);
}

} // namespace

class TestReliabilityConcurrency : public QObject {
    Q_OBJECT
    reliability::Results results{QStringLiteral("tst_reliability_concurrency")};
    pg::Connection con[2];
    Shape shapes[2];
    Model model[2];
    std::unique_ptr<pg::Query> view[2][2]; // [client][table]
    Tally tally[2];
    std::mt19937 rng{20250417};

    int pick(int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(rng)); }

    QString poolName(int table) { return (table == 0 ? QStringLiteral("Amb %1") : QStringLiteral("Art %1")).arg(pick(40), 2, 10, QLatin1Char('0')); }

    QVariant randomValue(const QString &column)
    {
        if (column == QLatin1String("um"))
            return QStringList{QStringLiteral("buc"), QStringLiteral("kg"), QStringLiteral("l")}[pick(3)];
        if (column.startsWith(QLatin1String("da_nu")))
            return bool(pick(2));
        if (pick(10) == 0)
            return QVariant(); // emptied
        return toVariant(qint64(std::uniform_int_distribution<qint64>(0, 99999999)(rng)));
    }

    void connect(pg::Connection &c, bool disconnected)
    {
        c.setServer(testdb::host());
        c.setPort(testdb::port());
        c.setDatabase(kDb);
        c.setUser(QStringLiteral("kav"));
        c.setPassword(testdb::password());
        c.setSslMode(QStringLiteral("prefer"));
        c.setDisconnectedMode(disconnected);
    }

    // The database's rows of one table, in the model's form.
    Model read(int t)
    {
        pg::Connection c;
        connect(c, false);
        pg::Query q(&c, QStringLiteral("dsCheck"));
        q.setSql(QStringLiteral("select * from %1 order by articol").arg(shapes[t].table));
        q.setFields(shapes[t].fields());
        q.open();
        Model m;
        for (int r = 0; r < q.recordCount(); ++r) {
            Row row;
            for (int k = 0; k < shapes[t].columns.size(); ++k)
                row[shapes[t].columns[k]] = q.value(r, k + 1);
            m[q.value(r, 0).toString()] = row;
        }
        return m;
    }

    // One operation of one client on one table; returns a description of a
    // wrong outcome, or empty when the outcome is the predicted one.
    QString step(int client, int t)
    {
        pg::Query *q = view[client][t].get();
        const Shape &s = shapes[t];
        Model &m = model[t];
        Tally &ta = tally[t];
        ++ta.tries;
        const int dice = pick(100);
        if (dice < 8 || !q->isActive()) {
            q->refresh();
            ++ta.refreshes;
            return {};
        }
        const int rows = q->recordCount();
        QString got;
        QByteArray state;
        auto attempt = [&](const std::function<void()> &write) {
            try {
                write();
            } catch (const AppError &e) {
                got = e.message();
                state = e.sqlState();
            }
        };
        auto expectOk = [&](const QString &what) -> QString {
            return got.isEmpty() ? QString() : QStringLiteral("%1: expected success, got \"%2\"").arg(what, got);
        };
        auto expectNotFound = [&](const QString &what) -> QString {
            ++ta.notFound;
            return got == QLatin1String("Update failed. Found 0 records") ? QString()
                                                                            : QStringLiteral("%1: expected \"Update failed. Found 0 records\", got \"%2\"").arg(what, got);
        };
        auto expectDuplicate = [&](const QString &what) -> QString {
            ++ta.duplicates;
            return state == "23505" && got.startsWith(QLatin1String("duplicate key value violates unique constraint"))
                ? QString() : QStringLiteral("%1: expected a duplicate key, got \"%2\"").arg(what, got);
        };

        if (dice < 55 && rows > 0) {
            // Edit some cells of a row, sometimes its article too.
            const int r = pick(rows);
            q->setCurrentRow(r);
            const QString key = q->value(r, 0).toString();
            std::map<int, QVariant> typed;
            const int n = 1 + pick(3);
            for (int i = 0; i < n; ++i) {
                const int col = 1 + pick(int(s.columns.size()));
                typed[col] = randomValue(s.columns[col - 1]);
            }
            if (pick(12) == 0)
                typed[0] = poolName(t);
            for (const auto &[col, v] : typed)
                q->setValue(col, v);
            // What the client will send: only the cells that differ from its view.
            std::map<int, QVariant> changed;
            for (const auto &[col, v] : typed)
                if (!sameCell(v, q->table().value(size_t(r), col)))
                    changed[col] = v;
            bool requiredEmptied = false;
            for (const auto &[col, v] : typed)
                if (col > 0 && !v.isValid() && s.required.contains(s.columns[col - 1]))
                    requiredEmptied = true;
            attempt([q] { q->post(); });
            const QString what = QStringLiteral("update of \"%1\" by client %2").arg(key).arg(client + 1);
            if (requiredEmptied) {
                q->cancel();
                return got.contains(QLatin1String("must have a value")) ? QString() : what + QStringLiteral(": required value not refused");
            }
            if (changed.empty()) {
                ++ta.unchanged;
                return expectOk(what);
            }
            QString wrong;
            if (!m.count(key)) {
                wrong = expectNotFound(what);
            } else if (changed.count(0) && changed[0].toString() != key && m.count(changed[0].toString())) {
                wrong = expectDuplicate(what);
            } else {
                wrong = expectOk(what);
                if (wrong.isEmpty()) {
                    ++ta.updates;
                    Row row = m[key];
                    for (const auto &[col, v] : changed)
                        if (col > 0)
                            row[s.columns[col - 1]] = v;
                    m.erase(key);
                    m[changed.count(0) ? changed[0].toString() : key] = row;
                }
            }
            if (!got.isEmpty()) {
                // A refused post keeps the operator's values, being edited.
                if (!q->isEditing())
                    return what + QStringLiteral(": the edit was dropped after the failure");
                for (const auto &[col, v] : typed)
                    if (!sameCell(q->value(r, col), v))
                        return what + QStringLiteral(": a typed value was lost after the failure");
                q->cancel();
            }
            return wrong;
        }
        if (dice < 75 && rows > 0) {
            const int r = pick(rows);
            q->setCurrentRow(r);
            const QString key = q->value(r, 0).toString();
            attempt([q] { q->deleteCurrent(); });
            const QString what = QStringLiteral("delete of \"%1\" by client %2").arg(key).arg(client + 1);
            if (!m.count(key))
                return expectNotFound(what) + (q->recordCount() == rows ? QString() : QStringLiteral(" (and the row left the view)"));
            const QString wrong = expectOk(what);
            if (wrong.isEmpty()) {
                ++ta.deletes;
                m.erase(key);
            }
            return wrong;
        }
        // A new row.
        const QString key = poolName(t);
        q->insert(pick(rows + 1));
        const int r = q->currentRow();
        Row row;
        for (const QString &c : s.columns)
            row[c] = QVariant();
        q->setValue(0, key);
        for (int col = 1; col <= s.columns.size(); ++col) {
            const QString &c = s.columns[col - 1];
            if (s.required.contains(c) || pick(4) == 0) {
                QVariant v = randomValue(c);
                if (s.required.contains(c) && !v.isValid())
                    v = c == QLatin1String("um") ? QVariant(QStringLiteral("buc")) : QVariant(true);
                q->setValue(col, v);
                row[c] = v;
            }
        }
        attempt([q] { q->post(); });
        const QString what = QStringLiteral("insert of \"%1\" by client %2").arg(key).arg(client + 1);
        if (m.count(key)) {
            const QString wrong = expectDuplicate(what);
            if (!q->isEditing() || q->value(r, 0).toString() != key)
                return what + QStringLiteral(": the new row was dropped after the failure");
            q->cancel();
            return wrong;
        }
        const QString wrong = expectOk(what);
        if (wrong.isEmpty()) {
            ++ta.inserts;
            m[key] = row;
        }
        return wrong;
    }

private slots:
    void initTestCase()
    {
        REQUIRE_TEST_SERVER();
        testdb::createCompany(kDb);
        QStringList kg;
        for (const QString &c : testdb::scalar(kDb, QStringLiteral(
                 "select string_agg(column_name, ',' order by ordinal_position) from information_schema.columns "
                 "where table_name = 'articol_ambalaje' and column_name like 'kg\\_%'")).split(QLatin1Char(',')))
            kg << c;
        QCOMPARE(kg.size(), 35);
        shapes[0] = {QStringLiteral("articol_ambalaje"), kg, {}};
        shapes[1] = {QStringLiteral("articol"), {QStringLiteral("um"), QStringLiteral("greutate_neta"), QStringLiteral("greutate_bruta"), QStringLiteral("da_nu_stocabil")},
                     {QStringLiteral("um"), QStringLiteral("da_nu_stocabil")}};
        // Half the pool exists at the start, so every kind of conflict happens.
        testdb::exec(kDb, QStringLiteral(
            "insert into articol_ambalaje(articol, kg_ambalaj_primar_total_hartie, kg_ambalaj_secundar_total_lemn) "
            "  select 'Amb ' || lpad(i::text, 2, '0'), i * 1.5, i from generate_series(0, 39, 2) i;"
            "insert into articol(articol, um, greutate_neta, greutate_bruta, da_nu_stocabil) "
            "  select 'Art ' || lpad(i::text, 2, '0'), 'buc', i, i + 0.25, i % 4 = 0 from generate_series(0, 39, 2) i;"));
        connect(con[0], true);  // as the program's company connection
        connect(con[1], false); // a client that keeps its connection
        for (int t = 0; t < 2; ++t) {
            model[t] = read(t);
            QCOMPARE(int(model[t].size()), 20);
            for (int c = 0; c < 2; ++c) {
                auto q = std::make_unique<pg::Query>(&con[c], QStringLiteral("ds%1_%2").arg(c).arg(t));
                q->setSql(QStringLiteral("select * from %1 order by articol").arg(shapes[t].table));
                q->setFields(shapes[t].fields());
                q->setUpdateTable(shapes[t].table, {QStringLiteral("articol")});
                q->open();
                view[c][t] = std::move(q);
            }
        }
    }

    void cleanup()
    {
        results.noteTestResult();
    }

    void cleanupTestCase()
    {
        const QString diff = results.finishIfAllPassed();
        if (!diff.isEmpty())
            QFAIL(qPrintable(diff));
    }

    void twoClientsOnTheSameRows()
    {
        QElapsedTimer clock;
        clock.start();
        int done = 0;
        for (; done < kOperations && clock.elapsed() < kTimeCapMs; ++done) {
            const int client = pick(2);
            const int table = pick(2);
            const QString wrong = step(client, table);
            QVERIFY2(wrong.isEmpty(), qPrintable(QStringLiteral("operation %1: %2").arg(done + 1).arg(wrong)));
        }
        const qint64 ms = clock.elapsed();
        for (int t = 0; t < 2; ++t) {
            // The tables equal the replay of the successful writes, cell by cell.
            const Model db = read(t);
            int differing = 0;
            QStringList report;
            for (const auto &[key, row] : model[t]) {
                auto it = db.find(key);
                if (it == db.end()) { ++differing; report << QStringLiteral("missing: ") + key; continue; }
                for (const auto &[col, v] : row)
                    if (!sameCell(it->second.at(col), v)) {
                        ++differing;
                        report << QStringLiteral("%1.%2: database %3, replay %4").arg(key, col, it->second.at(col).toString(), v.toString());
                        break;
                    }
            }
            for (const auto &[key, row] : db)
                if (!model[t].count(key)) { ++differing; report << QStringLiteral("extra: ") + key; }
            const QString dupes = testdb::scalar(kDb, QStringLiteral("select count(*) - count(distinct articol) from %1").arg(shapes[t].table));
            QCOMPARE(dupes, QStringLiteral("0"));
            QVERIFY2(differing == 0, qPrintable(report.join(QLatin1Char('\n'))));
            const Tally &ta = tally[t];
            QVERIFY(ta.updates > 0 && ta.deletes > 0 && ta.inserts > 0 && ta.notFound > 0 && ta.duplicates > 0);
            results.add({QStringLiteral("Two clients (one in disconnected mode) on `%1`: seeded random edits, key changes, deletes, inserts and refreshes from stale views; final table compared with the replay of the successful writes")
                             .arg(shapes[t].table),
                         QString::number(ta.tries), reliability::lost(differing, QStringLiteral("rows differing")),
                         QStringLiteral("%1 updates, %2 deletes, %3 inserts applied; %4 conflicts \"Update failed. Found 0 records\", %5 duplicate keys; %6 unchanged posts, %7 refreshes; %8 rows at the end")
                             .arg(ta.updates).arg(ta.deletes).arg(ta.inserts).arg(ta.notFound).arg(ta.duplicates).arg(ta.unchanged).arg(ta.refreshes).arg(db.size())});
        }
        results.add({QStringLiteral("Both tables together: operations in the run"), QString::number(kOperations), reliability::lost(kOperations - done, QStringLiteral("operations not run")),
                     QStringLiteral("%1 operations in %2 s; client 1 connected %3 times, client 2 %4 time(s)")
                         .arg(done).arg(double(ms) / 1000.0, 0, 'f', 1).arg(con[0].connectCount()).arg(con[1].connectCount())});
    }
};

QTEST_MAIN(TestReliabilityConcurrency)
#include "tst_reliability_concurrency.moc"
