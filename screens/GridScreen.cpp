#include "GridScreen.h"
#include "data/u_dmCon.h"
#include "platform/Error.h"
#include "platform/grid/DataGrid.h"
#include "platform/pg/Query.h"
#include "platform/ui/Ui.h"
#include "platform/xlsx/ExportSource.h"
#include "platform/xlsx/XlsxWriter.h"
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QTreeView>

namespace {
// A progress dialog that appears only when the work has taken more than a
// second; while it shows, only its Cancel button takes input.
class LongWork {
public:
    LongWork(QWidget *parent, QString title) : m_parent(parent), m_title(std::move(title)) { m_clock.start(); }
    // permille < 0: the amount of work is unknown. Returns false once cancelled.
    bool step(const QString &text, int permille)
    {
        if (!m_dialog && m_clock.elapsed() > 1000 && qobject_cast<QApplication *>(QCoreApplication::instance())) {
            m_dialog = std::make_unique<QProgressDialog>(m_title, QStringLiteral("Cancel"), 0, 1000, m_parent);
            m_dialog->setWindowModality(Qt::ApplicationModal);
            m_dialog->setMinimumDuration(0);
        }
        if (!m_dialog)
            return true;
        m_dialog->setLabelText(text);
        if (permille < 0)
            m_dialog->setRange(0, 0);
        else
            m_dialog->setValue(permille);
        QCoreApplication::processEvents();
        return !m_dialog->wasCanceled();
    }

private:
    QWidget *m_parent;
    QString m_title;
    QElapsedTimer m_clock;
    std::unique_ptr<QProgressDialog> m_dialog;
};
} // namespace

void TClickLabel::mouseReleaseEvent(QMouseEvent *e)
{
    QLabel::mouseReleaseEvent(e);
    Q_EMIT clicked();
}

TGridScreen::TGridScreen(const QString &name, const QString &title, const QString &filePrefix, const Layout &layout, QWidget *parent)
    : QDialog(parent, Qt::Window), m_design(layout.client), m_prefix(filePrefix)
{
    setObjectName(name);
    setWindowTitle(name);
    resize(layout.client);
    QFont f = ui::designFont(QStringLiteral("Segoe UI"), 9);
    setFont(f);
    setSizeGripEnabled(true);

    Label2 = new QLabel(title, this);
    Label2->setObjectName(QStringLiteral("Label2"));
    QFont tf = f;
    tf.setPointSize(12);
    tf.setBold(true);
    Label2->setFont(tf);
    QPalette tp = Label2->palette();
    tp.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
    Label2->setPalette(tp);
    Label2->move(8, 8);
    Label2->adjustSize();

    auto button = [this](const QString &text, const char *objName, QPoint pos) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(objName));
        b->setGeometry(pos.x(), pos.y(), 75, 25);
        b->setAutoDefault(false); // Enter belongs to the grid, not to a button
        return b;
    };
    ButtonCauta = button(QStringLiteral("Cauta"), "ButtonCauta", layout.cauta);
    ButtonExportExcel = button(QStringLiteral("Export Excel"), "ButtonExportExcel", layout.export_);

    Label6 = new QLabel(QStringLiteral("Ultimul fisier exportat: "), this);
    Label6->setObjectName(QStringLiteral("Label6"));
    Label6->move(layout.label6);
    Label6->adjustSize();

    LabelPathSave = new TClickLabel(QStringLiteral("LabelPathSave"), this);
    LabelPathSave->setObjectName(QStringLiteral("LabelPathSave"));
    QFont uf = f;
    uf.setUnderline(true);
    LabelPathSave->setFont(uf);
    LabelPathSave->setCursor(Qt::PointingHandCursor);
    LabelPathSave->move(layout.labelPath);
    LabelPathSave->adjustSize();

    cxGrid1 = new grid::DataGrid(this);
    cxGrid1->setObjectName(QStringLiteral("cxGrid1"));
    cxGrid1->setGeometry(layout.grid);
    cxGrid1->setGridStyle(dmCon->GridTableViewStyleSheetDevExpress());

    anchor(cxGrid1, true, true, true);
    if (layout.bottomRow) {
        anchor(ButtonExportExcel, false, true);
        anchor(Label6, false, true);
        anchor(LabelPathSave, false, true);
    }

    ui::on(ButtonCauta, &QPushButton::clicked, this, [this] { ButtonCautaClick(); });
    ui::on(ButtonExportExcel, &QPushButton::clicked, this, [this] { ButtonExportExcelClick(); });
    ui::on(LabelPathSave, &TClickLabel::clicked, this, [this] { LabelPathSaveClick(); });
}

void TGridScreen::setQuery(pg::Query *q)
{
    m_query = q;
    cxGrid1->setQuery(q);
}

void TGridScreen::anchor(QWidget *w, bool right, bool bottom, bool stretch)
{
    m_anchors.push_back({w, w->geometry(), right, bottom, stretch});
}

void TGridScreen::resizeEvent(QResizeEvent *e)
{
    QDialog::resizeEvent(e);
    const int dx = width() - m_design.width();
    const int dy = height() - m_design.height();
    for (auto &a : m_anchors) {
        QRect r = a.design;
        if (a.stretch) {
            r.setWidth(std::max(40, r.width() + dx));
            r.setHeight(std::max(40, r.height() + dy));
        } else {
            if (a.right) r.translate(dx, 0);
            if (a.bottom) r.translate(0, dy);
            r.setSize(a.w->size());
        }
        a.w->setGeometry(r);
    }
}

void TGridScreen::keyPressEvent(QKeyEvent *e)
{
    // Neither Enter nor Escape closes a screen; the grid uses both.
    if (e->key() == Qt::Key_Escape || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TGridScreen::showScreen()
{
    show();
    raise();
    activateWindow();
}

int TGridScreen::showModal()
{
    if (isVisible())
        throw AppError(QStringLiteral("Cannot make a visible window modal"));
    return exec() == QDialog::Accepted ? 1 : 2;
}

void TGridScreen::ButtonCautaClick()
{
    beforeSearch();
    ui::WaitCursor wait;
    cxGrid1->postPendingEdit();
    LongWork work(this, QStringLiteral("Cauta"));
    m_query->setFetchProgress([&work](size_t rows) { return work.step(QStringLiteral("%L1").arg(rows), -1); });
    struct Done {
        pg::Query *q;
        ~Done() { q->setFetchProgress({}); }
    } done{m_query};
    if (m_query->isActive())
        m_query->refresh();
    else
        m_query->open();
}

QString TGridScreen::proposedFileName() const
{
    const ui::Seam &s = ui::seam();
    // A short date format with "/" would turn the name into folders that do
    // not exist, so separators in the date part become "-".
    QString date = s.shortDateText(s.today());
    date.replace(QLatin1Char('/'), QLatin1Char('-'));
    date.replace(QLatin1Char('\\'), QLatin1Char('-'));
    return QDir::toNativeSeparators(s.commonAppDataFolder() + QLatin1Char('/') + m_prefix + date + QStringLiteral(".xlsx"));
}

QString TGridScreen::xlsxPath(const QString &chosen)
{
    QString path = QDir::toNativeSeparators(chosen);
    const QChar sep = QDir::separator();
    const qsizetype nameStart = path.lastIndexOf(sep) + 1;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot >= nameStart)
        path.truncate(dot);
    return path + QStringLiteral(".xlsx");
}

void TGridScreen::ButtonExportExcelClick()
{
    if (m_query->recordCount() == 0)
        throw AppError(QStringLiteral("Nu aveti inregistrari, apasati butonul \"Cauta\""));
    const QString chosen = ui::seam().saveDialog(QStringLiteral("*.xlsx"), proposedFileName());
    if (chosen.isEmpty())
        return;
    const QString path = xlsxPath(chosen);

    {
        ui::WaitCursor wait;
        cxGrid1->postPendingEdit();
        const std::unique_ptr<xlsx::ExportSource> source = cxGrid1->exportSource();
        // The grid is frozen while it is written, and enabled again whatever happens.
        struct Freeze {
            QWidget *w;
            explicit Freeze(QWidget *g) : w(g) { w->setEnabled(false); w->setUpdatesEnabled(false); }
            ~Freeze() { w->setUpdatesEnabled(true); w->setEnabled(true); }
        } freeze(cxGrid1);

        LongWork work(this, QStringLiteral("Export Excel"));
        xlsx::writeWorkbook(path, *source, [&](int64_t done, int64_t total) {
            return work.step(QStringLiteral("%L1 / %L2").arg(done).arg(total), total > 0 ? int(done * 1000 / total) : 0);
        });
    }
    ui::seam().openOnDesktop(path);
    LabelPathSave->setText(path);
    LabelPathSave->adjustSize();
}

void TGridScreen::LabelPathSaveClick()
{
    ui::seam().openOnDesktop(LabelPathSave->text());
}
