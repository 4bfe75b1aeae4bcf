#include "platform/storage/LoginStore.h"

#include "platform/Error.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <charconv>
#include <utility>
#include <vector>

namespace storage {

namespace {

// ---------------------------------------------------------------------------
// Writing
//
// The dataset storage form wants every UTF-16 code unit encoded on its own
// (a character outside the basic plane becomes two three-byte sequences) and
// "/" escaped; QJsonDocument does neither, so the file is written by hand.

void appendString(QByteArray &out, QStringView text)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    out += '"';
    for (const QChar qc : text) {
        const char16_t u = qc.unicode();
        switch (u) {
        case u'"': out += "\\\""; continue;
        case u'\\': out += "\\\\"; continue;
        case u'/': out += "\\/"; continue;
        case 8: out += "\\b"; continue;
        case 9: out += "\\t"; continue;
        case 10: out += "\\n"; continue;
        case 12: out += "\\f"; continue;
        case 13: out += "\\r"; continue;
        default: break;
        }
        if (u < 0x20) {
            // NUL included: a raw zero byte would cut the file short for many readers.
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 0xF];
        } else if (u < 0x80) {
            out += char(u);
        } else if (u < 0x800) {
            out += char(0xC0 | (u >> 6));
            out += char(0x80 | (u & 0x3F));
        } else {
            out += char(0xE0 | (u >> 12));
            out += char(0x80 | ((u >> 6) & 0x3F));
            out += char(0x80 | (u & 0x3F));
        }
    }
    out += '"';
}

void appendColumn(QByteArray &out, const char *name)
{
    // Everything a reader needs is class, Name, DataType and Size; the true
    // flags describe a plain nullable, updatable column so that other tools
    // reading the file see the same table we do.
    out += R"({"class":"Column","Name":")";
    out += name;
    out += R"(","DataType":"WideString","Size":200,"Searchable":true,"AllowNull":true,)"
           R"("Base":true,"OAllowNull":true,"OInUpdate":true,"OInWhere":true,"OriginColName":")";
    out += name;
    out += R"("})";
}

// ---------------------------------------------------------------------------
// Reading
//
// A small JSON reader of our own: the file may carry the surrogate pairs as
// two three-byte sequences, which Qt's UTF-8 decoder refuses. Its input is
// capped in size and its nesting in depth, so nothing a damaged or hostile
// file holds can make it run away.

struct Damaged {
    QString reason;
};

[[noreturn]] void damaged(QString reason)
{
    throw Damaged{std::move(reason)};
}

struct Member;

struct Value {
    enum class Type : uint8_t { Null, Bool, Number, String, Array, Object };
    Type type = Type::Null;
    bool boolean = false;
    double number = 0;
    QString string;
    std::vector<Value> items;
    std::vector<Member> members;

    const Value *member(QLatin1String key) const;
};

struct Member {
    QString key;
    Value value;
};

const Value *Value::member(QLatin1String key) const
{
    for (const Member &m : members)
        if (m.key == key)
            return &m.value;
    return nullptr;
}

class Parser {
public:
    explicit Parser(const QByteArray &bytes)
        : m_p(reinterpret_cast<const unsigned char *>(bytes.constData())), m_begin(m_p),
          m_end(m_p + bytes.size())
    {
    }

    Value parseDocument()
    {
        if (m_end - m_p >= 3 && m_p[0] == 0xEF && m_p[1] == 0xBB && m_p[2] == 0xBF)
            m_p += 3;
        skipSpace();
        if (m_p == m_end)
            damaged(QStringLiteral("the file is empty"));
        Value v = parseValue(0);
        skipSpace();
        if (m_p != m_end)
            damaged(QStringLiteral("unexpected text after the end of the data at byte %1").arg(offset()));
        return v;
    }

private:
    static constexpr int kMaxDepth = 64;

    qint64 offset() const { return m_p - m_begin; }

    void skipSpace()
    {
        while (m_p != m_end && (*m_p == ' ' || *m_p == '\t' || *m_p == '\n' || *m_p == '\r'))
            ++m_p;
    }

    [[noreturn]] void unexpected()
    {
        if (m_p == m_end)
            damaged(QStringLiteral("the file ends too early"));
        if (*m_p >= 0x20 && *m_p < 0x7F)
            damaged(QStringLiteral("unexpected character '%1' at byte %2").arg(QChar(char16_t(*m_p))).arg(offset()));
        damaged(QStringLiteral("unexpected byte 0x%1 at byte %2")
                    .arg(unsigned(*m_p), 2, 16, QLatin1Char('0'))
                    .arg(offset()));
    }

    void expect(char c)
    {
        if (m_p == m_end || *m_p != static_cast<unsigned char>(c))
            unexpected();
        ++m_p;
    }

    void expectWord(const char *word)
    {
        for (; *word; ++word)
            expect(*word);
    }

    Value parseValue(int depth)
    {
        if (depth > kMaxDepth)
            damaged(QStringLiteral("the data is nested more than %1 levels deep").arg(kMaxDepth));
        if (m_p == m_end)
            unexpected();
        Value v;
        switch (*m_p) {
        case '{': parseObject(v, depth); break;
        case '[': parseArray(v, depth); break;
        case '"':
            v.type = Value::Type::String;
            v.string = parseString();
            break;
        case 't':
            expectWord("true");
            v.type = Value::Type::Bool;
            v.boolean = true;
            break;
        case 'f':
            expectWord("false");
            v.type = Value::Type::Bool;
            break;
        case 'n': expectWord("null"); break;
        default:
            if (*m_p == '-' || (*m_p >= '0' && *m_p <= '9')) {
                v.type = Value::Type::Number;
                v.number = parseNumber();
            } else {
                unexpected();
            }
        }
        return v;
    }

    // Items separated by commas up to `close`, each read by `item`.
    template <typename Item>
    void parseList(char close, Item item)
    {
        ++m_p; // opening bracket
        skipSpace();
        if (m_p != m_end && *m_p == static_cast<unsigned char>(close)) {
            ++m_p;
            return;
        }
        for (;;) {
            skipSpace();
            item();
            skipSpace();
            if (m_p != m_end && *m_p == ',') {
                ++m_p;
                continue;
            }
            expect(close);
            return;
        }
    }

    void parseObject(Value &v, int depth)
    {
        v.type = Value::Type::Object;
        parseList('}', [&] {
            if (m_p == m_end || *m_p != '"')
                unexpected();
            QString key = parseString();
            skipSpace();
            expect(':');
            skipSpace();
            Value item = parseValue(depth + 1);
            v.members.push_back(Member{std::move(key), std::move(item)});
        });
    }

    void parseArray(Value &v, int depth)
    {
        v.type = Value::Type::Array;
        parseList(']', [&] { v.items.push_back(parseValue(depth + 1)); });
    }

    double parseNumber()
    {
        const unsigned char *start = m_p;
        auto digits = [this] {
            const unsigned char *from = m_p;
            while (m_p != m_end && *m_p >= '0' && *m_p <= '9')
                ++m_p;
            if (m_p == from)
                unexpected();
        };
        if (*m_p == '-')
            ++m_p;
        digits();
        if (m_p != m_end && *m_p == '.') {
            ++m_p;
            digits();
        }
        if (m_p != m_end && (*m_p == 'e' || *m_p == 'E')) {
            ++m_p;
            if (m_p != m_end && (*m_p == '+' || *m_p == '-'))
                ++m_p;
            digits();
        }
        double d = 0;
        // Out-of-range numbers keep 0: no member we read is a number.
        std::from_chars(reinterpret_cast<const char *>(start), reinterpret_cast<const char *>(m_p), d);
        return d;
    }

    unsigned continuation()
    {
        if (m_p == m_end || (*m_p & 0xC0) != 0x80)
            badUtf8();
        return *m_p++ & 0x3F;
    }

    [[noreturn]] void badUtf8()
    {
        if (m_p == m_end)
            damaged(QStringLiteral("the file ends too early"));
        damaged(QStringLiteral("invalid UTF-8 at byte %1").arg(offset()));
    }

    static int hexDigit(unsigned char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    QString parseString()
    {
        ++m_p; // opening quote
        QString s;
        for (;;) {
            if (m_p == m_end)
                damaged(QStringLiteral("the file ends inside a text"));
            const unsigned char c = *m_p;
            if (c == '"') {
                ++m_p;
                return s;
            }
            if (c == '\\') {
                ++m_p;
                parseEscape(s);
            } else if (c < 0x20) {
                damaged(QStringLiteral("control character inside a text at byte %1").arg(offset()));
            } else if (c < 0x80) {
                s += QChar(char16_t(c));
                ++m_p;
            } else {
                parseUtf8(s);
            }
        }
    }

    void parseEscape(QString &s)
    {
        if (m_p == m_end)
            damaged(QStringLiteral("the file ends inside a text"));
        const unsigned char c = *m_p++;
        switch (c) {
        case '"': s += u'"'; return;
        case '\\': s += u'\\'; return;
        case '/': s += u'/'; return;
        case 'b': s += QChar(8); return;
        case 't': s += QChar(9); return;
        case 'n': s += QChar(10); return;
        case 'f': s += QChar(12); return;
        case 'r': s += QChar(13); return;
        case 'u': {
            unsigned unit = 0;
            for (int i = 0; i < 4; ++i) {
                const int h = m_p == m_end ? -1 : hexDigit(*m_p);
                if (h < 0)
                    damaged(QStringLiteral("invalid \\u escape at byte %1").arg(offset()));
                unit = unit * 16 + unsigned(h);
                ++m_p;
            }
            // Surrogates escaped one by one simply follow each other in UTF-16.
            s += QChar(char16_t(unit));
            return;
        }
        default:
            --m_p;
            damaged(QStringLiteral("invalid escape at byte %1").arg(offset()));
        }
    }

    // Accepts both ways of writing a character outside the basic plane: the
    // standard four-byte sequence and the pair of three-byte sequences, one
    // per surrogate, that this file format itself writes.
    void parseUtf8(QString &s)
    {
        const unsigned char *start = m_p;
        const unsigned char c = *m_p++;
        char32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            cp = char32_t(c & 0x1F) << 6 | continuation();
        } else if (c >= 0xE0 && c <= 0xEF) {
            cp = char32_t(c & 0x0F) << 12;
            cp |= continuation() << 6;
            cp |= continuation();
            if (cp < 0x800) {
                m_p = start;
                badUtf8();
            }
        } else if (c >= 0xF0 && c <= 0xF4) {
            cp = char32_t(c & 0x07) << 18;
            cp |= continuation() << 12;
            cp |= continuation() << 6;
            cp |= continuation();
            if (cp < 0x10000 || cp > 0x10FFFF) {
                m_p = start;
                badUtf8();
            }
        } else {
            m_p = start;
            badUtf8();
        }
        if (cp >= 0x10000) {
            s += QChar(QChar::highSurrogate(cp));
            s += QChar(QChar::lowSurrogate(cp));
        } else {
            s += QChar(char16_t(cp));
        }
    }

    const unsigned char *m_p;
    const unsigned char *m_begin;
    const unsigned char *m_end;
};

const Value &required(const Value &object, const char *name, Value::Type type, const char *kind)
{
    const Value *v = object.member(QLatin1String(name));
    if (!v)
        damaged(QStringLiteral("\"%1\" is missing").arg(QLatin1String(name)));
    if (v->type != type)
        damaged(QStringLiteral("\"%1\" is not %2").arg(QLatin1String(name), QLatin1String(kind)));
    return *v;
}

std::optional<QString> textField(const Value &values, const char *name)
{
    const Value *v = values.member(QLatin1String(name));
    if (!v || v->type == Value::Type::Null)
        return std::nullopt;
    if (v->type != Value::Type::String)
        damaged(QStringLiteral("the value of \"%1\" is not a text").arg(QLatin1String(name)));
    return v->string;
}

std::optional<LoginRow> parseLogin(const QByteArray &bytes)
{
    if (bytes.size() > kMaxLoginFileSize)
        damaged(QStringLiteral("it is larger than 1 MiB"));
    const Value doc = Parser(bytes).parseDocument();
    if (doc.type != Value::Type::Object)
        damaged(QStringLiteral("the data is not an object"));
    const Value &fdbs = required(doc, "FDBS", Value::Type::Object, "an object");
    const Value &manager = required(fdbs, "Manager", Value::Type::Object, "an object");
    const Value &tables = required(manager, "TableList", Value::Type::Array, "a list");
    if (tables.items.empty())
        return std::nullopt;
    const Value &table = tables.items.front();
    if (table.type != Value::Type::Object)
        damaged(QStringLiteral("the table is not an object"));
    const Value *rows = table.member(QLatin1String("RowList"));
    if (!rows || rows->type == Value::Type::Null)
        return std::nullopt;
    if (rows->type != Value::Type::Array)
        damaged(QStringLiteral("\"RowList\" is not a list"));
    if (rows->items.empty())
        return std::nullopt;
    const Value &row = rows->items.front();
    if (row.type != Value::Type::Object)
        damaged(QStringLiteral("the row is not an object"));

    // The row's latest values win; "Original" alone is a row loaded unchanged.
    const Value *values = row.member(QLatin1String("Current"));
    const char *valuesName = "Current";
    if (!values || values->type == Value::Type::Null) {
        values = row.member(QLatin1String("Original"));
        valuesName = "Original";
    }
    if (!values || values->type == Value::Type::Null)
        return LoginRow{};
    if (values->type != Value::Type::Object)
        damaged(QStringLiteral("\"%1\" is not an object").arg(QLatin1String(valuesName)));
    return LoginRow{textField(*values, "company"), textField(*values, "username")};
}

} // namespace

QByteArray writeLoginJson(const std::optional<LoginRow> &row)
{
    QByteArray out;
    out.reserve(1024);
    out += "\xEF\xBB\xBF";
    // Members equal to their default are left out, so the table carries only
    // its name, its id and the lists.
    out += R"({"FDBS":{"Version":16,"Manager":{"TableList":[{"class":"Table","Name":"dsLogin","TabID":0,"ColumnList":[)";
    appendColumn(out, "company");
    out += ',';
    appendColumn(out, "username");
    out += R"(],"ConstraintList":[],"ViewList":[],"RowList":[)";
    if (row) {
        // The row is written as loaded and unchanged: its values are the
        // "Original" ones, with no RowState and no journal entry.
        out += R"({"RowID":0,"Original":{)";
        bool first = true;
        auto field = [&](const char *name, const std::optional<QString> &value) {
            if (!value)
                return; // NULL is left out
            if (!first)
                out += ',';
            first = false;
            out += '"';
            out += name;
            out += "\":";
            appendString(out, *value);
        };
        field("company", row->company);
        field("username", row->username);
        out += "}}";
    }
    out += R"(]}],"RelationList":[]}}})";
    return out;
}

std::optional<LoginRow> readLoginJson(const QByteArray &bytes)
{
    try {
        return parseLogin(bytes);
    } catch (const Damaged &d) {
        throw AppError(QStringLiteral("The remembered-login file is damaged: %1").arg(d.reason));
    }
}

void saveLoginFile(const QString &path, const std::optional<LoginRow> &row)
{
    // Values longer than the column's 200 characters are written whole: the
    // size is descriptive, and cutting the operator's text would lose data
    // that the next run would then show altered.
    const QByteArray bytes = writeLoginJson(row);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw AppError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw AppError(QStringLiteral("Cannot write file \"%1\". %2").arg(path, file.errorString()));
}

std::optional<LoginRow> loadLoginFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    // One byte more than allowed tells an oversized file from one of exactly
    // the limit, also for files whose size the system does not report.
    const QByteArray bytes = file.read(kMaxLoginFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        throw AppError(QStringLiteral("Cannot read file \"%1\". %2").arg(path, file.errorString()));
    try {
        return parseLogin(bytes);
    } catch (const Damaged &d) {
        throw AppError(QStringLiteral("The remembered-login file \"%1\" is damaged: %2").arg(path, d.reason));
    }
}

QString rememberedLoginPath()
{
    const QString name = QStringLiteral("KavTerel.json");
#ifdef Q_OS_WIN
    // The roaming application-data folder; Qt's generic locations on Windows
    // point at the local (non-roaming) one, which would not follow the user.
    const QString folder = qEnvironmentVariable("APPDATA");
    const bool endsWithSeparator = folder.endsWith(u'\\') || folder.endsWith(u'/');
    const QChar separator = u'\\';
#else
    // The user's configuration folder. A relative XDG_CONFIG_HOME is invalid
    // by the XDG rules and would make the file depend on the working folder.
    QString folder = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(folder)) {
        const QString home = qEnvironmentVariable("HOME");
        folder = home.isEmpty() ? QString() : QDir(home).filePath(QStringLiteral(".config"));
    }
    const bool endsWithSeparator = folder.endsWith(u'/');
    const QChar separator = u'/';
#endif
    if (folder.isEmpty())
        return name;
    return endsWithSeparator ? folder + name : folder + separator + name;
}

} // namespace storage
