#pragma once
#include <QWidget>

class QLabel;
class QPushButton;
class QFrame;

// The main window: a login face before sign-in, the menu of screens after.
class TfMenuPelvaro : public QWidget {
    Q_OBJECT
public:
    explicit TfMenuPelvaro(QWidget *parent = nullptr);

    QWidget *PanelLogin;
    QLabel *Label1;
    QPushButton *ButtonLogin;
    QWidget *PanelMenu;
    QLabel *Label2;
    QLabel *LabelDataBase;
    QLabel *LabelUser;
    QFrame *Shape1;
    QPushButton *ButtonArticole;
    QPushButton *ButtonArticolAmbalaje;
    QPushButton *ButtonAmbalajeIntroduseInTara;

    static QString versionText();

    void FormCreate();
    void ButtonLoginClick();
    void ButtonArticoleClick();
    void ButtonArticolAmbalajeClick();
    void ButtonAmbalajeIntroduseInTaraClick();

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;
};

extern TfMenuPelvaro *fMenuPelvaro;
