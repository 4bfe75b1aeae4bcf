// The articles and article packaging screens, the common export and the
// main menu, driven as an operator would, against the real server.
#include "data/u_dmCon.h"
#include "login/u_frmLogin.h"
#include "platform/grid/DataGrid.h"
#include "platform/pg/Query.h"
#include "screens/u_fArticolAmbalaje.h"
#include "screens/u_fArticoleNomAmb.h"
#include "shell/u_fMenuPelvaro.h"
#include "support/Screens.h"
#include "support/TestDb.h"
#include "platform/ui/Ui.h"
#include "screens/GridScreen.h"
#include <QDir>
#include <QSet>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

using namespace screensfixture;

class TestScreens : public QObject {
    Q_OBJECT
    const QString db = QStringLiteral("tst_screens");
    QTemporaryDir dir;

    static QString sqlValue(const QString &db, const QString &sql) { return testdb::scalar(db, sql); }

    // Runs action inside the next modal loop (the picker), then returns.
    static void whenModal(std::function<void()> action)
    {
        QTimer::singleShot(0, [action] {
            QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
            action();
        });
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        REQUIRE_TEST_SERVER();
        createProgram();
        testdb::createCompany(db);
        testdb::exec(db, QStringLiteral(
            "insert into articol(articol, um, um_coresp, greutate_neta, greutate_bruta, da_nu_stocabil) values "
            "('abc', 'buc', 'bax', 1, 1.1, true), ('ABD', 'kg', null, 2, 2.2, true), ('cab', 'l', null, null, null, false),"
            "('axc', 'buc', null, 0.5, 0.6, true);"
            "insert into articol_ambalaje(articol, kg_ambalaj_primar_total_hartie, kg_ambalaj_secundar_total_sticla) values "
            "('abc', 0.1, 0.2), ('axc', null, 1);"));
        useCompany(db);
    }

    void menuFaces()
    {
        fMenuPelvaro->show();
        QVERIFY(fMenuPelvaro->PanelLogin->isVisible());
        QVERIFY(!fMenuPelvaro->PanelMenu->isVisible());
        QCOMPARE(fMenuPelvaro->Label1->text(), QStringLiteral("wPelvaro  v. 2025.04.17"));
        QCOMPARE(fMenuPelvaro->windowTitle(), QStringLiteral("fMenuPelvaro"));
        // The login form closed with its close box: nothing changes.
        whenModal([] { frmLogin->reject(); });
        QTest::mouseClick(fMenuPelvaro->ButtonLogin, Qt::LeftButton);
        QVERIFY(fMenuPelvaro->PanelLogin->isVisible());
        QVERIFY(!fMenuPelvaro->PanelMenu->isVisible());
        // A successful sign-in swaps the faces for good.
        testdb::createRegistry();
        testdb::exec(db, QStringLiteral("insert into emitent(emitent, operator_parola, eu_punct_lucru) values ('Ion Pop', 'pw', 'PL');"
                                        "insert into aplicatie_mob(aplicatie_mob) values ('wpelvaro');"
                                        "insert into aplicatie_mob_emitent values ('wpelvaro', 'Ion Pop', 'r');"
                                        "insert into eu(tara, metoda_stoc, cod_cci, tip_contabilitate, localit, adresa, data_incep_activitate, data_denominare, norma)"
                                        " values ('RO','FIFO','c','t','l','a','2020-01-01','2020-01-01',1)"));
        testdb::exec(QStringLiteral("kav_mob"), QStringLiteral("insert into m_firma(nume_firma, ip, port, db_name) values ('F', '%1', %2, '%3')")
                                                    .arg(testdb::host()).arg(testdb::port()).arg(db));
        whenModal([] {
            frmLogin->Edit1->setText(QStringLiteral("F"));
            frmLogin->Edit2->setText(QStringLiteral("Ion Pop"));
            frmLogin->Edit3->setText(QStringLiteral("pw"));
            QTest::mouseClick(frmLogin->Button1, Qt::LeftButton);
            if (frmLogin->isVisible()) frmLogin->reject();
        });
        recorder().clear();
        QTest::mouseClick(fMenuPelvaro->ButtonLogin, Qt::LeftButton);
        QVERIFY2(recorder().errors.isEmpty(), qPrintable(recorder().errors.join(QLatin1Char('\n'))));
        QVERIFY(!fMenuPelvaro->PanelLogin->isVisible());
        QVERIFY(fMenuPelvaro->PanelMenu->isVisible());
        QCOMPARE(fMenuPelvaro->LabelDataBase->text(), db);
        QCOMPARE(fMenuPelvaro->LabelUser->text(), QStringLiteral("User Ion Pop"));
    }

    void articlesBrowseAndEdit()
    {
        fArticoleNomAmb->ButtonOk->show();
        QTest::mouseClick(fMenuPelvaro->ButtonArticole, Qt::LeftButton);
        QVERIFY(fArticoleNomAmb->isVisible());
        QVERIFY(!fArticoleNomAmb->ButtonOk->isVisible());
        grid::DataGrid *g = fArticoleNomAmb->cxGrid1;
        // Before the first search the filter row already invites a filter.
        auto *placeholder = g->findChild<QLabel *>(QStringLiteral("filterRowPlaceholder"));
        QVERIFY(placeholder);
        QVERIFY(placeholder->isVisible());
        pg::Query *q = fArticoleNomAmb->dsArticole;
        QTest::mouseClick(fArticoleNomAmb->ButtonCauta, Qt::LeftButton);
        QCOMPARE(q->recordCount(), 4);
        QCOMPARE(g->columnWidth(0), 395);
        // The filter row: "ab" keeps abc and ABD, not cab; "a_c" keeps abc and axc.
        g->setFilterText(0, QStringLiteral("ab"));
        QCOMPARE(g->visibleRowCount(), 2);
        g->setFilterText(0, QStringLiteral("a_c"));
        QCOMPARE(g->visibleRowCount(), 2);
        g->setFilterText(0, QString());
        // Change the weight of abc and leave the row: only that column is written.
        testdb::exec(db, QStringLiteral("update articol set greutate_bruta = 9 where articol = 'abc'"));
        auto rowOf = [q](const QString &a) {
            for (int r = 0; r < q->recordCount(); ++r)
                if (q->value(r, 0).toString() == a) return r;
            return -1;
        };
        g->setFocusedRow(rowOf(QStringLiteral("abc")));
        q->setValue(q->fieldIndex(QStringLiteral("greutate_neta")), 1.25);
        g->setFocusedRow(rowOf(QStringLiteral("axc")));
        QCOMPARE(sqlValue(db, QStringLiteral("select greutate_neta || '/' || greutate_bruta from articol where articol = 'abc'")),
                 QStringLiteral("1.2500/9.0000"));
        // Untick stockable of ABD.
        g->setFocusedRow(rowOf(QStringLiteral("ABD")));
        q->setValue(q->fieldIndex(QStringLiteral("da_nu_stocabil")), false);
        q->post();
        QCOMPARE(sqlValue(db, QStringLiteral("select da_nu_stocabil::text from articol where articol = 'ABD'")), QStringLiteral("false"));
        // Delete asks first; Cancel keeps the row.
        recorder().clear();
        recorder().confirmAnswer = false;
        g->setFocusedRow(2);
        g->deleteFocusedRow();
        QCOMPARE(recorder().confirms, QStringList{QStringLiteral("Delete record?")});
        QCOMPARE(q->recordCount(), 4);
        recorder().confirmAnswer = true;
        g->deleteFocusedRow();
        QCOMPARE(q->recordCount(), 3);
        QCOMPARE(sqlValue(db, QStringLiteral("select count(*) from articol")), QStringLiteral("3"));
    }

    void pickerRefusedWhileOpenOnItsOwn()
    {
        QVERIFY(fArticoleNomAmb->isVisible());
        fArticolAmbalaje->showScreen();
        QTest::mouseClick(fArticolAmbalaje->ButtonCauta, Qt::LeftButton);
        recorder().clear();
        ui::guard([] { fArticolAmbalaje->cxGrid1DBTableView1articolPropertiesButtonClick(); });
        QCOMPARE(recorder().errors, QStringList{QStringLiteral("Cannot make a visible window modal.")});
        QVERIFY(fArticoleNomAmb->ButtonOk->isVisible()); // made visible before the refusal
        QVERIFY(!fArticolAmbalaje->dsArticolAmbalaje->isEditing());
        fArticoleNomAmb->close();
        QVERIFY(!fArticoleNomAmb->isVisible());
    }

    void pickerCancelledChangesNothing()
    {
        pg::Query *q = fArticolAmbalaje->dsArticolAmbalaje;
        whenModal([] { fArticoleNomAmb->reject(); });
        fArticolAmbalaje->cxGrid1DBTableView1articolPropertiesButtonClick();
        QVERIFY(!q->isEditing());
        QCOMPARE(q->value(0, 0).toString(), QStringLiteral("abc"));
    }

    void pickerOntoExistingRow()
    {
        pg::Query *q = fArticolAmbalaje->dsArticolAmbalaje;
        fArticolAmbalaje->cxGrid1->setFocusedRow(0); // abc, 0.1 / 0.2
        whenModal([] {
            QVERIFY(fArticoleNomAmb->ButtonOk->isVisible());
            const int row = fArticoleNomAmb->dsArticole->recordCount() - 1;
            fArticoleNomAmb->cxGrid1->setFocusedRow(row);
            QTest::mouseClick(fArticoleNomAmb->ButtonOk, Qt::LeftButton);
        });
        fArticolAmbalaje->cxGrid1DBTableView1articolPropertiesButtonClick();
        const QString picked = fArticoleNomAmb->dsArticolearticol();
        QVERIFY(!picked.isEmpty());
        QCOMPARE(q->state(), pg::Query::State::Edit);
        QCOMPARE(q->value(0, 0).toString(), picked);
        fArticolAmbalaje->cxGrid1->postPendingEdit();
        QCOMPARE(sqlValue(db, QStringLiteral("select kg_ambalaj_primar_total_hartie || '/' || kg_ambalaj_secundar_total_sticla from articol_ambalaje where articol = '%1'").arg(picked)),
                 QStringLiteral("0.1000/0.2000"));
        QCOMPARE(sqlValue(db, QStringLiteral("select count(*) from articol_ambalaje where articol = 'abc'")), QStringLiteral("0"));
    }

    void pickerIntoEmptyGridStartsRow()
    {
        testdb::exec(db, QStringLiteral("delete from articol_ambalaje"));
        pg::Query *q = fArticolAmbalaje->dsArticolAmbalaje;
        QTest::mouseClick(fArticolAmbalaje->ButtonCauta, Qt::LeftButton);
        QCOMPARE(q->recordCount(), 0);
        whenModal([] {
            fArticoleNomAmb->cxGrid1->setFocusedRow(0);
            QTest::mouseClick(fArticoleNomAmb->ButtonOk, Qt::LeftButton);
        });
        fArticolAmbalaje->cxGrid1DBTableView1articolPropertiesButtonClick();
        QCOMPARE(q->state(), pg::Query::State::Insert);
        const QString picked = q->value(0, 0).toString();
        QCOMPARE(picked, fArticoleNomAmb->dsArticolearticol());
        // Searching posts the pending row first.
        QTest::mouseClick(fArticolAmbalaje->ButtonCauta, Qt::LeftButton);
        QCOMPARE(sqlValue(db, QStringLiteral("select count(*) from articol_ambalaje where articol = '%1' and data_ins is not null").arg(picked)), QStringLiteral("1"));
        QCOMPARE(q->recordCount(), 1);
        QVERIFY(!q->isNull(0, q->fieldIndex(QStringLiteral("data_ins"))));
    }

    void packagingEditingPaths()
    {
        pg::Query *q = fArticolAmbalaje->dsArticolAmbalaje;
        grid::DataGrid *g = fArticolAmbalaje->cxGrid1;
        recorder().clear();
        // A new row without article is refused before anything is written.
        g->insertRow();
        q->setValue(q->fieldIndex(QStringLiteral("kg_ambalaj_primar_total_lemn")), 3.5);
        ui::guard([g] { g->postPendingEdit(); });
        QCOMPARE(recorder().errors, QStringList{QStringLiteral("Field 'articol' must have a value.")});
        QCOMPARE(q->state(), pg::Query::State::Insert);
        // Typed by hand, not checked against the articles; written as typed.
        q->setValue(0, QStringLiteral("Articol scris de mână"));
        g->postPendingEdit();
        QCOMPARE(sqlValue(db, QStringLiteral("select kg_ambalaj_primar_total_lemn from articol_ambalaje where articol = 'Articol scris de mână'")), QStringLiteral("3.5000"));
        QVERIFY(q->isNull(g->focusedRow(), q->fieldIndex(QStringLiteral("data_ins")))); // not re-read
        // A duplicate article: the database refuses, the row stays being inserted.
        recorder().clear();
        g->insertRow();
        q->setValue(0, QStringLiteral("Articol scris de mână"));
        ui::guard([g] { g->postPendingEdit(); });
        QCOMPARE(recorder().errors.size(), 1);
        QVERIFY(recorder().errors.first().contains(QStringLiteral("duplicate key")));
        QCOMPARE(q->state(), pg::Query::State::Insert);
        g->cancelEdit();
        // A row changed under us: "Update failed. Found 0 records".
        testdb::exec(db, QStringLiteral("update articol_ambalaje set articol = 'alt' where articol = 'Articol scris de mână'"));
        const int row = g->focusedRow();
        q->setValue(q->fieldIndex(QStringLiteral("kg_ambalaj_primar_total_lemn")), 4);
        recorder().clear();
        ui::guard([g] { g->postPendingEdit(); });
        QCOMPARE(recorder().errors, QStringList{QStringLiteral("Update failed. Found 0 records.")});
        QCOMPARE(q->value(row, q->fieldIndex(QStringLiteral("kg_ambalaj_primar_total_lemn"))).toDouble(), 4.0);
        g->cancelEdit();
    }

    void packagingCaptions_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("caption");
        QTest::newRow("1") << "kg_ambalaj_primar_total_hartie" << "kgAmbalajPrimarTotal_Hartie";
        QTest::newRow("2") << "kg_ambalaj_primar_total_plastic_pet" << "kgAmbalajPrimarTotal_PlasticPet";
        QTest::newRow("3") << "kg_ambalaj_primar_reutilizabil_plastic_altele" << "kgAmbalajPrimarReutilizabil_PlasticAltele";
        QTest::newRow("4") << "kg_ambalaj_primar_continut_periculos_plastic_pet" << "kgAmbalajPrimarContinutPericulos_PlasticPet";
        QTest::newRow("5") << "kg_ambalaj_primar_continut_periculos_aluminiu" << "kgAmbalajPrimarContinutPericulos_Aluminiu";
        QTest::newRow("6") << "kg_ambalaj_secundar_total_sticla" << "kgAmbalajSecundarTotal_Sticla";
        QTest::newRow("7") << "kg_ambalaj_secundar_reutilizabil_lemn" << "kgAmbalajSecundarReutilizabil_Lemn";
    }
    void packagingCaptions()
    {
        QFETCH(QString, column);
        QFETCH(QString, caption);
        QCOMPARE(TfArticolAmbalaje::packagingCaption(column), caption);
        grid::DataGrid *g = fArticolAmbalaje->cxGrid1;
        QCOMPARE(g->caption(fArticolAmbalaje->dsArticolAmbalaje->fieldIndex(column)), caption);
    }

    void packagingColumns()
    {
        const QStringList kg = TfArticolAmbalaje::packagingColumns();
        QCOMPARE(kg.size(), 35);
        QCOMPARE(QSet<QString>(kg.begin(), kg.end()).size(), 35);
        grid::DataGrid *g = fArticolAmbalaje->cxGrid1;
        const std::vector<int> shown = g->visibleColumns();
        QCOMPARE(shown.size(), size_t(37));
        pg::Query *q = fArticolAmbalaje->dsArticolAmbalaje;
        QCOMPARE(q->fields().at(size_t(shown[0])).name, QStringLiteral("articol"));
        QCOMPARE(q->fields().at(size_t(shown[1])).name, QStringLiteral("data_ins"));
        QCOMPARE(g->columnWidth(shown[1]), 116);
        QCOMPARE(g->columnWidth(shown[36]), 240);
        QCOMPARE(g->displayFormat(shown[1]), QStringLiteral("dd.MM.yyyy HH:mm:ss"));
        // Every packaging column of the database opens as a number; an integer one does not.
        testdb::exec(db, QStringLiteral("alter table articol_ambalaje alter column kg_ambalaj_primar_total_metal type double precision"));
        QTest::mouseClick(fArticolAmbalaje->ButtonCauta, Qt::LeftButton);
        testdb::exec(db, QStringLiteral("alter table articol_ambalaje alter column kg_ambalaj_primar_total_metal type integer"));
        recorder().clear();
        QTest::mouseClick(fArticolAmbalaje->ButtonCauta, Qt::LeftButton);
        QCOMPARE(recorder().errors, QStringList{QStringLiteral("Type mismatch for field 'kg_ambalaj_primar_total_metal', expecting: Number actual: Integer.")});
        testdb::exec(db, QStringLiteral("alter table articol_ambalaje alter column kg_ambalaj_primar_total_metal type numeric(15,4)"));
    }

    void exportPathRules_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("proposed") << "/d/Articole_17.04.2025.xlsx" << "/d/Articole_17.04.2025.xlsx";
        QTest::newRow("no extension") << "/d/Raport" << "/d/Raport.xlsx";
        QTest::newRow("extension deleted") << "/d/Articole_17.04.2025" << "/d/Articole_17.04.xlsx";
        QTest::newRow("other extension") << "/d/Raport.csv" << "/d/Raport.xlsx";
        QTest::newRow("dot in folder only") << "/d.x/Raport" << "/d.x/Raport.xlsx";
        QTest::newRow("trailing dot") << "/d/Raport." << "/d/Raport.xlsx";
    }
    void exportPathRules()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        QCOMPARE(TGridScreen::xlsxPath(chosen), QDir::toNativeSeparators(written));
    }

    void proposedNameAndSlashDates()
    {
        recorder().dateFormat = QStringLiteral("dd.MM.yyyy");
        QCOMPARE(fArticoleNomAmb->proposedFileName(), QDir::toNativeSeparators(QStringLiteral("/tmp/Articole_17.04.2025.xlsx")));
        recorder().dateFormat = QStringLiteral("M/d/yyyy");
        QCOMPARE(fArticolAmbalaje->proposedFileName(), QDir::toNativeSeparators(QStringLiteral("/tmp/ArticolAmbalaje_4-17-2025.xlsx")));
        recorder().dateFormat = QStringLiteral("dd.MM.yyyy");
    }

    void exportWritesOpensAndLabels()
    {
        TfArticoleNomAmb *a = fArticoleNomAmb;
        a->showBrowse();
        QTest::mouseClick(a->ButtonCauta, Qt::LeftButton);
        QCOMPARE(a->LabelPathSave->text(), QStringLiteral("LabelPathSave"));
        // Cancelled dialog: nothing written, nothing changes.
        recorder().clear();
        recorder().saveAnswer.clear();
        QTest::mouseClick(a->ButtonExportExcel, Qt::LeftButton);
        QVERIFY(recorder().errors.isEmpty());
        QVERIFY(recorder().opened.isEmpty());
        QCOMPARE(a->LabelPathSave->text(), QStringLiteral("LabelPathSave"));
        // A folder that does not exist.
        recorder().saveAnswer = dir.path() + QStringLiteral("/missing/x.xlsx");
        QTest::mouseClick(a->ButtonExportExcel, Qt::LeftButton);
        QCOMPARE(recorder().errors.size(), 1);
        QVERIFY2(recorder().errors.first().startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(recorder().saveAnswer)), qPrintable(recorder().errors.first()));
        QCOMPARE(a->LabelPathSave->text(), QStringLiteral("LabelPathSave"));
        QVERIFY(a->cxGrid1->isEnabled());
        // Grouped and sorted view: every row written, in view order.
        const QString path = dir.path() + QStringLiteral("/art.xlsx");
        recorder().clear();
        recorder().saveAnswer = dir.path() + QStringLiteral("/art");
        a->cxGrid1->sortByColumn(0, Qt::DescendingOrder);
        a->cxGrid1->groupByColumn(a->dsArticole->fieldIndex(QStringLiteral("um")));
        QTest::mouseClick(a->ButtonExportExcel, Qt::LeftButton);
        QVERIFY2(recorder().errors.isEmpty(), qPrintable(recorder().errors.join(QLatin1Char('\n'))));
        QCOMPARE(recorder().opened, QStringList{path});
        QCOMPARE(a->LabelPathSave->text(), path);
        const QJsonObject cells = readWorkbook(path).value(QStringLiteral("cells")).toObject();
        QStringList articles;
        for (auto it = cells.begin(); it != cells.end(); ++it)
            if (it.key().startsWith(QLatin1Char('A')) && it.key() != QLatin1String("A1"))
                articles << it.value().toObject().value(QStringLiteral("value")).toString();
        for (int r = 0; r < a->dsArticole->recordCount(); ++r)
            QVERIFY2(articles.contains(a->dsArticole->value(r, 0).toString()), qPrintable(articles.join(QLatin1Char('|'))));
        a->cxGrid1->clearGrouping();
        // The label reopens the file.
        recorder().clear();
        QTest::mouseClick(a->LabelPathSave, Qt::LeftButton);
        QCOMPARE(recorder().opened, QStringList{path});
    }

    void screenButtonBringsOpenScreenToFront()
    {
        pg::Query *q = fArticoleNomAmb->dsArticole;
        const int rows = q->recordCount();
        testdb::exec(db, QStringLiteral("insert into articol(articol, um) values ('zzz nou', 'buc')"));
        QTest::mouseClick(fMenuPelvaro->ButtonArticole, Qt::LeftButton);
        QCOMPARE(q->recordCount(), rows); // not reloaded
    }
};

QTEST_MAIN(TestScreens)
#include "tst_screens.moc"
