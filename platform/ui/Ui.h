#pragma once
#include <QDate>
#include <QFont>
#include <QString>
#include <functional>

class QWidget;

// The program's one seam to the outside world: message boxes, the save
// dialog, the desktop's open action, today's date, the short date format and
// the known folders. The program uses Qt's; tests install a recorder.
namespace ui {

struct Seam {
    std::function<void(const QString &caption, const QString &text)> errorBox;
    std::function<void(const QString &text)> infoBox;               // plain OK box, centred
    std::function<bool(const QString &text)> confirm;               // OK / Cancel; true on OK
    std::function<QString(const QString &filter, const QString &proposedPath)> saveDialog; // empty on cancel
    std::function<void(const QString &path)> openOnDesktop;
    std::function<QDate()> today;
    std::function<QString(const QDate &)> shortDateText;
    std::function<QString()> commonAppDataFolder; // no trailing separator; empty when unknown
};

// The seam in force. setSeam replaces only the members that are set.
const Seam &seam();
void setSeam(const Seam &s);
void resetSeam(); // back to the real desktop

// The application name: the executable's file name cut before the first "."
// with every character after the first lower-cased.
QString applicationNameFromPath(const QString &executablePath);
QString applicationName();
void setApplicationName(const QString &name);

// Error box text: a final "." is added when the message's last character's
// code is above that of ".".
QString errorBoxText(const QString &message);
void showError(const QString &message);
void showInfo(const QString &text);
bool confirm(const QString &text);

// Runs a user-event handler; an exception ends in the error box and goes no further.
void guard(const std::function<void()> &handler);

// Connects a Qt signal to a handler through guard().
template <typename Sender, typename Signal, typename Handler>
void on(Sender *sender, Signal signal, QObject *context, Handler handler)
{
    QObject::connect(sender, signal, context, [handler](auto &&...) { guard(handler); });
}

// A font of the windows' design with metric-compatible fallbacks, so the
// pixel layouts hold on desktops without the Windows fonts.
QFont designFont(const QString &family, int pointSize, bool bold = false);

// Wait cursor for the lifetime of the object.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

} // namespace ui
