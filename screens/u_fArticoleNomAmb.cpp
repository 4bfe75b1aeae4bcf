#include "u_fArticoleNomAmb.h"
#include "data/u_dmCon.h"
#include "platform/grid/DataGrid.h"
#include "platform/pg/Query.h"
#include "platform/ui/Ui.h"
#include <QPushButton>

TfArticoleNomAmb *fArticoleNomAmb = nullptr;

using pg::FieldType;

TfArticoleNomAmb::TfArticoleNomAmb(QWidget *parent)
    : TGridScreen(QStringLiteral("fArticoleNomAmb"), QStringLiteral("Articole"), QStringLiteral("Articole_"),
                  {QSize(931, 648), {88, 8}, {7, 613}, {88, 617}, {214, 617}, QRect(8, 39, 907, 562), true}, parent)
{
    dsArticole = new pg::Query(&dmCon->conKav, QStringLiteral("dsArticole"), this);
    dsArticole->setSql(QStringLiteral(
        "select articol,\n       um,\n       um_coresp,\n       um_coresp2,\n       greutate_neta,\n"
        "       greutate_bruta,\n       da_nu_stocabil\nfrom articol\norder by articol\n;"));
    dsArticole->setFields({{QStringLiteral("articol"), FieldType::String, 200, true, true},
                           {QStringLiteral("um"), FieldType::String, 5, true, true},
                           {QStringLiteral("um_coresp"), FieldType::String, 5, false, true},
                           {QStringLiteral("um_coresp2"), FieldType::String, 5, false, true},
                           {QStringLiteral("greutate_neta"), FieldType::Number},
                           {QStringLiteral("greutate_bruta"), FieldType::Number},
                           {QStringLiteral("da_nu_stocabil"), FieldType::Boolean, 0, true}});
    dsArticole->setUpdateTable(QStringLiteral("articol"), {QStringLiteral("articol")});
    setQuery(dsArticole);
    cxGrid1->setColumns({{QStringLiteral("articol"), {}, 395},
                         {QStringLiteral("um"), {}, 45},
                         {QStringLiteral("um_coresp"), {}, 72},
                         {QStringLiteral("um_coresp2"), {}, 76},
                         {QStringLiteral("greutate_neta"), {}, 91},
                         {QStringLiteral("greutate_bruta"), {}, 99},
                         {QStringLiteral("da_nu_stocabil"), {}, 99}});

    ButtonOk = new QPushButton(QStringLiteral("OK"), this);
    ButtonOk->setObjectName(QStringLiteral("ButtonOk"));
    ButtonOk->setGeometry(824, 615, 91, 25);
    ButtonOk->setAutoDefault(false);
    anchor(ButtonOk, true, true);
    ui::on(ButtonOk, &QPushButton::clicked, this, [this] { ButtonOkClick(); });

    setTabOrder(cxGrid1, ButtonCauta);
    setTabOrder(ButtonCauta, ButtonOk);
    setTabOrder(ButtonOk, ButtonExportExcel);
}

void TfArticoleNomAmb::showBrowse()
{
    ButtonOk->hide();
    showScreen();
}

void TfArticoleNomAmb::ButtonOkClick()
{
    // Only a modal showing has a result to give.
    if (isModal())
        done(QDialog::Accepted);
}

QString TfArticoleNomAmb::dsArticolearticol() const
{
    if (!dsArticole->isActive() || dsArticole->recordCount() == 0)
        return QString();
    return dsArticole->fieldByName(QStringLiteral("articol")).asString();
}
