#pragma once
#include <QString>
#include <QStringList>

namespace pg {

// A statement with ":name" parameters rewritten to "$1".."$n". Casts ("::"),
// string literals, quoted identifiers, dollar-quoted bodies and comments are
// left alone. A name used twice maps to the same number.
struct ParsedSql {
    QString sql;        // with $n placeholders
    QStringList names;  // names[i] is bound to $(i+1)
};

ParsedSql parseNamedParams(const QString &sql);

} // namespace pg
