#include "Reliability.h"
#include "TestDb.h"
#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QTest>

namespace reliability {

namespace {

// Control and formatting characters (tried on purpose by the tests) are
// written as \uXXXX so the document stays readable text.
QString cell(const QString &in)
{
    QString s;
    for (qsizetype i = 0; i < in.size(); ++i) {
        const QChar c = in[i];
        if (c.isHighSurrogate() && i + 1 < in.size() && in[i + 1].isLowSurrogate()) {
            s += c;
            s += in[++i];
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\t')) {
            s += QLatin1Char(' ');
        } else if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Format || c.isSurrogate()) {
            s += QLatin1String("\\u") + QStringLiteral("%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
        } else if (c == QLatin1Char('|')) {
            s += QLatin1String("\\|");
        } else {
            s += c;
        }
    }
    return s;
}

QString line(const Row &r)
{
    return QStringLiteral("| %1 | %2 | %3 | %4 |").arg(cell(r.what), cell(r.tries), cell(r.lost), cell(r.measured));
}

// Cells of a table line, "\|" kept as a plain bar.
QStringList cells(const QString &l)
{
    QStringList out;
    QString cur;
    for (qsizetype i = 0; i < l.size(); ++i) {
        if (l[i] == QLatin1Char('\\') && i + 1 < l.size() && l[i + 1] == QLatin1Char('|')) {
            cur += QLatin1Char('|');
            ++i;
        } else if (l[i] == QLatin1Char('|')) {
            out << cur.trimmed();
            cur.clear();
        } else {
            cur += l[i];
        }
    }
    out << cur.trimmed();
    // a line "| a | b |" splits into "", a, b, ""
    if (!out.isEmpty() && out.front().isEmpty()) out.removeFirst();
    if (!out.isEmpty() && out.back().isEmpty()) out.removeLast();
    return out;
}

const QString kHeader = QStringLiteral("| What was tried | Tries | Lost | Measured |\n|---|---|---|---|\n");

} // namespace

QString lost(qsizetype count, const QString &noun)
{
    return count == 0 ? QStringLiteral("nothing") : QStringLiteral("%1 %2").arg(count).arg(noun);
}

void Results::add(Row row)
{
    m_rows.push_back(std::move(row));
    m_counts.push_back({-1, 0, {}, {}});
}

void Results::tally(const QString &what, int tries, int lostCount, const QString &lostNoun, const QString &measured)
{
    size_t i = 0;
    while (i < m_rows.size() && !(m_rows[i].what == what && m_counts[i].tries >= 0))
        ++i;
    if (i == m_rows.size()) {
        m_rows.push_back({what, {}, {}, {}});
        m_counts.push_back({0, 0, lostNoun, {}});
    }
    Count &c = m_counts[i];
    c.tries += tries;
    c.lost += lostCount;
    if (!measured.isEmpty() && !c.notes.contains(measured))
        c.notes << measured;
    Row &r = m_rows[i];
    r.tries = QString::number(c.tries);
    r.lost = lost(c.lost, c.noun);
    r.measured = c.notes.join(QLatin1String("; "));
}

void Results::noteTestResult()
{
    if (QTest::currentTestFailed())
        m_failed = true;
}

QString Results::finishIfAllPassed() const
{
    if (m_failed || !testdb::available())
        return {};
    // Only some test functions named on the command line: the table would be partial.
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (const QString &a : args)
        if (!a.startsWith(QLatin1Char('-')))
            return {};
    return finish();
}

QString Results::documentPath() { return testdb::sourceDir() + QStringLiteral("/docs/reliability.md"); }

bool Results::writing() { return qEnvironmentVariable("WPELVARO_WRITE_RELIABILITY") == QLatin1String("1"); }

QString Results::finish() const
{
    if (testdb::sourceDir().isEmpty())
        return {};
    const QString begin = QStringLiteral("<!-- begin %1 -->\n").arg(m_section);
    const QString end = QStringLiteral("<!-- end %1 -->").arg(m_section);
    QFile in(documentPath());
    QString doc = in.open(QIODevice::ReadOnly) ? QString::fromUtf8(in.readAll()) : QString();
    const qsizetype b = doc.indexOf(begin);
    const qsizetype e = b < 0 ? -1 : doc.indexOf(end, b);

    if (writing()) {
        QString section = begin + kHeader;
        for (const Row &r : m_rows)
            section += line(r) + QLatin1Char('\n');
        section += end;
        if (b >= 0 && e >= 0)
            doc.replace(b, e + end.size() - b, section);
        else
            doc += QLatin1Char('\n') + section + QLatin1Char('\n');
        QSaveFile out(documentPath());
        if (!out.open(QIODevice::WriteOnly) || out.write(doc.toUtf8()) < 0 || !out.commit())
            return QStringLiteral("cannot write %1: %2").arg(documentPath(), out.errorString());
        return {};
    }

    if (b < 0 || e < 0)
        return QStringLiteral("%1 has no section %2; run with WPELVARO_WRITE_RELIABILITY=1").arg(documentPath(), m_section);
    std::vector<QStringList> committed;
    for (const QString &l : doc.mid(b + begin.size(), e - b - begin.size()).split(QLatin1Char('\n'))) {
        if (!l.startsWith(QLatin1Char('|')) || l.startsWith(QLatin1String("|---")) || l == kHeader.section(QLatin1Char('\n'), 0, 0))
            continue;
        committed.push_back(cells(l).mid(0, 3));
    }
    QStringList diff;
    size_t k = 0;
    for (const Row &r : m_rows) {
        const QStringList mine{cell(r.what).replace(QLatin1String("\\|"), QLatin1String("|")).trimmed(),
                               cell(r.tries).replace(QLatin1String("\\|"), QLatin1String("|")).trimmed(),
                               cell(r.lost).replace(QLatin1String("\\|"), QLatin1String("|")).trimmed()};
        while (k < committed.size() && m_skipped.contains(committed[k].value(0)))
            ++k;
        if (k >= committed.size()) {
            diff << QStringLiteral("missing from the document: %1").arg(mine.join(QLatin1String(" | ")));
            continue;
        }
        if (committed[k] != mine)
            diff << QStringLiteral("document: %1\n   tests: %2").arg(committed[k].join(QLatin1String(" | ")), mine.join(QLatin1String(" | ")));
        ++k;
    }
    for (; k < committed.size(); ++k)
        if (!m_skipped.contains(committed[k].value(0)))
            diff << QStringLiteral("in the document only: %1").arg(committed[k].join(QLatin1String(" | ")));
    if (!diff.isEmpty())
        diff.prepend(QStringLiteral("%1, section %2, differs from what the tests did (WPELVARO_WRITE_RELIABILITY=1 rewrites it):").arg(documentPath(), m_section));
    return diff.join(QLatin1Char('\n'));
}

} // namespace reliability
