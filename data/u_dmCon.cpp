#include "u_dmCon.h"
#include "u_dmCon_fields.h"
#include "platform/grid/GridStyle.h"
#include "platform/pg/Query.h"

TdmCon *dmCon = nullptr;

using pg::FieldType;

TdmCon::TdmCon(QObject *parent)
    : QObject(parent), m_gridStyle(std::make_unique<grid::GridStyle>())
{
    setObjectName(QStringLiteral("dmCon"));
    const QString password = QStringLiteral(WPELVARO_DB_PASSWORD);

    // The company connection's first target never matters: every sign-in
    // attempt points it at the company the registry names.
    conKav.setServer(QStringLiteral("192.168.1.10"));
    conKav.setPort(0);
    conKav.setDatabase(QStringLiteral("kav1"));
    conKav.setUser(QStringLiteral("kav"));
    conKav.setPassword(password);
    conKav.setSslMode(QStringLiteral("require"));
    conKav.setDisconnectedMode(true);
    conKav.setConnectTimeout(15);

    conKavMob.setServer(QStringLiteral(WPELVARO_REGISTRY_HOST));
    conKavMob.setPort(WPELVARO_REGISTRY_PORT);
    conKavMob.setDatabase(QStringLiteral("kav_mob"));
    conKavMob.setUser(QStringLiteral("kav"));
    conKavMob.setPassword(password);
    conKavMob.setSslMode(QStringLiteral("require"));
    conKavMob.setConnectTimeout(15);

    dsEmitent = new pg::Query(&conKav, QStringLiteral("dsEmitent"), this);
    dsEmitent->setSql(QStringLiteral("select *\nfrom emitent\nwhere emitent = :pEmitent\n  and operator_parola = :pP\n;"));
    dsEmitent->setFields(emitentFields());

    dsAplicatieMob = new pg::Query(&conKav, QStringLiteral("dsAplicatieMob"), this);
    dsAplicatieMob->setSql(QStringLiteral("select *\nfrom aplicatie_mob\nwhere lower(aplicatie_mob) = lower(:pAplicatieMob)\n  and activ\n;"));
    dsAplicatieMob->setFields({{QStringLiteral("aplicatie_mob"), FieldType::String, 100, true},
                               {QStringLiteral("activ"), FieldType::Boolean, 0, true},
                               {QStringLiteral("obs"), FieldType::Text, 0, false}});

    dsAplicatieMobEmitent = new pg::Query(&conKav, QStringLiteral("dsAplicatieMobEmitent"), this);
    dsAplicatieMobEmitent->setSql(QStringLiteral("select *\nfrom aplicatie_mob_emitent\nwhere emitent = :pEmitent\n  and lower(aplicatie_mob) = lower(:pAplicatieMob)\n;"));
    dsAplicatieMobEmitent->setFields({{QStringLiteral("aplicatie_mob"), FieldType::String, 100, true},
                                      {QStringLiteral("emitent"), FieldType::String, 100, true},
                                      {QStringLiteral("rol"), FieldType::Text, 0, false}});

    dsEu = new pg::Query(&conKav, QStringLiteral("dsEu"), this);
    dsEu->setSql(QStringLiteral("select *\nfrom eu\n;"));
    dsEu->setFields(euFields());
}

TdmCon::~TdmCon() = default;

const grid::GridStyle &TdmCon::GridTableViewStyleSheetDevExpress() const { return *m_gridStyle; }
