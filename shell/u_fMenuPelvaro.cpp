#include "u_fMenuPelvaro.h"
#include "data/u_dmCon.h"
#include "login/u_frmLogin.h"
#include "platform/ui/Ui.h"
#include "screens/u_fAmbalajeIntroduseInTara.h"
#include "screens/u_fArticolAmbalaje.h"
#include "screens/u_fArticoleNomAmb.h"
#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TfMenuPelvaro *fMenuPelvaro = nullptr;

namespace {
constexpr int kDesignWidth = 409;

QLabel *navyBold(const QString &text, QWidget *parent, const char *name)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0x80));
    l->setPalette(p);
    return l;
}

QPushButton *button(const QString &text, QWidget *parent, const char *name, const QRect &geometry)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(geometry);
    return b;
}
} // namespace

QString TfMenuPelvaro::versionText()
{
    return QStringLiteral("wPelvaro  v. 2025.04.17");
}

TfMenuPelvaro::TfMenuPelvaro(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("fMenuPelvaro"));
    setWindowTitle(QStringLiteral("fMenuPelvaro"));
    resize(kDesignWidth, 501);
    QFont f = ui::designFont(QStringLiteral("Segoe UI"), 9);
    setFont(f);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    PanelLogin = new QWidget(this);
    PanelLogin->setObjectName(QStringLiteral("PanelLogin"));
    PanelLogin->setFixedHeight(46);
    Label1 = navyBold(versionText(), PanelLogin, "Label1");
    Label1->setGeometry(213, 0, 184, 17);
    ButtonLogin = button(QStringLiteral("Login"), PanelLogin, "ButtonLogin", {16, 8, 75, 30});
    layout->addWidget(PanelLogin);

    PanelMenu = new QWidget(this);
    PanelMenu->setObjectName(QStringLiteral("PanelMenu"));
    Label2 = navyBold(versionText(), PanelMenu, "Label2");
    Label2->setGeometry(213, 2, 184, 17);
    LabelDataBase = navyBold(QStringLiteral("LabelDataBase"), PanelMenu, "LabelDataBase");
    LabelDataBase->setWordWrap(true);
    LabelDataBase->setGeometry(6, 2, 81, 17);
    LabelUser = navyBold(QStringLiteral("LabelUser"), PanelMenu, "LabelUser");
    LabelUser->move(6, 23);
    LabelUser->adjustSize();
    Shape1 = new QFrame(PanelMenu);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setFrameShape(QFrame::NoFrame);
    Shape1->setAutoFillBackground(true);
    QPalette sp = Shape1->palette();
    sp.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    Shape1->setPalette(sp);
    Shape1->setGeometry(0, 44, kDesignWidth, 2);
    ButtonArticole = button(QStringLiteral("Articole"), PanelMenu, "ButtonArticole", {16, 60, 169, 25});
    ButtonArticolAmbalaje = button(QStringLiteral("Articol ambalaje"), PanelMenu, "ButtonArticolAmbalaje", {16, 91, 169, 25});
    ButtonAmbalajeIntroduseInTara = button(QStringLiteral("Ambalaje introduse in tara"), PanelMenu, "ButtonAmbalajeIntroduseInTara", {16, 122, 169, 25});
    setTabOrder(ButtonArticole, ButtonArticolAmbalaje);
    setTabOrder(ButtonArticolAmbalaje, ButtonAmbalajeIntroduseInTara);
    layout->addWidget(PanelMenu, 1);
    layout->addStretch(0);

    PanelLogin->installEventFilter(this);
    PanelMenu->installEventFilter(this);

    ui::on(ButtonLogin, &QPushButton::clicked, this, [this] { ButtonLoginClick(); });
    ui::on(ButtonArticole, &QPushButton::clicked, this, [this] { ButtonArticoleClick(); });
    ui::on(ButtonArticolAmbalaje, &QPushButton::clicked, this, [this] { ButtonArticolAmbalajeClick(); });
    ui::on(ButtonAmbalajeIntroduseInTara, &QPushButton::clicked, this, [this] { ButtonAmbalajeIntroduseInTaraClick(); });

    FormCreate();
}

bool TfMenuPelvaro::eventFilter(QObject *watched, QEvent *e)
{
    // The version labels keep to the top right corner, the rule to the full width.
    if (e->type() == QEvent::Resize) {
        auto *panel = static_cast<QWidget *>(watched);
        const int right = panel->width() - kDesignWidth;
        if (panel == PanelLogin) {
            Label1->move(213 + right, 0);
        } else if (panel == PanelMenu) {
            Label2->move(213 + right, 2);
            Shape1->setGeometry(0, 44, panel->width(), 2);
        }
    }
    return QWidget::eventFilter(watched, e);
}

void TfMenuPelvaro::FormCreate()
{
    PanelMenu->hide();
}

void TfMenuPelvaro::ButtonLoginClick()
{
    if (frmLogin->exec() != QDialog::Accepted)
        return;
    PanelLogin->hide();
    PanelMenu->show();
    LabelDataBase->setText(dmCon->glDataBase);
    // Wraps at 81 pixels; a single word longer than that widens the label
    // (up to the version label) rather than being cut off.
    int width = 81;
    const QFontMetrics fm(LabelDataBase->font());
    for (const QString &word : dmCon->glDataBase.split(QLatin1Char(' ')))
        width = std::max(width, fm.horizontalAdvance(word) + 2);
    width = std::min(width, 200);
    LabelDataBase->setGeometry(6, 2, width, LabelDataBase->heightForWidth(width));
    LabelUser->setText(QStringLiteral("User ") + dmCon->glUser);
    LabelUser->adjustSize();
}

void TfMenuPelvaro::ButtonArticoleClick() { fArticoleNomAmb->showBrowse(); }
void TfMenuPelvaro::ButtonArticolAmbalajeClick() { fArticolAmbalaje->showScreen(); }
void TfMenuPelvaro::ButtonAmbalajeIntroduseInTaraClick() { fAmbalajeIntroduseInTara->showScreen(); }
