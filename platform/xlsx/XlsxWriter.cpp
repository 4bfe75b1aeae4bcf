#include "platform/xlsx/XlsxWriter.h"

#include "platform/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

namespace xlsx {

namespace {

// Excel keeps at most this many UTF-16 code units in one cell.
constexpr std::size_t kMaxCellUnits = 32767;
// Excel's deepest outline level.
constexpr int kMaxOutlineLevel = 7;
constexpr int64_t kProgressStep = 10000;

QString cannotCreate(const QString &path, const QString &reason)
{
    return QStringLiteral("Cannot create file \"%1\". %2").arg(QDir::toNativeSeparators(path), reason);
}

QString systemText(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

std::filesystem::path fsPath(const QString &path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

// Byte length of the longest prefix of `text` that fits in one cell, cut
// between characters. Longer texts are shortened instead of failing the
// whole export over one note field.
std::size_t fittingPrefix(std::string_view text)
{
    std::size_t units = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t len = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        const std::size_t need = len == 4 ? 2 : 1;
        if (units + need > kMaxCellUnits || i + len > text.size())
            break;
        units += need;
        i += len;
    }
    return i;
}

// Whether the package ends with the ZIP end-of-central-directory record, as
// every whole workbook does: a write that failed late leaves it missing.
bool endsAsZip(const QString &path)
{
    QFile file(path);
    constexpr qint64 kRecord = 22; // the record without a comment, which the library never writes
    if (!file.open(QIODevice::ReadOnly) || file.size() < kRecord || !file.seek(file.size() - kRecord))
        return false;
    return file.read(4) == QByteArray("PK\x05\x06", 4);
}

// The temporary file the workbook is written to, next to the target so that
// the final move is a rename on one file system. Removed unless handed over.
class TemporaryTarget {
public:
    explicit TemporaryTarget(const QString &target)
    {
        const QFileInfo info(target);
        for (int attempt = 0;; ++attempt) {
            // A short name of its own: the target's name plus a suffix could
            // pass the system's limit on name length where the target does not.
            const QString candidate = info.absolutePath() + QStringLiteral("/.export-") +
                                      QString::number(QRandomGenerator::global()->generate(), 36) +
                                      QStringLiteral(".xlsx.tmp");
            QFile file(candidate);
            // NewOnly never reuses a stranger's file; the open also tells
            // with the system's own words why the folder cannot take a file.
            if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
                m_path = candidate;
                return;
            }
            if (!QFile::exists(candidate) || attempt == 16)
                throw AppError(cannotCreate(target, file.errorString()));
        }
    }
    ~TemporaryTarget()
    {
        if (!m_path.isEmpty())
            QFile::remove(m_path);
    }
    TemporaryTarget(const TemporaryTarget &) = delete;
    TemporaryTarget &operator=(const TemporaryTarget &) = delete;

    const QString &path() const { return m_path; }

    // Moves the finished file over the target, replacing it in one step.
    void moveTo(const QString &target)
    {
        std::error_code ec;
        std::filesystem::rename(fsPath(m_path), fsPath(target), ec);
        if (ec)
            throw AppError(cannotCreate(target, QString::fromStdString(ec.message())));
        m_path.clear();
    }

private:
    QString m_path;
};

// Frees a workbook that was never closed, without writing it out.
class OpenWorkbook {
public:
    explicit OpenWorkbook(lxw_workbook *wb) : m_wb(wb) {}
    ~OpenWorkbook()
    {
        if (!m_wb)
            return;
        // The library frees an unclosed workbook but keeps the row spool of a
        // constant-memory sheet open; close it here so that cancelled
        // exports do not leak a descriptor each.
        if (m_sheet && m_sheet->optimize_tmpfile) {
            fclose(m_sheet->optimize_tmpfile);
            m_sheet->optimize_tmpfile = nullptr;
        }
        lxw_workbook_free(m_wb);
    }
    OpenWorkbook(const OpenWorkbook &) = delete;
    OpenWorkbook &operator=(const OpenWorkbook &) = delete;

    lxw_workbook *get() const { return m_wb; }
    lxw_worksheet *addSheet()
    {
        m_sheet = workbook_add_worksheet(m_wb, nullptr);
        return m_sheet;
    }
    // The library does not check its writes to the row spool: a full disk
    // would give a truncated sheet in a workbook reported as written. The
    // spool's error flag tells.
    int spoolError() const
    {
        FILE *spool = m_sheet ? m_sheet->optimize_tmpfile : nullptr;
        if (!spool)
            return 0;
        errno = 0;
        if (fflush(spool) != 0 || ferror(spool))
            return errno ? errno : EIO;
        return 0;
    }
    // workbook_close frees the workbook whatever it answers.
    lxw_error close()
    {
        lxw_workbook *wb = m_wb;
        m_wb = nullptr;
        return workbook_close(wb);
    }

private:
    lxw_workbook *m_wb;
    lxw_worksheet *m_sheet = nullptr;
};

class Writer {
public:
    Writer(lxw_workbook *wb, lxw_worksheet *ws, const QString &path) : m_wb(wb), m_ws(ws), m_path(path) {}

    lxw_format *format(const QString &numberFormat, bool bold)
    {
        lxw_format *&slot = m_formats[{numberFormat, bold}];
        if (!slot) {
            slot = workbook_add_format(m_wb);
            if (bold)
                format_set_bold(slot);
            if (!numberFormat.isEmpty())
                format_set_num_format(slot, numberFormat.toUtf8().constData());
        }
        return slot;
    }

    void check(lxw_error err) const
    {
        if (err != LXW_NO_ERROR)
            throw AppError(cannotCreate(m_path, QString::fromUtf8(lxw_strerror(err))));
    }

    void text(lxw_row_t row, lxw_col_t col, std::string_view text, lxw_format *fmt)
    {
        // The library wants a terminated string; one buffer serves every cell.
        m_buffer.assign(text.data(), text.size() > kMaxCellUnits ? fittingPrefix(text) : text.size());
        check(worksheet_write_string(m_ws, row, col, m_buffer.c_str(), fmt));
    }

    void text(lxw_row_t row, lxw_col_t col, const QString &text, lxw_format *fmt)
    {
        const QByteArray utf8 = text.toUtf8();
        this->text(row, col, std::string_view(utf8.constData(), std::size_t(utf8.size())), fmt);
    }

    void outline(lxw_row_t row, int level)
    {
        if (level <= 0)
            return;
        lxw_row_col_options options{};
        options.level = uint8_t(std::min(level, kMaxOutlineLevel));
        check(worksheet_set_row_opt(m_ws, row, LXW_DEF_ROW_HEIGHT, nullptr, &options));
    }

private:
    lxw_workbook *m_wb;
    lxw_worksheet *m_ws;
    const QString &m_path;
    std::map<std::pair<QString, bool>, lxw_format *> m_formats;
    std::string m_buffer;
};

struct ColumnFormats {
    lxw_format *number = nullptr;
    lxw_format *date = nullptr;
    lxw_format *dateTime = nullptr;
};

} // namespace

void writeWorkbook(const QString &path, const ExportSource &src, const Progress &progress)
{
    const int columns = src.columnCount();
    const int64_t rows = src.rowCount();
    const bool footer = src.hasFooter();
    const int64_t maxRows = int64_t(LXW_ROW_MAX) - 1 - (footer ? 1 : 0);
    if (columns > LXW_COL_MAX)
        throw AppError(QStringLiteral("The grid has %L1 columns; a worksheet holds at most %L2")
                           .arg(columns)
                           .arg(LXW_COL_MAX));
    if (rows > maxRows)
        throw AppError(
            QStringLiteral("The grid has %L1 rows; a worksheet holds at most %L2").arg(rows).arg(maxRows));

    const QFileInfo target(path);
    if (target.isDir())
        throw AppError(cannotCreate(path, systemText(EISDIR)));
    if (target.exists()) {
        // A file kept open by another program or marked read-only fails here,
        // before the rows are spent on it.
        QFile existing(path);
        if (!existing.open(QIODevice::WriteOnly | QIODevice::Append))
            throw AppError(cannotCreate(path, existing.errorString()));
    }
    TemporaryTarget temporary(path);

    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = nullptr;
    // The sheet's XML grows by roughly a hundred bytes a cell; past a few
    // million cells it can exceed what a plain ZIP entry may hold.
    options.use_zip64 = rows * std::max(columns, 1) > 4'000'000 ? LXW_TRUE : LXW_FALSE;
    // libxlsxwriter opens files by narrow name; only the folder part of the
    // temporary name comes from the operator.
    const QByteArray temporaryName = QFile::encodeName(temporary.path());
    errno = 0;
    OpenWorkbook wb(workbook_new_opt(temporaryName.constData(), &options));
    if (!wb.get())
        throw AppError(cannotCreate(path, systemText(errno ? errno : ENOMEM)));
    lxw_worksheet *ws = wb.addSheet();
    if (!ws)
        throw AppError(cannotCreate(path, systemText(errno ? errno : ENOMEM)));

    Writer out(wb.get(), ws, path);
    lxw_format *bold = out.format(QString(), true);
    std::vector<ColumnFormats> formats(std::size_t(std::max(columns, 0)));
    for (int c = 0; c < columns; ++c) {
        const ColumnSpec col = src.column(c);
        const bool isDate = col.kind == CellKind::Date || col.kind == CellKind::DateTime;
        const QString own = col.numberFormat;
        ColumnFormats &f = formats[std::size_t(c)];
        f.number = own.isEmpty() ? nullptr : out.format(own, false);
        f.date = out.format(isDate && !own.isEmpty() ? own : QStringLiteral("dd.mm.yyyy"), false);
        f.dateTime = out.format(isDate && !own.isEmpty() ? own : QStringLiteral("dd.mm.yyyy hh:mm:ss"), false);
        // Excel's column width counts characters of the default font, about
        // seven pixels each plus five pixels of padding.
        const double width = std::max(1.0, (col.widthPx - 5) / 7.0);
        out.check(worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), width, nullptr));
        out.text(0, lxw_col_t(c), col.caption, bold);
    }
    worksheet_freeze_panes(ws, 1, 0);
    if (columns > 0)
        out.check(worksheet_autofilter(ws, 0, 0, lxw_row_t(rows), lxw_col_t(columns - 1)));

    auto cancelled = [&](int64_t done) { return progress && !progress(done, rows); };
    bool grouped = false;
    int dataLevel = 0; // outline level of the rows under the latest group row
    QString caption;
    for (int64_t r = 0; r < rows; ++r) {
        const auto row = lxw_row_t(r + 1);
        int level = 0;
        if (src.isGroupRow(r, &caption, &level)) {
            grouped = true;
            level = std::clamp(level, 0, kMaxOutlineLevel - 1);
            out.outline(row, level);
            out.text(row, 0, caption, bold);
            dataLevel = level + 1;
        } else {
            out.outline(row, dataLevel);
            for (int c = 0; c < columns; ++c) {
                const Cell cell = src.cell(r, c);
                const auto col = lxw_col_t(c);
                const ColumnFormats &f = formats[std::size_t(c)];
                switch (cell.kind) {
                case CellKind::Empty: break;
                case CellKind::Text: out.text(row, col, cell.text, nullptr); break;
                case CellKind::Boolean: out.check(worksheet_write_boolean(ws, row, col, cell.boolean, nullptr)); break;
                // A NaN or infinity has no spreadsheet form; the cell stays empty.
                case CellKind::Number:
                    if (std::isfinite(cell.number))
                        out.check(worksheet_write_number(ws, row, col, cell.number, f.number));
                    break;
                case CellKind::Date:
                    if (std::isfinite(cell.number))
                        out.check(worksheet_write_number(ws, row, col, cell.number, f.date));
                    break;
                case CellKind::DateTime:
                    if (std::isfinite(cell.number))
                        out.check(worksheet_write_number(ws, row, col, cell.number, f.dateTime));
                    break;
                }
            }
        }
        if ((r + 1) % kProgressStep == 0 && cancelled(r + 1))
            throw AppError(QStringLiteral("Export cancelled"));
    }
    if (cancelled(rows))
        throw AppError(QStringLiteral("Export cancelled"));
    // Group rows stand above their rows, so the outline buttons go there too.
    if (grouped)
        worksheet_outline_settings(ws, LXW_TRUE, LXW_FALSE, LXW_FALSE, LXW_FALSE);

    if (footer) {
        const auto row = lxw_row_t(rows + 1);
        char range[64];
        for (int c = 0; c < columns; ++c) {
            const std::optional<double> value = src.footerValue(c);
            if (!value || !std::isfinite(*value))
                continue;
            lxw_format *fmt = out.format(src.footerFormat(c), true);
            const auto col = lxw_col_t(c);
            if (rows == 0) {
                // No rows to sum over; a formula would reach up into the header.
                out.check(worksheet_write_number(ws, row, col, *value, fmt));
                continue;
            }
            lxw_rowcol_to_range(range, 1, col, lxw_row_t(rows), col);
            const std::string formula = std::string("=SUM(") + range + ')';
            // The computed sum rides along, so viewers that do not recalculate show it too.
            out.check(worksheet_write_formula_num(ws, row, col, formula.c_str(), fmt, *value));
        }
    }

    if (const int error = wb.spoolError())
        throw AppError(cannotCreate(path, systemText(error)));
    errno = 0;
    const lxw_error closed = wb.close();
    if (closed != LXW_NO_ERROR) {
        const int error = errno;
        throw AppError(cannotCreate(path, closed == LXW_ERROR_CREATING_XLSX_FILE && error
                                              ? systemText(error)
                                              : QString::fromUtf8(lxw_strerror(closed))));
    }
    if (!endsAsZip(temporary.path()))
        throw AppError(cannotCreate(path, systemText(EIO)));
    temporary.moveTo(path);
}

} // namespace xlsx
