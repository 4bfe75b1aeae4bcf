// The road of a typical use, from start to a corrected report: sign in, run
// the report, export it, add the undefined articles, fill in their kilograms,
// search again and see the new totals.
#include "data/u_dmCon.h"
#include "login/u_frmLogin.h"
#include "platform/grid/DataGrid.h"
#include "platform/pg/Query.h"
#include "screens/u_fAmbalajeIntroduseInTara.h"
#include "screens/u_fArticolAmbalaje.h"
#include "shell/u_fMenuPelvaro.h"
#include "support/Screens.h"
#include "support/TestDb.h"
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace screensfixture;

class TestEndToEnd : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void typicalUse()
    {
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        REQUIRE_TEST_SERVER();
        createProgram();
        const QString db = QStringLiteral("tst_e2e");
        testdb::createRegistry();
        testdb::createCompany(db);
        testdb::execFile(db, testdb::sourceDir() + QStringLiteral("/data/sql/demo.sql"));
        testdb::exec(QStringLiteral("kav_mob"), QStringLiteral("insert into m_firma(nume_firma, ip, port, db_name, pw_hash_type) values "
                                                               "('Demo Alimentara SRL', '%1', %2, '%3', 'HashSHA2')")
                                                    .arg(testdb::host()).arg(testdb::port()).arg(db));
        // The demo's invoices are dated relative to the server's today.
        recorder().today = QDate::fromString(testdb::scalar(db, QStringLiteral("select current_date::text")), Qt::ISODate);
        fAmbalajeIntroduseInTara->FormCreate();

        // 1-4: start, sign in.
        fMenuPelvaro->show();
        QTimer::singleShot(0, [] {
            QTRY_VERIFY(frmLogin->isVisible());
            frmLogin->Edit1->setText(QStringLiteral("Demo Alimentara SRL"));
            Q_EMIT frmLogin->Edit1->textEdited(frmLogin->Edit1->text());
            frmLogin->Edit2->setText(QStringLiteral("operator"));
            Q_EMIT frmLogin->Edit2->textEdited(frmLogin->Edit2->text());
            frmLogin->Edit3->setText(QStringLiteral("demo123"));
            QTest::keyClick(frmLogin->Edit3, Qt::Key_Return); // the default button
            if (frmLogin->isVisible()) frmLogin->reject();
        });
        recorder().clear();
        QTest::mouseClick(fMenuPelvaro->ButtonLogin, Qt::LeftButton);
        QVERIFY2(recorder().errors.isEmpty(), qPrintable(recorder().errors.join(QLatin1Char('\n'))));
        QCOMPARE(fMenuPelvaro->LabelUser->text(), QStringLiteral("User operator"));

        // 5: the report for the last 30 days.
        QTest::mouseClick(fMenuPelvaro->ButtonAmbalajeIntroduseInTara, Qt::LeftButton);
        TfAmbalajeIntroduseInTara *r = fAmbalajeIntroduseInTara;
        QVERIFY(r->isVisible());
        QTest::mouseClick(r->ButtonCauta, Qt::LeftButton);
        pg::Query *q = r->dsAmbalajeIntroduseInTara;
        QVERIFY(q->recordCount() > 50);
        const int defined = q->fieldIndex(QStringLiteral("este_definit"));
        const int metal = q->fieldIndex(QStringLiteral("total_art_kg_ambalaj_primar_total_metal"));
        int undefinedLines = 0;
        for (int i = 0; i < q->recordCount(); ++i)
            undefinedLines += q->value(i, defined).toBool() ? 0 : 1;
        QVERIFY(undefinedLines > 0);
        const double metalBefore = r->cxGrid1->footerValue(metal).value();

        // 6: export, read back.
        recorder().saveAnswer = dir.path() + QStringLiteral("/raport.xlsx");
        QTest::mouseClick(r->ButtonExportExcel, Qt::LeftButton);
        QVERIFY2(recorder().errors.isEmpty(), qPrintable(recorder().errors.join(QLatin1Char('\n'))));
        QCOMPARE(r->LabelPathSave->text(), recorder().saveAnswer);
        const QJsonObject cells = readWorkbook(recorder().saveAnswer).value(QStringLiteral("cells")).toObject();
        QCOMPARE(cells.value(QStringLiteral("P%1").arg(q->recordCount() + 2)).toObject().value(QStringLiteral("cached")).toDouble(), metalBefore);

        // 7: add the undefined articles, then give each of them 0.5 kg of metal per unit.
        QTest::mouseClick(r->ButtonInsArtNedefInArticolAmbalaje, Qt::LeftButton);
        QCOMPARE(recorder().infos.last(), QStringLiteral("Articolele au fost inserate in \"articol ambalaje\""));
        for (int i = 0; i < q->recordCount(); ++i)
            QVERIFY(q->value(i, defined).toBool());

        QTest::mouseClick(fMenuPelvaro->ButtonArticolAmbalaje, Qt::LeftButton);
        TfArticolAmbalaje *p = fArticolAmbalaje;
        QTest::mouseClick(p->ButtonCauta, Qt::LeftButton);
        pg::Query *pq = p->dsArticolAmbalaje;
        const int kgMetal = pq->fieldIndex(QStringLiteral("kg_ambalaj_primar_total_metal"));
        const int kgHartie = pq->fieldIndex(QStringLiteral("kg_ambalaj_primar_total_hartie"));
        int filled = 0;
        for (int i = 0; i < pq->recordCount(); ++i) {
            bool empty = true;
            for (int c = 1; c <= 35; ++c)
                empty = empty && pq->isNull(i, c);
            if (!empty)
                continue;
            p->cxGrid1->setFocusedRow(i, kgMetal);
            pq->setValue(kgMetal, QLocale().toString(0.5));
            pq->setValue(kgHartie, 0.25);
            ++filled;
        }
        p->cxGrid1->postPendingEdit();
        QVERIFY(filled > 0);

        // Search the report again: the new kilograms are in the totals.
        QTest::mouseClick(r->ButtonCauta, Qt::LeftButton);
        QVERIFY2(recorder().errors.isEmpty(), qPrintable(recorder().errors.join(QLatin1Char('\n'))));
        const QString expected = testdb::scalar(db, QStringLiteral(
            "select sum(cast(p.cant * a.kg_ambalaj_primar_total_metal as numeric(18,3))) from doc d "
            "join doc_poz p using (data_doc, tip_doc, nr_doc) join articol ar on ar.articol = p.articol "
            "left join articol_ambalaje a on a.articol = p.articol left join partener pa on pa.partener = d.partener "
            "where d.data_doc between current_date - 30 and current_date and d.tip_doc in ('FactFI','FactFE') "
            "and ar.da_nu_stocabil and pa.adr_cod_iso_tara is distinct from 'RO'"));
        QCOMPARE(r->cxGrid1->footerValue(metal).value(), expected.toDouble());
        QVERIFY(r->cxGrid1->footerValue(metal).value() > metalBefore);
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
