#include "ParamParser.h"

namespace pg {

namespace {
bool isIdentStart(QChar c) { return c.isLetter() || c == QLatin1Char('_'); }
bool isIdentChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }
} // namespace

ParsedSql parseNamedParams(const QString &sql)
{
    ParsedSql out;
    out.sql.reserve(sql.size());
    const qsizetype n = sql.size();
    qsizetype i = 0;
    auto copyUntil = [&](qsizetype end) {
        out.sql.append(QStringView(sql).mid(i, end - i));
        i = end;
    };
    while (i < n) {
        const QChar c = sql[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            // literal or quoted identifier; a doubled quote stays inside
            qsizetype j = i + 1;
            while (j < n) {
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) { j += 2; continue; }
                    ++j;
                    break;
                }
                ++j;
            }
            if (j > n) j = n;
            copyUntil(j);
        } else if (c == QLatin1Char('-') && i + 1 < n && sql[i + 1] == QLatin1Char('-')) {
            qsizetype j = sql.indexOf(QLatin1Char('\n'), i);
            copyUntil(j < 0 ? n : j);
        } else if (c == QLatin1Char('/') && i + 1 < n && sql[i + 1] == QLatin1Char('*')) {
            qsizetype j = sql.indexOf(QLatin1String("*/"), i + 2);
            copyUntil(j < 0 ? n : j + 2);
        } else if (c == QLatin1Char('$')) {
            // dollar quoting: $tag$ ... $tag$
            qsizetype j = i + 1;
            while (j < n && isIdentChar(sql[j]) && !(j == i + 1 && sql[j].isDigit())) ++j;
            if (j < n && sql[j] == QLatin1Char('$')) {
                QString tag = sql.mid(i, j - i + 1);
                qsizetype end = sql.indexOf(tag, j + 1);
                copyUntil(end < 0 ? n : end + tag.size());
            } else {
                copyUntil(i + 1);
            }
        } else if (c == QLatin1Char(':')) {
            if (i + 1 < n && sql[i + 1] == QLatin1Char(':')) {
                copyUntil(i + 2); // a cast
            } else if (i + 1 < n && isIdentStart(sql[i + 1])) {
                qsizetype j = i + 1;
                while (j < n && isIdentChar(sql[j])) ++j;
                const QString name = sql.mid(i + 1, j - i - 1);
                qsizetype idx = -1;
                for (qsizetype k = 0; k < out.names.size(); ++k)
                    if (out.names[k].compare(name, Qt::CaseInsensitive) == 0) { idx = k; break; }
                if (idx < 0) { out.names.append(name); idx = out.names.size() - 1; }
                out.sql.append(QLatin1Char('$')).append(QString::number(idx + 1));
                i = j;
            } else {
                copyUntil(i + 1);
            }
        } else {
            qsizetype j = i + 1;
            while (j < n) {
                const QChar d = sql[j];
                if (d == QLatin1Char('\'') || d == QLatin1Char('"') || d == QLatin1Char('-') || d == QLatin1Char('/') || d == QLatin1Char('$') || d == QLatin1Char(':'))
                    break;
                ++j;
            }
            copyUntil(j);
        }
    }
    return out;
}

} // namespace pg
