#pragma once
#include "platform/storage/LoginStore.h"
#include <QDialog>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
namespace pg { class Query; }

// Signs an operator in: registry lookup, company connection, operator and
// application checks, login context. Remembers company and user name.
class TfrmLogin : public QDialog {
    Q_OBJECT
public:
    explicit TfrmLogin(QWidget *parent = nullptr);
    ~TfrmLogin() override;

    QLabel *Label1;
    QLineEdit *Edit1; // company
    QLabel *Label2;
    QLineEdit *Edit2; // user name
    QLabel *Label3;
    QLineEdit *Edit3; // password, never remembered
    QPushButton *Button1;

    pg::Query *dsKavMobil; // bound to the registry connection once the data module exists

    // The remembered login: at most one row, kept in step with Edit1 and Edit2.
    std::optional<storage::LoginRow> dsLogin;
    bool dsLoginOpen = false;

    void Button1Click();
    void FormShow();

    // The value compared with emitent.operator_parola.
    static QString passwordForm(const QString &password, const QString &hashType);

protected:
    void showEvent(QShowEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    void saveRememberedLogin();
    void showRememberedLogin();
    void boxEdited(bool company, const QString &text);
};

extern TfrmLogin *frmLogin;
