// Fuzz target for the named-parameter rewriter that every statement goes
// through. A parameter missed, invented or numbered wrongly would bind an
// operator's value to the wrong place, so the output is checked, not only
// the absence of crashes.
//
// The first byte picks the mode:
//   even: the bytes build a statement out of tokens (words, parameters,
//         string literals, quoted names, both comment forms, dollar-quoted
//         bodies, casts, operators) whose correct rewriting is known by
//         construction: the output and the parameter list must match it
//         exactly, so a ":x" inside a literal or comment is never taken and
//         one outside always is;
//   odd:  the bytes are any text; the parser must not crash and its answer
//         must be consistent (distinct valid names, every $n present, text
//         without a colon left unchanged).
#include "platform/pg/ParamParser.h"
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, const QString &in, const QString &out)
{
    std::fprintf(stderr, "property violated: %s\ninput:  %s\noutput: %s\n", what, qPrintable(in), qPrintable(out));
    std::abort();
}

class Bytes {
public:
    Bytes(const uint8_t *p, size_t n) : m_p(p), m_end(p + n) {}
    bool more() const { return m_p != m_end; }
    uint8_t next() { return m_p == m_end ? 0 : *m_p++; }
private:
    const uint8_t *m_p, *m_end;
};

// Text for the inside of a literal or comment; colons and names are common
// so that a parameter-looking piece is often there to be ignored.
QString filler(Bytes &b, const QString &forbidden)
{
    static const QString alphabet = QStringLiteral(":pPx_1 ';\"$-/*\\\nă=:");
    QString s;
    const int n = b.next() % 12;
    for (int i = 0; i < n; ++i) {
        s += alphabet[b.next() % alphabet.size()];
        if (!forbidden.isEmpty() && s.contains(forbidden))
            s.chop(1);
    }
    return s;
}

QString name(Bytes &b)
{
    static const QString first = QStringLiteral("pPaAăĂ_x");
    static const QString rest = QStringLiteral("pPaA1_ăĂ9x");
    QString s = first[b.next() % first.size()];
    const int n = b.next() % 3;
    for (int i = 0; i < n; ++i)
        s += rest[b.next() % rest.size()];
    return s;
}

void structured(Bytes &b)
{
    QStringList in, expected, names;
    while (b.more()) {
        const uint8_t kind = b.next() % 10;
        switch (kind) {
        case 0: { // a plain word
            const QString w = name(b);
            in << w; expected << w;
            break;
        }
        case 1: { // a parameter
            const QString n = name(b);
            qsizetype idx = -1;
            for (qsizetype k = 0; k < names.size(); ++k)
                if (names[k].compare(n, Qt::CaseInsensitive) == 0) { idx = k; break; }
            if (idx < 0) { names << n; idx = names.size() - 1; }
            in << QLatin1Char(':') + n;
            expected << QLatin1Char('$') + QString::number(idx + 1);
            break;
        }
        case 2: { // a string literal, quotes doubled inside
            QString body = filler(b, {});
            body.replace(QLatin1Char('\''), QLatin1String("''"));
            const QString t = QLatin1Char('\'') + body + QLatin1Char('\'');
            in << t; expected << t;
            break;
        }
        case 3: { // a quoted identifier
            QString body = filler(b, {});
            body.replace(QLatin1Char('"'), QLatin1String("\"\""));
            const QString t = QLatin1Char('"') + body + QLatin1Char('"');
            in << t; expected << t;
            break;
        }
        case 4: { // a line comment
            QString body = filler(b, {});
            body.remove(QLatin1Char('\n'));
            const QString t = QLatin1String("--") + body + QLatin1Char('\n');
            in << t; expected << t;
            break;
        }
        case 5: { // a block comment, not nested
            QString body = filler(b, {});
            body.remove(QLatin1Char('*'));
            const QString t = QLatin1String("/*") + body + QLatin1String("*/");
            in << t; expected << t;
            break;
        }
        case 6: { // a dollar-quoted body
            QString tag;
            const int n = b.next() % 3;
            for (int i = 0; i < n; ++i)
                tag += QLatin1Char("tgT_"[b.next() % 4]);
            const QString delim = QLatin1Char('$') + tag + QLatin1Char('$');
            const QString t = delim + filler(b, delim) + delim;
            if (t.indexOf(delim, delim.size()) != t.size() - delim.size())
                break; // the body would close the quote early
            in << t; expected << t;
            break;
        }
        case 7: // a cast
            in << QStringLiteral("x::int"); expected << QStringLiteral("x::int");
            break;
        default: { // operators and numbers
            static const char *ops[] = {"=", "(", ")", ",", "+", "1.5", ";", "<>", "||", "*"};
            const QString t = QLatin1String(ops[b.next() % 10]);
            in << t; expected << t;
            break;
        }
        }
    }
    const QString sql = in.join(QLatin1Char(' '));
    const pg::ParsedSql out = pg::parseNamedParams(sql);
    const QString want = expected.join(QLatin1Char(' '));
    if (out.sql != want)
        fail("rewritten statement differs from the one built", sql, out.sql);
    if (out.names != names)
        fail("parameter list differs from the one built", sql, out.names.join(QLatin1Char(',')));
}

bool identStart(QChar c) { return c.isLetter() || c == QLatin1Char('_'); }
bool identChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

void raw(const uint8_t *data, size_t size)
{
    const QString sql = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const pg::ParsedSql out = pg::parseNamedParams(sql);
    for (qsizetype i = 0; i < out.names.size(); ++i) {
        const QString &n = out.names[i];
        if (n.isEmpty() || !identStart(n[0]))
            fail("a parameter name that is not a name", sql, n);
        for (QChar c : n)
            if (!identChar(c))
                fail("a parameter name that is not a name", sql, n);
        for (qsizetype k = 0; k < i; ++k)
            if (out.names[k].compare(n, Qt::CaseInsensitive) == 0)
                fail("one name numbered twice", sql, n);
        if (!out.sql.contains(QLatin1Char('$') + QString::number(i + 1)))
            fail("a numbered parameter missing from the statement", sql, out.sql);
    }
    if (!sql.contains(QLatin1Char(':')) && (out.sql != sql || !out.names.isEmpty()))
        fail("a statement without parameters was changed", sql, out.sql);
    // Removing the parameters cannot lengthen the text by more than the numbers.
    if (out.sql.size() > sql.size() + 10 * out.names.size() * (sql.count(QLatin1Char(':')) + 1))
        fail("the rewritten statement grew", sql, out.sql);
    const pg::ParsedSql again = pg::parseNamedParams(sql);
    if (again.sql != out.sql || again.names != out.names)
        fail("two runs disagree", sql, out.sql);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    if (data[0] & 1) {
        raw(data + 1, size - 1);
    } else {
        Bytes b(data + 1, size - 1);
        structured(b);
    }
    return 0;
}
