#include "FieldType.h"

namespace pg {

QString fieldTypeName(FieldType t, int size)
{
    switch (t) {
    case FieldType::String: return size > 0 ? QStringLiteral("String(%1)").arg(size) : QStringLiteral("String");
    case FieldType::Text: return QStringLiteral("Text");
    case FieldType::Integer: return QStringLiteral("Integer");
    case FieldType::Number: return QStringLiteral("Number");
    case FieldType::Boolean: return QStringLiteral("Boolean");
    case FieldType::Date: return QStringLiteral("Date");
    case FieldType::Timestamp: return QStringLiteral("Timestamp");
    }
    return QStringLiteral("Unknown");
}

} // namespace pg
