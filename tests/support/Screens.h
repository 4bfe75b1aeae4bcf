#pragma once
#include <QDate>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// The program's objects, created as the program creates them, with the
// outside world replaced by a recorder. For screen tests.
namespace screensfixture {

struct Recorder {
    QStringList errors;     // error box texts as shown
    QStringList infos;      // information box texts
    QStringList opened;     // paths handed to the desktop
    QStringList confirms;   // questions asked
    bool confirmAnswer = true;
    QString saveAnswer;     // what the save dialog returns ("" = cancel)
    QString savedFilter, savedProposal;
    QDate today{2025, 4, 17};
    QString folder = QStringLiteral("/tmp");
    QString dateFormat = QStringLiteral("dd.MM.yyyy");
    void clear() { errors.clear(); infos.clear(); opened.clear(); confirms.clear(); }
};

Recorder &recorder();
// Creates the six objects once (menu, login, data module, the three screens).
void createProgram();
// Points the company connection at a test database, as a sign-in would.
void useCompany(const QString &database);
// Reads a workbook back with an independent reader (openpyxl).
QJsonObject readWorkbook(const QString &path);

} // namespace screensfixture
