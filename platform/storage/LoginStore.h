#pragma once
#include <QByteArray>
#include <QString>
#include <optional>

// The remembered login: the company and user name of the last sign-in
// attempt, kept between runs in "KavTerel.json" in the dataset storage form
// of JSON (the table definition plus at most one row).
namespace storage {

// One row of the remembered-login table. nullopt is a NULL field, which the
// file leaves out; an empty string is a value and is written.
struct LoginRow {
    std::optional<QString> company;
    std::optional<QString> username;

    bool operator==(const LoginRow &) const = default;
};

// The whole file for a table holding `row`, or no row at all.
QByteArray writeLoginJson(const std::optional<LoginRow> &row);

// The first row of the first table, or nullopt when that table has no rows.
// Throws AppError when the bytes are not a dataset file of this form.
std::optional<LoginRow> readLoginJson(const QByteArray &bytes);

// Replaces the file at `path` in one step, so a failed save never leaves a
// half-written file behind. Throws AppError with the system's reason.
void saveLoginFile(const QString &path, const std::optional<LoginRow> &row);

// Reads the file at `path`. Throws AppError when it cannot be read or is damaged.
std::optional<LoginRow> loadLoginFile(const QString &path);

// "KavTerel.json" in the user's roaming application-data folder, or the bare
// file name when that folder cannot be determined.
QString rememberedLoginPath();

// Anything larger than this is not one of our files; refusing it early keeps a
// stray huge file from eating memory on every showing of the login form.
inline constexpr qint64 kMaxLoginFileSize = 1024 * 1024;

} // namespace storage
