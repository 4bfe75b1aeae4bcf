#include "u_fAmbalajeIntroduseInTara.h"
#include "data/u_dmCon.h"
#include "platform/grid/DataGrid.h"
#include "platform/pg/Query.h"
#include "platform/ui/Ui.h"
#include <QDateEdit>
#include <QPushButton>

TfAmbalajeIntroduseInTara *fAmbalajeIntroduseInTara = nullptr;

using pg::FieldType;

namespace {
// The nine packaging columns the report carries.
const char *const kReportKg[9] = {
    "kg_ambalaj_primar_total_hartie", "kg_ambalaj_primar_total_plastic_pet", "kg_ambalaj_primar_total_plastic_altele",
    "kg_ambalaj_primar_total_sticla", "kg_ambalaj_primar_total_metal", "kg_ambalaj_primar_total_aluminiu",
    "kg_ambalaj_primar_total_lemn", "kg_ambalaj_secundar_total_sticla", "kg_ambalaj_secundar_reutilizabil_lemn"};
const int kTotalWidths[9] = {250, 278, 291, 250, 250, 264, 250, 270, 300};
} // namespace

const char *TfAmbalajeIntroduseInTara::reportSql()
{
    return R"(select doc.data_doc,
       doc.tip_doc,
       doc.nr_doc,
       doc.partener,

       partener.cod_cci,
       partener.adr_cod_iso_tara,

       doc_poz.articol,
       doc_poz.um,
       doc_poz.cant,

       articol.da_nu_stocabil,

       case when articol_ambalaje.articol is null then false else true end as este_definit,

       articol_ambalaje.kg_ambalaj_primar_total_hartie,
       articol_ambalaje.kg_ambalaj_primar_total_plastic_pet,
       articol_ambalaje.kg_ambalaj_primar_total_plastic_altele,
       articol_ambalaje.kg_ambalaj_primar_total_sticla,
       articol_ambalaje.kg_ambalaj_primar_total_metal,
       articol_ambalaje.kg_ambalaj_primar_total_aluminiu,
       articol_ambalaje.kg_ambalaj_primar_total_lemn,

       articol_ambalaje.kg_ambalaj_secundar_total_sticla,
       articol_ambalaje.kg_ambalaj_secundar_reutilizabil_lemn,

       cast(doc_poz.cant * articol_ambalaje.kg_ambalaj_primar_total_hartie as numeric(18,3))         as total_art_kg_ambalaj_primar_total_hartie,
       cast(doc_poz.cant * articol_ambalaje.kg_ambalaj_primar_total_plastic_pet as numeric(18,3))    as total_art_kg_ambalaj_primar_total_plastic_pet,
       cast(doc_poz.cant * articol_ambalaje.kg_ambalaj_primar_total_plastic_altele as numeric(18,3)) as total_art_kg_ambalaj_primar_total_plastic_altele,
       cast(doc_poz.cant * articol_ambalaje.kg_ambalaj_primar_total_sticla as numeric(18,3))         as total_art_kg_ambalaj_primar_total_sticla,
       cast(doc_poz.cant * articol_ambalaje.kg_ambalaj_primar_total_metal as numeric(18,3))          as total_art_kg_ambalaj_primar_total_metal,
       cast(doc_poz.cant * articol_ambalaje.kg_ambalaj_primar_total_aluminiu as numeric(18,3))       as total_art_kg_ambalaj_primar_total_aluminiu,
       cast(doc_poz.cant * articol_ambalaje.kg_ambalaj_primar_total_lemn as numeric(18,3))           as total_art_kg_ambalaj_primar_total_lemn,

       cast(doc_poz.cant * articol_ambalaje.kg_ambalaj_secundar_total_sticla as numeric(18,3))       as total_art_kg_ambalaj_secundar_total_sticla,
       cast(doc_poz.cant * articol_ambalaje.kg_ambalaj_secundar_reutilizabil_lemn as numeric(18,3))  as total_art_kg_ambalaj_secundar_reutilizabil_lemn

from doc left outer join partener on doc.partener = partener.partener
         left outer join doc_poz on doc.data_doc = doc_poz.data_doc
                                and doc.tip_doc  = doc_poz.tip_doc
                                and doc.nr_doc   = doc_poz.nr_doc
         left outer join articol on doc_poz.articol = articol.articol
         left outer join articol_ambalaje on doc_poz.articol = articol_ambalaje.articol
where doc.data_doc between :pDataIncep and :pDataSfarsit
  and doc.tip_doc in ('FactFI', 'FactFE')
  and articol.da_nu_stocabil
  and partener.adr_cod_iso_tara is distinct from 'RO'
order by doc.data_doc,
         doc.tip_doc,
         doc.nr_doc
;)";
}

const char *TfAmbalajeIntroduseInTara::insertSql()
{
    return R"(insert into articol_ambalaje(articol)
select distinct doc_poz.articol
from doc left outer join partener on doc.partener = partener.partener
         left outer join doc_poz on doc.data_doc = doc_poz.data_doc
                                and doc.tip_doc  = doc_poz.tip_doc
                                and doc.nr_doc   = doc_poz.nr_doc
         left outer join articol on doc_poz.articol = articol.articol
         left outer join articol_ambalaje on doc_poz.articol = articol_ambalaje.articol
where doc.data_doc between :pDataIncep and :pDataSfarsit
  and doc.tip_doc in ('FactFI', 'FactFE')
  and articol.da_nu_stocabil
  and partener.adr_cod_iso_tara is distinct from 'RO'
  and articol_ambalaje.articol is null
order by articol
;)";
}

TfAmbalajeIntroduseInTara::TfAmbalajeIntroduseInTara(QWidget *parent)
    : TGridScreen(QStringLiteral("fAmbalajeIntroduseInTara"), QStringLiteral("Ambalaje introduse in tara"),
                  QStringLiteral("AmbalajeIntroduseInTara_"),
                  {QSize(1288, 662), {216, 44}, {601, 43}, {682, 47}, {808, 47}, QRect(8, 74, 1268, 579), false}, parent)
{
    ButtonExportExcel->setCursor(Qt::PointingHandCursor);
    Label6->setCursor(Qt::PointingHandCursor);

    Label11 = new QLabel(QStringLiteral("Data inceput"), this);
    Label11->setObjectName(QStringLiteral("Label11"));
    Label11->move(8, 31);
    Label11->adjustSize();
    Label15 = new QLabel(QStringLiteral("Data sfarsit"), this);
    Label15->setObjectName(QStringLiteral("Label15"));
    Label15->move(107, 31);
    Label15->adjustSize();
    auto dateEdit = [this](const char *name, int x) {
        auto *e = new QDateEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setCalendarPopup(true);
        // The locale's numeric short date; a format with month names would not fit the edit.
        QString format = QLocale().dateFormat(QLocale::ShortFormat);
        if (format.contains(QLatin1String("MMM")))
            format = QStringLiteral("dd.MM.yyyy");
        else if (!format.contains(QLatin1String("yyyy")))
            format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
        e->setDisplayFormat(format);
        e->setGeometry(x, 45, 90, 23);
        return e;
    };
    cxDateEditDataIncep = dateEdit("cxDateEditDataIncep", 8);
    cxDateEditDataSfarsit = dateEdit("cxDateEditDataSfarsit", 107);
    ButtonInsArtNedefInArticolAmbalaje = new QPushButton(QStringLiteral("Insereaza articole nedefinite in articol ambalaje"), this);
    ButtonInsArtNedefInArticolAmbalaje->setObjectName(QStringLiteral("ButtonInsArtNedefInArticolAmbalaje"));
    ButtonInsArtNedefInArticolAmbalaje->setGeometry(312, 43, 265, 25);
    ButtonInsArtNedefInArticolAmbalaje->setAutoDefault(false);
    ui::on(ButtonInsArtNedefInArticolAmbalaje, &QPushButton::clicked, this, [this] { ButtonInsArtNedefInArticolAmbalajeClick(); });

    // The report's lines are not written back anywhere, so the grid only shows them.
    const bool ro = true;
    std::vector<pg::FieldDef> fields{
        {QStringLiteral("data_doc"), FieldType::Date, 0, true, ro},
        {QStringLiteral("tip_doc"), FieldType::String, 7, true, ro},
        {QStringLiteral("nr_doc"), FieldType::String, 15, true, ro},
        {QStringLiteral("partener"), FieldType::String, 100, false, ro},
        {QStringLiteral("cod_cci"), FieldType::String, 20, false, true},
        {QStringLiteral("adr_cod_iso_tara"), FieldType::Text, 0, false, true},
        {QStringLiteral("articol"), FieldType::String, 200, true, true},
        {QStringLiteral("um"), FieldType::String, 5, true, true},
        {QStringLiteral("cant"), FieldType::Number, 0, false, true},
        {QStringLiteral("da_nu_stocabil"), FieldType::Boolean, 0, true, true},
        {QStringLiteral("este_definit"), FieldType::Boolean, 0, false, true}};
    for (const char *kg : kReportKg)
        fields.push_back({QLatin1String(kg), FieldType::Number, 0, false, true});
    for (const char *kg : kReportKg)
        fields.push_back({QStringLiteral("total_art_") + QLatin1String(kg), FieldType::Number, 0, false, true});

    dsAmbalajeIntroduseInTara = new pg::Query(&dmCon->conKav, QStringLiteral("dsAmbalajeIntroduseInTara"), this);
    dsAmbalajeIntroduseInTara->setSql(QString::fromUtf8(reportSql()));
    dsAmbalajeIntroduseInTara->setFields(fields);
    setQuery(dsAmbalajeIntroduseInTara);

    std::vector<grid::GridColumn> columns{
        {QStringLiteral("data_doc"), {}, 73}, {QStringLiteral("tip_doc"), {}, 57}, {QStringLiteral("nr_doc"), {}, 95},
        {QStringLiteral("partener"), {}, 171}, {QStringLiteral("cod_cci"), {}, 89},
        {QStringLiteral("adr_cod_iso_tara"), QStringLiteral("tara"), 32}, {QStringLiteral("articol"), {}, 163},
        {QStringLiteral("um"), {}, 44}, {QStringLiteral("cant"), {}, 43}, {QStringLiteral("da_nu_stocabil"), {}, 100},
        {QStringLiteral("este_definit"), {}, 82}};
    for (int i = 0; i < 9; ++i)
        columns.push_back({QStringLiteral("total_art_") + QLatin1String(kReportKg[i]), {}, kTotalWidths[i]});
    cxGrid1->setColumns(columns);
    for (int i = 0; i < 9; ++i)
        cxGrid1->setFooterSum(QStringLiteral("total_art_") + QLatin1String(kReportKg[i]), true);

    PgSQL_InsArtNedefInArticolAmbalaje = std::make_unique<pg::Statement>(&dmCon->conKav, QStringLiteral("PgSQL_InsArtNedefInArticolAmbalaje"));
    PgSQL_InsArtNedefInArticolAmbalaje->setSql(QString::fromUtf8(insertSql()));

    setTabOrder(ButtonCauta, cxDateEditDataIncep);
    setTabOrder(cxDateEditDataIncep, cxDateEditDataSfarsit);
    setTabOrder(cxDateEditDataSfarsit, cxGrid1);
    setTabOrder(cxGrid1, ButtonExportExcel);
    setTabOrder(ButtonExportExcel, ButtonInsArtNedefInArticolAmbalaje);

    FormCreate();
}

TfAmbalajeIntroduseInTara::~TfAmbalajeIntroduseInTara() = default;

void TfAmbalajeIntroduseInTara::FormCreate()
{
    const QDate today = ui::seam().today();
    cxDateEditDataIncep->setDate(today.addDays(-30));
    cxDateEditDataSfarsit->setDate(today);
}

void TfAmbalajeIntroduseInTara::beforeSearch()
{
    dsAmbalajeIntroduseInTara->setParam(QStringLiteral("pDataIncep"), cxDateEditDataIncep->date());
    dsAmbalajeIntroduseInTara->setParam(QStringLiteral("pDataSfarsit"), cxDateEditDataSfarsit->date());
}

void TfAmbalajeIntroduseInTara::ButtonInsArtNedefInArticolAmbalajeClick()
{
    ui::WaitCursor wait;
    PgSQL_InsArtNedefInArticolAmbalaje->setParam(QStringLiteral("pDataIncep"), cxDateEditDataIncep->date());
    PgSQL_InsArtNedefInArticolAmbalaje->setParam(QStringLiteral("pDataSfarsit"), cxDateEditDataSfarsit->date());
    PgSQL_InsArtNedefInArticolAmbalaje->execute();
    // The report keeps the dates of its own last search.
    if (dsAmbalajeIntroduseInTara->isActive())
        dsAmbalajeIntroduseInTara->refresh();
    ui::showInfo(QStringLiteral("Articolele au fost inserate in \"articol ambalaje\""));
}
