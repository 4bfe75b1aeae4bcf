// Writes that must not lose anything: refused writes from the article
// packaging grid, the articles grid and the report's insert action; bad
// input in every editable cell; exports that cannot be written; the whole
// server stopped and started under a pending edit. Against the real server.
#include "data/u_dmCon.h"
#include "platform/Error.h"
#include "platform/grid/DataGrid.h"
#include "platform/pg/Query.h"
#include "platform/ui/Ui.h"
#include "screens/u_fAmbalajeIntroduseInTara.h"
#include "screens/u_fArticolAmbalaje.h"
#include "screens/u_fArticoleNomAmb.h"
#include "support/Reliability.h"
#include "support/Screens.h"
#include "support/TestDb.h"
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace screensfixture;

namespace {

const QString kDb = QStringLiteral("tst_rel_wr");
const QString kNul = QStringLiteral("The text for field 'articol' contains a NUL character (code 0), which the database cannot store");

// Both tables the screens write, as the database holds them.
QString snapshot()
{
    return testdb::scalar(kDb, QStringLiteral(
        "select coalesce((select string_agg(t::text, '|' order by articol) from articol_ambalaje t), '') || '#' ||"
        "       coalesce((select string_agg(a::text, '|' order by articol) from articol a), '')"));
}

int rowOf(pg::Query *q, const QString &key)
{
    for (int r = 0; r < q->recordCount(); ++r)
        if (q->value(r, 0).toString() == key)
            return r;
    return -1;
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.typeId() == QMetaType::Double || b.typeId() == QMetaType::Double)
        return a.toDouble() == b.toDouble();
    return a.toString() == b.toString();
}

struct Cell {
    QString column;
    QVariant value;
};

// One write the database refuses, as another operator or the administrator
// arranged it after our last search.
struct RefusedWrite {
    const char *tag;
    const char *screen; // packaging, articles, report
    const char *action; // update, insert, delete, insert-action
    QString key;        // the row acted on
    QList<Cell> cells;  // typed before posting
    QString before;     // SQL run after the search, before the write
    QString after;      // SQL that undoes it
    QString message;    // part of the error box
};

const QList<RefusedWrite> &refusedWrites()
{
    static const QList<RefusedWrite> all{
        {"packaging: new row for an article that has one", "packaging", "insert", {},
         {{"articol", QStringLiteral("A1")}, {"kg_ambalaj_primar_total_hartie", 1.5}}, {}, {},
         QStringLiteral("duplicate key value violates unique constraint \"articol_ambalaje_pkey\"")},
        {"packaging: article changed to one that has a row", "packaging", "update", QStringLiteral("A2"),
         {{"articol", QStringLiteral("A1")}, {"kg_ambalaj_secundar_total_lemn", 3.25}}, {}, {},
         QStringLiteral("duplicate key value violates unique constraint \"articol_ambalaje_pkey\"")},
        {"packaging: value refused by a check constraint", "packaging", "update", QStringLiteral("A1"),
         {{"kg_ambalaj_secundar_total_lemn", 2.5}, {"kg_ambalaj_primar_total_hartie", -1.0}},
         QStringLiteral("alter table articol_ambalaje add constraint kg_pozitiv check (kg_ambalaj_primar_total_hartie >= 0)"),
         QStringLiteral("alter table articol_ambalaje drop constraint kg_pozitiv"),
         QStringLiteral("violates check constraint \"kg_pozitiv\"")},
        {"packaging: value too large for the column", "packaging", "update", QStringLiteral("A1"),
         {{"kg_ambalaj_secundar_total_lemn", 2.5}, {"kg_ambalaj_primar_total_hartie", 1e12}}, {}, {},
         QStringLiteral("numeric field overflow")},
        {"packaging: update privilege revoked", "packaging", "update", QStringLiteral("A1"),
         {{"kg_ambalaj_primar_total_hartie", 9.5}},
         QStringLiteral("revoke update on articol_ambalaje from kav"), QStringLiteral("grant update on articol_ambalaje to kav"),
         QStringLiteral("permission denied for table articol_ambalaje")},
        {"packaging: insert privilege revoked", "packaging", "insert", {},
         {{"articol", QStringLiteral("A5")}, {"kg_ambalaj_primar_total_hartie", 1.5}},
         QStringLiteral("revoke insert on articol_ambalaje from kav"), QStringLiteral("grant insert on articol_ambalaje to kav"),
         QStringLiteral("permission denied for table articol_ambalaje")},
        {"packaging: delete privilege revoked", "packaging", "delete", QStringLiteral("A2"), {},
         QStringLiteral("revoke delete on articol_ambalaje from kav"), QStringLiteral("grant delete on articol_ambalaje to kav"),
         QStringLiteral("permission denied for table articol_ambalaje")},
        {"packaging: row's article changed by another operator, then edited", "packaging", "update", QStringLiteral("A3"),
         {{"kg_ambalaj_primar_total_hartie", 4.75}},
         QStringLiteral("update articol_ambalaje set articol = 'A3 redenumit' where articol = 'A3'"),
         QStringLiteral("update articol_ambalaje set articol = 'A3' where articol = 'A3 redenumit'"),
         QStringLiteral("Update failed. Found 0 records")},
        {"packaging: row deleted by another operator, then deleted", "packaging", "delete", QStringLiteral("A3"), {},
         QStringLiteral("delete from articol_ambalaje where articol = 'A3'"),
         QStringLiteral("insert into articol_ambalaje(articol, kg_ambalaj_secundar_total_lemn) values ('A3', 1)"),
         QStringLiteral("Update failed. Found 0 records")},
        {"packaging: database password refused", "packaging", "update", QStringLiteral("A1"),
         {{"kg_ambalaj_primar_total_hartie", 6.5}}, QStringLiteral("!password"), QStringLiteral("!password"),
         QStringLiteral("password authentication failed for user \"kav\"")},
        {"articles: weight refused by a trigger", "articles", "update", QStringLiteral("A1"),
         {{"greutate_neta", 2.0}, {"greutate_bruta", 666.0}},
         QStringLiteral("create function refuz() returns trigger language plpgsql as $$ begin "
                        "if new.greutate_bruta = 666 then raise exception 'Greutatea % nu este permisa', new.greutate_bruta; end if; "
                        "return new; end $$; create trigger refuz before update on articol for each row execute function refuz()"),
         QStringLiteral("drop trigger refuz on articol; drop function refuz()"),
         QStringLiteral("Greutatea 666.0000 nu este permisa")},
        {"articles: article still referenced", "articles", "delete", QStringLiteral("A4"), {},
         QStringLiteral("create table ref_art(articol varchar(200) references articol(articol)); insert into ref_art values ('A4')"),
         QStringLiteral("drop table ref_art"),
         QStringLiteral("violates foreign key constraint")},
        {"articles: row deleted by another operator, then edited", "articles", "update", QStringLiteral("A5"),
         {{"da_nu_stocabil", false}},
         QStringLiteral("delete from articol where articol = 'A5'"),
         QStringLiteral("insert into articol(articol, um, da_nu_stocabil) values ('A5', 'buc', true)"),
         QStringLiteral("Update failed. Found 0 records")},
        {"articles: new row (no article name can be typed)", "articles", "insert", {},
         {{"da_nu_stocabil", true}, {"greutate_neta", 1.0}}, {}, {},
         QStringLiteral("null value in column \"articol\" of relation \"articol\" violates not-null constraint")},
        {"report: insert action with insert privilege revoked", "report", "insert-action", {}, {},
         QStringLiteral("revoke insert on articol_ambalaje from kav"), QStringLiteral("grant insert on articol_ambalaje to kav"),
         QStringLiteral("permission denied for table articol_ambalaje")},
    };
    return all;
}

} // namespace

class TestReliabilityWrites : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    reliability::Results results{QStringLiteral("tst_reliability_writes")};

    static TGridScreen *screen(const QString &name)
    {
        if (name == QLatin1String("articles")) return fArticoleNomAmb;
        if (name == QLatin1String("report")) return fAmbalajeIntroduseInTara;
        return fArticolAmbalaje;
    }

    static void search(TGridScreen *s)
    {
        recorder().clear();
        ui::guard([s] { s->ButtonCautaClick(); });
        QVERIFY2(recorder().errors.isEmpty(), qPrintable(recorder().errors.join(QLatin1Char('\n'))));
    }

    static void runSql(const QString &sql)
    {
        if (sql == QLatin1String("!password")) {
            // The administrator changed the database password under us; undone the same way.
            static bool wrong = false;
            wrong = !wrong;
            dmCon->conKav.setPassword(wrong ? QStringLiteral("not the password") : testdb::password());
        } else if (!sql.isEmpty()) {
            testdb::exec(kDb, sql);
        }
    }

    static QString pgScript(const QStringList &args, QString *out)
    {
        QProcess p;
        p.start(testdb::sourceDir() + QStringLiteral("/scripts/pg.sh"), args);
        if (!p.waitForFinished(120000))
            return QStringLiteral("pg.sh did not finish");
        *out = QString::fromUtf8(p.readAllStandardError());
        return p.exitCode() == 0 ? QString() : QStringLiteral("pg.sh failed: ") + *out;
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        REQUIRE_TEST_SERVER();
        createProgram();
        testdb::createCompany(kDb);
        testdb::exec(kDb, QStringLiteral(
            "insert into articol(articol, um, greutate_neta, greutate_bruta, da_nu_stocabil) values "
            "('A1', 'buc', 1, 1.1, true), ('A2', 'kg', 2, 2.2, true), ('A3', 'l', null, null, false), ('A4', 'buc', 4, 4.4, true), ('A5', 'buc', 5, 5.5, true);"
            "insert into articol_ambalaje(articol, kg_ambalaj_primar_total_hartie, kg_ambalaj_secundar_total_lemn) values "
            "('A1', 0.1, 0.2), ('A2', 0.3, null), ('A3', null, 1), ('A4', 2, 2);"
            "insert into partener values ('P_DE', 'C', 'DE');"
            "insert into doc values ('2025-04-10', 'FactFI', '1', 'P_DE');"
            "insert into doc_poz(data_doc, tip_doc, nr_doc, articol, um, cant) values ('2025-04-10', 'FactFI', '1', 'A5', 'buc', 3);"));
        useCompany(kDb);
        fAmbalajeIntroduseInTara->cxDateEditDataIncep->setDate(QDate(2025, 4, 1));
        fAmbalajeIntroduseInTara->cxDateEditDataSfarsit->setDate(QDate(2025, 4, 30));
        recorder().confirmAnswer = true;
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

    // ------------------------------------------------------------------
    void refusedWritesLoseNothing_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < refusedWrites().size(); ++i)
            QTest::newRow(refusedWrites()[i].tag) << i;
    }
    void refusedWritesLoseNothing()
    {
        QFETCH(int, index);
        const RefusedWrite &w = refusedWrites()[index];
        TGridScreen *s = screen(QLatin1String(w.screen));
        pg::Query *q = s->query();
        grid::DataGrid *g = s->cxGrid1;
        search(s);
        const int rows = q->recordCount();
        runSql(w.before);
        const QString before = snapshot();
        const QString action = QLatin1String(w.action);
        int row = -1;
        recorder().clear();
        if (action == QLatin1String("insert-action")) {
            QTest::mouseClick(fAmbalajeIntroduseInTara->ButtonInsArtNedefInArticolAmbalaje, Qt::LeftButton);
        } else if (action == QLatin1String("delete")) {
            row = rowOf(q, w.key);
            QVERIFY(row >= 0);
            g->setFocusedRow(row);
            ui::guard([g] { g->deleteFocusedRow(); });
        } else {
            if (action == QLatin1String("insert")) {
                g->insertRow();
            } else {
                row = rowOf(q, w.key);
                QVERIFY(row >= 0);
                g->setFocusedRow(row);
            }
            row = q->currentRow();
            for (const Cell &c : w.cells)
                q->setValue(q->fieldIndex(c.column), c.value);
            ui::guard([g] { g->postPendingEdit(); });
        }
        const QStringList errors = recorder().errors;
        const QStringList infos = recorder().infos;
        const QString after = snapshot();
        // What the operator typed is still there, being edited.
        bool kept = true;
        if (action == QLatin1String("update") || action == QLatin1String("insert")) {
            kept = q->isEditing() && q->currentRow() == row;
            for (const Cell &c : w.cells)
                kept = kept && sameValue(q->value(row, q->fieldIndex(c.column)), c.value);
        } else if (action == QLatin1String("delete")) {
            kept = q->recordCount() == rows && rowOf(q, w.key) == row;
        }
        g->cancelEdit();
        runSql(w.after);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().contains(w.message), qPrintable(errors.first()));
        QVERIFY2(infos.isEmpty(), qPrintable(infos.join(QLatin1Char('\n')))); // nothing says success
        QVERIFY(kept);
        QCOMPARE(after, before);
        results.tally(QStringLiteral("Refused write, %1").arg(QString::fromLatin1(w.tag)), 1, 0, QStringLiteral("edits or rows"),
                      QStringLiteral("\"%1\"").arg(errors.first()));
    }

    void refusedWriteCanBeCorrected()
    {
        // After a refusal the operator corrects the value and posts again.
        search(fArticolAmbalaje);
        pg::Query *q = fArticolAmbalaje->dsArticolAmbalaje;
        grid::DataGrid *g = fArticolAmbalaje->cxGrid1;
        const int col = q->fieldIndex(QStringLiteral("kg_ambalaj_primar_total_hartie"));
        g->setFocusedRow(rowOf(q, QStringLiteral("A4")));
        q->setValue(col, 1e12);
        recorder().clear();
        ui::guard([g] { g->postPendingEdit(); });
        QCOMPARE(recorder().errors.size(), 1);
        q->setValue(col, 12.5);
        ui::guard([g] { g->postPendingEdit(); });
        QCOMPARE(recorder().errors.size(), 1);
        QVERIFY(!q->isEditing());
        QCOMPARE(testdb::scalar(kDb, QStringLiteral("select kg_ambalaj_primar_total_hartie from articol_ambalaje where articol = 'A4'")), QStringLiteral("12.5000"));
        results.tally(QStringLiteral("Refused write corrected in the same row and posted again"), 1, 0, QStringLiteral("edits"), QStringLiteral("second post stored 12.5000"));
    }

    // ------------------------------------------------------------------
    void badInput_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("outcome");  // typing, post, stored
        QTest::addColumn<QString>("expected"); // message part, or the database's text of the stored value
        const QString kg = QStringLiteral("kg_ambalaj_primar_total_hartie");
        const QString emoji200 = QString(200, QChar(u'x')).replace(QLatin1Char('x'), QStringLiteral("😀"));
        const QString ctl = QStringLiteral("a\x01\x02\t\n\r\x1b\x7fz");
        const QString sql = QStringLiteral("x'); drop table articol; --");
        const QString rtl = QStringLiteral("e\u0301 \u202Eabc\u202C \uFEFF");
        const QString tenK(10000, QLatin1Char('k'));
        const QString digits10k(10000, QLatin1Char('9'));
        const QString nul = QStringLiteral("ab") + QChar(0) + QStringLiteral("cd");
        const QString lone = QStringLiteral("ab") + QChar(0xDC00);
        const QString tooLong = QStringLiteral("value too long for type character varying(200)");
        auto text = [&](const char *tag, const char *group, const QString &v, const char *outcome, const QString &expected) {
            QTest::newRow(tag) << group << "packaging" << "articol" << QVariant(v) << outcome << expected;
        };
        text("article: SQL-looking text", "SQL-looking text", sql, "stored", sql);
        text("article: control characters", "control characters in text cells", ctl, "stored", ctl);
        text("article: 200 characters outside the basic plane", "characters outside the basic plane", emoji200, "stored", emoji200);
        text("article: combining marks and direction overrides", "characters outside the basic plane", rtl, "stored", rtl);
        text("article: empty text", "text longer than the column, empty text", QString(), "stored", QString());
        text("article: 201 characters", "text longer than the column, empty text", QString(201, QLatin1Char('a')), "post", tooLong);
        text("article: 10000 characters", "10,000-character values", tenK, "post", tooLong);
        text("article: NUL character", "NUL characters and unpaired surrogates", nul, "typing", kNul);
        text("article: unpaired surrogate", "NUL characters and unpaired surrogates", lone, "typing", QStringLiteral("The text for field 'articol' contains an unpaired surrogate (code U+DC00)"));
        auto number = [&](const char *tag, const char *group, const char *screen, const QString &column, const QVariant &v, const char *outcome, const QString &expected) {
            QTest::newRow(tag) << group << screen << column << v << outcome << expected;
        };
        const QString notNumber = QStringLiteral("is not a valid number for field '%1'");
        number("kg: letters", "letters in number cells", "packaging", kg, QStringLiteral("abc"), "typing", notNumber.arg(kg));
        number("kg: letters after digits", "letters in number cells", "packaging", kg, QStringLiteral("12kg"), "typing", notNumber.arg(kg));
        number("kg: NaN", "letters in number cells", "packaging", kg, QStringLiteral("NaN"), "typing", notNumber.arg(kg));
        number("kg: 1e400", "letters in number cells", "packaging", kg, QStringLiteral("1e400"), "typing", notNumber.arg(kg));
        number("kg: 10000 digits", "10,000-character values", "packaging", kg, digits10k, "typing", notNumber.arg(kg));
        number("kg: NUL after digits", "NUL characters and unpaired surrogates", "packaging", kg, QStringLiteral("1") + QChar(0), "typing", notNumber.arg(kg));
        number("kg: SQL-looking text", "SQL-looking text", "packaging", kg, QStringLiteral("1; delete from articol"), "typing", notNumber.arg(kg));
        number("kg: too large for numeric(15,4)", "letters in number cells", "packaging", kg, 1e12, "post", QStringLiteral("numeric field overflow"));
        number("kg: negative", "numbers stored", "packaging", kg, -0.5, "stored", QStringLiteral("-0.5000"));
        number("kg: blanks around", "numbers stored", "packaging", kg, QStringLiteral(" 2.5 "), "stored", QStringLiteral("2.5000"));
        number("kg: tiny", "numbers stored", "packaging", kg, 1e-300, "stored", QStringLiteral("0.0000"));
        number("kg: largest that fits", "numbers stored", "packaging", kg, 99999999999.9999, "stored", QStringLiteral("99999999999.9999"));
        number("kg: more decimals than the column keeps", "numbers stored", "packaging", kg, 0.00005, "stored", QStringLiteral("0.0001"));
        number("net weight: letters", "letters in number cells", "articles", QStringLiteral("greutate_neta"), QStringLiteral("unu"), "typing", notNumber.arg(QStringLiteral("greutate_neta")));
        number("stockable: emptied", "required values emptied", "articles", QStringLiteral("da_nu_stocabil"), QVariant(), "post", QStringLiteral("Field 'da_nu_stocabil' must have a value"));
        number("article: emptied", "required values emptied", "packaging", QStringLiteral("articol"), QVariant(), "post", QStringLiteral("Field 'articol' must have a value"));
        number("insertion time: out of range", "dates out of range", "packaging", QStringLiteral("data_ins"), QStringLiteral("31.02.2025 25:61"), "typing",
               QStringLiteral("is not a valid date and time for field 'data_ins'"));
        number("insertion time: year 0", "dates out of range", "packaging", QStringLiteral("data_ins"), QDateTime(QDate(0, 1, 1), QTime(0, 0)), "typing",
               QStringLiteral("is not a valid date and time for field 'data_ins'"));
    }
    void badInput()
    {
        QFETCH(QString, group);
        QFETCH(QString, screen);
        QFETCH(QString, column);
        QFETCH(QVariant, value);
        QFETCH(QString, outcome);
        QFETCH(QString, expected);
        TGridScreen *s = TestReliabilityWrites::screen(screen);
        pg::Query *q = s->query();
        search(s);
        const int col = q->fieldIndex(column);
        QVERIFY(col >= 0);
        const bool newRow = screen == QLatin1String("packaging") && column == QLatin1String("articol") && outcome != QLatin1String("typing") && value.isValid();
        const QString marker = QStringLiteral("42.4242");
        const QString before = snapshot();
        int row;
        if (newRow) {
            // A new row carrying the value, found again by a marker value.
            q->insert(0);
            row = q->currentRow();
            q->setValue(q->fieldIndex(QStringLiteral("kg_ambalaj_primar_total_lemn")), marker);
        } else {
            row = rowOf(q, QStringLiteral("A1"));
            q->setCurrentRow(row);
        }
        const QVariant old = q->value(row, col);
        QString message;
        try {
            q->setValue(col, value);
        } catch (const AppError &e) {
            message = e.message();
        }
        if (outcome == QLatin1String("typing")) {
            QVERIFY2(message.contains(expected), qPrintable(message));
            QVERIFY(sameValue(q->value(row, col), old)); // the cell keeps what it had
            q->cancel();
            QCOMPARE(snapshot(), before);
        } else {
            QVERIFY2(message.isEmpty(), qPrintable(message));
            try {
                q->post();
            } catch (const AppError &e) {
                message = e.message();
            }
            if (outcome == QLatin1String("post")) {
                QVERIFY2(message.contains(expected), qPrintable(message));
                QVERIFY(q->isEditing());
                QVERIFY(sameValue(q->value(row, col), value)); // the operator's value stays
                q->cancel();
                QCOMPARE(snapshot(), before);
            } else {
                QVERIFY2(message.isEmpty(), qPrintable(message));
                const QString stored = newRow
                    ? testdb::scalar(kDb, QStringLiteral("select articol from articol_ambalaje where kg_ambalaj_primar_total_lemn = %1").arg(marker))
                    : testdb::scalar(kDb, QStringLiteral("select %1::text from %2 where articol = 'A1'")
                                              .arg(column, screen == QLatin1String("articles") ? QStringLiteral("articol") : QStringLiteral("articol_ambalaje")));
                QCOMPARE(stored, expected);
                if (newRow) {
                    // Read back through the program too: the same text, character for character.
                    search(s);
                    QVERIFY(rowOf(q, expected) >= 0);
                    testdb::exec(kDb, QStringLiteral("delete from articol_ambalaje where kg_ambalaj_primar_total_lemn = %1").arg(marker));
                } else {
                    testdb::exec(kDb, QStringLiteral("update articol_ambalaje set kg_ambalaj_primar_total_hartie = 0.1 where articol = 'A1'"));
                }
                message = QStringLiteral("stored as %1").arg(expected.size() > 24 ? QStringLiteral("typed") : QLatin1Char('"') + expected + QLatin1Char('"'));
            }
        }
        search(s);
        results.tally(QStringLiteral("Bad input, %1").arg(group), 1, 0, QStringLiteral("values altered or half-written"),
                      QStringLiteral("%1: %2").arg(QString::fromLatin1(QTest::currentDataTag()), message.left(110)));
    }

    void reportDatesAtTheEdges()
    {
        QDateEdit *from = fAmbalajeIntroduseInTara->cxDateEditDataIncep;
        QDateEdit *to = fAmbalajeIntroduseInTara->cxDateEditDataSfarsit;
        const QDate keepFrom = from->date(), keepTo = to->date();
        int tries = 0;
        for (const auto &[a, b] : {std::pair{from->minimumDate(), to->maximumDate()}, std::pair{QDate(9999, 12, 31), QDate(1, 1, 1)},
                                   std::pair{QDate(-4713, 1, 1), QDate(200000, 1, 1)}}) {
            from->setDate(a);
            to->setDate(b);
            // The boxes never hold a date outside what they can show.
            QVERIFY(from->date().isValid() && from->date() >= from->minimumDate() && from->date() <= from->maximumDate());
            search(fAmbalajeIntroduseInTara);
            ++tries;
        }
        from->setDate(keepFrom);
        to->setDate(keepTo);
        results.tally(QStringLiteral("Bad input, dates out of range in the report's date boxes (earliest/latest, reversed, beyond the calendar)"), tries, 0,
                      QStringLiteral("failed searches"), QStringLiteral("boxes clamp to %1..%2; each search ran").arg(from->minimumDate().toString(Qt::ISODate), from->maximumDate().toString(Qt::ISODate)));
    }

    // ------------------------------------------------------------------
    void exportFailures_data()
    {
        QTest::addColumn<QString>("target");  // relative to the temporary folder
        QTest::addColumn<QString>("prepare"); // none, file, folder
        QTest::addColumn<bool>("fails");
        QTest::newRow("folder that does not exist") << "missing/x.xlsx" << "none" << true;
        QTest::newRow("path under a regular file (read-only target)") << "plain.txt/x.xlsx" << "file" << true;
        QTest::newRow("a folder where the file should be") << "taken.xlsx" << "folder" << true;
        QTest::newRow("existing file held open by another program") << "open.xlsx" << "held" << false;
    }
    void exportFailures()
    {
        QFETCH(QString, target);
        QFETCH(QString, prepare);
        QFETCH(bool, fails);
        QTemporaryDir out;
        const QString path = out.path() + QLatin1Char('/') + target;
        QFile holder(path);
        QByteArray old = "an older workbook";
        if (prepare == QLatin1String("file")) {
            QFile f(out.path() + QStringLiteral("/plain.txt"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("x");
        } else if (prepare == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(path));
        } else if (prepare == QLatin1String("held")) {
            QVERIFY(holder.open(QIODevice::ReadWrite));
            holder.write(old);
            holder.flush();
        }
        TfArticoleNomAmb *a = fArticoleNomAmb;
        search(a);
        a->LabelPathSave->setText(QStringLiteral("LabelPathSave"));
        const QStringList filesBefore = QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        recorder().clear();
        recorder().saveAnswer = path;
        QTest::mouseClick(a->ButtonExportExcel, Qt::LeftButton);
        const QStringList filesAfter = QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        QVERIFY(a->cxGrid1->isEnabled());
        if (fails) {
            QCOMPARE(recorder().errors.size(), 1);
            const QString prefix = QStringLiteral("Cannot create file \"%1\". ").arg(QDir::toNativeSeparators(path));
            QVERIFY2(recorder().errors.first().startsWith(prefix) && recorder().errors.first().size() > prefix.size() + 1, qPrintable(recorder().errors.first()));
            QCOMPARE(a->LabelPathSave->text(), QStringLiteral("LabelPathSave"));
            QVERIFY(recorder().opened.isEmpty());
            QCOMPARE(filesAfter, filesBefore); // nothing half-written left behind
            if (prepare == QLatin1String("folder"))
                QVERIFY(QDir(path).isEmpty());
        } else {
            // POSIX lets a file held open be replaced: the holder keeps the
            // old, complete bytes; the path holds the complete new workbook.
            QVERIFY2(recorder().errors.isEmpty(), qPrintable(recorder().errors.join(QLatin1Char('\n'))));
            QCOMPARE(a->LabelPathSave->text(), path);
            QFile reread(path);
            QVERIFY(reread.open(QIODevice::ReadOnly));
            QVERIFY(reread.read(2) == "PK");
            QFile sameHandle;
            QVERIFY(sameHandle.open(holder.handle(), QIODevice::ReadOnly));
            sameHandle.seek(0);
            QCOMPARE(sameHandle.readAll(), old);
            QCOMPARE(filesAfter, filesBefore);
            const QJsonObject cells = readWorkbook(path).value(QStringLiteral("cells")).toObject();
            QCOMPARE(cells.value(QStringLiteral("A1")).toObject().value(QStringLiteral("value")).toString(), QStringLiteral("articol"));
        }
        results.tally(QStringLiteral("Export Excel, target: %1").arg(QString::fromLatin1(QTest::currentDataTag())), 1, 0, QStringLiteral("half-written files or wrong labels"),
                      fails ? QStringLiteral("\"%1\"").arg(recorder().errors.first().replace(out.path(), QStringLiteral("…")))
                            : QStringLiteral("written (POSIX replaces an open file); the holder still reads the old file whole"));
    }

    // ------------------------------------------------------------------
    void serverStoppedUnderAPendingEdit()
    {
        const QString pgdir = qEnvironmentVariable("WPELVARO_TEST_PGDIR");
        const QString what = QStringLiteral("Whole test server stopped while a packaging row is being edited: post and search while down, server started, post");
        if (pgdir.isEmpty()) {
            results.skipped(what);
            QSKIP("WPELVARO_TEST_PGDIR not set: the server cannot be stopped and started");
        }
        search(fArticolAmbalaje);
        pg::Query *q = fArticolAmbalaje->dsArticolAmbalaje;
        grid::DataGrid *g = fArticolAmbalaje->cxGrid1;
        const int col = q->fieldIndex(QStringLiteral("kg_ambalaj_secundar_total_lemn"));
        const int row = rowOf(q, QStringLiteral("A2"));
        g->setFocusedRow(row);
        q->setValue(col, 7.25);
        const int rows = q->recordCount();
        QString log;
        QElapsedTimer t;
        t.start();
        QVERIFY2(pgScript({QStringLiteral("stop"), pgdir}, &log).isEmpty(), qPrintable(log));
        const qint64 stopMs = t.elapsed();
        int tries = 0;
        QStringList shown;
        for (int i = 0; i < 3; ++i) {
            recorder().clear();
            if (i == 1)
                QTest::mouseClick(fArticolAmbalaje->ButtonCauta, Qt::LeftButton); // posts first
            else
                ui::guard([g] { g->postPendingEdit(); });
            ++tries;
            QCOMPARE(recorder().errors.size(), 1);
            QVERIFY2(recorder().errors.first().contains(QStringLiteral("connection to server at")), qPrintable(recorder().errors.first()));
            QVERIFY(recorder().infos.isEmpty());
            QVERIFY(q->isEditing());
            QCOMPARE(q->value(row, col).toDouble(), 7.25);
            QCOMPARE(q->recordCount(), rows); // the rows shown stay
            shown << recorder().errors.first();
        }
        t.restart();
        const QString started = pgScript({QStringLiteral("start"), pgdir, QString::number(testdb::port()), testdb::password()}, &log);
        QVERIFY2(started.isEmpty(), qPrintable(started));
        const qint64 startMs = t.elapsed();
        const int connects = dmCon->conKav.connectCount();
        recorder().clear();
        ui::guard([g] { g->postPendingEdit(); });
        ++tries;
        QVERIFY2(recorder().errors.isEmpty(), qPrintable(recorder().errors.join(QLatin1Char('\n'))));
        QVERIFY(!q->isEditing());
        QCOMPARE(dmCon->conKav.connectCount(), connects + 1); // connected again on demand
        QCOMPARE(testdb::scalar(kDb, QStringLiteral("select kg_ambalaj_secundar_total_lemn from articol_ambalaje where articol = 'A2'")), QStringLiteral("7.2500"));
        results.tally(what, tries, 0, QStringLiteral("edits"),
                      QStringLiteral("while down: \"%1\"; stop %2, start %3; the post after the start connected again and stored 7.2500")
                          .arg(shown.first().left(120), QString::number(stopMs / 1000.0, 'f', 1) + QStringLiteral(" s"), QString::number(startMs / 1000.0, 'f', 1) + QStringLiteral(" s")));
    }
};

QTEST_MAIN(TestReliabilityWrites)
#include "tst_reliability_writes.moc"
