// Showing a tab refreshes what it shows from the card and the window's state.
#include "mainwindow.h"

void MainWindow::on_tabWidget_currentChanged(int index)
{
    switch (index) {
    case 1:
        ReadPowerSettings(true);
        break;
    case 2:
        RefreshAcquisitionTab();
        break;
    case 4:
        GetTelemetryConfig();
        break;
    default:
        break;
    }
}
