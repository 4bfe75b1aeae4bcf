#pragma once
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace xlsx {

enum class CellKind : uint8_t { Empty, Number, Text, Boolean, Date, DateTime };

struct ColumnSpec {
    QString caption;
    int widthPx = 64;          // width on screen, in pixels
    CellKind kind = CellKind::Text;
    QString numberFormat;      // Excel number format for Number/Date/DateTime cells; empty = default
};

// One cell of a data row. Text is UTF-8 and only valid until the next call.
struct Cell {
    CellKind kind = CellKind::Empty;
    double number = 0;         // Number; Date/DateTime as an Excel serial day number
    bool boolean = false;
    std::string_view text;
};

// A grid as the operator sees it: visible columns in view order, then the
// rows in view order (group rows included, all groups expanded), then an
// optional footer.
class ExportSource {
public:
    virtual ~ExportSource() = default;
    virtual int columnCount() const = 0;
    virtual ColumnSpec column(int c) const = 0;
    virtual int64_t rowCount() const = 0;
    // A group row carries a caption ("col : value (n)") and its nesting level (0 = outermost).
    virtual bool isGroupRow(int64_t r, QString *caption, int *level) const = 0;
    virtual Cell cell(int64_t r, int c) const = 0;
    virtual bool hasFooter() const = 0;
    // Footer value of a column: nullopt for a cell without a footer sum or with no rows shown.
    virtual std::optional<double> footerValue(int c) const = 0;
    virtual QString footerFormat(int c) const { (void)c; return QStringLiteral("#,##0.00"); }
};

// Called every few thousand rows; return false to abort.
using Progress = std::function<bool(int64_t done, int64_t total)>;

} // namespace xlsx
