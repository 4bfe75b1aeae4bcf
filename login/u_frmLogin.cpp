#include "u_frmLogin.h"
#include "data/u_dmCon.h"
#include "platform/Error.h"
#include "platform/pg/Query.h"
#include "platform/ui/Ui.h"
#include <QCryptographicHash>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TfrmLogin *frmLogin = nullptr;

using pg::FieldType;

TfrmLogin::TfrmLogin(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("frmLogin"));
    setFixedSize(362, 158);
    QFont f = ui::designFont(QStringLiteral("Tahoma"), 8);
    setFont(f);
    QFont lf = f;
    lf.setPointSize(9);

    auto label = [&](const char *name, const QString &text, int x, int y) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->setFont(lf);
        l->move(x, y);
        l->adjustSize();
        return l;
    };
    auto edit = [&](const char *name, int y) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setGeometry(77, y, 268, 21);
        return e;
    };
    Label1 = label("Label1", QStringLiteral("Company"), 16, 24);
    Edit1 = edit("Edit1", 22);
    Label2 = label("Label2", QStringLiteral("UserName"), 16, 56);
    Edit2 = edit("Edit2", 54);
    Label3 = label("Label3", QStringLiteral("Password"), 16, 88);
    Edit3 = edit("Edit3", 86);
    Edit3->setEchoMode(QLineEdit::Password);
    Button1 = new QPushButton(QStringLiteral("Login"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(77, 120, 75, 30);
    Button1->setDefault(true);

    // The password box comes first, so the caret starts there.
    setTabOrder(Edit3, Button1);
    setTabOrder(Button1, Edit1);
    setTabOrder(Edit1, Edit2);

    connect(Edit1, &QLineEdit::textEdited, this, [this](const QString &t) { boxEdited(true, t); });
    connect(Edit2, &QLineEdit::textEdited, this, [this](const QString &t) { boxEdited(false, t); });
    ui::on(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    dsKavMobil = new pg::Query(nullptr, QStringLiteral("dsKavMobil"), this);
    dsKavMobil->setSql(QStringLiteral("select *\nfrom m_firma\nwhere nume_firma = :pNumeFirma\n;"));
    dsKavMobil->setFields({{QStringLiteral("nume_firma"), FieldType::String, 200, true},
                           {QStringLiteral("ip"), FieldType::Text, 0, false},
                           {QStringLiteral("port"), FieldType::Integer, 0, false},
                           {QStringLiteral("db_name"), FieldType::Text, 0, false},
                           {QStringLiteral("activ"), FieldType::Boolean, 0, false},
                           {QStringLiteral("m_site"), FieldType::Boolean, 0, true},
                           {QStringLiteral("pw_hash_type"), FieldType::String, 23, false}});
}

TfrmLogin::~TfrmLogin() = default;

void TfrmLogin::boxEdited(bool company, const QString &text)
{
    // Every keystroke goes into the table; the first one creates its row.
    dsLoginOpen = true;
    if (!dsLogin)
        dsLogin = storage::LoginRow{};
    (company ? dsLogin->company : dsLogin->username) = text;
}

void TfrmLogin::showRememberedLogin()
{
    Edit1->setText(dsLogin && dsLogin->company ? *dsLogin->company : QString());
    Edit2->setText(dsLogin && dsLogin->username ? *dsLogin->username : QString());
}

void TfrmLogin::FormShow()
{
    const QString path = storage::rememberedLoginPath();
    if (QFile::exists(path)) {
        // A damaged file is reported; the form opens with what it had.
        ui::guard([&] {
            dsLogin = storage::loadLoginFile(path);
            dsLoginOpen = true;
        });
    }
    dsLoginOpen = true;
    showRememberedLogin();
    // The password box heads the tab order, so the caret starts there.
    if (!focusWidget())
        Edit3->setFocus(Qt::TabFocusReason);
}

void TfrmLogin::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous())
        FormShow();
}

void TfrmLogin::keyPressEvent(QKeyEvent *e)
{
    // There is no Cancel button: Escape does nothing.
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TfrmLogin::saveRememberedLogin()
{
    storage::saveLoginFile(storage::rememberedLoginPath(), dsLogin);
}

QString TfrmLogin::passwordForm(const QString &password, const QString &hashType)
{
    if (hashType == QLatin1String("HashSHA2"))
        return QString::fromLatin1(QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Sha256).toHex());
    return password;
}

void TfrmLogin::Button1Click()
{
    saveRememberedLogin();
    ui::WaitCursor wait; // connecting may take up to the connect time-out
    dmCon->glNumeFirma = Edit1->text();
    dmCon->conKavMob.setSslMode(QStringLiteral("require"));
    dsKavMobil->close();
    dsKavMobil->setParam(QStringLiteral("pNumeFirma"), Edit1->text());
    dsKavMobil->open();

    // Whatever happens from here on, the attempt's queries are closed again;
    // the grant and the company record stay open.
    struct Closing {
        TfrmLogin *f;
        ~Closing()
        {
            dmCon->dsAplicatieMob->close();
            dmCon->dsEmitent->close();
            f->dsKavMobil->close();
        }
    } closing{this};

    if (dsKavMobil->recordCount() == 0)
        throw AppError(QStringLiteral("Companie inexistenta"));

    const QString ip = dsKavMobil->fieldByName(QStringLiteral("ip")).asString();
    const QVariant portValue = dsKavMobil->fieldByName(QStringLiteral("port")).value();
    const QString dbName = dsKavMobil->fieldByName(QStringLiteral("db_name")).asString();
    const QString hashType = dsKavMobil->fieldByName(QStringLiteral("pw_hash_type")).asString();

    dmCon->conKav.setServer(ip);
    dmCon->conKav.setPort(portValue.isNull() ? 0 : portValue.toInt());
    dmCon->conKav.setDatabase(dbName);
    dmCon->conKav.setSslMode(QStringLiteral("prefer"));

    // One connection serves the attempt's statements on the company database;
    // in disconnected mode it closes again when the attempt ends.
    pg::ConnectionUse company(dmCon->conKav);

    pg::Query *emitent = dmCon->dsEmitent;
    emitent->close();
    emitent->setParam(QStringLiteral("pEmitent"), Edit2->text());
    emitent->setParam(QStringLiteral("pP"), passwordForm(Edit3->text(), hashType));
    emitent->open();
    if (emitent->recordCount() == 0)
        throw AppError(QStringLiteral("User, Password eronate"));

    const QString app = ui::applicationName();
    pg::Query *aplicatie = dmCon->dsAplicatieMob;
    aplicatie->close();
    aplicatie->setParam(QStringLiteral("pAplicatieMob"), app);
    aplicatie->open();
    if (aplicatie->recordCount() == 0)
        throw AppError(QStringLiteral("Aplicatia ") + app + QStringLiteral(" nu este disponibila"));

    pg::Query *grant = dmCon->dsAplicatieMobEmitent;
    grant->close();
    grant->setParam(QStringLiteral("pEmitent"), Edit2->text());
    grant->setParam(QStringLiteral("pAplicatieMob"), app);
    grant->open();
    if (grant->recordCount() == 0)
        throw AppError(QStringLiteral("Aplicatia ") + app + QStringLiteral(" nu este disponibila pentru user-ul ") + Edit2->text());

    dmCon->glUser = Edit2->text();
    dmCon->glUserPass = Edit3->text();
    dmCon->glDataBase = dbName;
    dmCon->glUserRol = grant->fieldByName(QStringLiteral("rol")).asString();
    dmCon->glEuPL = emitent->fieldByName(QStringLiteral("eu_punct_lucru")).asString();

    if (dmCon->dsEu->isActive())
        dmCon->dsEu->refresh();
    else
        dmCon->dsEu->open();
    dmCon->glJasIP = dmCon->dsEu->fieldByName(QStringLiteral("jas_ip")).asString();
    dmCon->glJasProtocol = dmCon->glJasIP.contains(QLatin1String("8080")) ? QStringLiteral("http") : QStringLiteral("https");

    Edit3->clear();
    accept();
}
