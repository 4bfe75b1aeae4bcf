#include "Ui.h"
#include "platform/Error.h"
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>

namespace ui {

namespace {

QString g_appName = QStringLiteral("wpelvaro");

QWidget *dialogParent()
{
    if (QWidget *w = QApplication::activeModalWidget()) return w;
    return QApplication::activeWindow();
}

void centre(QMessageBox &box)
{
    box.adjustSize();
    if (QScreen *s = QGuiApplication::primaryScreen())
        box.move(s->availableGeometry().center() - box.rect().center());
}

QString defaultCommonAppData()
{
#ifdef Q_OS_WIN
    return QDir::toNativeSeparators(QDir::cleanPath(qEnvironmentVariable("ProgramData")));
#else
    // Linux has no all-users folder an operator may write to; the documents
    // folder is writable and easy to find again in any file manager.
    QString dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (dir.isEmpty())
        dir = QDir::homePath();
    if (dir.isEmpty() || !QDir().mkpath(dir))
        return QString();
    return QDir::cleanPath(dir);
#endif
}

Seam realSeam()
{
    Seam s;
    s.errorBox = [](const QString &caption, const QString &text) {
        QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, dialogParent());
        box.exec();
    };
    s.infoBox = [](const QString &text) {
        QMessageBox box(QMessageBox::NoIcon, applicationName(), text, QMessageBox::Ok, dialogParent());
        centre(box);
        box.exec();
    };
    s.confirm = [](const QString &text) {
        QMessageBox box(QMessageBox::Question, applicationName(), text, QMessageBox::Ok | QMessageBox::Cancel, dialogParent());
        box.setDefaultButton(QMessageBox::Ok);
        return box.exec() == QMessageBox::Ok;
    };
    s.saveDialog = [](const QString &filter, const QString &proposed) {
        const QFileInfo fi(proposed);
        QFileDialog dlg(dialogParent(), QString(), fi.absolutePath(), filter);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setOption(QFileDialog::DontConfirmOverwrite, true); // replaced without a question
        dlg.selectFile(fi.fileName());
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return QString();
        return dlg.selectedFiles().constFirst();
    };
    s.openOnDesktop = [](const QString &path) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    };
    s.today = [] { return QDate::currentDate(); };
    s.shortDateText = [](const QDate &d) { return QLocale().toString(d, QLocale::ShortFormat); };
    s.commonAppDataFolder = [] { return defaultCommonAppData(); };
    return s;
}

Seam &current()
{
    static Seam s = realSeam();
    return s;
}

int g_waitDepth = 0;

} // namespace

const Seam &seam() { return current(); }

void setSeam(const Seam &s)
{
    Seam &c = current();
    if (s.errorBox) c.errorBox = s.errorBox;
    if (s.infoBox) c.infoBox = s.infoBox;
    if (s.confirm) c.confirm = s.confirm;
    if (s.saveDialog) c.saveDialog = s.saveDialog;
    if (s.openOnDesktop) c.openOnDesktop = s.openOnDesktop;
    if (s.today) c.today = s.today;
    if (s.shortDateText) c.shortDateText = s.shortDateText;
    if (s.commonAppDataFolder) c.commonAppDataFolder = s.commonAppDataFolder;
}

void resetSeam() { current() = realSeam(); }

QString applicationNameFromPath(const QString &executablePath)
{
    QString name = QFileInfo(executablePath).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString applicationName() { return g_appName; }
void setApplicationName(const QString &name) { g_appName = name; }

QString errorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back().unicode() > QChar(QLatin1Char('.')).unicode())
        return message + QLatin1Char('.');
    return message;
}

void showError(const QString &message) { current().errorBox(applicationName(), errorBoxText(message)); }
void showInfo(const QString &text) { current().infoBox(text); }
bool confirm(const QString &text) { return current().confirm(text); }

void guard(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const AppError &e) {
        showError(e.message());
    } catch (const std::exception &e) {
        showError(QString::fromUtf8(e.what()));
    }
}

QFont designFont(const QString &family, int pointSize, bool bold)
{
    QFont f;
    f.setFamilies({family, QStringLiteral("Nimbus Sans"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
    f.setPointSize(pointSize);
    f.setBold(bold);
    return f;
}

WaitCursor::WaitCursor()
{
    if (g_waitDepth++ == 0 && qobject_cast<QApplication *>(QCoreApplication::instance()))
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor()
{
    if (--g_waitDepth == 0 && qobject_cast<QApplication *>(QCoreApplication::instance()))
        QApplication::restoreOverrideCursor();
}

} // namespace ui
