// Widget tests run without a display unless one is asked for. A modal window
// that no test answers fails the test that it appears in, and is closed. The
// settings of Qt's dialogs stay out of the home folder, as the program's do.
#include "UiTestSupport.h"

#include "ui/AppShell.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        // Qt wants a private runtime directory and complains without one.
        const QString runtime = QStringLiteral(VERBLINKA_TEST_RUNTIME_DIR);
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    }
    QApplication application(argc, argv);
    const verblinka::test_support::TUnexpectedModalGuard guard(&application);
    const verblinka::TRunOnlySettings settings;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
