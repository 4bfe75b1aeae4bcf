#pragma once
#include <QString>
#include <QStringList>
#include <vector>

// The results table of the fault and load tests in docs/reliability.md.
// Each test program owns one section of the document, between
// "<!-- begin NAME -->" and "<!-- end NAME -->". With
// WPELVARO_WRITE_RELIABILITY=1 the program rewrites its section; otherwise it
// checks that the committed section holds the same rows (what was tried, how
// many times, what was lost), so the document cannot drift from the tests.
// The measured column (timings, counts that depend on the machine) is
// written but never compared.
namespace reliability {

struct Row {
    QString what;
    QString tries;
    QString lost;
    QString measured;
};

class Results {
public:
    explicit Results(QString section) : m_section(std::move(section)) {}
    void add(Row row);
    // Adds to the row of `what` (made on first use): tries and losses are
    // summed, a measured note is kept once.
    void tally(const QString &what, int tries, int lostCount, const QString &lostNoun, const QString &measured = {});
    // A row the program could not produce here (a test skipped for want of
    // its environment): the committed row stands.
    void skipped(const QString &what) { m_skipped << what; }
    // Writes or checks; returns what differs, empty when all is well.
    QString finish() const;
    // For the test program's cleanup(): remembers a failed test function.
    void noteTestResult();
    // For cleanupTestCase(): finish(), unless a test failed (its rows would
    // be missing) or there is no test server (nothing was tried).
    QString finishIfAllPassed() const;

    const std::vector<Row> &rows() const { return m_rows; }

    static QString documentPath();
    static bool writing();

private:
    QString m_section;
    std::vector<Row> m_rows;
    struct Count { int tries = 0; int lost = 0; QString noun; QStringList notes; };
    std::vector<Count> m_counts; // parallel to m_rows; tries < 0 for rows added whole
    QStringList m_skipped;
    bool m_failed = false;
};

// "nothing" for zero, else the count and the noun.
QString lost(qsizetype count, const QString &noun);

} // namespace reliability
