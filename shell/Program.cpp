#include "Program.h"
#include "u_fMenuPelvaro.h"
#include "data/u_dmCon.h"
#include "login/u_frmLogin.h"
#include "platform/pg/Query.h"
#include "screens/u_fAmbalajeIntroduseInTara.h"
#include "screens/u_fArticolAmbalaje.h"
#include "screens/u_fArticoleNomAmb.h"

void createProgramObjects()
{
    // The menu owns the others, so only it has a task-bar button and they stay above it.
    fMenuPelvaro = new TfMenuPelvaro;
    frmLogin = new TfrmLogin(fMenuPelvaro);
    dmCon = new TdmCon(fMenuPelvaro);
    frmLogin->dsKavMobil->setConnection(&dmCon->conKavMob);
    fArticoleNomAmb = new TfArticoleNomAmb(fMenuPelvaro);
    fArticolAmbalaje = new TfArticolAmbalaje(fMenuPelvaro);
    fAmbalajeIntroduseInTara = new TfAmbalajeIntroduseInTara(fMenuPelvaro);
}
