// The fetch floor: a bare libpq program that runs the report statement in
// single-row mode and keeps every value typed, column by column (doubles,
// day numbers, booleans, strings in one buffer per column), which is the
// least any client that keeps the rows must do. No Qt.
//
//   bench_floor_libpq [--binary] STATEMENT_FILE FROM TO
//   bench_floor_libpq --signin
//
// --binary asks the server for binary values (numeric as base-10000 digits,
// dates as day numbers), which spares both sides the text conversions.
// The statement file holds the report with $1 and $2 for the two dates; the
// server comes from WPELVARO_BENCH_HOST/PORT/PASSWORD/DB. Prints
// "rows=<n> ms=<fetch time> hwm_kb=<peak resident> check=<sum of numbers>".
// With --signin it runs the five statements of a sign-in (registry lookup,
// operator, application, grant, company) over one connection per database
// and prints "ms=<time> connects=2".
#include <libpq-fe.h>

#include <charconv>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

enum : Oid { kBool = 16, kNumeric = 1700, kFloat8 = 701, kFloat4 = 700, kInt4 = 23, kInt2 = 21, kDate = 1082 };

enum class Kind { Number, Integer, Boolean, Date, Text };

struct Column {
    Kind kind = Kind::Text;
    std::vector<uint8_t> null;
    std::vector<double> num;
    std::vector<int32_t> i32;
    std::vector<uint8_t> flag;
    std::vector<uint32_t> end; // end of each row's text in the arena
    std::string arena;
};

// Days since 1970-01-01 of a yyyy-mm-dd text (Howard Hinnant's days_from_civil).
int32_t dayNumber(const char *s)
{
    int y = (s[0] - '0') * 1000 + (s[1] - '0') * 100 + (s[2] - '0') * 10 + (s[3] - '0');
    const unsigned m = unsigned((s[5] - '0') * 10 + (s[6] - '0'));
    const unsigned d = unsigned((s[8] - '0') * 10 + (s[9] - '0'));
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return int32_t(era * 146097 + int(doe) - 719468);
}

long peakKb()
{
    FILE *f = std::fopen("/proc/self/status", "r");
    char line[256];
    long kb = -1;
    while (f && std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            kb = std::atol(line + 6);
    if (f)
        std::fclose(f);
    return kb;
}

std::string env(const char *name, const char *fallback)
{
    const char *v = std::getenv(name);
    return v && *v ? v : fallback;
}

uint16_t be16(const char *p) { return uint16_t((uint8_t(p[0]) << 8) | uint8_t(p[1])); }
int32_t be32(const char *p) { return int32_t((uint32_t(uint8_t(p[0])) << 24) | (uint32_t(uint8_t(p[1])) << 16) | (uint32_t(uint8_t(p[2])) << 8) | uint8_t(p[3])); }

// A numeric in the binary form (ndigits, weight, sign, dscale, base-10000
// digits) as the nearest double: an integer mantissa divided by a power of ten,
// both exact, gives the same correctly rounded value as parsing the text.
double numericValue(const char *p, int len)
{
    const int ndigits = int16_t(be16(p)), weight = int16_t(be16(p + 2));
    const uint16_t sign = be16(p + 4);
    if (sign == 0xC000)
        return std::nan("");
    int64_t mantissa = 0;
    for (int i = 0; i < ndigits && 8 + 2 * i + 1 < len; ++i)
        mantissa = mantissa * 10000 + be16(p + 8 + 2 * i);
    static const double kPow10[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const int exp10 = 4 * (weight - ndigits + 1);
    double v = double(mantissa);
    if (exp10 < 0)
        v = -exp10 <= 22 ? v / kPow10[-exp10] : v / std::pow(10.0, -exp10);
    else if (exp10 > 0)
        v = exp10 <= 22 ? v * kPow10[exp10] : v * std::pow(10.0, exp10);
    return sign == 0x4000 ? -v : v;
}

PGconn *connect(const char *db, const char *sslmode)
{
    const std::string host = env("WPELVARO_BENCH_HOST", "127.0.0.1"), port = env("WPELVARO_BENCH_PORT", "55434"),
                      pw = env("WPELVARO_BENCH_PASSWORD", "");
    const char *keys[] = {"host", "port", "dbname", "user", "password", "sslmode", "connect_timeout", nullptr};
    const char *vals[] = {host.c_str(), port.c_str(), db, "kav", pw.c_str(), sslmode, "15", nullptr};
    PGconn *c = PQconnectdbParams(keys, vals, 0);
    if (PQstatus(c) != CONNECTION_OK) {
        std::fprintf(stderr, "%s", PQerrorMessage(c));
        std::exit(1);
    }
    return c;
}

// One statement with bound parameters; exits unless it returns one row.
void one(PGconn *c, const char *sql, std::vector<const char *> params)
{
    PGresult *r = PQexecParams(c, sql, int(params.size()), nullptr, params.data(), nullptr, nullptr, 0);
    if (PQresultStatus(r) != PGRES_TUPLES_OK || PQntuples(r) != 1) {
        std::fprintf(stderr, "%s: %s", sql, PQresultErrorMessage(r));
        std::exit(1);
    }
    PQclear(r);
}

int signin()
{
    const auto t0 = std::chrono::steady_clock::now();
    PGconn *registry = connect("kav_mob", "require");
    one(registry, "select * from m_firma where nume_firma = $1", {"Bench Company"});
    PGconn *company = connect(env("WPELVARO_BENCH_DB", "bench_company").c_str(), "prefer");
    // sha256("bench"), the form the registry's hash type asks for
    one(company, "select * from emitent where emitent = $1 and operator_parola = $2",
        {"operator", "1b32c28cb38c05480eccc1bd60ff97029b57a05c96718b96dad7e9d84894f549"});
    one(company, "select * from aplicatie_mob where lower(aplicatie_mob) = lower($1) and activ", {"wpelvaro"});
    one(company, "select * from aplicatie_mob_emitent where emitent = $1 and lower(aplicatie_mob) = lower($2)",
        {"operator", "wpelvaro"});
    one(company, "select * from eu", {});
    PQfinish(company);
    PQfinish(registry);
    std::printf("ms=%.1f connects=2\n", std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--signin") == 0)
        return signin();
    const bool binary = argc > 1 && std::strcmp(argv[1], "--binary") == 0;
    if (binary) {
        --argc;
        ++argv;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s [--binary] STATEMENT_FILE FROM TO\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1]);
    std::stringstream sql;
    sql << in.rdbuf();
    const std::string statement = sql.str();

    const auto t0 = std::chrono::steady_clock::now();
    const std::string host = env("WPELVARO_BENCH_HOST", "127.0.0.1"), port = env("WPELVARO_BENCH_PORT", "55434"),
                      db = env("WPELVARO_BENCH_DB", "bench_company"), pw = env("WPELVARO_BENCH_PASSWORD", "");
    const char *keys[] = {"host", "port", "dbname", "user", "password", "sslmode", nullptr};
    const char *vals[] = {host.c_str(), port.c_str(), db.c_str(), "kav", pw.c_str(), "prefer", nullptr};
    PGconn *c = PQconnectdbParams(keys, vals, 0);
    if (PQstatus(c) != CONNECTION_OK) {
        std::fprintf(stderr, "%s", PQerrorMessage(c));
        return 1;
    }
    const char *params[] = {argv[2], argv[3]};
    if (!PQsendQueryParams(c, statement.c_str(), 2, nullptr, params, nullptr, nullptr, binary ? 1 : 0) || !PQsetSingleRowMode(c)) {
        std::fprintf(stderr, "%s", PQerrorMessage(c));
        return 1;
    }

    std::vector<Column> cols;
    size_t rows = 0;
    while (PGresult *r = PQgetResult(c)) {
        const ExecStatusType st = PQresultStatus(r);
        if (st != PGRES_SINGLE_TUPLE && st != PGRES_TUPLES_OK) {
            std::fprintf(stderr, "%s", PQresultErrorMessage(r));
            return 1;
        }
        const int nf = PQnfields(r);
        if (cols.empty()) {
            cols.resize(size_t(nf));
            for (int k = 0; k < nf; ++k) {
                const Oid t = PQftype(r, k);
                if (binary && (t == kFloat8 || t == kFloat4)) {
                    std::fprintf(stderr, "binary floats are not decoded here\n");
                    return 1;
                }
                cols[size_t(k)].kind = t == kNumeric || t == kFloat8 || t == kFloat4 ? Kind::Number
                                       : t == kInt4 || t == kInt2                     ? Kind::Integer
                                       : t == kBool                                   ? Kind::Boolean
                                       : t == kDate                                   ? Kind::Date
                                                                                      : Kind::Text;
            }
        }
        const int n = PQntuples(r);
        for (int t = 0; t < n; ++t, ++rows) {
            for (int k = 0; k < nf; ++k) {
                Column &col = cols[size_t(k)];
                const bool null = PQgetisnull(r, t, k);
                const char *v = PQgetvalue(r, t, k);
                const int len = PQgetlength(r, t, k);
                col.null.push_back(null);
                switch (col.kind) {
                case Kind::Number: {
                    double d = 0;
                    if (!null && binary)
                        d = numericValue(v, len);
                    else if (!null)
                        std::from_chars(v, v + len, d);
                    col.num.push_back(d);
                    break;
                }
                case Kind::Integer: {
                    int32_t i = 0;
                    if (!null && binary)
                        i = len == 2 ? int16_t(be16(v)) : be32(v);
                    else if (!null)
                        std::from_chars(v, v + len, i);
                    col.i32.push_back(i);
                    break;
                }
                case Kind::Boolean: col.flag.push_back(!null && (binary ? v[0] == 1 : v[0] == 't')); break;
                case Kind::Date:
                    // binary: days since 2000-01-01, which is day 10957 of 1970
                    col.i32.push_back(null ? 0 : binary ? be32(v) + 10957 : len < 10 ? 0 : dayNumber(v));
                    break;
                case Kind::Text:
                    col.arena.append(v, size_t(len));
                    col.end.push_back(uint32_t(col.arena.size()));
                    break;
                }
            }
        }
        PQclear(r);
    }
    const auto t1 = std::chrono::steady_clock::now();
    PQfinish(c);

    // Every number summed, so the run can be checked against the program's.
    double check = 0;
    for (const Column &col : cols)
        for (size_t i = 0; i < col.num.size(); ++i)
            if (!col.null[i])
                check += col.num[i];
    std::printf("rows=%zu ms=%.1f hwm_kb=%ld check=%.3f\n", rows,
                std::chrono::duration<double, std::milli>(t1 - t0).count(), peakKb(), check);
    return 0;
}
