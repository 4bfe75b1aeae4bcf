// Fuzz target for the remembered-login reader. The file sits in the user's
// profile and anything may end up there, so the reader must never crash,
// hang or read out of bounds, and what it accepts must survive a save.
//
// The first byte picks the mode:
//   even: the bytes are a file; a file that loads must write back to a file
//         that loads to the same row (the next run sees what this one saw);
//   odd:  the bytes are the two boxes' texts (any UTF-16, NUL and lone
//         surrogates included); the written file must read back exactly.
#include "platform/Error.h"
#include "platform/storage/LoginStore.h"
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

std::optional<QString> textFrom(const uint8_t *&p, const uint8_t *end)
{
    if (p == end)
        return std::nullopt;
    const uint8_t kind = *p++;
    if (kind % 5 == 0)
        return std::nullopt; // a NULL field
    size_t units = size_t(end - p) / 2;
    if (kind % 5 == 1)
        units = std::min<size_t>(units, kind / 5);
    QString s;
    for (size_t i = 0; i < units; ++i, p += 2)
        s += QChar(char16_t(p[0] | (p[1] << 8)));
    return s;
}

void fileMode(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    std::optional<storage::LoginRow> row;
    try {
        row = storage::readLoginJson(bytes);
    } catch (const AppError &e) {
        if (e.message().isEmpty())
            fail("a refusal without a reason");
        return;
    }
    const QByteArray again = storage::writeLoginJson(row);
    try {
        if (storage::readLoginJson(again) != row)
            fail("a loaded row does not survive a save");
    } catch (const AppError &) {
        fail("a file written from a loaded row cannot be read");
    }
}

void rowMode(const uint8_t *data, size_t size)
{
    const uint8_t *p = data, *end = data + size;
    std::optional<storage::LoginRow> row;
    if (p != end && (*p++ & 1)) {
        storage::LoginRow r;
        r.company = textFrom(p, end);
        r.username = textFrom(p, end);
        row = r;
    }
    const QByteArray file = storage::writeLoginJson(row);
    if (file.contains('\0'))
        fail("a raw NUL byte in the written file");
    try {
        if (storage::readLoginJson(file) != row)
            fail("a written row reads back different");
    } catch (const AppError &) {
        fail("a written file cannot be read");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    if (data[0] & 1)
        rowMode(data + 1, size - 1);
    else
        fileMode(data + 1, size - 1);
    return 0;
}
