#include "u_fArticolAmbalaje.h"
#include "u_fArticoleNomAmb.h"
#include "data/u_dmCon.h"
#include "platform/Error.h"
#include "platform/grid/DataGrid.h"
#include "platform/pg/Query.h"
#include <QPushButton>

TfArticolAmbalaje *fArticolAmbalaje = nullptr;

using pg::FieldType;

namespace {
// Screen widths of the packaging columns, in declared order.
const int kWidths[35] = {182, 200, 217, 173, 178, 196, 179,
                         216, 238, 254, 211, 210, 231, 213,
                         254, 281, 290, 255, 249, 264, 249,
                         200, 227, 239, 200, 200, 219, 200,
                         232, 253, 268, 233, 232, 246, 240};

QString capitalised(const QStringList &parts)
{
    QString out;
    for (const QString &p : parts)
        out += p.left(1).toUpper() + p.mid(1);
    return out;
}
} // namespace

QStringList TfArticolAmbalaje::packagingColumns()
{
    static const char *const groups[] = {"primar_total", "primar_reutilizabil", "primar_continut_periculos",
                                         "secundar_total", "secundar_reutilizabil"};
    static const char *const materials[] = {"hartie", "plastic_pet", "plastic_altele", "sticla", "metal", "aluminiu", "lemn"};
    QStringList out;
    for (const char *g : groups)
        for (const char *m : materials)
            out << QStringLiteral("kg_ambalaj_%1_%2").arg(QLatin1String(g), QLatin1String(m));
    return out;
}

QString TfArticolAmbalaje::packagingCaption(const QString &column)
{
    QStringList parts = column.mid(QStringLiteral("kg_ambalaj_").size()).split(QLatin1Char('_'));
    const QString level = parts.takeFirst();
    const int kindParts = parts.value(0) == QLatin1String("continut") ? 2 : 1;
    const QStringList kind = parts.mid(0, kindParts);
    const QStringList material = parts.mid(kindParts);
    return QStringLiteral("kgAmbalaj") + capitalised({level}) + capitalised(kind) + QLatin1Char('_') + capitalised(material);
}

TfArticolAmbalaje::TfArticolAmbalaje(QWidget *parent)
    : TGridScreen(QStringLiteral("fArticolAmbalaje"), QStringLiteral("Articol ambalaje"), QStringLiteral("ArticolAmbalaje_"),
                  {QSize(1348, 638), {160, 8}, {257, 8}, {338, 13}, {464, 13}, QRect(8, 39, 1332, 591), false}, parent)
{
    dsArticolAmbalaje = new pg::Query(&dmCon->conKav, QStringLiteral("dsArticolAmbalaje"), this);
    dsArticolAmbalaje->setSql(QStringLiteral("select *\nfrom articol_ambalaje\norder by articol\n;"));
    std::vector<pg::FieldDef> fields{{QStringLiteral("articol"), FieldType::String, 200, true, false}};
    const QStringList kg = packagingColumns();
    for (const QString &c : kg)
        fields.push_back({c, FieldType::Number});
    fields.push_back({QStringLiteral("data_ins"), FieldType::Timestamp, 0, false, true});
    dsArticolAmbalaje->setFields(fields);
    dsArticolAmbalaje->setUpdateTable(QStringLiteral("articol_ambalaje"), {QStringLiteral("articol")});
    setQuery(dsArticolAmbalaje);

    std::vector<grid::GridColumn> columns{{QStringLiteral("articol"), {}, 287},
                                          {QStringLiteral("data_ins"), {}, 116, QStringLiteral("dd.MM.yyyy HH:mm:ss")}};
    for (int i = 0; i < kg.size(); ++i)
        columns.push_back({kg[i], packagingCaption(kg[i]), kWidths[i]});
    cxGrid1->setColumns(columns);
    cxGrid1->setColumnButton(QStringLiteral("articol"), [this] { cxGrid1DBTableView1articolPropertiesButtonClick(); });

    setTabOrder(cxGrid1, ButtonCauta);
    setTabOrder(ButtonCauta, ButtonExportExcel);
}

void TfArticolAmbalaje::cxGrid1DBTableView1articolPropertiesButtonClick()
{
    fArticoleNomAmb->ButtonOk->setVisible(true);
    if (fArticoleNomAmb->showModal() != 1)
        return;
    pg::Query *q = dsArticolAmbalaje;
    if (!q->isActive())
        throw AppError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    if (!q->isEditing()) {
        if (q->recordCount() == 0)
            q->insert(0);
        else
            q->edit();
    }
    q->setValue(q->fieldIndex(QStringLiteral("articol")), fArticoleNomAmb->dsArticolearticol());
}
