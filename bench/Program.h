#pragma once
// The program's objects, created as shell/wPelvaro.cpp creates them: once,
// in this order, the menu owning the others. The benchmarks cannot call the
// entry itself, so they repeat its steps here, in one place.
#include "data/u_dmCon.h"
#include "login/u_frmLogin.h"
#include "platform/pg/Query.h"
#include "screens/u_fAmbalajeIntroduseInTara.h"
#include "screens/u_fArticolAmbalaje.h"
#include "screens/u_fArticoleNomAmb.h"
#include "shell/u_fMenuPelvaro.h"

namespace bench {

inline void createProgramObjects()
{
    fMenuPelvaro = new TfMenuPelvaro;
    frmLogin = new TfrmLogin(fMenuPelvaro);
    dmCon = new TdmCon(fMenuPelvaro);
    frmLogin->dsKavMobil->setConnection(&dmCon->conKavMob);
    fArticoleNomAmb = new TfArticoleNomAmb(fMenuPelvaro);
    fArticolAmbalaje = new TfArticolAmbalaje(fMenuPelvaro);
    fAmbalajeIntroduseInTara = new TfAmbalajeIntroduseInTara(fMenuPelvaro);
}

} // namespace bench
