// The data grid driven as an operator would: typing in the filter row,
// clicking headers, the navigator, keys, editors, footer sums, grouping and
// what the workbook export reads from it. Rows live in memory (no server).
#include "platform/Error.h"
#include "platform/grid/DataGrid.h"
#include "platform/grid/FilterBuilder.h"
#include "platform/grid/GridParts.h"
#include "platform/grid/GridStyle.h"
#include "platform/pg/Query.h"
#include "platform/ui/Ui.h"
#include "platform/xlsx/ExportSource.h"
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

using grid::DataGrid;
using pg::FieldDef;
using pg::FieldType;

namespace {

enum Col { Articol, Cant, Data, Activ, Nota, Partener };

std::vector<FieldDef> fields()
{
    return {{QStringLiteral("articol"), FieldType::String, 20, false, false},
            {QStringLiteral("cant"), FieldType::Number, 0, false, false},
            {QStringLiteral("data"), FieldType::Date, 0, false, false},
            {QStringLiteral("activ"), FieldType::Boolean, 0, false, false},
            {QStringLiteral("nota"), FieldType::Text, 0, false, true},
            {QStringLiteral("partener"), FieldType::String, 20, false, false}};
}

QVariant d(int y, int m, int day) { return QDate(y, m, day); }

// Six rows with duplicates for stable sorting, nulls and mixed case.
pg::Table sampleTable()
{
    pg::Table t(fields());
    t.appendRow({QStringLiteral("ABC"), 10.0, d(2025, 4, 17), true, QStringLiteral("n1"), QStringLiteral("P1")});
    t.appendRow({QStringLiteral("abd"), 2.0, d(2025, 4, 18), false, QVariant(), QStringLiteral("P2")});
    t.appendRow({QStringLiteral("cab"), 1.5, d(2025, 4, 17), true, QVariant(), QStringLiteral("P1")});
    t.appendRow({QStringLiteral("axc"), QVariant(), QVariant(), false, QVariant(), QStringLiteral("P2")});
    t.appendRow({QString::fromUtf8("Ăbc"), 2.0, d(2025, 4, 19), true, QVariant(), QStringLiteral("P1")});
    t.appendRow({QStringLiteral("zed"), 0.25, d(2025, 4, 17), false, QVariant(), QStringLiteral("P3")});
    t.column(Cant).setScale(3);
    return t;
}

struct Recorder {
    QStringList errors;
    QStringList questions;
    bool answer = true;
    void install()
    {
        ui::Seam s;
        s.errorBox = [this](const QString &, const QString &text) { errors << text; };
        s.confirm = [this](const QString &text) {
            questions << text;
            return answer;
        };
        ui::setSeam(s);
    }
};

} // namespace

class TestGrid : public QObject {
    Q_OBJECT
    std::unique_ptr<pg::Query> q;
    std::unique_ptr<DataGrid> g;
    Recorder rec;

    QStringList shownArticles() const
    {
        QStringList out;
        for (int i = 0; i < g->visibleRowCount(); ++i)
            out << q->table().value(size_t(g->logicalRowAt(i)), Articol).toString();
        return out;
    }
    QLineEdit *filterEdit(int field) const { return qobject_cast<QLineEdit *>(g->header()->filterCell(field)); }
    QToolButton *nav(const char *name) const { return g->findChild<QToolButton *>(QLatin1String(name)); }
    QPoint headerPoint(int field) const
    {
        auto *h = g->header();
        const int section = field + 1;
        return QPoint(h->sectionViewportPosition(section) + h->sectionSize(section) / 3, h->baseHeight() / 2);
    }
    QPoint cellPoint(int row, int field) const
    {
        const QModelIndex idx = g->view()->model()->index(g->visibleIndexOf(row), field + 1);
        return g->view()->visualRect(idx).center();
    }
    void open(pg::Table t)
    {
        q = std::make_unique<pg::Query>(nullptr, QStringLiteral("dsTest"));
        q->openFromTable(std::move(t));
        g = std::make_unique<DataGrid>();
        g->resize(900, 500);
        g->setQuery(q.get());
        g->show();
        QVERIFY(QTest::qWaitForWindowExposed(g.get()));
    }

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        rec = Recorder();
        rec.install();
        open(sampleTable());
    }
    void cleanup()
    {
        g.reset();
        q.reset();
        ui::resetSeam();
    }

    void filterRowTextPatterns_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("prefix") << "ab" << QStringList{"ABC", "abd"};
        QTest::newRow("upper case") << "AB" << QStringList{"ABC", "abd"};
        QTest::newRow("contains") << "%ab" << QStringList{"ABC", "abd", "cab"};
        QTest::newRow("one char") << "a_c" << QStringList{"ABC", "axc"};
        QTest::newRow("percent kept") << "%c%" << QStringList{"ABC", "cab", "axc", QString::fromUtf8("Ăbc")};
        QTest::newRow("no match") << "q" << QStringList{};
    }
    void filterRowTextPatterns()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, shown);
        QLineEdit *cell = filterEdit(Articol);
        QVERIFY(cell);
        cell->setFocus();
        QTest::keyClicks(cell, typed);
        QCOMPARE(shownArticles(), shown);
        QCOMPARE(g->infoText(), QStringLiteral("%1 of %2").arg(shown.isEmpty() ? 0 : 1).arg(shown.size()));
        // Clearing the cell removes its condition.
        cell->clear();
        QCOMPARE(g->visibleRowCount(), 6);
        QVERIFY(g->filterConditions().empty());
    }

    void filterRowFoldsDiacritics()
    {
        QLineEdit *cell = filterEdit(Articol);
        cell->setFocus();
        QTest::sendKeyEvent(QTest::Click, cell, Qt::Key_unknown, QString::fromUtf8("ă"), Qt::NoModifier);
        QCOMPARE(shownArticles(), QStringList{QString::fromUtf8("Ăbc")});
    }

    void placeholderWhileEmpty()
    {
        QLabel *ph = g->header()->placeholder();
        QCOMPARE(ph->text(), QStringLiteral("Click here to define a filter"));
        QVERIFY(ph->isVisible());
        QTest::mouseClick(ph, Qt::LeftButton, {}, QPoint(5, ph->height() / 2));
        QVERIFY(!ph->isVisible());
        QVERIFY(filterEdit(Articol)->hasFocus());
        QTest::keyClicks(filterEdit(Articol), "a");
        QCOMPARE(g->visibleRowCount(), 3);
    }

    void otherKindsCompareForEquality_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("number") << int(Cant) << "2" << QStringList{"abd", QString::fromUtf8("Ăbc")};
        QTest::newRow("fraction") << int(Cant) << "0.25" << QStringList{"zed"};
        QTest::newRow("not a number") << int(Cant) << "x" << QStringList{};
        QTest::newRow("date short") << int(Data) << "4/17/2025" << QStringList{"ABC", "cab", "zed"};
        QTest::newRow("date iso") << int(Data) << "2025-04-18" << QStringList{"abd"};
        QTest::newRow("second text column") << int(Partener) << "p2" << QStringList{"abd", "axc"};
    }
    void otherKindsCompareForEquality()
    {
        QFETCH(int, field);
        QFETCH(QString, typed);
        QFETCH(QStringList, shown);
        filterEdit(field)->setFocus();
        QTest::keyClicks(filterEdit(field), typed);
        QCOMPARE(shownArticles(), shown);
    }

    void numberFilterUsesTheLocale()
    {
        QLocale::setDefault(QLocale(QLocale::Romanian, QLocale::Romania));
        g->setFilterText(Cant, QStringLiteral("1,5"));
        QCOMPARE(shownArticles(), QStringList{"cab"});
        QCOMPARE(g->displayText(0, Cant), QStringLiteral("10"));
        QCOMPARE(g->displayText(5, Cant), QStringLiteral("0,25"));
    }

    void booleanFilterCycles()
    {
        auto *box = qobject_cast<QCheckBox *>(g->header()->filterCell(Activ));
        QVERIFY(box);
        QTest::mouseClick(box, Qt::LeftButton);
        QCOMPARE(shownArticles(), (QStringList{"ABC", "cab", QString::fromUtf8("Ăbc")}));
        QTest::mouseClick(box, Qt::LeftButton);
        QCOMPARE(shownArticles(), (QStringList{"abd", "axc", "zed"}));
        QTest::mouseClick(box, Qt::LeftButton);
        QCOMPARE(g->visibleRowCount(), 6);
    }

    void filtersCombineAndShowInTheFilterBox()
    {
        auto *box = g->findChild<QFrame *>(QStringLiteral("filterBox"));
        QVERIFY(!box->isVisible());
        g->setFilterText(Partener, QStringLiteral("p1"));
        g->setFilterText(Cant, QStringLiteral("10"));
        QCOMPARE(shownArticles(), QStringList{"ABC"});
        QVERIFY(box->isVisible());
        QCOMPARE(g->findChild<QLabel *>(QStringLiteral("filterBoxText"))->text(),
                 QStringLiteral("partener LIKE 'p1%' AND cant = 10"));
        QTest::mouseClick(g->findChild<QToolButton *>(QStringLiteral("filterBoxClear")), Qt::LeftButton);
        QCOMPARE(g->visibleRowCount(), 6);
        QVERIFY(!box->isVisible());
        QCOMPARE(filterEdit(Partener)->text(), QString());
    }

    void filterBuilderAppliesConditions()
    {
        g->setFilterText(Articol, QStringLiteral("a"));
        grid::FilterBuilderDialog *dlg = g->openFilterBuilder();
        QVERIFY(dlg && dlg->isVisible());
        QCOMPARE(dlg->rowCount(), 1);
        QCOMPARE(dlg->valueEdit(0)->text(), QStringLiteral("a%"));
        QTest::mouseClick(dlg->findChild<QPushButton *>(QStringLiteral("addCondition")), Qt::LeftButton);
        QCOMPARE(dlg->rowCount(), 2);
        dlg->columnBox(1)->setCurrentIndex(dlg->columnBox(1)->findText(QStringLiteral("cant")));
        dlg->operatorBox(1)->setCurrentIndex(dlg->operatorBox(1)->findText(QStringLiteral(">")));
        dlg->valueEdit(1)->setText(QStringLiteral("1.5"));
        dlg->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(shownArticles(), (QStringList{"ABC", "abd"})); // a% and cant > 1.5 (axc has no quantity)
        QCOMPARE(g->filterDescription(), QStringLiteral("articol LIKE 'a%' AND cant > 1.5"));
        QCOMPARE(filterEdit(Articol)->text(), QStringLiteral("a%"));
    }

    void valuesDropDownFilters()
    {
        QMenu *m = g->valuesMenu(Partener);
        QStringList texts;
        for (QAction *a : m->actions())
            if (!a->isSeparator())
                texts << a->text();
        QCOMPARE(texts, (QStringList{"(All)", "(Blanks)", "(Non blanks)", "P1", "P2", "P3"}));
        m->actions().at(5)->trigger(); // P2
        QCOMPARE(shownArticles(), (QStringList{"abd", "axc"}));
        QCOMPARE(filterEdit(Partener)->text(), QStringLiteral("P2"));
        delete m;
    }

    void headerClickSorts()
    {
        // Partener has ties: a stable sort keeps their original order.
        QTest::mouseClick(g->header()->viewport(), Qt::LeftButton, {}, headerPoint(Partener));
        QCOMPARE(g->sortColumn(), int(Partener));
        QCOMPARE(shownArticles(), (QStringList{"ABC", "cab", QString::fromUtf8("Ăbc"), "abd", "axc", "zed"}));
        QTest::mouseClick(g->header()->viewport(), Qt::LeftButton, {}, headerPoint(Partener));
        QCOMPARE(g->sortOrder(), Qt::DescendingOrder);
        QCOMPARE(shownArticles(), (QStringList{"zed", "abd", "axc", "ABC", "cab", QString::fromUtf8("Ăbc")}));
        // Numbers numerically, the empty one first.
        QTest::mouseClick(g->header()->viewport(), Qt::LeftButton, {}, headerPoint(Cant));
        QCOMPARE(shownArticles(), (QStringList{"axc", "zed", "cab", "abd", QString::fromUtf8("Ăbc"), "ABC"}));
        // Text ignoring case, diacritics next to their letter.
        g->sortByColumn(Articol, Qt::AscendingOrder);
        QCOMPARE(shownArticles(), (QStringList{"ABC", QString::fromUtf8("Ăbc"), "abd", "axc", "cab", "zed"}));
        // The sort holds while filtering.
        g->setFilterText(Articol, QStringLiteral("a"));
        QCOMPARE(shownArticles(), (QStringList{"ABC", "abd", "axc"}));
    }

    void groupingNestsAndExportsExpanded()
    {
        g->groupByColumn(Activ);
        g->groupByColumn(Partener);
        auto *m = g->view()->model();
        QCOMPARE(m->rowCount(), 2); // False, True
        const QModelIndex fals = m->index(0, 0);
        QCOMPARE(fals.data().toString(), QStringLiteral("activ : False (3)"));
        QCOMPARE(m->rowCount(fals), 2); // P2 (2), P3 (1)
        QCOMPARE(m->index(0, 0, fals).data().toString(), QStringLiteral("partener : P2 (2)"));
        QCOMPARE(m->rowCount(m->index(0, 0, fals)), 2);
        QVERIFY(!g->view()->isExpanded(fals));
        QVERIFY(g->findChild<QToolButton *>(QStringLiteral("groupChip_3")));

        auto src = g->exportSource();
        QStringList rows;
        for (int64_t r = 0; r < src->rowCount(); ++r) {
            QString cap;
            int level = -1;
            if (src->isGroupRow(r, &cap, &level))
                rows << QStringLiteral("%1:%2").arg(level).arg(cap);
            else
                rows << QString::fromUtf8(src->cell(r, 0).text.data(), qsizetype(src->cell(r, 0).text.size()));
        }
        QCOMPARE(rows, (QStringList{"0:activ : False (3)", "1:partener : P2 (2)", "abd", "axc", "1:partener : P3 (1)", "zed",
                                    "0:activ : True (3)", "1:partener : P1 (3)", "ABC", "cab", QString::fromUtf8("Ăbc")}));
        // The chip removes its grouping.
        QTest::mouseClick(g->findChild<QToolButton *>(QStringLiteral("groupChip_3")), Qt::LeftButton);
        QCOMPARE(g->groupColumns(), std::vector<int>{Partener});
        QCOMPARE(m->rowCount(), 3);
    }

    void headerDroppedOnGroupBoxGroups()
    {
        auto *box = g->findChild<QFrame *>(QStringLiteral("groupByBox"));
        QCOMPARE(box->findChild<QLabel *>(QStringLiteral("groupByHint"))->text(),
                 QStringLiteral("Drag a column header here to group by that column"));
        QMimeData mime;
        mime.setData(QString::fromLatin1(grid::kColumnMime), QByteArray::number(int(Data)));
        QDragEnterEvent enter(QPoint(10, 5), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 5), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &drop);
        QCOMPARE(g->groupColumns(), std::vector<int>{Data});
        QCOMPARE(g->view()->model()->index(0, 0).data().toString(), QStringLiteral("data :  (1)")); // the empty date first
    }

    void stateSurvivesRefresh()
    {
        g->setFilterText(Articol, QStringLiteral("a"));
        g->sortByColumn(Cant, Qt::DescendingOrder);
        g->groupByColumn(Activ);
        g->header()->resizeSection(Partener + 1, 140);
        g->header()->moveSection(g->header()->visualIndex(Partener + 1), 1);
        q->openFromTable(sampleTable()); // rows replaced, as after a refresh
        QCOMPARE(g->filterText(Articol), QStringLiteral("a"));
        QCOMPARE(g->visibleRowCount(), 3);
        QCOMPARE(shownArticles(), (QStringList{"abd", "axc", "ABC"})); // False group first, then cant descending
        QCOMPARE(g->groupColumns(), std::vector<int>{Activ});
        QCOMPARE(g->columnWidth(Partener), 140);
        QCOMPARE(g->visibleColumns().front(), int(Partener));
    }

    void columnsFromTheScreen()
    {
        g->setColumns({{QStringLiteral("data"), QStringLiteral("Ziua"), 77, QStringLiteral("dd.MM.yyyy"), true},
                       {QStringLiteral("articol"), {}, 120, {}, true}});
        QCOMPARE(g->visibleColumns(), (std::vector<int>{Data, Articol}));
        QCOMPARE(g->caption(Data), QStringLiteral("Ziua"));
        QCOMPARE(g->caption(Articol), QStringLiteral("articol"));
        QCOMPARE(g->columnWidth(Data), 77);
        QCOMPARE(g->displayText(0, Data), QStringLiteral("17.04.2025"));
        QVERIFY(g->header()->isSectionHidden(Cant + 1));
        g->setFilterText(Data, QStringLiteral("18.04.2025")); // read the way it is shown
        QCOMPARE(shownArticles(), QStringList{"abd"});
        auto src = g->exportSource();
        QCOMPARE(src->columnCount(), 2);
        QCOMPARE(src->column(0).caption, QStringLiteral("Ziua"));
        QCOMPARE(src->column(0).widthPx, 77);
        QCOMPARE(src->column(0).kind, xlsx::CellKind::Date);
        QCOMPARE(src->column(0).numberFormat, QStringLiteral("dd.mm.yyyy"));
        QCOMPARE(src->rowCount(), 1);
        QCOMPARE(src->cell(0, 0).number, 45765.0); // 2025-04-18 as a spreadsheet serial
    }

    void navigatorMovesAndTells()
    {
        const char *names[] = {"navFirst", "navPrevPage", "navPrev", "navNext", "navNextPage", "navLast", "navInsert",
                               "navDelete", "navEdit", "navPost", "navCancel", "navRefresh", "navSaveBookmark",
                               "navGotoBookmark", "navFilter"};
        auto *bar = g->findChild<QWidget *>(QStringLiteral("navigator"));
        int lastX = -1;
        for (const char *n : names) {
            QToolButton *b = nav(n);
            QVERIFY2(b, n);
            QVERIFY2(b->x() > lastX, n); // in this order
            lastX = b->x();
        }
        QVERIFY(bar);
        QCOMPARE(g->infoText(), QStringLiteral("1 of 6"));
        QCOMPARE(g->findChild<QLabel *>(QStringLiteral("navInfo"))->text(), QStringLiteral("1 of 6"));
        QVERIFY(!nav("navPrev")->isEnabled());
        QVERIFY(!nav("navPost")->isEnabled());
        QTest::mouseClick(nav("navNext"), Qt::LeftButton);
        QCOMPARE(g->infoText(), QStringLiteral("2 of 6"));
        QCOMPARE(q->currentRow(), 1);
        QTest::mouseClick(nav("navSaveBookmark"), Qt::LeftButton);
        QTest::mouseClick(nav("navLast"), Qt::LeftButton);
        QCOMPARE(g->infoText(), QStringLiteral("6 of 6"));
        QVERIFY(!nav("navNext")->isEnabled());
        QTest::mouseClick(nav("navGotoBookmark"), Qt::LeftButton);
        QCOMPARE(q->currentRow(), 1);
        QTest::mouseClick(nav("navFirst"), Qt::LeftButton);
        QCOMPARE(g->infoText(), QStringLiteral("1 of 6"));
        // The query moving moves the grid.
        q->setCurrentRow(4);
        QCOMPARE(g->focusedRow(), 4);
        QCOMPARE(g->infoText(), QStringLiteral("5 of 6"));
    }

    void enterMovesAlongTheRow()
    {
        g->setColumns({{QStringLiteral("articol")}, {QStringLiteral("partener")}, {QStringLiteral("cant")}});
        g->setFocusedRow(0, Articol);
        g->view()->setFocus();
        QTest::keyClick(g->view(), Qt::Key_Return);
        QCOMPARE(g->focusedColumn(), int(Partener));
        QTest::keyClick(g->view(), Qt::Key_Return);
        QCOMPARE(g->focusedColumn(), int(Cant));
        QTest::keyClick(g->view(), Qt::Key_Return); // last cell: next row, first cell
        QCOMPARE(g->focusedRow(), 1);
        QCOMPARE(g->focusedColumn(), int(Articol));
        QTest::keyClick(g->view(), Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(g->focusedRow(), 0);
        QCOMPARE(g->focusedColumn(), int(Cant));
    }

    void footerSums_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("expected");
        QTest::newRow("all rows") << "" << "15.75";
        QTest::newRow("filtered") << "ab" << "12.00";
        QTest::newRow("only a null") << "ax" << "0.00";
        QTest::newRow("no rows") << "q" << "";
    }
    void footerSums()
    {
        QFETCH(QString, filter);
        QFETCH(QString, expected);
        g->setFooterSum(QStringLiteral("cant"), true);
        g->setFilterText(Articol, filter);
        QCOMPARE(g->footerText(Cant), expected);
        QCOMPARE(g->footerText(Partener), QString()); // no footer there
        auto src = g->exportSource();
        QVERIFY(src->hasFooter());
        const auto cols = g->visibleColumns();
        const int c = int(std::find(cols.begin(), cols.end(), int(Cant)) - cols.begin());
        QCOMPARE(src->footerValue(c).has_value(), !expected.isEmpty());
    }

    void footerSumIsExactAndGrouped()
    {
        pg::Table t(fields());
        for (int i = 0; i < 100000; ++i)
            t.appendRow({QStringLiteral("a"), 0.001, QVariant(), false, QVariant(), QVariant()});
        t.appendRow({QStringLiteral("b"), 1234567.5, QVariant(), false, QVariant(), QVariant()});
        t.column(Cant).setScale(3);
        open(std::move(t));
        g->setFooterSum(Cant, true);
        g->setFilterText(Articol, QStringLiteral("a"));
        QCOMPARE(g->footerValue(Cant).value(), 100.0);
        QCOMPARE(g->footerText(Cant), QStringLiteral("100.00"));
        g->setFilterText(Articol, QString());
        QCOMPARE(g->footerText(Cant), QStringLiteral("1,234,667.50"));
    }

    void deleteAsksFirst()
    {
        g->setFocusedRow(2);
        g->view()->setFocus();
        rec.answer = false;
        QTest::keyClick(g->view(), Qt::Key_Delete);
        QCOMPARE(rec.questions, QStringList{"Delete record?"});
        QCOMPARE(q->recordCount(), 6);
        rec.answer = true;
        QTest::keyClick(g->view(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(rec.questions.size(), 2);
        QCOMPARE(q->recordCount(), 5);
        QCOMPARE(shownArticles(), (QStringList{"ABC", "abd", "axc", QString::fromUtf8("Ăbc"), "zed"}));
        QCOMPARE(g->infoText(), QStringLiteral("3 of 5"));
        QVERIFY(rec.errors.isEmpty());
    }

    void clickEditsAndLeavingThePostsTheRow()
    {
        g->setFocusedRow(1, Cant);
        QTest::mouseClick(g->view()->viewport(), Qt::LeftButton, {}, cellPoint(1, Cant));
        auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("2"));
        editor->selectAll();
        QTest::keyClicks(editor, "3x");
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(rec.errors, QStringList{"'3x' is not a valid floating point value."});
        QVERIFY(editor->isVisible()); // the edit stays
        QTest::keyClick(editor, Qt::Key_Backspace);
        QTest::keyClick(editor, Qt::Key_Return); // on to the next cell
        QCOMPARE(q->state(), pg::Query::State::Edit);
        QCOMPARE(q->value(1, Cant).toDouble(), 3.0);
        QCOMPARE(g->focusedColumn(), int(Data));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(q->state(), pg::Query::State::Browse); // Esc dropped the change
        QCOMPARE(q->value(1, Cant).toDouble(), 2.0);
        // Again, then leave the row: it is posted.
        g->setFocusedRow(1, Cant);
        QTest::mouseClick(g->view()->viewport(), Qt::LeftButton, {}, cellPoint(1, Cant));
        editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, "7.5");
        QTest::mouseClick(g->view()->viewport(), Qt::LeftButton, {}, cellPoint(3, Articol));
        QCOMPARE(q->state(), pg::Query::State::Browse);
        QCOMPARE(q->table().value(1, Cant).toDouble(), 7.5);
        QCOMPARE(g->focusedRow(), 3);
    }

    void booleanTogglesOnClick()
    {
        QTest::mouseClick(g->view()->viewport(), Qt::LeftButton, {}, cellPoint(1, Activ));
        QCOMPARE(q->value(1, Activ).toBool(), true);
        QCOMPARE(q->state(), pg::Query::State::Edit);
        QTest::mouseClick(nav("navPost"), Qt::LeftButton);
        QCOMPARE(q->table().value(1, Activ).toBool(), true);
        QCOMPARE(q->state(), pg::Query::State::Browse);
    }

    void insertThenEscDropsTheRow()
    {
        g->setFocusedRow(2);
        g->view()->setFocus();
        QTest::keyClick(g->view(), Qt::Key_Insert);
        QCOMPARE(q->state(), pg::Query::State::Insert);
        QCOMPARE(q->recordCount(), 7);
        QCOMPARE(g->focusedRow(), 2);
        QCOMPARE(g->visibleIndexOf(2), 2); // at the focused position
        QCOMPARE(g->view()->model()->index(2, 0).data().toString(), QStringLiteral("*"));
        QTest::keyClick(g->view(), Qt::Key_Escape);
        QCOMPARE(q->recordCount(), 6);
        QCOMPARE(shownArticles(), (QStringList{"ABC", "abd", "cab", "axc", QString::fromUtf8("Ăbc"), "zed"}));
    }

    void failedPostKeepsTheRow()
    {
        auto f = fields();
        f[Partener].required = true;
        pg::Table t(f);
        t.appendRow({QStringLiteral("ABC"), 1.0, QVariant(), true, QVariant(), QStringLiteral("P1")});
        t.appendRow({QStringLiteral("abd"), 2.0, QVariant(), false, QVariant(), QStringLiteral("P2")});
        open(std::move(t));
        g->setFocusedRow(1, Articol);
        g->view()->setFocus();
        QTest::keyClick(g->view(), Qt::Key_Insert);
        QCOMPARE(g->focusedRow(), 1);
        QTest::mouseClick(g->view()->viewport(), Qt::LeftButton, {}, cellPoint(1, Articol));
        auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(editor);
        QTest::keyClicks(editor, "nou");
        QTest::mouseClick(g->view()->viewport(), Qt::LeftButton, {}, cellPoint(0, Articol)); // leave the row
        QCOMPARE(rec.errors, QStringList{"Field 'partener' must have a value."});
        QCOMPARE(q->state(), pg::Query::State::Insert);
        QCOMPARE(q->value(1, Articol).toString(), QStringLiteral("nou"));
        QCOMPARE(g->focusedRow(), 1);
        QCOMPARE(q->recordCount(), 3);
        // The navigator's post says the same; Esc then drops the row.
        QTest::mouseClick(nav("navPost"), Qt::LeftButton);
        QCOMPARE(rec.errors.size(), 2);
        QTest::keyClick(g->view(), Qt::Key_Escape);
        QCOMPARE(q->recordCount(), 2);
    }

    void copiesTheSelection()
    {
        g->setColumns({{QStringLiteral("articol")}, {QStringLiteral("cant")}});
        g->setFocusedRow(0);
        g->view()->selectionModel()->select(g->view()->model()->index(2, 1),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
        g->view()->setFocus();
        QTest::keyClick(g->view(), Qt::Key_Insert, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("ABC\t10\ncab\t1.5"));
        QCOMPARE(q->recordCount(), 6); // not an insert
    }

    void emptyGridSaysSo()
    {
        g->setFilterText(Articol, QStringLiteral("q"));
        QCOMPARE(static_cast<grid::GridView *>(g->view())->emptyText(), QStringLiteral("<No data to display>"));
        const QImage img = g->view()->viewport()->grab().toImage();
        int dark = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                dark += qGray(img.pixel(x, y)) < 100;
        QVERIFY(dark > 20); // the text is drawn on the cream background
        QCOMPARE(g->infoText(), QStringLiteral("0 of 0"));
    }

    void styleColoursTheRows()
    {
        g->setGridStyle(grid::GridStyle());
        g->view()->clearSelection();
        g->setFocusedRow(5);
        g->view()->clearSelection();
        QApplication::processEvents();
        const QImage img = g->view()->viewport()->grab().toImage();
        auto colourAt = [&](int row) {
            const QRect r = g->view()->visualRect(g->view()->model()->index(row, Articol + 1));
            return QColor(img.pixel(r.left() + r.width() - 6, r.center().y()));
        };
        QCOMPARE(colourAt(0), QColor(0xD9, 0xEA, 0xF7));
        QCOMPARE(colourAt(1), QColor(0xEA, 0xF3, 0xFB));
        QCOMPARE(colourAt(2), QColor(0xD9, 0xEA, 0xF7));
        const QRect below = g->view()->visualRect(g->view()->model()->index(5, 1)).translated(0, 40);
        QCOMPARE(QColor(img.pixel(below.center())), QColor(0xFF, 0xFB, 0xF0));
    }
};

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
