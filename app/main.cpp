#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    qputenv("QT_AUTO_SCREEN_SCALE_FACTOR", "1");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Dovrane Scientific"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PAC_VERSION));
    MainWindow window;
    window.show();
    return app.exec();
}
