#pragma once
#include "GridScreen.h"
#include <memory>

class QDateEdit;
namespace pg { class Query; class Statement; }

// Packaging brought into the country with invoices from foreign partners,
// for a date range, with the column sums in the footer.
class TfAmbalajeIntroduseInTara : public TGridScreen {
    Q_OBJECT
public:
    explicit TfAmbalajeIntroduseInTara(QWidget *parent = nullptr);
    ~TfAmbalajeIntroduseInTara() override;

    QLabel *Label11;
    QLabel *Label15;
    QDateEdit *cxDateEditDataIncep;
    QDateEdit *cxDateEditDataSfarsit;
    QPushButton *ButtonInsArtNedefInArticolAmbalaje;

    pg::Query *dsAmbalajeIntroduseInTara;
    std::unique_ptr<pg::Statement> PgSQL_InsArtNedefInArticolAmbalaje;

    void FormCreate();
    void ButtonInsArtNedefInArticolAmbalajeClick();

    static const char *reportSql();
    static const char *insertSql();

protected:
    void beforeSearch() override;
};

extern TfAmbalajeIntroduseInTara *fAmbalajeIntroduseInTara;
