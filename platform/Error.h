#pragma once
#include <QByteArray>
#include <QString>
#include <exception>

// The one exception type of the program. Handlers never catch it; the
// application's error box shows its message.
class AppError : public std::exception {
public:
    explicit AppError(QString message, QByteArray sqlState = {})
        : m_message(std::move(message)), m_sqlState(std::move(sqlState)), m_utf8(m_message.toUtf8()) {}
    const QString &message() const noexcept { return m_message; }
    // Five-character SQLSTATE for errors reported by the server, empty otherwise.
    const QByteArray &sqlState() const noexcept { return m_sqlState; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_sqlState;
    QByteArray m_utf8;
};
