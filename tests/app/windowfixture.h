// Helpers for tests that construct the main window.
//
//   WindowFixture f;                      // in init(): fresh folders, seam installed
//   f.writeIni(WindowFixture::kIni);      // pac.ini in the application folder
//   f.seam.answers = {true};              // answers to the questions, in order
//   auto w = f.makeWindow();              // runs the start-up sequence
//   QCOMPARE(f.seam.asked, ...);          // "title|text" of every question
//
// The application folder and the simulator's device folder are temporary
// folders of the test, so tests can run side by side.
#pragma once

#include "../receivebuffer.h"
#include "appfolder.h"
#include "dialogseam.h"
#include "mainwindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class ScriptedSeam : public DialogSeam
{
public:
    bool ask(QWidget *, const QString &title, const QString &text) override
    {
        asked << title + QLatin1Char('|') + text;
        return answers.isEmpty() ? false : answers.takeFirst();
    }
    QString openFileName(QWidget *, const QString &caption, const QString &dir, const QString &filter) override
    {
        return answerFile(caption, dir, filter);
    }
    QStringList openFileNames(QWidget *, const QString &caption, const QString &dir, const QString &filter) override
    {
        fileDialogs << caption + QLatin1Char('|') + dir + QLatin1Char('|') + filter;
        return fileListAnswers.isEmpty() ? QStringList() : fileListAnswers.takeFirst();
    }
    QString saveFileName(QWidget *, const QString &caption, const QString &dir, const QString &filter) override
    {
        return answerFile(caption, dir, filter);
    }
    QString existingDirectory(QWidget *, const QString &caption, const QString &dir) override
    {
        return answerFile(caption, dir, QString());
    }
    void terminate(int code) override { terminations << code; }
    void inform(QWidget *, const QString &title, const QString &text) override
    {
        informed << title + QLatin1Char('|') + text;
    }
    // Viewers are never started in tests: the calls are recorded.
    bool startViewer(const QString &fileName) override
    {
        viewerCommands << QStringLiteral("start|") + fileName;
        return true;
    }
    void closeViewers() override { viewerCommands << QStringLiteral("close"); }

    QList<bool> answers;           // Yes/No answers in order; No once they run out
    QStringList asked;
    QString fileAnswer;            // what every file dialog returns (empty: cancelled)
    QList<QStringList> fileListAnswers;   // what each multi-file dialog returns, in order; then cancelled
    QStringList fileDialogs;       // "caption|start folder|filter"
    QList<int> terminations;
    QStringList informed;          // "title|text" of every information box
    QStringList viewerCommands;    // "start|<file>" or "close"

private:
    QString answerFile(const QString &caption, const QString &dir, const QString &filter)
    {
        fileDialogs << caption + QLatin1Char('|') + dir + QLatin1Char('|') + filter;
        return fileAnswer;
    }
};

class WindowFixture
{
public:
    static constexpr const char *kIni =
        "[Application.LoadFiles]\n"
        "PELRA_FIRMWARE_SLOT=2\n"
        "MASTERCONFIG=\n"
        "GIGE_TIMEOUT=200\n"
        "DCF=\n"
        "ACQUIRECONFIG=\n"
        "MANUALREG_TAMBRIL=\n"
        "MANUALREG_OSTERA=\n"
        "DATAPATH=data/\n"
        "LOADFILE\\size=0\n";

    WindowFixture() : startFolder(QDir::currentPath())
    {
        QCoreApplication::setApplicationVersion(QStringLiteral("5.2"));
        // Closing the window in a test must not end the test's event loops.
        QGuiApplication::setQuitOnLastWindowClosed(false);
        SetApplicationFolderForTesting(appDir.path());
        qputenv("PELRA_SIM_DIR", simDir.path().toLocal8Bit());
        DialogSeam::install(&seam);
    }
    ~WindowFixture()
    {
        window.reset();
        DialogSeam::install(nullptr);
        SetApplicationFolderForTesting(QString());
        QDir::setCurrent(startFolder);
    }

    bool writeIni(const QByteArray &content)
    {
        QFile file(iniPath());
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }
    QString iniPath() const { return appDir.filePath(QStringLiteral("pac.ini")); }
    QByteArray iniContent() const
    {
        QFile file(iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    MainWindow *makeWindow()
    {
        window = std::make_unique<MainWindow>();
        return window.get();
    }

    template <class T>
    T *widget(const char *name) const { return window->findChild<T *>(QLatin1String(name)); }

    QStringList panelLines() const { return widget<QPlainTextEdit>("txtLog")->toPlainText().split(QLatin1Char('\n')); }
    bool panelHasLineEndingWith(const QString &text) const
    {
        for (const QString &line : panelLines())
            if (line.endsWith(QStringLiteral(":  ") + text))
                return true;
        return false;
    }
    // The log file the window opened, as an absolute path.
    QString logFilePath() const
    {
        return QDir(appDir.path()).absoluteFilePath(widget<QLineEdit>("txtLogFile")->text());
    }
    QByteArray logFileContent() const
    {
        QFile file(logFilePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir appDir;
    QTemporaryDir simDir;
    ScriptedSeam seam;
    std::unique_ptr<MainWindow> window;

private:
    QString startFolder;
};
