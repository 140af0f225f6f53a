#include "dialogseam.h"

#include <QFileDialog>
#include <QMessageBox>

#include <cstdlib>

namespace {

DialogSeam *installedSeam = nullptr;

DialogSeam &DefaultSeam()
{
    static DialogSeam seam;
    return seam;
}

}  // namespace

bool DialogSeam::ask(QWidget *parent, const QString &title, const QString &text)
{
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton)
           == QMessageBox::Yes;
}

QString DialogSeam::openFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, caption, dir, filter, nullptr, QFileDialog::DontUseNativeDialog);
}

QString DialogSeam::saveFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, nullptr, QFileDialog::DontUseNativeDialog);
}

QString DialogSeam::existingDirectory(QWidget *parent, const QString &caption, const QString &dir)
{
    return QFileDialog::getExistingDirectory(
        parent, caption, dir,
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks | QFileDialog::DontUseNativeDialog);
}

void DialogSeam::terminate(int code)
{
    std::exit(code);
}

DialogSeam *DialogSeam::current()
{
    return installedSeam ? installedSeam : &DefaultSeam();
}

void DialogSeam::install(DialogSeam *seam)
{
    installedSeam = seam;
}
