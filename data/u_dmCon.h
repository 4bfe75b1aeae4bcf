#pragma once
#include "platform/pg/Connection.h"
#include <QObject>
#include <QString>
#include <memory>

namespace pg { class Query; }
namespace grid { struct GridStyle; }

// The data module: both connections, the sign-in queries, the login context
// and the grid style shared by the screens. It holds; others act.
class TdmCon : public QObject {
    Q_OBJECT
public:
    explicit TdmCon(QObject *parent = nullptr);
    ~TdmCon() override;

    pg::Connection conKav;    // the signed-in company's database
    pg::Connection conKavMob; // the registry of companies

    pg::Query *dsEmitent;
    pg::Query *dsAplicatieMob;
    pg::Query *dsAplicatieMobEmitent;
    pg::Query *dsEu;

    // The login context, written only by the sign-in.
    QString glNumeFirma;
    QString glUser;
    QString glUserPass;
    QString glDataBase;
    QString glUserRol;
    QString glEuPL;
    QString glJasIP;
    QString glJasProtocol;

    const grid::GridStyle &GridTableViewStyleSheetDevExpress() const;

private:
    std::unique_ptr<grid::GridStyle> m_gridStyle;
};

extern TdmCon *dmCon;
