// The Help and About dialogs: their texts, keys, placement and links.
#include "UiTestSupport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

#include <vector>

namespace verblinka::test_support {

// Receives the addresses that the dialogs ask the desktop to open.
class TUrlCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> Urls;

public slots:
    void Catch(const QUrl& url) { Urls.append(url); }
};

namespace {

TEST(HelpDialog, ShowsTheWholeHelpTextReadOnly) {
    TProgramWindows windows;
    const TfrmHelp& help = windows.frmHelp;
    EXPECT_EQ(help.windowTitle(), QStringLiteral("Помощь"));
    EXPECT_TRUE(help.RichEdit1->isReadOnly());
    // The box has no scroll bars, so the whole text must fit in it.
    EXPECT_FALSE(help.RichEdit1->toPlainText().trimmed().isEmpty());
    EXPECT_LE(help.RichEdit1->document()->size().height(), help.RichEdit1->viewport()->height());
    EXPECT_EQ(help.btnOk->text(), QStringLiteral("Ok"));
}

TEST(HelpDialog, OkHasTheFocusAndAnswersEnterAndSpaceButNotEsc) {
    TProgramWindows windows;
    TfrmHelp& help = windows.frmHelp;

    for (const Qt::Key closing : {Qt::Key_Return, Qt::Key_Space}) {
        bool okFocused = false;
        bool openAfterEsc = false;
        TModalAnswerer answerer([&](QWidget* modal) {
            okFocused = QApplication::focusWidget() == help.btnOk;
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            openAfterEsc = modal->isVisible();
            QTest::keyClick(QApplication::focusWidget(), closing);
            if (modal->isVisible()) {
                modal->close();
            }
        });
        QTest::mouseClick(Child<QToolButton>(windows.frmMain, "ToolButton2"), Qt::LeftButton);
        ASSERT_EQ(answerer.Records().size(), 1u);
        EXPECT_EQ(answerer.Records()[0].ClassName, QStringLiteral("verblinka::TfrmHelp"));
        EXPECT_TRUE(okFocused);
        EXPECT_TRUE(openAfterEsc);
        EXPECT_FALSE(help.isVisible()) << "key " << closing;
    }
}

TEST(HelpDialog, IsCentredFirstAndThenReappearsWhereItWasClosed) {
    TProgramWindows windows;
    TfrmHelp& help = windows.frmHelp;
    QPoint firstCentre;
    const QPoint movedTo(40, 30);
    QPoint secondPosition;
    int shown = 0;
    TModalAnswerer answerer([&](QWidget* modal) {
        if (++shown == 1) {
            firstCentre = modal->frameGeometry().center();
            modal->move(movedTo);
        } else {
            secondPosition = modal->pos();
        }
        modal->close(); // the title bar's close button
    });
    windows.frmMain.ToolButton2Click();
    windows.frmMain.ToolButton2Click();
    ASSERT_EQ(shown, 2);
    const QPoint screenCentre = help.screen()->availableGeometry().center();
    EXPECT_LE((firstCentre - screenCentre).manhattanLength(), 2);
    EXPECT_EQ(secondPosition, movedTo);
}

TEST(AboutDialog, ShowsTitleVersionAndLinksThatTheDesktopOpens) {
    TProgramWindows windows;
    TfrmAbout& about = windows.frmAbout;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("О программе..."));
    EXPECT_EQ(about.Label1->text(), windows.frmMain.ProgramTitle());
    EXPECT_EQ(about.Label2->text(), QStringLiteral("Версия 1.00"));
    EXPECT_FALSE(about.imgAbout->pixmap().isNull());
    EXPECT_TRUE(about.Label5->text().startsWith(QStringLiteral("Internet:  ")));
    EXPECT_TRUE(about.Label6->text().startsWith(QStringLiteral("E-mail:    ")));
    for (const QLabel* link :
         {static_cast<QLabel*>(about.Label5), static_cast<QLabel*>(about.Label6)}) {
        EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 0x80));
        EXPECT_TRUE(link->font().underline());
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    }

    TUrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "Catch");
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "Catch");
    about.show();
    QTest::mouseClick(about.Label5, Qt::LeftButton);
    QTest::mouseClick(about.Label6, Qt::LeftButton);
    about.hide();
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));

    ASSERT_EQ(catcher.Urls.size(), 2);
    const QString web = about.Label5->text().mid(QStringLiteral("Internet:  ").size());
    const QString shownMail = about.Label6->text().mid(QStringLiteral("E-mail:    ").size());
    EXPECT_EQ(catcher.Urls[0], QUrl(QStringLiteral("http://") + web));
    EXPECT_EQ(catcher.Urls[1].scheme(), QStringLiteral("mailto"));
    EXPECT_NE(catcher.Urls[1].path(), shownMail); // another mailbox than the one shown
    // Reserved example domains only.
    EXPECT_TRUE(catcher.Urls[0].host().endsWith(QStringLiteral("example.org")));
    EXPECT_TRUE(catcher.Urls[1].path().endsWith(QStringLiteral("@example.com")));
}

TEST(AboutDialog, OpensModallyFromTheToolbarAndIgnoresEsc) {
    TProgramWindows windows;
    bool openAfterEsc = false;
    TModalAnswerer answerer([&](QWidget* modal) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        openAfterEsc = modal->isVisible();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        if (modal->isVisible()) {
            modal->close();
        }
    });
    QTest::mouseClick(Child<QToolButton>(windows.frmMain, "ToolButton3"), Qt::LeftButton);
    ASSERT_EQ(answerer.Records().size(), 1u);
    EXPECT_EQ(answerer.Records()[0].ClassName, QStringLiteral("verblinka::TfrmAbout"));
    EXPECT_TRUE(openAfterEsc);
    EXPECT_FALSE(windows.frmAbout.isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// What a dialog's title bar offers, and whether a dialog that the window
// manager minimises anyway (openbox offers that whatever the flags say, and
// then hides the whole program behind the modal dialog) shows itself again.
struct TTitleBar {
    bool CloseOnly = false;
    bool BackAfterMinimising = false;
};

TTitleBar TitleBarOf(QWidget& modal) {
    const Qt::WindowFlags flags = modal.windowFlags();
    TTitleBar bar;
    bar.CloseOnly = flags.testFlag(Qt::CustomizeWindowHint) &&
                    flags.testFlag(Qt::WindowTitleHint) &&
                    flags.testFlag(Qt::WindowCloseButtonHint) &&
                    !flags.testFlag(Qt::WindowMinimizeButtonHint) &&
                    !flags.testFlag(Qt::WindowMaximizeButtonHint) &&
                    !flags.testFlag(Qt::WindowContextHelpButtonHint);
    modal.setWindowState(modal.windowState() | Qt::WindowMinimized);
    for (int wait = 0; wait < 200 && modal.isMinimized(); ++wait) {
        QTest::qWait(5);
    }
    bar.BackAfterMinimising = !modal.isMinimized() && modal.isVisible();
    return bar;
}

TEST(DialogTitleBars, HelpAboutAndEveryMessageBoxOfferOnlyAClose) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    std::vector<TTitleBar> bars;
    QStringList seen;
    TModalAnswerer answerer([&](QWidget* modal) {
        seen.append(QString::fromLatin1(modal->metaObject()->className()));
        bars.push_back(TitleBarOf(*modal));
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->done(QDialog::Rejected);
        } else {
            modal->close();
        }
    });
    frm.ToolButton2Click();                                            // help
    frm.ToolButton3Click();                                            // about
    Search(frm, QString());                                            // the plain box
    LoadThroughOpenCommand(frm, folder.PathOf(QStringLiteral("нет"))); // the error box
    ASSERT_EQ(seen, (QStringList{QStringLiteral("verblinka::TfrmHelp"),
                                 QStringLiteral("verblinka::TfrmAbout"),
                                 QStringLiteral("QMessageBox"), QStringLiteral("QMessageBox")}));
    ASSERT_EQ(answerer.Records().size(), 4u);
    EXPECT_EQ(answerer.Records()[2].Icon, QMessageBox::NoIcon);
    EXPECT_EQ(answerer.Records()[3].Icon, QMessageBox::Critical);
    for (std::size_t i = 0; i < bars.size(); ++i) {
        EXPECT_TRUE(bars[i].CloseOnly) << seen[static_cast<int>(i)].toStdString() << ": "
                                       << answerer.Records()[i].Flags.toInt();
        EXPECT_TRUE(bars[i].BackAfterMinimising) << seen[static_cast<int>(i)].toStdString();
    }
    EXPECT_FALSE(windows.frmHelp.isVisible());
    EXPECT_FALSE(windows.frmAbout.isVisible());
}

} // namespace
} // namespace verblinka::test_support

#include "DialogsTest.moc"
