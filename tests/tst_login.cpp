// Sign-in end to end against the real server: every message, the login
// context, the password form, which queries stay open, the remembered login.
#include "data/u_dmCon.h"
#include "login/u_frmLogin.h"
#include "platform/Error.h"
#include "platform/pg/Query.h"
#include "platform/storage/LoginStore.h"
#include "platform/ui/Ui.h"
#include "support/TestDb.h"
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class TestLogin : public QObject {
    Q_OBJECT
    QTemporaryDir config;
    QStringList errors;

    static QString sha(const QString &s) { return TfrmLogin::passwordForm(s, QStringLiteral("HashSHA2")); }

    void company(const QString &db, const QString &jasIp = QStringLiteral("'srv:8443'"))
    {
        testdb::createCompany(db);
        testdb::exec(db, QStringLiteral(
            "insert into emitent(emitent, operator_parola, eu_punct_lucru) values "
            "('ion', '%1', 'PL Cluj'), ('Ana', 'parola simpla', 'PL Iasi'), ('mara', '%2', 'PL Arad'), ('gol', '%3', 'PL Gol');"
            "insert into aplicatie_mob(aplicatie_mob, activ) values ('WPELVARO', true), ('altapp', false);"
            "insert into aplicatie_mob_emitent(aplicatie_mob, emitent, rol) values ('wPelvaro', 'ion', 'operator'), "
            "  ('wpelvaro', 'Ana', 'sef'), ('wpelvaro', 'mara', null), ('wpelvaro', 'gol', 'x');"
            "insert into eu(jas_ip, tara, metoda_stoc, cod_cci, tip_contabilitate, localit, adresa, data_incep_activitate, data_denominare, norma) "
            "values (%4, 'RO', 'FIFO', 'RO1', 'pd', 'Cluj', 'Str. 1', '2010-01-01', '2005-07-01', 8);")
            .arg(sha(QStringLiteral("secret")), sha(QStringLiteral("țară€")), sha(QString()), jasIp));
    }

    void attempt(const QString &firma, const QString &user, const QString &pass)
    {
        errors.clear();
        // As if typed: the boxes feed the remembered login on every edit.
        frmLogin->Edit1->setText(firma);
        Q_EMIT frmLogin->Edit1->textEdited(firma);
        frmLogin->Edit2->setText(user);
        Q_EMIT frmLogin->Edit2->textEdited(user);
        frmLogin->Edit3->setText(pass);
        frmLogin->setResult(0);
        QTest::mouseClick(frmLogin->Button1, Qt::LeftButton);
    }

    bool accepted() const { return frmLogin->result() == QDialog::Accepted; }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        ui::Seam s;
        s.errorBox = [this](const QString &caption, const QString &text) { errors << caption + QStringLiteral("|") + text; };
        ui::setSeam(s);
        ui::setApplicationName(ui::applicationNameFromPath(QStringLiteral("/opt/x/wPelvaro.exe")));
        dmCon = new TdmCon;
        frmLogin = new TfrmLogin;
        frmLogin->dsKavMobil->setConnection(&dmCon->conKavMob);
        REQUIRE_TEST_SERVER();
        testdb::useTestRegistry();
        testdb::createRegistry();
        company(QStringLiteral("tst_login_a"));
        company(QStringLiteral("tst_login_b"), QStringLiteral("'rapoarte:8080/jas'"));
        testdb::createCompany(QStringLiteral("tst_login_nogln"));
        testdb::exec(QStringLiteral("tst_login_nogln"), QStringLiteral(
            "alter table eu drop column gln;"
            "insert into emitent(emitent, operator_parola, eu_punct_lucru) values ('ion', 'p', 'PL');"
            "insert into aplicatie_mob(aplicatie_mob) values ('wpelvaro');"
            "insert into aplicatie_mob_emitent(aplicatie_mob, emitent, rol) values ('wpelvaro', 'ion', 'r');"));
        testdb::exec(QStringLiteral("kav_mob"), QStringLiteral(
            "insert into m_firma(nume_firma, ip, port, db_name, activ, m_site, pw_hash_type) values "
            "('Firma A', '%1', %2, 'tst_login_a', false, true, 'HashSHA2'),"
            "('Firma B', '%1', %2, 'tst_login_b', true, false, null),"
            "('Firma B hash lower', '%1', %2, 'tst_login_b', true, false, 'hashsha2'),"
            "('Firma A trailing', '%1', %2, 'tst_login_a', true, false, 'HashSHA2 '),"
            "('Fara port', '%1', null, 'tst_login_a', true, false, 'HashSHA2'),"
            "('Fara gln', '%1', %2, 'tst_login_nogln', true, false, null)")
            .arg(testdb::host()).arg(testdb::port()));
        frmLogin->show();
        QCOMPARE(frmLogin->focusWidget(), frmLogin->Edit3);
    }

    void messages_data()
    {
        QTest::addColumn<QString>("firma");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("pass");
        QTest::addColumn<QString>("shown");
        QTest::newRow("unknown company") << "Firma Z" << "ion" << "secret" << "wpelvaro|Companie inexistenta.";
        QTest::newRow("company case counts") << "firma a" << "ion" << "secret" << "wpelvaro|Companie inexistenta.";
        QTest::newRow("wrong password") << "Firma A" << "ion" << "Secret" << "wpelvaro|User, Password eronate.";
        QTest::newRow("user case counts") << "Firma A" << "ION" << "secret" << "wpelvaro|User, Password eronate.";
        QTest::newRow("hash company, plain form sent") << "Firma A" << "Ana" << "parola simpla" << "wpelvaro|User, Password eronate.";
        QTest::newRow("plain company, hash not sent") << "Firma B" << "ion" << "secret" << "wpelvaro|User, Password eronate.";
        QTest::newRow("hash type in lower case is plain") << "Firma B hash lower" << "Ana" << "parola simpla" << QString();
        QTest::newRow("hash type with blank is plain") << "Firma A trailing" << "ion" << "secret" << "wpelvaro|User, Password eronate.";
        QTest::newRow("sql in the user box is text") << "Firma A" << "x' or '1'='1" << "x' or '1'='1" << "wpelvaro|User, Password eronate.";
        QTest::newRow("missing declared column") << "Fara gln" << "ion" << "p" << "wpelvaro|dsEu: Field 'gln' not found.";
    }
    void messages()
    {
        QFETCH(QString, firma);
        QFETCH(QString, user);
        QFETCH(QString, pass);
        QFETCH(QString, shown);
        attempt(firma, user, pass);
        QCOMPARE(errors.value(0), shown);
        QCOMPARE(accepted(), shown.isEmpty());
        if (!shown.isEmpty())
            QCOMPARE(frmLogin->Edit3->text(), pass); // kept for correction
        // The attempt's own queries are closed whatever happened.
        QVERIFY(!frmLogin->dsKavMobil->isActive());
        QVERIFY(!dmCon->dsEmitent->isActive());
        QVERIFY(!dmCon->dsAplicatieMob->isActive());
        QCOMPARE(dmCon->glNumeFirma, firma);
        // The attempt is remembered, mistyped company included; never the password.
        const auto row = storage::loadLoginFile(config.path() + QStringLiteral("/KavTerel.json"));
        QVERIFY(row.has_value());
        QCOMPARE(row->company.value_or(QString()), firma);
        QCOMPARE(row->username.value_or(QString()), user);
        QFile f(config.path() + QStringLiteral("/KavTerel.json"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        if (pass.size() > 3 && pass != user)
            QVERIFY(!f.readAll().contains(pass.toUtf8()));
    }

    void applicationMessages()
    {
        testdb::exec(QStringLiteral("tst_login_a"), QStringLiteral("update aplicatie_mob set activ = false"));
        attempt(QStringLiteral("Firma A"), QStringLiteral("ion"), QStringLiteral("secret"));
        QCOMPARE(errors.value(0), QStringLiteral("wpelvaro|Aplicatia wpelvaro nu este disponibila."));
        testdb::exec(QStringLiteral("tst_login_a"), QStringLiteral("update aplicatie_mob set activ = true; delete from aplicatie_mob_emitent where emitent = 'ion'"));
        attempt(QStringLiteral("Firma A"), QStringLiteral("ion"), QStringLiteral("secret"));
        QCOMPARE(errors.value(0), QStringLiteral("wpelvaro|Aplicatia wpelvaro nu este disponibila pentru user-ul ion."));
        testdb::exec(QStringLiteral("tst_login_a"), QStringLiteral("insert into aplicatie_mob_emitent values ('wPelvaro', 'ion', 'operator')"));
    }

    void lateFailureKeepsWrittenContext()
    {
        dmCon->glJasIP = QStringLiteral("before");
        dmCon->glJasProtocol = QStringLiteral("before");
        attempt(QStringLiteral("Fara gln"), QStringLiteral("ion"), QStringLiteral("p"));
        QCOMPARE(dmCon->glUser, QStringLiteral("ion"));
        QCOMPARE(dmCon->glUserPass, QStringLiteral("p"));
        QCOMPARE(dmCon->glDataBase, QStringLiteral("tst_login_nogln"));
        QCOMPARE(dmCon->glUserRol, QStringLiteral("r"));
        QCOMPARE(dmCon->glEuPL, QStringLiteral("PL"));
        QCOMPARE(dmCon->glJasIP, QStringLiteral("before"));
        QCOMPARE(dmCon->glJasProtocol, QStringLiteral("before"));
        QVERIFY(dmCon->dsAplicatieMobEmitent->isActive());
    }

    void nullPortMeans5432()
    {
        attempt(QStringLiteral("Fara port"), QStringLiteral("ion"), QStringLiteral("secret"));
        QCOMPARE(dmCon->conKav.port(), 0);
        QVERIFY2(errors.value(0).contains(QStringLiteral("5432")), qPrintable(errors.value(0)));
        QVERIFY(!accepted());
    }

    void success_data()
    {
        QTest::addColumn<QString>("firma");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("pass");
        QTest::addColumn<QString>("db");
        QTest::addColumn<QString>("rol");
        QTest::addColumn<QString>("pl");
        QTest::addColumn<QString>("jas");
        QTest::addColumn<QString>("protocol");
        QTest::newRow("hashed") << "Firma A" << "ion" << "secret" << "tst_login_a" << "operator" << "PL Cluj" << "srv:8443" << "https";
        QTest::newRow("plain, other company") << "Firma B" << "Ana" << "parola simpla" << "tst_login_b" << "sef" << "PL Iasi" << "rapoarte:8080/jas" << "http";
        QTest::newRow("non-ascii password hashed as utf-8") << "Firma A" << "mara" << "țară€" << "tst_login_a" << "" << "PL Arad" << "srv:8443" << "https";
        QTest::newRow("empty password hashed") << "Firma A" << "gol" << "" << "tst_login_a" << "x" << "PL Gol" << "srv:8443" << "https";
    }
    void success()
    {
        QFETCH(QString, firma);
        QFETCH(QString, user);
        QFETCH(QString, pass);
        QFETCH(QString, db);
        QFETCH(QString, rol);
        QFETCH(QString, pl);
        QFETCH(QString, jas);
        QFETCH(QString, protocol);
        const int companyConnects = dmCon->conKav.connectCount();
        attempt(firma, user, pass);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
        QVERIFY(accepted());
        QCOMPARE(frmLogin->Edit3->text(), QString());
        QCOMPARE(dmCon->glNumeFirma, firma);
        QCOMPARE(dmCon->glUser, user);
        QCOMPARE(dmCon->glUserPass, pass);
        QCOMPARE(dmCon->glDataBase, db);
        QCOMPARE(dmCon->glUserRol, rol);
        QCOMPARE(dmCon->glEuPL, pl);
        QCOMPARE(dmCon->glJasIP, jas);
        QCOMPARE(dmCon->glJasProtocol, protocol);
        // The company connection points at the company the registry named.
        QCOMPARE(dmCon->conKav.database(), db);
        QCOMPARE(dmCon->conKav.sslMode(), QStringLiteral("prefer"));
        QCOMPARE(dmCon->conKavMob.sslMode(), QStringLiteral("require"));
        QVERIFY(dmCon->dsAplicatieMobEmitent->isActive());
        QVERIFY(dmCon->dsEu->isActive());
        QVERIFY(!dmCon->dsEmitent->isActive());
        QVERIFY(!dmCon->dsAplicatieMob->isActive());
        QVERIFY(!frmLogin->dsKavMobil->isActive());
        QVERIFY(!dmCon->conKav.isConnected()); // disconnected mode
        QCOMPARE(dmCon->conKav.connectCount() - companyConnects, 1); // one connection for the whole attempt
        QVERIFY(dmCon->conKavMob.isConnected());
        frmLogin->show();
    }

    void jasProtocol_data()
    {
        QTest::addColumn<QString>("jas");
        QTest::addColumn<QString>("protocol");
        QTest::newRow("port 8080") << "'h:8080'" << "http";
        QTest::newRow("port 18080") << "'h:18080'" << "http";
        QTest::newRow("port 8443") << "'h:8443'" << "https";
        QTest::newRow("empty") << "''" << "https";
        QTest::newRow("null") << "null" << "https";
    }
    void jasProtocol()
    {
        QFETCH(QString, jas);
        QFETCH(QString, protocol);
        testdb::exec(QStringLiteral("tst_login_a"), QStringLiteral("update eu set jas_ip = %1").arg(jas));
        attempt(QStringLiteral("Firma A"), QStringLiteral("ion"), QStringLiteral("secret"));
        QVERIFY(accepted());
        QCOMPARE(dmCon->glJasProtocol, protocol);
        if (jas == QLatin1String("null"))
            QCOMPARE(dmCon->glJasIP, QString());
        frmLogin->show();
    }

    void registryConnectionIsEncrypted()
    {
        QCOMPARE(testdb::scalar(QStringLiteral("postgres"),
                                QStringLiteral("select bool_and(s.ssl)::text from pg_stat_ssl s join pg_stat_activity a using (pid) "
                                               "where a.datname = 'kav_mob' and a.usename = 'kav'")),
                 QStringLiteral("true"));
    }

    void rememberedLoginShownOnShow()
    {
        frmLogin->hide();
        storage::saveLoginFile(storage::rememberedLoginPath(), storage::LoginRow{QStringLiteral("Firma ă"), QStringLiteral("user 😀")});
        frmLogin->Edit1->setText(QStringLiteral("typed, abandoned"));
        frmLogin->show();
        QCOMPARE(frmLogin->Edit1->text(), QStringLiteral("Firma ă"));
        QCOMPARE(frmLogin->Edit2->text(), QStringLiteral("user 😀"));
        // A damaged file is reported and the form stays usable.
        frmLogin->hide();
        QFile f(storage::rememberedLoginPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("{\"FDBS\":{\"Version\":16,");
        f.close();
        errors.clear();
        frmLogin->show();
        QCOMPARE(errors.size(), 1);
        QVERIFY(frmLogin->isVisible());
        QVERIFY(frmLogin->Edit1->isEnabled());
    }

    void keyboard()
    {
        frmLogin->hide();
        frmLogin->show();
        QVERIFY(frmLogin->Button1->isDefault());
        QTest::keyClick(frmLogin, Qt::Key_Escape);
        QVERIFY(frmLogin->isVisible()); // no cancel button: Escape does nothing
        QCOMPARE(frmLogin->nextInFocusChain(), frmLogin->nextInFocusChain());
        QWidget *w = frmLogin->Edit3;
        QList<QWidget *> order;
        for (int i = 0; i < 4; ++i) { order << w; w = w->nextInFocusChain(); while (!(w->focusPolicy() & Qt::TabFocus)) w = w->nextInFocusChain(); }
        QCOMPARE(order, (QList<QWidget *>{frmLogin->Edit3, frmLogin->Button1, frmLogin->Edit1, frmLogin->Edit2}));
        // Typing goes into the remembered login at once.
        frmLogin->Edit1->clear();
        frmLogin->Edit1->setFocus();
        QTest::keyClicks(frmLogin->Edit1, QStringLiteral("Abc"));
        QCOMPARE(frmLogin->dsLogin->company.value_or(QString()), QStringLiteral("Abc"));
    }

    void errorBoxText_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Companie inexistenta" << "Companie inexistenta.";
        QTest::newRow("quote") << "apasati butonul \"Cauta\"" << "apasati butonul \"Cauta\"";
        QTest::newRow("full stop") << "Gata." << "Gata.";
        QTest::newRow("digit") << "Found 0" << "Found 0.";
        QTest::newRow("closing paren") << "(x)" << "(x)";
        QTest::newRow("slash") << "a/" << "a/.";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("diacritic") << "tara" << "tara.";
        QTest::newRow("comma") << "a," << "a,";
    }
    void errorBoxText()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(ui::errorBoxText(message), shown);
    }

    void applicationName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("exe") << "C:/Program Files/wPelvaro.exe" << "wpelvaro";
        QTest::newRow("linux") << "/usr/bin/wPelvaro" << "wpelvaro";
        QTest::newRow("first kept") << "/x/WPELVARO.EXE" << "Wpelvaro";
        QTest::newRow("first dot") << "/x/Kav.Pelvaro.exe" << "Kav";
        QTest::newRow("one letter") << "/x/W" << "W";
    }
    void applicationName()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(ui::applicationNameFromPath(path), name);
    }
};

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
