// Draws the program's windows in their typical states into PNG files, for a
// look at the layout: the main window empty, loaded and after a search, the
// network view before and after it (and a replay), the Help and About
// dialogs, the plain message box and the error box.
// Usage: verblinka_ui_screens OUTPUT_FOLDER DICTIONARY WORD
#include "UiTestSupport.h"

#include "ui/fmNetwork.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTest>

#include <cstdio>

using namespace verblinka;

namespace {

bool Save(QWidget& widget, const QString& folder, const char* name) {
    QTest::qWait(50); // let the window draw itself
    const QString path = QDir(folder).filePath(QLatin1String(name) + QStringLiteral(".png"));
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", path.toLocal8Bit().constData());
    return saved;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER DICTIONARY WORD\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    bool ok = true;

    test_support::TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    ok &= Save(frm, folder, "main-empty");

    const char* boxName = nullptr;
    test_support::TModalAnswerer answerer([&](QWidget* modal) {
        if (boxName != nullptr) {
            ok &= Save(*modal, folder, boxName);
        }
        modal->close();
    });
    boxName = "message";
    frm.btnProcessClick(); // no word typed
    boxName = "error";
    test_support::LoadThroughOpenCommand(frm, QDir(folder).filePath(QStringLiteral("missing.txt")));
    boxName = nullptr;

    test_support::LoadThroughOpenCommand(frm, QString::fromLocal8Bit(argv[2]));
    ok &= Save(frm, folder, "main-loaded");
    frm.ShowNetworkView(); // before any search: the hint
    ok &= Save(*frm.NetworkView(), folder, "network-empty");
    frm.NetworkView()->hide();
    test_support::Search(frm, QString::fromLocal8Bit(argv[3]));
    ok &= Save(frm, folder, "main-search");
    frm.ShowNetworkView();
    QTest::qWait(200);
    ok &= Save(*frm.NetworkView(), folder, "network");
    frm.NetworkView()->Replay(30);
    ok &= Save(*frm.NetworkView(), folder, "network-replay");
    frm.NetworkView()->hide();

    windows.frmHelp.show();
    ok &= Save(windows.frmHelp, folder, "help");
    windows.frmHelp.hide();
    windows.frmAbout.show();
    ok &= Save(windows.frmAbout, folder, "about");
    windows.frmAbout.hide();
    return ok ? 0 : 1;
}
