#include "platform/Error.h"
#include "platform/xlsx/XlsxWriter.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <string>
#include <vector>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using xlsx::Cell;
using xlsx::CellKind;
using xlsx::ColumnSpec;

namespace {

// A grid held in memory: the columns, then rows that are either group rows
// or data rows, then the footer.
class MemorySource : public xlsx::ExportSource {
public:
    struct Value {
        CellKind kind = CellKind::Empty;
        double number = 0;
        std::string text;

        static Value num(double n, CellKind k = CellKind::Number) { return {k, n, {}}; }
        static Value str(const char *utf8) { return {CellKind::Text, 0, utf8}; }
        static Value boolean(bool b) { return {CellKind::Boolean, b ? 1.0 : 0.0, {}}; }
    };
    struct Row {
        bool group = false;
        QString caption;
        int level = 0;
        std::vector<Value> values;
    };

    std::vector<ColumnSpec> columns;
    std::vector<Row> rows;
    int64_t extraRows = 0; // rows beyond `rows`, all empty, for large and cancelled exports
    bool footer = false;
    std::vector<std::optional<double>> footerValues;

    int columnCount() const override { return int(columns.size()); }
    ColumnSpec column(int c) const override { return columns.at(std::size_t(c)); }
    int64_t rowCount() const override { return int64_t(rows.size()) + extraRows; }
    bool isGroupRow(int64_t r, QString *caption, int *level) const override
    {
        if (r >= int64_t(rows.size()) || !rows[std::size_t(r)].group)
            return false;
        *caption = rows[std::size_t(r)].caption;
        *level = rows[std::size_t(r)].level;
        return true;
    }
    Cell cell(int64_t r, int c) const override
    {
        if (r >= int64_t(rows.size()))
            return Cell{CellKind::Number, double(r), false, {}};
        const Value &v = rows[std::size_t(r)].values.at(std::size_t(c));
        return Cell{v.kind, v.number, v.number != 0, v.text};
    }
    bool hasFooter() const override { return footer; }
    std::optional<double> footerValue(int c) const override { return footerValues.at(std::size_t(c)); }

    void addRow(std::vector<Value> values) { rows.push_back(Row{false, {}, 0, std::move(values)}); }
    void addGroup(const QString &caption, int level) { rows.push_back(Row{true, caption, level, {}}); }
};

ColumnSpec col(const char *caption, CellKind kind, int widthPx = 64, const char *format = "")
{
    return ColumnSpec{QString::fromUtf8(caption), widthPx, kind, QString::fromUtf8(format)};
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QString exportError(const QString &path, const xlsx::ExportSource &src, const xlsx::Progress &progress = {})
{
    try {
        xlsx::writeWorkbook(path, src, progress);
    } catch (const AppError &e) {
        return e.message();
    }
    return {};
}

const char *const kPython = "/usr/bin/python3";

} // namespace

class TestXlsx : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void writesHeaderRowsTypesAndFooter();
    void writesGroupsExpandedWithOutline();
    void emptyGridKeepsHeaderAndFooter();
    void cutsOverlongTextAtCharacter();
    void replacesExistingFile();
    void writesUnderLongestFileName();
    void reportsUncreatableFile_data();
    void reportsUncreatableFile();
    void failedCloseKeepsExistingFile();
    void progressAndCancel_data();
    void progressAndCancel();
    void refusesMoreRowsThanASheetHolds();

private:
    // The workbook as openpyxl reads it.
    QJsonObject readBack(const QString &path);

    QTemporaryDir m_dir;
    QString m_reader;
};

void TestXlsx::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_reader = qEnvironmentVariable("WPELVARO_SOURCE_DIR") + QStringLiteral("/tests/fixtures/xlsx/read.py");
    QVERIFY2(QFile::exists(m_reader), qPrintable(m_reader));
    QProcess probe;
    probe.start(QString::fromLatin1(kPython), {QStringLiteral("-c"), QStringLiteral("import openpyxl")});
    if (!probe.waitForFinished(-1) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        QSKIP("python3-openpyxl is needed to read the workbooks back");
}

QJsonObject TestXlsx::readBack(const QString &path)
{
    QProcess reader;
    reader.start(QString::fromLatin1(kPython), {m_reader, path});
    if (!reader.waitForFinished(-1) || reader.exitCode() != 0) {
        qWarning().noquote() << reader.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
}

void TestXlsx::writesHeaderRowsTypesAndFooter()
{
    MemorySource src;
    src.columns = {col("Cod", CellKind::Text, 75),
                   col("Denumire", CellKind::Text, 215),
                   col("Cantitate", CellKind::Number, 64, "#,##0.000"),
                   col("Pret", CellKind::Number),
                   col("Data", CellKind::Date),
                   col("Moment", CellKind::DateTime),
                   col("Stocabil", CellKind::Boolean),
                   col("Livrat", CellKind::Date, 64, "yyyy-mm-dd")};
    using V = MemorySource::Value;
    // 45764 is 17 April 2025 as an Excel serial day.
    src.addRow({V::str("A-1"), V::str("Șurub ăîșțâ \"M6\" <x> & 😀"), V::num(1.5), V::num(10),
                V::num(45764, CellKind::Date), V::num(45764.5, CellKind::DateTime), V::boolean(true),
                V::num(45765, CellKind::Date)});
    src.addRow({V::str("A-2"), V{}, V::num(-2.25), V::num(0.125), V{}, V{}, V::boolean(false), V{}});
    src.addRow({V::str("A-3"), V::str(""), V::num(3), V::num(std::nan("")), V{}, V{}, V{}, V{}});
    src.footer = true;
    src.footerValues = {std::nullopt, std::nullopt, 2.25, 10.125, std::nullopt, std::nullopt, std::nullopt,
                        std::nullopt};

    const QString path = m_dir.filePath(QStringLiteral("Articole.xlsx"));
    xlsx::writeWorkbook(path, src);
    const QJsonObject book = readBack(path);
    const QJsonObject cells = book[u"cells"].toObject();
    auto cell = [&](const char *ref) { return cells[QLatin1String(ref)].toObject(); };

    const char *header[] = {"A1", "B1", "C1", "D1", "E1", "F1", "G1", "H1"};
    for (std::size_t c = 0; c < src.columns.size(); ++c) {
        QCOMPARE(cell(header[c])[u"value"].toString(), src.columns[c].caption);
        QVERIFY(cell(header[c])[u"bold"].toBool());
    }
    QCOMPARE(book[u"freeze"].toString(), u"A2"_qs);
    QCOMPARE(book[u"autofilter"].toString(), u"A1:H4"_qs);
    // Excel stores widths in characters; back in pixels they are the grid's.
    QVERIFY(qAbs(book[u"widths"][u"A"].toDouble() * 7 - 75) < 1);
    QVERIFY(qAbs(book[u"widths"][u"B"].toDouble() * 7 - 215) < 1);

    struct Expect {
        const char *ref;
        QJsonValue value;
        const char *type;
        const char *format;
    };
    const Expect expected[] = {
        {"A2", u"A-1"_qs, "s", "General"},
        {"B2", QString::fromUtf8("Șurub ăîșțâ \"M6\" <x> & 😀"), "s", "General"},
        {"C2", 1.5, "n", "#,##0.000"},
        {"D2", 10, "n", "General"},
        {"E2", QJsonObject{{u"date"_qs, u"2025-04-17T00:00:00"_qs}}, "d", "dd.mm.yyyy"},
        {"F2", QJsonObject{{u"date"_qs, u"2025-04-17T12:00:00"_qs}}, "d", "dd.mm.yyyy hh:mm:ss"},
        {"G2", true, "b", "General"},
        {"H2", QJsonObject{{u"date"_qs, u"2025-04-18T00:00:00"_qs}}, "d", "yyyy-mm-dd"},
        {"C3", -2.25, "n", "#,##0.000"},
        {"D3", 0.125, "n", "General"},
        {"G3", false, "b", "General"},
        {"C4", 3, "n", "#,##0.000"},
        {"C5", u"=SUM(C2:C4)"_qs, "f", "#,##0.00"},
        {"D5", u"=SUM(D2:D4)"_qs, "f", "#,##0.00"},
    };
    for (const Expect &e : expected) {
        const QJsonObject c = cell(e.ref);
        QVERIFY2(!c.isEmpty(), e.ref);
        QCOMPARE(c[u"value"], e.value);
        QCOMPARE(c[u"type"].toString(), QLatin1String(e.type));
        QCOMPARE(c[u"format"].toString(), QLatin1String(e.format));
    }
    // Empty cells, an empty text, a NaN and footer columns without a sum stay empty.
    for (const char *ref : {"B3", "E3", "F3", "H3", "B4", "D4", "G4", "A5", "B5", "E5", "G5", "H5", "A6"})
        QVERIFY2(!cells.contains(QLatin1String(ref)), ref);
    QVERIFY(cell("C5")[u"bold"].toBool());
    QCOMPARE(cell("C5")[u"cached"].toDouble(), 2.25);
    QCOMPARE(cell("D5")[u"cached"].toDouble(), 10.125);
    QVERIFY(!cell("A2")[u"bold"].toBool());
    QVERIFY(book[u"outline"].toObject().isEmpty());
}

void TestXlsx::writesGroupsExpandedWithOutline()
{
    MemorySource src;
    src.columns = {col("Tara", CellKind::Text), col("Kg", CellKind::Number)};
    using V = MemorySource::Value;
    src.addRow({V::str("before any group"), V::num(0)});
    src.addGroup(u"Tara : RO (2)"_qs, 0);
    src.addRow({V::str("RO"), V::num(1)});
    src.addRow({V::str("RO"), V::num(2)});
    src.addGroup(u"Tara : DE (1)"_qs, 0);
    src.addGroup(u"Oraș : Köln (1)"_qs, 1);
    src.addRow({V::str("DE"), V::num(4)});
    src.footer = true;
    src.footerValues = {std::nullopt, 7.0};

    const QString path = m_dir.filePath(QStringLiteral("Grupat.xlsx"));
    xlsx::writeWorkbook(path, src);
    const QJsonObject book = readBack(path);
    const QJsonObject cells = book[u"cells"].toObject();

    QCOMPARE(cells[u"A3"][u"value"].toString(), u"Tara : RO (2)"_qs);
    QVERIFY(cells[u"A3"][u"bold"].toBool());
    QVERIFY(!cells.contains(u"B3"_qs));
    QCOMPARE(cells[u"A7"][u"value"].toString(), u"Oraș : Köln (1)"_qs);
    QCOMPARE(cells[u"B8"][u"value"].toDouble(), 4.0);
    QCOMPARE(cells[u"B9"][u"value"].toString(), u"=SUM(B2:B8)"_qs);
    QCOMPARE(cells[u"B9"][u"cached"].toDouble(), 7.0);
    QCOMPARE(book[u"autofilter"].toString(), u"A1:B8"_qs);

    // Row -> outline level; rows not listed have none. Nothing is hidden.
    const QJsonObject outline{{u"4"_qs, 1}, {u"5"_qs, 1}, {u"7"_qs, 1}, {u"8"_qs, 2}};
    QCOMPARE(book[u"outline"].toObject(), outline);
    QVERIFY(book[u"hidden"].toArray().isEmpty());
    QCOMPARE(book[u"summaryBelow"], QJsonValue(false));
}

void TestXlsx::emptyGridKeepsHeaderAndFooter()
{
    MemorySource src;
    src.columns = {col("Articol", CellKind::Text), col("Kg", CellKind::Number), col("Kg2", CellKind::Number)};
    src.footer = true;
    src.footerValues = {std::nullopt, std::nullopt, 0.0};

    const QString path = m_dir.filePath(QStringLiteral("Gol.xlsx"));
    xlsx::writeWorkbook(path, src);
    const QJsonObject book = readBack(path);
    const QJsonObject cells = book[u"cells"].toObject();
    QCOMPARE(cells.keys(), (QStringList{u"A1"_qs, u"B1"_qs, u"C1"_qs, u"C2"_qs}));
    // With no rows to sum the footer carries its value alone, not a formula over the header.
    QCOMPARE(cells[u"C2"][u"value"], QJsonValue(0));
    QCOMPARE(cells[u"C2"][u"type"].toString(), u"n"_qs);
    QCOMPARE(book[u"autofilter"].toString(), u"A1:C1"_qs);
}

void TestXlsx::cutsOverlongTextAtCharacter()
{
    // 40,000 two-byte letters and 20,000 emoji (two UTF-16 units each): both
    // beyond what one cell holds, the second one also in bytes per unit.
    std::string letters;
    for (int i = 0; i < 40000; ++i)
        letters += "ș";
    std::string emoji;
    for (int i = 0; i < 20000; ++i)
        emoji += "😀";
    MemorySource src;
    src.columns = {col("Nota", CellKind::Text), col("Emoji", CellKind::Text)};
    src.addRow({MemorySource::Value{CellKind::Text, 0, letters}, MemorySource::Value{CellKind::Text, 0, emoji}});

    const QString path = m_dir.filePath(QStringLiteral("Lung.xlsx"));
    xlsx::writeWorkbook(path, src);
    const QJsonObject cells = readBack(path)[u"cells"].toObject();
    const QString a2 = cells[u"A2"][u"value"].toString();
    const QString b2 = cells[u"B2"][u"value"].toString();
    QCOMPARE(a2.size(), 32767);
    QVERIFY(a2.count(u'ș') == 32767);
    QCOMPARE(b2.size(), 32766); // 16,383 whole emoji; half of one would be a broken character
    QCOMPARE(b2, QString::fromUtf8("😀").repeated(16383));
}

void TestXlsx::replacesExistingFile()
{
    const QString path = m_dir.filePath(QStringLiteral("Inlocuit.xlsx"));
    writeFile(path, "an older file");
    MemorySource src;
    src.columns = {col("Cod", CellKind::Text)};
    src.addRow({MemorySource::Value::str("nou")});
    xlsx::writeWorkbook(path, src);
    QCOMPARE(readBack(path)[u"cells"][u"A2"][u"value"].toString(), u"nou"_qs);
    QVERIFY(!entries(m_dir.path()).join(u'|').contains(u".tmp"_qs));
}

void TestXlsx::writesUnderLongestFileName()
{
    // 255 bytes is the usual limit of one name; the temporary file must not need more.
    const QString path = m_dir.filePath(QString(250, u'a') + u".xlsx"_qs);
    MemorySource src;
    src.columns = {col("Cod", CellKind::Text)};
    src.addRow({MemorySource::Value::str("lung")});
    xlsx::writeWorkbook(path, src);
    QCOMPARE(readBack(path)[u"cells"][u"A2"][u"value"].toString(), u"lung"_qs);
}

void TestXlsx::reportsUncreatableFile_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder does not exist") << u"lipsa/Raport.xlsx"_qs << u"No such file or directory"_qs;
    QTest::newRow("folder is a file") << u"fisier/Raport.xlsx"_qs << u"Not a directory"_qs;
    QTest::newRow("target is a folder") << u"dosar"_qs << u"Is a directory"_qs;
}

void TestXlsx::reportsUncreatableFile()
{
    QFETCH(QString, relative);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    writeFile(dir.filePath(u"fisier"_qs), "keep");
    QVERIFY(QDir(dir.path()).mkdir(u"dosar"_qs));
    const QStringList before = entries(dir.path());

    MemorySource src;
    src.columns = {col("Cod", CellKind::Text)};
    src.addRow({MemorySource::Value::str("x")});
    const QString path = dir.filePath(relative);
    QCOMPARE(exportError(path, src), QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason));
    QCOMPARE(entries(dir.path()), before);
    QCOMPARE(fileBytes(dir.filePath(u"fisier"_qs)), QByteArray("keep"));
    QVERIFY(entries(dir.filePath(u"dosar"_qs)).isEmpty());
}

void TestXlsx::failedCloseKeepsExistingFile()
{
#ifdef Q_OS_UNIX
    // A file-size limit makes writing the package fail, as a full disk would,
    // which no permission bit can do for root.
    const QString path = m_dir.filePath(QStringLiteral("Plin.xlsx"));
    writeFile(path, "the earlier export");
    MemorySource src;
    src.columns = {col("Nr", CellKind::Number)};
    src.extraRows = 100000;

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString message = exportError(path, src);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedSignal);

    const QString prefix = QStringLiteral("Cannot create file \"%1\". ").arg(path);
    QVERIFY2(message.startsWith(prefix) && message.size() > prefix.size(), qPrintable(message));
    QCOMPARE(fileBytes(path), QByteArray("the earlier export"));
    QVERIFY(!entries(m_dir.path()).join(u'|').contains(u".tmp"_qs));
#else
    QSKIP("needs a file-size limit");
#endif
}

void TestXlsx::progressAndCancel_data()
{
    QTest::addColumn<int64_t>("cancelAt");      // 0 = never
    QTest::addColumn<bool>("existing");        // a file of that name is there before
    QTest::addColumn<QList<qint64>>("calls");  // the `done` of each call
    QTest::newRow("runs to the end") << int64_t(0) << false << QList<qint64>{10000, 20000, 25000};
    QTest::newRow("cancelled, no file before") << int64_t(20000) << false << QList<qint64>{10000, 20000};
    QTest::newRow("cancelled, file before") << int64_t(10000) << true << QList<qint64>{10000};
    QTest::newRow("cancelled at the very end") << int64_t(25000) << false << QList<qint64>{10000, 20000, 25000};
}

void TestXlsx::progressAndCancel()
{
    QFETCH(int64_t, cancelAt);
    QFETCH(bool, existing);
    QFETCH(QList<qint64>, calls);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"Mare.xlsx"_qs);
    if (existing)
        writeFile(path, "keep");

    MemorySource src;
    src.columns = {col("Nr", CellKind::Number)};
    src.extraRows = 25000;
    QList<qint64> seen;
    const QString message = exportError(path, src, [&](int64_t done, int64_t total) {
        seen << done;
        return total == 25000 && done != cancelAt;
    });
    QCOMPARE(seen, calls);
    if (cancelAt == 0) {
        QCOMPARE(message, QString());
        const QJsonObject cells = readBack(path)[u"cells"].toObject();
        QCOMPARE(cells.size(), 25001);
        QCOMPARE(cells[u"A25001"][u"value"].toDouble(), 24999.0);
    } else {
        QCOMPARE(message, u"Export cancelled"_qs);
        QCOMPARE(entries(dir.path()), existing ? QStringList{u"Mare.xlsx"_qs} : QStringList());
        if (existing)
            QCOMPARE(fileBytes(path), QByteArray("keep"));
    }
}

void TestXlsx::refusesMoreRowsThanASheetHolds()
{
    MemorySource src;
    src.columns = {col("Nr", CellKind::Number)};
    src.extraRows = 1048575; // with the header exactly a full sheet...
    src.footer = true;       // ...which leaves no row for the footer
    src.footerValues = {std::nullopt};
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString message = exportError(dir.filePath(u"Prea.xlsx"_qs), src);
    QVERIFY2(message.contains(u"rows; a worksheet holds at most"_qs), qPrintable(message));
    QVERIFY(entries(dir.path()).isEmpty());
}

QTEST_GUILESS_MAIN(TestXlsx)
#include "tst_xlsx.moc"
