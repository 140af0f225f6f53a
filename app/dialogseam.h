// Everything through which the window waits for the operator or ends the
// process: Yes/No questions, file dialogs and termination. The window takes
// the installed seam when it is constructed; tests install a scripted one
// before that, since the start-up question is asked in the constructor.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

class DialogSeam
{
public:
    virtual ~DialogSeam() = default;

    // Yes/No question without a default button; true for Yes.
    virtual bool ask(QWidget *parent, const QString &title, const QString &text);
    // The toolkit's own (not the desktop's) dialogs; empty text when cancelled.
    virtual QString openFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter);
    // Several files at once; empty when cancelled.
    virtual QStringList openFileNames(QWidget *parent, const QString &caption, const QString &dir,
                                      const QString &filter);
    virtual QString saveFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter);
    virtual QString existingDirectory(QWidget *parent, const QString &caption, const QString &dir);
    // Ends the process at once with the given status.
    virtual void terminate(int code);

    // Acquisition run: an information box with an OK button.
    virtual void inform(QWidget *parent, const QString &title, const QString &text);
    // Starts the image viewer "ds9" on one file, detached and without a shell:
    // the file name is its one argument, blanks and all. False when it could
    // not be started.
    virtual bool startViewer(const QString &fileName);
    // Ends the viewers that this process started, and no others.
    virtual void closeViewers();

    // The seam in use; the toolkit-backed one unless another is installed.
    static DialogSeam *current();
    // Installs a seam owned by the caller; nullptr restores the default.
    static void install(DialogSeam *seam);
};
