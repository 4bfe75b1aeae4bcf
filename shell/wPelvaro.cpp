#include "u_fMenuPelvaro.h"
#include "data/u_dmCon.h"
#include "login/u_frmLogin.h"
#include "platform/pg/Connection.h"
#include "platform/pg/Query.h"
#include "platform/ui/Ui.h"
#include "screens/u_fAmbalajeIntroduseInTara.h"
#include "screens/u_fArticolAmbalaje.h"
#include "screens/u_fArticoleNomAmb.h"
#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString name = ui::applicationNameFromPath(QCoreApplication::applicationFilePath());
    ui::setApplicationName(name);
    QCoreApplication::setApplicationName(name);
    pg::Connection::setApplicationName(name);

    // Created once, in this order; the menu is the main window and owns the
    // others, so only it has a task-bar button and they stay above it.
    fMenuPelvaro = new TfMenuPelvaro;
    frmLogin = new TfrmLogin(fMenuPelvaro);
    dmCon = new TdmCon(fMenuPelvaro);
    frmLogin->dsKavMobil->setConnection(&dmCon->conKavMob);
    fArticoleNomAmb = new TfArticoleNomAmb(fMenuPelvaro);
    fArticolAmbalaje = new TfArticolAmbalaje(fMenuPelvaro);
    fAmbalajeIntroduseInTara = new TfAmbalajeIntroduseInTara(fMenuPelvaro);

    fMenuPelvaro->setAttribute(Qt::WA_DeleteOnClose); // closing it ends the program and frees everything
    fMenuPelvaro->show();
    return app.exec();
}
