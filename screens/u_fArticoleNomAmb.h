#pragma once
#include "GridScreen.h"

namespace pg { class Query; }

// The articles: browse and correct weights and the stockable flag; also the
// modal picker of an article for the packaging screen.
class TfArticoleNomAmb : public TGridScreen {
    Q_OBJECT
public:
    explicit TfArticoleNomAmb(QWidget *parent = nullptr);

    pg::Query *dsArticole;
    QPushButton *ButtonOk;

    // The menu's use: no OK button, shown modelessly.
    void showBrowse();
    void ButtonOkClick();
    // The focused row's article as text; empty when the list holds no row.
    QString dsArticolearticol() const;
};

extern TfArticoleNomAmb *fArticoleNomAmb;
