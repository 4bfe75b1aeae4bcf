#include "Screens.h"
#include "TestDb.h"
#include "data/u_dmCon.h"
#include "login/u_frmLogin.h"
#include "platform/pg/Query.h"
#include "platform/ui/Ui.h"
#include "screens/u_fAmbalajeIntroduseInTara.h"
#include "screens/u_fArticolAmbalaje.h"
#include "screens/u_fArticoleNomAmb.h"
#include "shell/Program.h"
#include "shell/u_fMenuPelvaro.h"
#include <QJsonDocument>
#include <QProcess>

namespace screensfixture {

Recorder &recorder()
{
    static Recorder r;
    return r;
}

void createProgram()
{
    if (fMenuPelvaro)
        return;
    Recorder &r = recorder();
    ui::Seam s;
    s.errorBox = [&r](const QString &, const QString &t) { r.errors << t; };
    s.infoBox = [&r](const QString &t) { r.infos << t; };
    s.confirm = [&r](const QString &t) { r.confirms << t; return r.confirmAnswer; };
    s.saveDialog = [&r](const QString &filter, const QString &proposed) {
        r.savedFilter = filter;
        r.savedProposal = proposed;
        return r.saveAnswer;
    };
    s.openOnDesktop = [&r](const QString &p) { r.opened << p; };
    s.today = [&r] { return r.today; };
    s.shortDateText = [&r](const QDate &d) { return d.toString(r.dateFormat); };
    s.commonAppDataFolder = [&r] { return r.folder; };
    ui::setSeam(s);
    ui::setApplicationName(QStringLiteral("wpelvaro"));

    createProgramObjects();
    if (testdb::available())
        testdb::useTestRegistry();
}

void useCompany(const QString &database)
{
    dmCon->conKav.setServer(testdb::host());
    dmCon->conKav.setPort(testdb::port());
    dmCon->conKav.setDatabase(database);
    dmCon->conKav.setSslMode(QStringLiteral("prefer"));
    dmCon->conKav.setPassword(testdb::password());
}

QJsonObject readWorkbook(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {testdb::sourceDir() + QStringLiteral("/tests/fixtures/xlsx/read.py"), path});
    p.waitForFinished(120000);
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

} // namespace screensfixture
