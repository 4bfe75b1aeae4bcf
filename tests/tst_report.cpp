// The packaging-introduced report against the real server: which lines it
// selects, the totals and their sums, the insert of undefined articles, export.
#include "data/u_dmCon.h"
#include "platform/grid/DataGrid.h"
#include "platform/pg/Query.h"
#include "screens/u_fAmbalajeIntroduseInTara.h"
#include "support/Screens.h"
#include "support/TestDb.h"
#include <QDateEdit>
#include <QJsonArray>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

using namespace screensfixture;

class TestReport : public QObject {
    Q_OBJECT
    const QString db = QStringLiteral("tst_report");
    const QDate end{2025, 3, 10};
    TfAmbalajeIntroduseInTara *f = nullptr;
    pg::Query *q = nullptr;
    QTemporaryDir dir;

    void search(const QDate &from, const QDate &to)
    {
        f->cxDateEditDataIncep->setDate(from);
        f->cxDateEditDataSfarsit->setDate(to);
        recorder().clear();
        QTest::mouseClick(f->ButtonCauta, Qt::LeftButton);
    }
    int col(const char *name) const { return q->fieldIndex(QLatin1String(name)); }
    QStringList docs() const
    {
        QStringList out;
        for (int r = 0; r < q->recordCount(); ++r)
            out << q->value(r, col("nr_doc")).toString();
        return out;
    }
    int rowOf(const QString &nr) const { return int(docs().indexOf(nr)); }

    void fixture()
    {
        testdb::createCompany(db);
        testdb::exec(db, QStringLiteral(R"(
            alter table articol alter column da_nu_stocabil drop not null;
            insert into partener values ('P_RO','C1','RO'), ('P_DE','C2','DE'), ('P_NULL','C3',null),
                                        ('P_ro','C4','ro'), ('P_EMPTY','C5','');
            insert into articol(articol, um, da_nu_stocabil) values ('A_STOC','buc',true), ('A_NOPACK','buc',true),
                   ('A_NOSTOC','buc',false), ('A_NULLSTOC','buc',null), ('B_STOC','kg',true);
            insert into articol_ambalaje(articol, kg_ambalaj_primar_total_hartie, kg_ambalaj_secundar_reutilizabil_lemn, kg_ambalaj_primar_reutilizabil_hartie)
                   values ('A_STOC', 0.1235, 2, 5), ('B_STOC', null, 1.5, null);
            insert into doc values
              ('2025-03-10','FactFI','01 end',    'P_DE'),
              ('2025-03-11','FactFI','02 after',  'P_DE'),
              ('2025-03-05','FactFE','03 start',  'P_DE'),
              ('2025-03-04','FactFI','04 before', 'P_DE'),
              ('2025-03-10','FactFI','05 ro',     'P_RO'),
              ('2025-03-10','FactFI','06 nullcc', 'P_NULL'),
              ('2025-03-10','FactFI','07 nopart', 'P_MISSING'),
              ('2025-03-10','FactFI','08 lower',  'P_ro'),
              ('2025-03-10','FactFI','09 empty',  'P_EMPTY'),
              ('2025-03-10','AvizI', '10 aviz',   'P_DE'),
              ('2025-03-10','FactFI','11 nostoc', 'P_DE'),
              ('2025-03-10','FactFI','12 nullst', 'P_DE'),
              ('2025-03-10','FactFI','13 noart',  'P_DE'),
              ('2025-03-10','FactFI','14 nolines','P_DE'),
              ('2025-03-10','factfi','15 case',   'P_DE'),
              ('2025-03-10','FactFI','16 nopack', 'P_DE'),
              ('2025-03-07','FactFE','17 second', null);
            insert into doc_poz(data_doc, tip_doc, nr_doc, articol, um, cant)
            select d.data_doc, d.tip_doc, d.nr_doc,
                   case d.nr_doc when '11 nostoc' then 'A_NOSTOC' when '12 nullst' then 'A_NULLSTOC'
                                 when '13 noart' then 'A_MISSING' when '16 nopack' then 'A_NOPACK' else 'A_STOC' end,
                   'buc', 3
            from doc d where d.nr_doc <> '14 nolines';
            insert into doc_poz(data_doc, tip_doc, nr_doc, articol, um, cant) values ('2025-03-07','FactFE','17 second','B_STOC','kg',10.5);
        )"));
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        REQUIRE_TEST_SERVER();
        createProgram();
        f = fAmbalajeIntroduseInTara;
        q = f->dsAmbalajeIntroduseInTara;
        fixture();
        useCompany(db);
        f->show();
    }

    void defaultRange()
    {
        // Set once when the program starts, from the seam's today.
        QCOMPARE(f->cxDateEditDataIncep->date(), recorder().today.addDays(-30));
        QCOMPARE(f->cxDateEditDataSfarsit->date(), recorder().today);
        QVERIFY(!q->isActive());
    }

    void exportBeforeSearch()
    {
        recorder().clear();
        QTest::mouseClick(f->ButtonExportExcel, Qt::LeftButton);
        QCOMPARE(recorder().errors, QStringList{QStringLiteral("Nu aveti inregistrari, apasati butonul \"Cauta\"")});
        QVERIFY(recorder().savedFilter.isEmpty());
    }

    void selection_data()
    {
        QTest::addColumn<QString>("nr");
        QTest::addColumn<bool>("present");
        QTest::newRow("FactFI on the end date") << "01 end" << true;
        QTest::newRow("the day after") << "02 after" << false;
        QTest::newRow("FactFE on the start date") << "03 start" << true;
        QTest::newRow("the day before") << "04 before" << false;
        QTest::newRow("partner RO") << "05 ro" << false;
        QTest::newRow("country null") << "06 nullcc" << true;
        QTest::newRow("partner missing") << "07 nopart" << true;
        QTest::newRow("lower-case ro is foreign") << "08 lower" << true;
        QTest::newRow("empty country") << "09 empty" << true;
        QTest::newRow("other document type") << "10 aviz" << false;
        QTest::newRow("not stockable") << "11 nostoc" << false;
        QTest::newRow("stockable null") << "12 nullst" << false;
        QTest::newRow("article missing") << "13 noart" << false;
        QTest::newRow("document without lines") << "14 nolines" << false;
        QTest::newRow("type compared exactly") << "15 case" << false;
        QTest::newRow("article without packaging row") << "16 nopack" << true;
        QTest::newRow("document without partner") << "17 second" << true;
    }
    void selection()
    {
        QFETCH(QString, nr);
        QFETCH(bool, present);
        search(QDate(2025, 3, 5), end);
        QVERIFY2(recorder().errors.isEmpty(), qPrintable(recorder().errors.join(QLatin1Char('\n'))));
        QCOMPARE(docs().contains(nr), present);
        for (int r = 0; r < q->recordCount(); ++r)
            QCOMPARE(q->value(r, col("da_nu_stocabil")).toBool(), true);
    }

    void orderAndValues()
    {
        search(QDate(2025, 3, 5), end);
        const QStringList d = docs();
        QCOMPARE(d.first(), QStringLiteral("03 start"));
        QCOMPARE(d.at(1), QStringLiteral("17 second"));
        const int r = rowOf(QStringLiteral("01 end"));
        QCOMPARE(q->value(r, col("este_definit")).toBool(), true);
        QCOMPARE(q->value(r, col("total_art_kg_ambalaj_primar_total_hartie")).toDouble(), 0.371); // 3 x 0.1235
        QCOMPARE(q->value(r, col("total_art_kg_ambalaj_secundar_reutilizabil_lemn")).toDouble(), 6.0);
        QVERIFY(q->isNull(r, col("total_art_kg_ambalaj_primar_total_sticla")));
        QCOMPARE(q->value(r, col("kg_ambalaj_primar_total_hartie")).toDouble(), 0.1235);
        const int u = rowOf(QStringLiteral("16 nopack"));
        QCOMPARE(q->value(u, col("este_definit")).toBool(), false);
        for (int c = col("total_art_kg_ambalaj_primar_total_hartie"); c < q->fields().size(); ++c)
            QVERIFY(q->isNull(u, c));
        // The grid shows 20 columns; the per-unit ones are fetched, not shown.
        QCOMPARE(f->cxGrid1->visibleColumns().size(), size_t(20));
        QCOMPARE(f->cxGrid1->caption(col("adr_cod_iso_tara")), QStringLiteral("tara"));
        QCOMPARE(f->cxGrid1->columnWidth(col("total_art_kg_ambalaj_secundar_reutilizabil_lemn")), 300);
    }

    void footerSums()
    {
        search(QDate(2025, 3, 5), end);
        grid::DataGrid *g = f->cxGrid1;
        const int hartie = col("total_art_kg_ambalaj_primar_total_hartie");
        const int lemn = col("total_art_kg_ambalaj_secundar_reutilizabil_lemn");
        const int sticla = col("total_art_kg_ambalaj_primar_total_sticla");
        // Independent computation in SQL over the same lines.
        const QString sql = QStringLiteral(
            "select sum(cast(p.cant * a.kg_ambalaj_%1 as numeric(18,3))) from doc d join doc_poz p using (data_doc, tip_doc, nr_doc) "
            "join articol ar on ar.articol = p.articol left join articol_ambalaje a on a.articol = p.articol "
            "left join partener pa on pa.partener = d.partener where d.data_doc between '2025-03-05' and '2025-03-10' "
            "and d.tip_doc in ('FactFI','FactFE') and ar.da_nu_stocabil and pa.adr_cod_iso_tara is distinct from 'RO'");
        QCOMPARE(g->footerValue(hartie).value(), testdb::scalar(db, sql.arg(QStringLiteral("primar_total_hartie"))).toDouble());
        QCOMPARE(g->footerValue(lemn).value(), testdb::scalar(db, sql.arg(QStringLiteral("secundar_reutilizabil_lemn"))).toDouble());
        QCOMPARE(g->footerText(lemn), QLocale().toString(g->footerValue(lemn).value(), 'f', 2));
        QCOMPARE(g->footerText(sticla), QLocale().toString(0.0, 'f', 2)); // all null: 0.00
        QCOMPARE(g->footerText(col("cant")), QString());                  // no footer cell there
        // With a filter the sums cover the remaining lines only.
        g->setFilterText(col("articol"), QStringLiteral("b_"));
        QCOMPARE(g->visibleRowCount(), 1);
        QCOMPARE(g->footerValue(lemn).value(), 15.75);
        QCOMPARE(g->footerValue(hartie).value(), 0.0);
        g->setFilterText(col("articol"), QStringLiteral("zzz"));
        QCOMPARE(g->footerText(lemn), QString()); // no row shown: empty
        g->setFilterText(col("articol"), QString());
    }

    void reportLinesCannotBeDeletedOrAdded()
    {
        // The report writes nothing back, so its grid only shows the lines.
        search(QDate(2025, 3, 5), end);
        const int n = q->recordCount();
        recorder().confirmAnswer = true;
        f->cxGrid1->setFocusedRow(0);
        QTest::keyClick(f->cxGrid1->view(), Qt::Key_Delete);
        f->cxGrid1->deleteFocusedRow();
        QTest::keyClick(f->cxGrid1->view(), Qt::Key_Insert);
        QCOMPARE(q->recordCount(), n);
        QVERIFY(!q->isEditing());
        QVERIFY(recorder().confirms.isEmpty());
    }

    void sumsDoNotDrift()
    {
        testdb::exec(db, QStringLiteral(
            "insert into articol(articol, um) values ('MILLI', 'buc');"
            "insert into articol_ambalaje(articol, kg_ambalaj_primar_total_metal) values ('MILLI', 0.001);"
            "insert into doc values ('2024-01-01', 'FactFI', 'M', 'P_DE');"
            "insert into doc_poz(data_doc, tip_doc, nr_doc, articol, um, cant) "
            "select '2024-01-01', 'FactFI', 'M', 'MILLI', 'buc', 1 from generate_series(1, 100000);"));
        search(QDate(2024, 1, 1), QDate(2024, 1, 1));
        QCOMPARE(q->recordCount(), 100000);
        const int metal = col("total_art_kg_ambalaj_primar_total_metal");
        QCOMPARE(f->cxGrid1->footerValue(metal).value(), 100.0); // exactly, not 99.9999999999986
        QCOMPARE(f->cxGrid1->footerText(metal), QLocale().toString(100.0, 'f', 2));
    }

    void insertUndefinedArticles()
    {
        testdb::exec(db, QStringLiteral("insert into articol(articol, um) values ('C_NOU', 'buc'), ('0_PRIMUL', 'buc');"
                                        "insert into doc values ('2025-02-01', 'FactFE', 'N1', 'P_DE');"
                                        "insert into doc_poz(data_doc, tip_doc, nr_doc, articol, um, cant) values "
                                        "('2025-02-01', 'FactFE', 'N1', 'C_NOU', 'buc', 1), ('2025-02-01', 'FactFE', 'N1', '0_PRIMUL', 'buc', 2),"
                                        "('2025-02-01', 'FactFE', 'N1', 'C_NOU', 'buc', 4);"));
        // Searched on March; the dates are then changed to February and the action used.
        search(QDate(2025, 3, 5), end);
        const int before = q->recordCount();
        f->cxDateEditDataIncep->setDate(QDate(2025, 2, 1));
        f->cxDateEditDataSfarsit->setDate(QDate(2025, 2, 1));
        recorder().clear();
        QTest::mouseClick(f->ButtonInsArtNedefInArticolAmbalaje, Qt::LeftButton);
        QVERIFY2(recorder().errors.isEmpty(), qPrintable(recorder().errors.join(QLatin1Char('\n'))));
        QCOMPARE(recorder().infos, QStringList{QStringLiteral("Articolele au fost inserate in \"articol ambalaje\"")});
        // One row per article, in article order, nothing else set.
        QCOMPARE(testdb::scalar(db, QStringLiteral("select string_agg(articol, ',' order by ctid) from articol_ambalaje "
                                                   "where articol in ('C_NOU','0_PRIMUL')")),
                 QStringLiteral("0_PRIMUL,C_NOU"));
        QCOMPARE(testdb::scalar(db, QStringLiteral("select count(*) from articol_ambalaje where articol = 'A_NOPACK'")), QStringLiteral("0"));
        // The report was refreshed with its own March dates.
        QCOMPARE(q->recordCount(), before);
        QVERIFY(!docs().contains(QStringLiteral("N1")));

        // The same range again inserts nothing and still confirms.
        recorder().clear();
        QTest::mouseClick(f->ButtonInsArtNedefInArticolAmbalaje, Qt::LeftButton);
        QCOMPARE(recorder().infos.size(), 1);

        // With unchanged dates every refreshed line is defined.
        search(QDate(2025, 3, 5), end);
        QTest::mouseClick(f->ButtonInsArtNedefInArticolAmbalaje, Qt::LeftButton);
        for (int r = 0; r < q->recordCount(); ++r)
            QCOMPARE(q->value(r, col("este_definit")).toBool(), true);

        // Start after end: empty report, nothing inserted, still the message.
        search(end, QDate(2025, 3, 5));
        QCOMPARE(q->recordCount(), 0);
    }

    void failedInsertNeitherRefreshesNorConfirms()
    {
        search(QDate(2025, 3, 5), end);
        testdb::exec(db, QStringLiteral("insert into articol(articol, um) values ('D_FAIL', 'buc');"
                                        "insert into doc_poz(data_doc, tip_doc, nr_doc, articol, um, cant) values ('2025-03-10','FactFI','01 end','D_FAIL','buc',1);"
                                        "revoke insert on articol_ambalaje from kav;"));
        const int before = q->recordCount();
        recorder().clear();
        QTest::mouseClick(f->ButtonInsArtNedefInArticolAmbalaje, Qt::LeftButton);
        testdb::exec(db, QStringLiteral("grant insert on articol_ambalaje to kav"));
        QCOMPARE(recorder().errors, QStringList{QStringLiteral("permission denied for table articol_ambalaje.")});
        QVERIFY(recorder().infos.isEmpty());
        QCOMPARE(q->recordCount(), before); // not refreshed: the new line is not there
    }

    void exportWithFooter()
    {
        search(QDate(2025, 3, 5), end);
        const QString target = dir.path() + QStringLiteral("/raport.csv");
        recorder().clear();
        recorder().saveAnswer = target;
        QTest::mouseClick(f->ButtonExportExcel, Qt::LeftButton);
        QVERIFY2(recorder().errors.isEmpty(), qPrintable(recorder().errors.join(QLatin1Char('\n'))));
        const QString written = dir.path() + QStringLiteral("/raport.xlsx");
        QCOMPARE(recorder().savedFilter, QStringLiteral("*.xlsx"));
        QCOMPARE(recorder().savedProposal, QStringLiteral("/tmp/AmbalajeIntroduseInTara_17.04.2025.xlsx"));
        QCOMPARE(recorder().opened, QStringList{written});
        QCOMPARE(f->LabelPathSave->text(), written);
        const QJsonObject wb = readWorkbook(written);
        const QJsonObject cells = wb.value(QStringLiteral("cells")).toObject();
        QCOMPARE(cells.value(QStringLiteral("A1")).toObject().value(QStringLiteral("value")).toString(), QStringLiteral("data_doc"));
        QCOMPARE(cells.value(QStringLiteral("F1")).toObject().value(QStringLiteral("value")).toString(), QStringLiteral("tara"));
        QCOMPARE(cells.value(QStringLiteral("T1")).toObject().value(QStringLiteral("value")).toString(),
                 QStringLiteral("total_art_kg_ambalaj_secundar_reutilizabil_lemn"));
        QVERIFY(!cells.contains(QStringLiteral("U1")));
        const int n = q->recordCount();
        const QJsonObject footer = cells.value(QStringLiteral("T%1").arg(n + 2)).toObject();
        QCOMPARE(footer.value(QStringLiteral("cached")).toDouble(), f->cxGrid1->footerValue(col("total_art_kg_ambalaj_secundar_reutilizabil_lemn")).value());
        QVERIFY(footer.value(QStringLiteral("value")).toString().startsWith(QStringLiteral("=SUM(")));
        QCOMPARE(cells.value(QStringLiteral("A2")).toObject().value(QStringLiteral("type")).toString(), QStringLiteral("d"));
        QCOMPARE(cells.value(QStringLiteral("I2")).toObject().value(QStringLiteral("type")).toString(), QStringLiteral("n"));
    }
};

QTEST_MAIN(TestReport)
#include "tst_report.moc"
