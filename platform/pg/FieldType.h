#pragma once
#include <QString>
#include <cstdint>

namespace pg {

// The value types a query declares for its result columns.
enum class FieldType : uint8_t { String, Text, Integer, Number, Boolean, Date, Timestamp };

struct FieldDef {
    QString name;
    FieldType type = FieldType::Text;
    int size = 0;          // characters, for String
    bool required = false; // must hold a value when a row is posted
    bool readOnly = false; // never written back
};

// Name of a type as the type-mismatch message shows it.
QString fieldTypeName(FieldType t, int size = 0);

} // namespace pg
