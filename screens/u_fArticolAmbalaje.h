#pragma once
#include "GridScreen.h"
#include <QStringList>

namespace pg { class Query; }

// The packaging kilograms per unit of each article, fully editable.
class TfArticolAmbalaje : public TGridScreen {
    Q_OBJECT
public:
    explicit TfArticolAmbalaje(QWidget *parent = nullptr);

    pg::Query *dsArticolAmbalaje;

    void cxGrid1DBTableView1articolPropertiesButtonClick();

    // The 35 packaging columns, in their declared order.
    static QStringList packagingColumns();
    // "kg_ambalaj_primar_continut_periculos_plastic_pet" -> "kgAmbalajPrimarContinutPericulos_PlasticPet"
    static QString packagingCaption(const QString &column);
};

extern TfArticolAmbalaje *fArticolAmbalaje;
