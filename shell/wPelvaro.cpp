#include "Program.h"
#include "u_fMenuPelvaro.h"
#include "platform/pg/Connection.h"
#include "platform/ui/Ui.h"
#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString name = ui::applicationNameFromPath(QCoreApplication::applicationFilePath());
    ui::setApplicationName(name);
    QCoreApplication::setApplicationName(name);
    pg::Connection::setApplicationName(name);

    createProgramObjects();
    fMenuPelvaro->setAttribute(Qt::WA_DeleteOnClose); // closing it ends the program and frees everything
    fMenuPelvaro->show();
    return app.exec();
}
