// Start-up of the desktop program: Qt's own texts in Russian, the settings of
// Qt's dialogs kept for this run only, the main window, then the About and
// Help dialogs (hidden until their commands show them), then the event loop
// until the main window is closed.
#include "ui/AppShell.h"
#include "ui/FMHELP.h"
#include "ui/fmAbout.h"
#include "ui/fmSearch.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setWindowIcon(verblinka::ProgramIcon());
    verblinka::UseRussian(application);
    const verblinka::TRunOnlySettings settings;

    verblinka::TfrmMain frmMain;
    verblinka::TfrmAbout frmAbout(&frmMain, frmMain.ProgramTitle());
    verblinka::TfrmHelp frmHelp(&frmMain);
    frmMain.AttachDialogs(frmAbout, frmHelp);

    frmMain.show();
    return QApplication::exec();
}
