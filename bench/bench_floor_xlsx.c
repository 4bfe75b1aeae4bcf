/* The export floor: a bare libxlsxwriter program that writes the report's 20
 * shown columns, in constant-memory mode, with the same cells the program
 * writes: a bold frozen header with an autofilter, dates with a date format,
 * text, numbers, booleans, and a bold footer of SUM formulas carrying their
 * values. The rows are fetched first (libpq, kept typed in plain arrays);
 * only the writing is timed.
 *
 *   bench_floor_xlsx STATEMENT_FILE FROM TO OUTPUT.xlsx
 *
 * Prints "rows=<n> ms=<write time> hwm_kb=<peak> write_extra_kb=<peak added by the writing>".
 */
#include <libpq-fe.h>
#include <xlsxwriter.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum { NCOLS = 20, NDATA = 29 };
/* result column of each shown column: the line, then the nine line totals */
static const int kSource[NCOLS] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 20, 21, 22, 23, 24, 25, 26, 27, 28};
static const char *kCaption[NCOLS] = {
    "data_doc", "tip_doc", "nr_doc", "partener", "cod_cci", "tara", "articol", "um", "cant", "da_nu_stocabil",
    "este_definit", "total_art_kg_ambalaj_primar_total_hartie", "total_art_kg_ambalaj_primar_total_plastic_pet",
    "total_art_kg_ambalaj_primar_total_plastic_altele", "total_art_kg_ambalaj_primar_total_sticla",
    "total_art_kg_ambalaj_primar_total_metal", "total_art_kg_ambalaj_primar_total_aluminiu",
    "total_art_kg_ambalaj_primar_total_lemn", "total_art_kg_ambalaj_secundar_total_sticla",
    "total_art_kg_ambalaj_secundar_reutilizabil_lemn"};
static const int kWidth[NCOLS] = {73, 57, 95, 171, 89, 32, 163, 44, 43, 100, 82, 250, 278, 291, 250, 250, 264, 250, 270, 300};
enum Kind { DATE, TEXT, NUMBER, BOOLEAN };
static const enum Kind kKind[NCOLS] = {DATE, TEXT, TEXT, TEXT, TEXT, TEXT, TEXT, TEXT, NUMBER, BOOLEAN, BOOLEAN,
                                       NUMBER, NUMBER, NUMBER, NUMBER, NUMBER, NUMBER, NUMBER, NUMBER, NUMBER};

struct Column {
    unsigned char *null;
    double *num;       /* numbers; dates as spreadsheet serial days; booleans 0/1 */
    size_t *off;       /* text: offset of a terminated string in the arena */
    char *arena;
    size_t arenaLen, arenaCap;
};

static void *grow(void *p, size_t n, size_t size)
{
    void *q = realloc(p, n * size);
    if (!q) {
        fputs("out of memory\n", stderr);
        exit(1);
    }
    return q;
}

static double now_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

static long status_kb(const char *key)
{
    FILE *f = fopen("/proc/self/status", "r");
    char line[256];
    long kb = -1;
    size_t n = strlen(key);
    while (f && fgets(line, sizeof line, f))
        if (strncmp(line, key, n) == 0)
            kb = atol(line + n);
    if (f)
        fclose(f);
    return kb;
}

/* Starts a new peak-resident measurement from the current size. */
static void reset_peak(void)
{
    FILE *f = fopen("/proc/self/clear_refs", "w");
    if (f) {
        fputs("5", f);
        fclose(f);
    }
}

/* Days since 1970-01-01 of yyyy-mm-dd. */
static long day_number(const char *s)
{
    long y = atol(s);
    unsigned m = (unsigned)((s[5] - '0') * 10 + (s[6] - '0')), d = (unsigned)((s[8] - '0') * 10 + (s[9] - '0'));
    y -= m <= 2;
    long era = (y >= 0 ? y : y - 399) / 400;
    unsigned yoe = (unsigned)(y - era * 400);
    unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (long)doe - 719468;
}

static const char *env(const char *name, const char *fallback)
{
    const char *v = getenv(name);
    return v && *v ? v : fallback;
}

int main(int argc, char **argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: %s STATEMENT_FILE FROM TO OUTPUT.xlsx\n", argv[0]);
        return 2;
    }
    FILE *sf = fopen(argv[1], "rb");
    if (!sf) {
        perror(argv[1]);
        return 1;
    }
    char statement[16384];
    size_t sl = fread(statement, 1, sizeof statement - 1, sf);
    statement[sl] = 0;
    fclose(sf);

    const char *keys[] = {"host", "port", "dbname", "user", "password", "sslmode", NULL};
    const char *vals[] = {env("WPELVARO_BENCH_HOST", "127.0.0.1"), env("WPELVARO_BENCH_PORT", "55434"),
                          env("WPELVARO_BENCH_DB", "bench_company"), "kav", env("WPELVARO_BENCH_PASSWORD", ""), "prefer", NULL};
    PGconn *c = PQconnectdbParams(keys, vals, 0);
    if (PQstatus(c) != CONNECTION_OK) {
        fputs(PQerrorMessage(c), stderr);
        return 1;
    }
    const char *params[] = {argv[2], argv[3]};
    if (!PQsendQueryParams(c, statement, 2, NULL, params, NULL, NULL, 0) || !PQsetSingleRowMode(c)) {
        fputs(PQerrorMessage(c), stderr);
        return 1;
    }
    struct Column cols[NCOLS];
    memset(cols, 0, sizeof cols);
    size_t rows = 0, cap = 0;
    PGresult *r;
    while ((r = PQgetResult(c))) {
        ExecStatusType st = PQresultStatus(r);
        if (st != PGRES_SINGLE_TUPLE && st != PGRES_TUPLES_OK) {
            fputs(PQresultErrorMessage(r), stderr);
            return 1;
        }
        if (PQnfields(r) != NDATA) {
            fprintf(stderr, "expected %d columns\n", NDATA);
            return 1;
        }
        for (int t = 0; t < PQntuples(r); ++t, ++rows) {
            if (rows == cap) {
                cap = cap ? cap * 2 : 4096;
                for (int k = 0; k < NCOLS; ++k) {
                    cols[k].null = grow(cols[k].null, cap, 1);
                    if (kKind[k] == TEXT)
                        cols[k].off = grow(cols[k].off, cap, sizeof(size_t));
                    else
                        cols[k].num = grow(cols[k].num, cap, sizeof(double));
                }
            }
            for (int k = 0; k < NCOLS; ++k) {
                struct Column *col = &cols[k];
                const int src = kSource[k];
                const char *v = PQgetvalue(r, t, src);
                col->null[rows] = (unsigned char)PQgetisnull(r, t, src);
                switch (kKind[k]) {
                case DATE: col->num[rows] = col->null[rows] ? 0 : (double)(day_number(v) + 25569); break;
                case NUMBER: col->num[rows] = col->null[rows] ? 0 : strtod(v, NULL); break;
                case BOOLEAN: col->num[rows] = v[0] == 't'; break;
                case TEXT: {
                    size_t len = (size_t)PQgetlength(r, t, src) + 1;
                    if (col->arenaLen + len > col->arenaCap) {
                        col->arenaCap = (col->arenaCap + len) * 2;
                        col->arena = grow(col->arena, col->arenaCap, 1);
                    }
                    memcpy(col->arena + col->arenaLen, v, len);
                    col->off[rows] = col->arenaLen;
                    col->arenaLen += len;
                    break;
                }
                }
            }
        }
        PQclear(r);
    }
    PQfinish(c);
    double sums[NCOLS] = {0};
    for (int k = 0; k < NCOLS; ++k)
        if (kKind[k] == NUMBER)
            for (size_t i = 0; i < rows; ++i)
                if (!cols[k].null[i])
                    sums[k] += cols[k].num[i];

    reset_peak();
    const long before = status_kb("VmRSS:");
    const double t0 = now_ms();
    lxw_workbook_options options = {0};
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = rows * NCOLS > 4000000 ? LXW_TRUE : LXW_FALSE;
    lxw_workbook *wb = workbook_new_opt(argv[4], &options);
    lxw_worksheet *ws = workbook_add_worksheet(wb, NULL);
    lxw_format *bold = workbook_add_format(wb);
    format_set_bold(bold);
    lxw_format *date = workbook_add_format(wb);
    format_set_num_format(date, "dd.mm.yyyy");
    lxw_format *sum = workbook_add_format(wb);
    format_set_bold(sum);
    format_set_num_format(sum, "#,##0.00");
    for (int k = 0; k < NCOLS; ++k) {
        worksheet_set_column(ws, (lxw_col_t)k, (lxw_col_t)k, (kWidth[k] - 5) / 7.0, NULL);
        worksheet_write_string(ws, 0, (lxw_col_t)k, kCaption[k], bold);
    }
    worksheet_freeze_panes(ws, 1, 0);
    worksheet_autofilter(ws, 0, 0, (lxw_row_t)rows, NCOLS - 1);
    for (size_t i = 0; i < rows; ++i) {
        const lxw_row_t row = (lxw_row_t)(i + 1);
        for (int k = 0; k < NCOLS; ++k) {
            const struct Column *col = &cols[k];
            if (col->null[i])
                continue;
            switch (kKind[k]) {
            case DATE: worksheet_write_number(ws, row, (lxw_col_t)k, col->num[i], date); break;
            case NUMBER: worksheet_write_number(ws, row, (lxw_col_t)k, col->num[i], NULL); break;
            case BOOLEAN: worksheet_write_boolean(ws, row, (lxw_col_t)k, (int)col->num[i], NULL); break;
            case TEXT: worksheet_write_string(ws, row, (lxw_col_t)k, col->arena + col->off[i], NULL); break;
            }
        }
    }
    char range[64], formula[80];
    for (int k = 0; k < NCOLS; ++k) {
        if (kKind[k] != NUMBER || k == 8)
            continue; /* the footer sums the nine line totals */
        lxw_rowcol_to_range(range, 1, (lxw_col_t)k, (lxw_row_t)rows, (lxw_col_t)k);
        snprintf(formula, sizeof formula, "=SUM(%s)", range);
        worksheet_write_formula_num(ws, (lxw_row_t)(rows + 1), (lxw_col_t)k, formula, sum, sums[k]);
    }
    lxw_error err = workbook_close(wb);
    const double t1 = now_ms();
    if (err != LXW_NO_ERROR) {
        fprintf(stderr, "workbook_close: %s\n", lxw_strerror(err));
        return 1;
    }
    printf("rows=%zu ms=%.1f hwm_kb=%ld write_extra_kb=%ld\n", rows, t1 - t0, status_kb("VmHWM:"),
           status_kb("VmHWM:") - before);
    return 0;
}
