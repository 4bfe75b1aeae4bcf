#include "platform/Error.h"
#include "platform/storage/LoginStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using storage::LoginRow;
using OptRow = std::optional<LoginRow>;
Q_DECLARE_METATYPE(OptRow)

namespace {

QString describe(const OptRow &row)
{
    if (!row)
        return QStringLiteral("<no row>");
    auto field = [](const std::optional<QString> &v) {
        return v ? QStringLiteral("\"%1\"").arg(*v) : QStringLiteral("NULL");
    };
    return QStringLiteral("company=%1 username=%2").arg(field(row->company), field(row->username));
}

const QString kEmoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // U+1F600, outside the basic plane

// A file of the documented form around the given RowList, the way another
// writer of the format may lay it out.
QByteArray fileWithRows(const QByteArray &rowList, bool bom = true)
{
    QByteArray doc = bom ? QByteArray("\xEF\xBB\xBF") : QByteArray();
    doc += R"({"FDBS":{"Version":16,"Manager":{"TableList":[{"class":"Table","Name":"dsLogin","TabID":0,)"
           R"("ColumnList":[{"class":"Column","Name":"company","DataType":"WideString","Size":200},)"
           R"({"class":"Column","Name":"username","DataType":"WideString","Size":200}],)"
           R"("ConstraintList":[],"ViewList":[],"RowList":)";
    doc += rowList;
    doc += R"(}],"RelationList":[]}}})";
    return doc;
}

QString damagedPrefix()
{
    return QStringLiteral("The remembered-login file is damaged: ");
}

} // namespace

class TestStorage : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void writesExactBytes();
    void writesEmptyTable();
    void readsHandWrittenFileWithJournal();
    void readsVariants_data();
    void readsVariants();
    void rejectsDamaged_data();
    void rejectsDamaged();
    void rejectsEveryTruncation();
    void saveAndLoad();
    void saveFailsOnBadTarget_data();
    void saveFailsOnBadTarget();
    void failedWriteKeepsOldFile();
    void loadErrors();
    void pathRule_data();
    void pathRule();
};

void TestStorage::roundTrip_data()
{
    QTest::addColumn<OptRow>("row");
    QString controls;
    for (char16_t c = 0; c < 0x20; ++c)
        controls += QChar(c);
    QTest::newRow("plain") << OptRow(LoginRow{u"ACME SRL"_qs, u"ion"_qs});
    QTest::newRow("quote backslash slash")
        << OptRow(LoginRow{u"a\"b\\c/d"_qs, u"\\\\server/share \"x\""_qs});
    QTest::newRow("control characters") << OptRow(LoginRow{controls, u"tab\there\r\nnext\x7F"_qs});
    QTest::newRow("diacritics") << OptRow(LoginRow{u"Societatea ăîșțâ ĂÎȘȚÂ"_qs, u"ştefan ţ"_qs});
    QTest::newRow("emoji") << OptRow(LoginRow{kEmoji + u" firma "_qs + kEmoji, kEmoji});
    QTest::newRow("empty strings are values") << OptRow(LoginRow{QString(), QString()});
    QTest::newRow("NULL username") << OptRow(LoginRow{u"ACME"_qs, std::nullopt});
    QTest::newRow("NULL company") << OptRow(LoginRow{std::nullopt, u"ion"_qs});
    QTest::newRow("both NULL") << OptRow(LoginRow{});
    QTest::newRow("longer than the column") << OptRow(LoginRow{QString(300, u'x'), QString(201, u'ș')});
    QTest::newRow("no row") << OptRow();
}

void TestStorage::roundTrip()
{
    QFETCH(OptRow, row);
    const QByteArray bytes = storage::writeLoginJson(row);
    QCOMPARE(describe(storage::readLoginJson(bytes)), describe(row));
    // An empty string must stay distinct from NULL through the file.
    if (row && row->company)
        QVERIFY(storage::readLoginJson(bytes)->company.has_value());
}

void TestStorage::writesExactBytes()
{
    const LoginRow row{QStringLiteral("q\"b\\s/\b\t\n\f\r") + QChar(1) + QChar(0x1F) + u"~ș"_qs + kEmoji,
                       std::nullopt};
    const QByteArray expected =
        "\xEF\xBB\xBF"
        R"({"FDBS":{"Version":16,"Manager":{"TableList":[{"class":"Table","Name":"dsLogin","TabID":0,"ColumnList":[)"
        R"({"class":"Column","Name":"company","DataType":"WideString","Size":200,"Searchable":true,"AllowNull":true,)"
        R"("Base":true,"OAllowNull":true,"OInUpdate":true,"OInWhere":true,"OriginColName":"company"},)"
        R"({"class":"Column","Name":"username","DataType":"WideString","Size":200,"Searchable":true,"AllowNull":true,)"
        R"("Base":true,"OAllowNull":true,"OInUpdate":true,"OInWhere":true,"OriginColName":"username"}],)"
        R"("ConstraintList":[],"ViewList":[],"RowList":[{"RowID":0,"Original":{"company":)"
        R"("q\"b\\s\/\b\t\n\f\r\u0001\u001F~)"
        "\xC8\x99"                     // ș in two bytes
        "\xED\xA0\xBD\xED\xB8\x80"     // U+1F600 as two surrogates of three bytes each
        R"("}}]}],"RelationList":[]}}})";
    QCOMPARE(storage::writeLoginJson(row), expected);
}

void TestStorage::writesEmptyTable()
{
    const QByteArray bytes = storage::writeLoginJson(std::nullopt);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF{\"FDBS\":{\"Version\":16,"));
    QVERIFY(bytes.contains(R"("RowList":[]}],"RelationList":[]}}})"));
    QVERIFY(!bytes.contains('\n'));
    QVERIFY(!bytes.contains("RowID"));
}

void TestStorage::readsHandWrittenFileWithJournal()
{
    // Laid out with line breaks and members we do not know, an edited row
    // carrying both value sets, and the journal that lists the change.
    const QByteArray file = "\xEF\xBB\xBF"
                            R"({"FDBS": {"Version": 16, "Manager": {"UpdatesRegistry": true,
  "TableList": [{"class": "Table", "Name": "dsLogin", "SourceName": "dsLogin", "TabID": 0, "MinimumCapacity": 50,
    "ColumnList": [
      {"class": "Column", "Name": "company", "SourceName": "company", "DataType": "WideString", "Size": 200,
       "Searchable": true, "AllowNull": true, "Base": true, "OriginColName": "company"},
      {"class": "Column", "Name": "username", "DataType": "WideString", "Size": 200, "AllowNull": true}],
    "ConstraintList": [], "ViewList": [],
    "RowList": [
      {"RowID": 0, "RowState": "Modified",
       "Original": {"company": "Firma Veche", "username": "ion"},
       "Current": {"company": "Firma \u0218tefan \/ \"Nou\"", "username": "mari\u0061"}},
      {"RowID": 1, "RowState": "Inserted", "Current": {"company": "second row"}}],
    "UpdatesJournal": {"Changes": [{"RowID": 0}, {"RowID": 1}]}}],
  "RelationList": []}}}
)";
    QCOMPARE(describe(storage::readLoginJson(file)),
             describe(LoginRow{u"Firma Ștefan / \"Nou\""_qs, u"maria"_qs}));
}

void TestStorage::readsVariants_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<OptRow>("expected");
    const QByteArray emoji4 = "\xF0\x9F\x98\x80";
    const QByteArray emoji33 = "\xED\xA0\xBD\xED\xB8\x80";
    const OptRow ab = LoginRow{u"A"_qs, u"B"_qs};

    QTest::newRow("Original only") << fileWithRows(R"([{"RowID":0,"Original":{"company":"A","username":"B"}}])")
                                   << ab;
    QTest::newRow("no byte-order mark")
        << fileWithRows(R"([{"RowID":0,"Original":{"company":"A","username":"B"}}])", false) << ab;
    QTest::newRow("Current before Original")
        << fileWithRows(R"([{"Current":{"company":"A","username":"B"},"Original":{"company":"x"}}])") << ab;
    QTest::newRow("Current null falls back")
        << fileWithRows(R"([{"RowID":0,"Current":null,"Original":{"company":"A","username":"B"}}])") << ab;
    QTest::newRow("emoji in four bytes")
        << fileWithRows(R"([{"Original":{"company":")" + emoji4 + R"("}}])")
        << OptRow(LoginRow{kEmoji, std::nullopt});
    QTest::newRow("emoji as surrogates of three bytes")
        << fileWithRows(R"([{"Original":{"company":"x)" + emoji33 + R"(y"}}])")
        << OptRow(LoginRow{u"x"_qs + kEmoji + u"y"_qs, std::nullopt});
    QTest::newRow("emoji as escaped surrogates")
        << fileWithRows(R"([{"Original":{"username":"\uD83D\ude00"}}])") << OptRow(LoginRow{std::nullopt, kEmoji});
    QTest::newRow("JSON null is NULL") << fileWithRows(R"([{"Original":{"company":null,"username":"B"}}])")
                                       << OptRow(LoginRow{std::nullopt, u"B"_qs});
    QTest::newRow("unknown members and value columns")
        << fileWithRows(R"([{"RowID":0,"X":[1,2.5e3,-0.5,true,false,null,{}],"Original":{"other":7,"company":"A","username":"B"}}])")
        << ab;
    QTest::newRow("row without values") << fileWithRows(R"([{"RowID":0}])") << OptRow(LoginRow{});
    QTest::newRow("empty row list") << fileWithRows("[]") << OptRow();
    QTest::newRow("null row list") << fileWithRows("null") << OptRow();
    QTest::newRow("no row list")
        << QByteArray(R"({"FDBS":{"Version":16,"Manager":{"TableList":[{"class":"Table","TabID":0}]}}})") << OptRow();
    QTest::newRow("no table")
        << QByteArray(R"({"FDBS":{"Version":16,"Manager":{"TableList":[],"RelationList":[]}}})") << OptRow();
}

void TestStorage::readsVariants()
{
    QFETCH(QByteArray, file);
    QFETCH(OptRow, expected);
    QCOMPARE(describe(storage::readLoginJson(file)), describe(expected));
}

void TestStorage::rejectsDamaged_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("reason"); // part of the message that names the problem

    const QByteArray good = storage::writeLoginJson(LoginRow{u"ACME"_qs, u"ion"_qs});
    QTest::newRow("empty") << QByteArray() << u"the file is empty"_qs;
    QTest::newRow("byte-order mark only") << QByteArray("\xEF\xBB\xBF") << u"the file is empty"_qs;
    QTest::newRow("truncated") << good.left(good.size() / 2) << QString();
    QTest::newRow("not JSON") << QByteArray("KavTerel") << u"unexpected character 'K' at byte 0"_qs;
    QTest::newRow("binary") << QByteArray("\x00\xFF\x01", 3) << u"unexpected byte 0x00"_qs;
    QTest::newRow("array at top") << QByteArray("[]") << u"not an object"_qs;
    QTest::newRow("no FDBS") << QByteArray(R"({"fdbs":{}})") << u"\"FDBS\" is missing"_qs;
    QTest::newRow("FDBS not an object") << QByteArray(R"({"FDBS":"x"})") << u"\"FDBS\" is not an object"_qs;
    QTest::newRow("TableList not a list")
        << QByteArray(R"({"FDBS":{"Manager":{"TableList":{}}}})") << u"\"TableList\" is not a list"_qs;
    QTest::newRow("table not an object")
        << QByteArray(R"({"FDBS":{"Manager":{"TableList":[5]}}})") << u"the table is not an object"_qs;
    QTest::newRow("RowList not a list") << fileWithRows(R"("rows")") << u"\"RowList\" is not a list"_qs;
    QTest::newRow("row not an object") << fileWithRows("[[]]") << u"the row is not an object"_qs;
    QTest::newRow("Current not an object") << fileWithRows(R"([{"Current":"A"}])") << u"\"Current\" is not an object"_qs;
    QTest::newRow("company a number")
        << fileWithRows(R"([{"Original":{"company":42}}])") << u"\"company\" is not a text"_qs;
    QTest::newRow("invalid UTF-8") << fileWithRows("[{\"Original\":{\"company\":\"\xC3\x28\"}}]")
                                   << u"invalid UTF-8"_qs;
    QTest::newRow("overlong UTF-8") << fileWithRows("[{\"Original\":{\"company\":\"\xE0\x80\xAF\"}}]")
                                    << u"invalid UTF-8"_qs;
    QTest::newRow("beyond U+10FFFF") << fileWithRows("[{\"Original\":{\"company\":\"\xF4\x90\x80\x80\"}}]")
                                     << u"invalid UTF-8"_qs;
    QTest::newRow("raw control in text") << fileWithRows("[{\"Original\":{\"company\":\"a\tb\"}}]")
                                         << u"control character"_qs;
    QTest::newRow("bad escape") << fileWithRows(R"([{"Original":{"company":"\x41"}}])") << u"invalid escape"_qs;
    QTest::newRow("bad unicode escape") << fileWithRows(R"([{"Original":{"company":"\u12G4"}}])")
                                        << u"invalid \\u escape"_qs;
    QTest::newRow("unterminated text") << QByteArray(R"({"FDBS":"abc)") << u"ends inside a text"_qs;
    QTest::newRow("bad number") << QByteArray(R"({"FDBS":{"Version":-}})") << u"unexpected character '}'"_qs;
    QTest::newRow("bad literal") << QByteArray(R"({"FDBS":tru})") << u"unexpected character '}'"_qs;
    QTest::newRow("missing comma") << QByteArray(R"({"FDBS":{} "x":1})") << u"unexpected character '\"'"_qs;
    QTest::newRow("trailing data") << good + "{}" << u"after the end"_qs;
    QTest::newRow("deep nesting") << QByteArray(100000, '[') << u"nested more than"_qs;
    QTest::newRow("huge") << QByteArray(storage::kMaxLoginFileSize + 1, ' ') << u"larger than 1 MiB"_qs;
}

void TestStorage::rejectsDamaged()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, reason);
    try {
        storage::readLoginJson(file);
        QFAIL("a damaged file was accepted");
    } catch (const AppError &e) {
        QVERIFY2(e.message().startsWith(damagedPrefix()), qPrintable(e.message()));
        QVERIFY2(e.message().contains(reason), qPrintable(e.message()));
    }
}

void TestStorage::rejectsEveryTruncation()
{
    // A file cut anywhere, as after a crash of some other writer, is refused
    // rather than read as a partial row.
    const QByteArray good = storage::writeLoginJson(LoginRow{u"Firmă "_qs + kEmoji, u"\"ion\"\t"_qs});
    for (qsizetype n = 0; n < good.size(); ++n) {
        try {
            storage::readLoginJson(good.left(n));
            QFAIL(qPrintable(QStringLiteral("a file cut to %1 bytes was accepted").arg(n)));
        } catch (const AppError &e) {
            QVERIFY2(e.message().startsWith(damagedPrefix()), qPrintable(e.message()));
        }
    }
}

void TestStorage::saveAndLoad()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"KavTerel.json"_qs);
    const LoginRow first{u"Întâi SRL"_qs, u"ion"_qs};
    storage::saveLoginFile(path, first);
    QCOMPARE(describe(storage::loadLoginFile(path)), describe(first));

    const LoginRow second{u"Al doilea"_qs, std::nullopt};
    storage::saveLoginFile(path, second);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), storage::writeLoginJson(second));
    QCOMPARE(describe(storage::loadLoginFile(path)), describe(second));

    storage::saveLoginFile(path, std::nullopt);
    QCOMPARE(describe(storage::loadLoginFile(path)), describe(std::nullopt));
    // Replacing the file leaves no temporary files next to it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{u"KavTerel.json"_qs});
}

void TestStorage::saveFailsOnBadTarget_data()
{
    QTest::addColumn<QString>("relative");
    QTest::newRow("target is a folder") << u"folder"_qs;
    QTest::newRow("folder does not exist") << u"missing/KavTerel.json"_qs;
    QTest::newRow("folder is a file") << u"file/KavTerel.json"_qs;
}

void TestStorage::saveFailsOnBadTarget()
{
    QFETCH(QString, relative);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(u"folder"_qs));
    QFile marker(dir.filePath(u"file"_qs));
    QVERIFY(marker.open(QIODevice::WriteOnly));
    marker.write("keep");
    marker.close();
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    const QString path = dir.filePath(relative);
    try {
        storage::saveLoginFile(path, LoginRow{u"A"_qs, u"B"_qs});
        QFAIL("saving to an impossible path succeeded");
    } catch (const AppError &e) {
        const QString prefix = QStringLiteral("Cannot create file \"%1\". ").arg(path);
        QVERIFY2(e.message().startsWith(prefix), qPrintable(e.message()));
        QVERIFY2(e.message().size() > prefix.size(), "the system's reason is missing");
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    QVERIFY(QFileInfo(dir.filePath(u"folder"_qs)).isDir());
}

void TestStorage::failedWriteKeepsOldFile()
{
#ifdef Q_OS_UNIX
    // A file-size limit makes the write itself fail, which no permission bit
    // can do for root; the earlier file must survive untouched.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"KavTerel.json"_qs);
    const LoginRow old{u"Vechi"_qs, u"ion"_qs};
    storage::saveLoginFile(path, old);

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString message;
    try {
        storage::saveLoginFile(path, LoginRow{QString(20000, u'x'), u"ion"_qs});
    } catch (const AppError &e) {
        message = e.message();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedSignal);

    QVERIFY2(message.startsWith(QStringLiteral("Cannot write file \"%1\". ").arg(path)), qPrintable(message));
    QCOMPARE(describe(storage::loadLoginFile(path)), describe(old));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{u"KavTerel.json"_qs});
#else
    QSKIP("needs a file-size limit");
#endif
}

void TestStorage::loadErrors()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString missing = dir.filePath(u"KavTerel.json"_qs);
    QVERIFY_THROWS_EXCEPTION(AppError, storage::loadLoginFile(missing));
    try {
        storage::loadLoginFile(missing);
    } catch (const AppError &e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("Cannot open file \"%1\". ").arg(missing)),
                 qPrintable(e.message()));
    }

    const QString bad = dir.filePath(u"bad.json"_qs);
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(2 * storage::kMaxLoginFileSize, '['));
    f.close();
    try {
        storage::loadLoginFile(bad);
        QFAIL("a huge file was accepted");
    } catch (const AppError &e) {
        QVERIFY2(e.message().contains(bad) && e.message().contains(u"damaged: it is larger than 1 MiB"_qs),
                 qPrintable(e.message()));
    }
}

void TestStorage::pathRule_data()
{
    QTest::addColumn<QByteArray>("xdg"); // null = unset
    QTest::addColumn<QByteArray>("home");
    QTest::addColumn<QString>("expected");
    QTest::newRow("XDG_CONFIG_HOME set") << QByteArray("/cfg/x") << QByteArray("/home/u") << u"/cfg/x/KavTerel.json"_qs;
    QTest::newRow("one separator") << QByteArray("/cfg/x/") << QByteArray("/home/u") << u"/cfg/x/KavTerel.json"_qs;
    QTest::newRow("unset") << QByteArray() << QByteArray("/home/u") << u"/home/u/.config/KavTerel.json"_qs;
    QTest::newRow("empty") << QByteArray("") << QByteArray("/home/u/") << u"/home/u/.config/KavTerel.json"_qs;
    QTest::newRow("relative is ignored") << QByteArray("cfg") << QByteArray("/home/u") << u"/home/u/.config/KavTerel.json"_qs;
    QTest::newRow("no folder at all") << QByteArray() << QByteArray() << u"KavTerel.json"_qs;
}

void TestStorage::pathRule()
{
#ifdef Q_OS_WIN
    QSKIP("the Windows folder comes from the system");
#else
    QFETCH(QByteArray, xdg);
    QFETCH(QByteArray, home);
    QFETCH(QString, expected);
    const QByteArray savedXdg = qgetenv("XDG_CONFIG_HOME");
    const bool hadXdg = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QByteArray savedHome = qgetenv("HOME");
    const bool hadHome = qEnvironmentVariableIsSet("HOME");
    auto set = [](const char *name, const QByteArray &value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    };
    set("XDG_CONFIG_HOME", xdg);
    set("HOME", home);
    const QString actual = storage::rememberedLoginPath();
    auto restore = [](const char *name, bool had, const QByteArray &value) {
        if (had)
            qputenv(name, value);
        else
            qunsetenv(name);
    };
    restore("XDG_CONFIG_HOME", hadXdg, savedXdg);
    restore("HOME", hadHome, savedHome);
    QCOMPARE(actual, expected);
#endif
}

QTEST_GUILESS_MAIN(TestStorage)
#include "tst_storage.moc"
