#pragma once
#include <QDialog>
#include <QLabel>
#include <vector>

class QPushButton;
namespace pg { class Query; }
namespace grid { class DataGrid; }

// A label that reacts to a click (the last exported file).
class TClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
Q_SIGNALS:
    void clicked();
protected:
    void mouseReleaseEvent(QMouseEvent *e) override;
};

// What every grid screen shares: one query on the company connection shown
// in one grid, "Cauta", "Export Excel" and the label of the last exported
// file. Shown modelessly from the menu; a screen may also be shown modally.
class TGridScreen : public QDialog {
    Q_OBJECT
public:
    struct Layout {
        QSize client;
        QPoint cauta, export_, label6, labelPath;
        QRect grid;
        bool bottomRow = false; // export controls kept at the bottom-left corner
    };
    TGridScreen(const QString &name, const QString &title, const QString &filePrefix, const Layout &layout, QWidget *parent);

    QLabel *Label2;
    QPushButton *ButtonCauta;
    QPushButton *ButtonExportExcel;
    QLabel *Label6;
    TClickLabel *LabelPathSave;
    grid::DataGrid *cxGrid1;

    pg::Query *query() const { return m_query; }

    void ButtonCautaClick();
    void ButtonExportExcelClick();
    void LabelPathSaveClick();

    // Shows the screen modelessly, or brings it to the front when it is open.
    void showScreen();
    // Modal showing; a window already visible cannot become modal.
    int showModal();

    // The file name the save dialog proposes.
    QString proposedFileName() const;
    // The chosen path with its extension made ".xlsx".
    static QString xlsxPath(const QString &chosen);

protected:
    void setQuery(pg::Query *q);
    virtual void beforeSearch() {}
    // Keeps a control at its distance from the right and/or bottom edge.
    void anchor(QWidget *w, bool right, bool bottom, bool stretch = false);
    void resizeEvent(QResizeEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    struct Anchor { QWidget *w; QRect design; bool right, bottom, stretch; };
    std::vector<Anchor> m_anchors;
    QSize m_design;
    QString m_prefix;
    pg::Query *m_query = nullptr;
};
