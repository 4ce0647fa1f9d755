// The main window: its start-up state, keyboard focus, and the open command.
#include "UiTestSupport.h"

#include "ui/AppShell.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeDatabase>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <vector>

namespace verblinka::test_support {
namespace {

const QString kTitle = QStringLiteral("Верблинка (сети Хэмминга)");

QString LoadedCaption(const QString& path) {
    return kTitle + QStringLiteral(" - словарь: ") + path;
}

bool PaintsSomething(const QIcon& icon, int size) {
    const QImage image = icon.pixmap(size, size).toImage();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0) {
                return true;
            }
        }
    }
    return false;
}

TEST(ApplicationTitle, IsTheProgramFileNameUpToItsFirstFullStopLowerCasedAfterItsFirstLetter) {
    EXPECT_EQ(ApplicationTitleFromPath(QStringLiteral("/usr/bin/verblinka")),
              QStringLiteral("verblinka"));
    EXPECT_EQ(ApplicationTitleFromPath(QStringLiteral("/opt/VERB.LINKA.exe")),
              QStringLiteral("Verb"));
    EXPECT_EQ(ApplicationTitleFromPath(QStringLiteral("./верБЛИНКА")), QStringLiteral("верблинка"));
    EXPECT_EQ(ApplicationTitleFromPath(QStringLiteral("C:/Apps/ВерБлинка.EXE")),
              QStringLiteral("Верблинка"));
    EXPECT_EQ(ApplicationTitleFromPath(QStringLiteral("/usr/bin/.hidden")), QString());
}

TEST(MainWindow, StartsWithoutDictionaryUnderItsTitle) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;

    EXPECT_EQ(frm.windowTitle(), kTitle);
    EXPECT_EQ(frm.ProgramTitle(), kTitle);
    EXPECT_EQ(Child<QListView>(frm, "lbWordsList")->model()->rowCount(), 0);
    EXPECT_TRUE(Child<QLineEdit>(frm, "edtWord")->text().isEmpty());
    EXPECT_EQ(frm.Dictionary().Network.PatternCount(), 0);
    EXPECT_TRUE(frm.Dictionary().Entries.empty());
    EXPECT_EQ(QApplication::focusWidget(), Child<QLineEdit>(frm, "edtWord"));
}

TEST(MainWindow, ControlsCarryTheirCaptions) {
    TProgramWindows windows;
    const TfrmMain& frm = windows.frmMain;

    const auto* label = frm.findChild<QLabel*>(QStringLiteral("Label2"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Введите слово для поиска"));
    const auto* search = frm.findChild<QPushButton*>(QStringLiteral("btnProcess"));
    ASSERT_NE(search, nullptr);
    EXPECT_EQ(search->text(), QStringLiteral("Поиск"));

    const std::pair<const char*, QString> buttons[] = {
        {"ToolButton1", QStringLiteral("Открыть...")},
        {"ToolButton2", QStringLiteral("Помощь...")},
        {"ToolButton3", QStringLiteral("О программе...")},
    };
    for (const auto& [name, caption] : buttons) {
        const auto* button = frm.findChild<QToolButton*>(QLatin1String(name));
        ASSERT_NE(button, nullptr) << name;
        EXPECT_EQ(button->text(), caption) << name;
        EXPECT_EQ(button->focusPolicy(), Qt::NoFocus) << name;
        // The images are compiled into the program and actually drawn.
        EXPECT_TRUE(PaintsSomething(button->icon(), 22)) << name;
    }
    EXPECT_TRUE(PaintsSomething(ProgramIcon(), 16));
    EXPECT_TRUE(PaintsSomething(ProgramIcon(), 32));
}

TEST(MainWindow, TabCyclesThroughWordBoxButtonAndList) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    ASSERT_EQ(QApplication::focusWidget(), Child<QLineEdit>(frm, "edtWord"));

    const QWidget* expected[] = {
        Child<QPushButton>(frm, "btnProcess"), Child<QListView>(frm, "lbWordsList"),
        Child<QLineEdit>(frm, "edtWord"), Child<QPushButton>(frm, "btnProcess")};
    for (const QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next);
    }
}

TEST(MainWindow, LayoutKeepsTheToolbarAndQueryStripHeightsWhenResized) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    for (const QSize size : {QSize(445, 431), QSize(700, 300), QSize(300, 600)}) {
        frm.resize(size);
        QApplication::processEvents();
        EXPECT_EQ(Child<QToolBar>(frm, "ToolBar1")->geometry(), QRect(0, 0, size.width(), 44))
            << size.width();
        EXPECT_EQ(Child<QFrame>(frm, "Panel1")->geometry(),
                  QRect(0, 44, size.width(), size.height() - 44));
        EXPECT_EQ(Child<QWidget>(frm, "Panel2")->geometry(), QRect(1, 1, size.width() - 2, 38));
        EXPECT_EQ(Child<QListView>(frm, "lbWordsList")->geometry().top(), 39);
        EXPECT_EQ(Child<QLineEdit>(frm, "edtWord")->geometry(), QRect(156, 8, 181, 21));
        EXPECT_EQ(Child<QPushButton>(frm, "btnProcess")->geometry(), QRect(348, 8, 81, 21));
    }
}

TEST(MainWindow, OuterSizeIsTheWindowWithItsFrame) {
    TProgramWindows windows;
    EXPECT_EQ(windows.frmMain.frameGeometry().size(), QSize(445, 431));
}

TEST(MainWindow, WordBoxTakesAPasteLongerThanItsUsualLimit) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    const QString pasted(40'000, u'ж');
    Child<QLineEdit>(frm, "edtWord")->insert(pasted); // as a paste does
    EXPECT_EQ(Child<QLineEdit>(frm, "edtWord")->text(), pasted);
}

TEST(OpenCommand, ListShowsAHugeEntryCutAndKeepsItWhole) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    const std::string word(3'000'000, 'w');
    LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("one.txt"), word));
    ASSERT_EQ(frm.Dictionary().Entries.size(), 2u);
    EXPECT_EQ(frm.Dictionary().Entries[1].Word, std::string(word.size(), 'W'));
    const QModelIndex row = Child<QListView>(frm, "lbWordsList")->model()->index(1, 0);
    const QString shown = row.data().toString();
    EXPECT_EQ(shown, QString(4096, u'W') + QChar(0x2026));
    QStyleOptionViewItem option;
    option.initFrom(Child<QListView>(frm, "lbWordsList"));
    const QSize hint = Child<QListView>(frm, "lbWordsList")->itemDelegate()->sizeHint(option, row);
    EXPECT_LT(hint.width(), 100'000);
    Child<QListView>(frm, "lbWordsList")->setCurrentIndex(row);
    EXPECT_FALSE(Child<QListView>(frm, "lbWordsList")
                     ->grab()
                     .isNull()); // drawn in reasonable time and memory
}

TEST(OpenCommand, NewListIsShownFromItsTop) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    std::string text;
    for (int i = 0; i < 600; ++i) {
        text += "слово" + std::to_string(i) + ' ';
    }
    const QString path = folder.Write(QStringLiteral("many.txt"), text);
    LoadThroughOpenCommand(frm, path);
    QScrollBar* down = Child<QListView>(frm, "lbWordsList")->verticalScrollBar();
    Child<QListView>(frm, "lbWordsList")->scrollToBottom();
    ASSERT_GT(down->value(), 0);
    LoadThroughOpenCommand(frm, path);
    EXPECT_EQ(down->value(), 0);
}

TEST(OpenCommand, FillsTheListAndNamesTheFileInTheCaption) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    const QString first = folder.Write(QStringLiteral("first.txt"), "Кот кот КОТ, дом.\n");
    // The same words in Windows-1251 bytes, plus one more.
    const QString second =
        folder.Write(QStringLiteral("second.txt"), "\xEA\xEE\xF2 \xC4\xCE\xCC \xEF\xB8\xF1");

    TModalAnswerer answerer;
    LoadThroughOpenCommand(frm, first);
    EXPECT_EQ(ListedWords(frm),
              (QStringList{QString(), QStringLiteral("ДОМ"), QStringLiteral("КОТ")}));
    EXPECT_EQ(frm.Dictionary().Entries[2].Occurrences, 3);
    EXPECT_EQ(frm.Dictionary().Network.PatternCount(), 3);
    EXPECT_EQ(frm.windowTitle(), LoadedCaption(first));
    EXPECT_TRUE(folder.OpenFiles().isEmpty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    Child<QListView>(frm, "lbWordsList")
        ->setCurrentIndex(Child<QListView>(frm, "lbWordsList")->model()->index(1, 0));
    LoadThroughOpenCommand(frm, second);
    EXPECT_EQ(ListedWords(frm), (QStringList{QString(), QStringLiteral("ДОМ"),
                                             QStringLiteral("КОТ"), QStringLiteral("ПЁС")}));
    EXPECT_EQ(frm.Dictionary().Network.PatternCount(), 4);
    EXPECT_EQ(frm.windowTitle(), LoadedCaption(second));
    EXPECT_TRUE(SelectedRows(frm).empty()); // a load leaves nothing selected
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(answerer.Records().empty());
}

TEST(OpenCommand, CancelChangesNothing) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    const QString path = folder.Write(QStringLiteral("words.txt"), "один два");
    LoadThroughOpenCommand(frm, path);

    frm.SetOpenDialog([](QWidget*) { return std::optional<QString>(); });
    frm.N2Click();
    EXPECT_EQ(ListedWords(frm).size(), 3);
    EXPECT_EQ(frm.Dictionary().Network.PatternCount(), 3);
    EXPECT_EQ(frm.windowTitle(), LoadedCaption(path));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(OpenCommand, FileThatCannotBeOpenedIsReportedAndTheDictionaryKept) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    const QString good = folder.Write(QStringLiteral("good.txt"), "альфа бета гамма");
    LoadThroughOpenCommand(frm, good);
    const QStringList words = ListedWords(frm);
    const THammingNet network = frm.Dictionary().Network;

    const QString missing = folder.PathOf(QStringLiteral("нет такого <файла>.txt"));
    const QString endsInStop = folder.PathOf(QStringLiteral("nothing."));
    {
        TModalAnswerer answerer;
        LoadThroughOpenCommand(frm, missing);
        LoadThroughOpenCommand(frm, endsInStop);
        LoadThroughOpenCommand(frm, folder.PathOf(QString())); // a folder is no dictionary
        ASSERT_EQ(answerer.Records().size(), 3u);
        const TModalRecord& box = answerer.Records()[0];
        EXPECT_EQ(box.Title, ApplicationTitle());
        EXPECT_EQ(box.Text, QStringLiteral("Cannot open file ") + missing + u'.');
        EXPECT_EQ(box.TextFormat, Qt::PlainText);
        EXPECT_EQ(box.Icon, QMessageBox::Critical);
        EXPECT_EQ(box.Buttons, QStringList{QStringLiteral("OK")});
        EXPECT_FALSE(box.WaitCursorShown);
        EXPECT_LE(box.OffCentre, 2);
        EXPECT_EQ(answerer.Records()[1].Text, QStringLiteral("Cannot open file ") + endsInStop);
        EXPECT_EQ(answerer.Records()[2].Icon, QMessageBox::Critical);
    }
    EXPECT_EQ(ListedWords(frm), words);
    EXPECT_EQ(frm.Dictionary().Network.PatternCount(), network.PatternCount());
    for (int row = 0; row < network.PatternCount(); ++row) {
        EXPECT_EQ(frm.Dictionary().Network.Weight(row, 0), network.Weight(row, 0));
    }
    EXPECT_EQ(frm.windowTitle(), LoadedCaption(good));
    EXPECT_TRUE(folder.OpenFiles().isEmpty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// A right-click in the list opens its context menu and leaves the row that the
// search selected selected (and current), so that the menu's command shows
// that search; the left button still selects.
TEST(WordList, RightClickKeepsTheSearchsSelectionAndOpensTheMenu) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    LoadThroughOpenCommand(frm, folder.Write(QStringLiteral("d.txt"), "кот дом пёс слон"));
    Search(frm, QStringLiteral("слоны"));
    const std::vector<int> chosen = SelectedRows(frm);
    ASSERT_EQ(chosen.size(), 1u);
    auto* list = Child<QListView>(frm, "lbWordsList");
    const int other = chosen[0] == 1 ? 2 : 1;
    const QPoint at = list->visualRect(list->model()->index(other, 0)).center();

    QTest::mouseClick(list->viewport(), Qt::RightButton, Qt::NoModifier, at);
    QTest::mouseDClick(list->viewport(), Qt::RightButton, Qt::NoModifier, at);
    QTest::mousePress(list->viewport(), Qt::RightButton, Qt::NoModifier, at);
    QMouseEvent drag(QEvent::MouseMove, QPointF(at + QPoint(0, 13)),
                     list->viewport()->mapToGlobal(QPointF(at + QPoint(0, 13))), Qt::NoButton,
                     Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &drag);
    QTest::mouseRelease(list->viewport(), Qt::RightButton, Qt::NoModifier, at + QPoint(0, 13));
    EXPECT_EQ(SelectedRows(frm), chosen);
    EXPECT_EQ(list->currentIndex().row(), chosen[0]);

    // The menu that the right button opens offers the network view.
    QStringList offered;
    QTimer::singleShot(50, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (const QAction* action : menu->actions()) {
                offered.append(action->text());
            }
            menu->close();
        }
    });
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &menuEvent);
    EXPECT_EQ(offered, QStringList{QStringLiteral("Как сеть выбрала слово…")});
    EXPECT_EQ(SelectedRows(frm), chosen);

    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(SelectedRows(frm), std::vector<int>{other});
}

// The open dialog tells a file's icon and type from its name, never from its
// content: Qt's own way reads a file's first bytes on the window's thread,
// which /proc/kmsg holds for good.
TEST(OpenDialog, TellsFilesApartByTheirNamesOnly) {
    TDictionaryFolder folder;
    const QString pdfInside =
        folder.Write(QStringLiteral("report"), "%PDF-1.4\n%\xE2\xE3\n1 0 obj\n");
    const QString plain = folder.Write(QStringLiteral("words.txt"), "%PDF-1.4\n");
    const QMimeDatabase mimes;
    // The content alone makes the first a PDF document to Qt's own reading.
    ASSERT_EQ(mimes.mimeTypeForFile(pdfInside).name(), QStringLiteral("application/pdf"));
    const TPlainFileIconProvider icons;
    for (const QString& path : {pdfInside, plain}) {
        const QFileInfo info(path);
        const QMimeType byName =
            mimes.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
        EXPECT_EQ(icons.type(info), byName.comment()) << path.toStdString();
        EXPECT_EQ(icons.icon(info).cacheKey(),
                  icons.icon(QAbstractFileIconProvider::File).cacheKey());
    }
    EXPECT_NE(icons.type(QFileInfo(pdfInside)), mimes.mimeTypeForFile(pdfInside).comment());
    EXPECT_EQ(icons.icon(QFileInfo(folder.PathOf(QString()))).cacheKey(),
              icons.icon(QAbstractFileIconProvider::Folder).cacheKey());
    EXPECT_EQ(icons.type(QFileInfo(folder.PathOf(QString()))), QStringLiteral("Папка"));

    // The program's dialog uses it.
    TProgramWindows windows;
    bool plainProvider = false;
    {
        TModalAnswerer answerer([&](QWidget* modal) {
            if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                plainProvider =
                    dynamic_cast<const TPlainFileIconProvider*>(dialog->iconProvider()) != nullptr;
                dialog->reject();
            } else {
                modal->close();
            }
        });
        windows.frmMain.N2Click();
        EXPECT_TRUE(plainProvider);
    }

    // And so does the save dialog, which otherwise is Qt's own.
    plainProvider = false;
    TModalAnswerer saving([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (dialog == nullptr) {
            modal->close();
            return;
        }
        plainProvider =
            dynamic_cast<const TPlainFileIconProvider*>(dialog->iconProvider()) != nullptr;
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (name == nullptr) {
            dialog->reject();
            return;
        }
        name->setText(folder.PathOf(QStringLiteral("сеть.png")));
        static_cast<QDialog*>(dialog)->accept(); // as the dialog's Save button does
    });
    EXPECT_EQ(AskSaveFileName(&windows.frmMain, QStringLiteral("Сохранить графики"),
                              QStringLiteral("сеть.png"), QStringLiteral("Рисунок PNG (*.png)")),
              folder.PathOf(QStringLiteral("сеть.png")));
    EXPECT_TRUE(plainProvider);
}

TEST(OpenCommand, OwnDialogOffersTextFilesFirstAndAcceptsAMissingName) {
    TProgramWindows windows;
    TfrmMain& frm = windows.frmMain;
    TDictionaryFolder folder;
    const QString existing = folder.Write(QStringLiteral("слова.txt"), "раз два три");
    const QString missing = folder.PathOf(QStringLiteral("missing.txt"));

    QStringList filters;
    QStringList shownTypes;
    QString selectedFilter;
    QString typed = missing;
    TModalAnswerer answerer([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (dialog == nullptr) {
            modal->close();
            return;
        }
        filters = dialog->nameFilters();
        selectedFilter = dialog->selectedNameFilter();
        if (const auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
            for (int i = 0; i < types->count(); ++i) {
                shownTypes.append(types->itemText(i));
            }
        }
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (name == nullptr) {
            dialog->reject();
            return;
        }
        name->setText(typed);
        static_cast<QDialog*>(dialog)->accept(); // as the dialog's Open button does
    });

    frm.N2Click();
    ASSERT_GE(answerer.Records().size(), 2u);
    EXPECT_EQ(answerer.Records()[0].Title, QStringLiteral("Выбор файла"));
    EXPECT_EQ(filters, (QStringList{QStringLiteral("Текстовые файлы (*.txt)"),
                                    QStringLiteral("Все файлы (*)")}));
    // The types read as their names only; the text files are selected at first.
    EXPECT_EQ(shownTypes,
              (QStringList{QStringLiteral("Текстовые файлы"), QStringLiteral("Все файлы")}));
    EXPECT_EQ(selectedFilter, shownTypes.value(0));
    // The missing name was accepted and failed at the open.
    EXPECT_EQ(answerer.Records()[1].Text, QStringLiteral("Cannot open file ") + missing + u'.');
    EXPECT_EQ(frm.windowTitle(), kTitle);

    typed = existing;
    frm.N2Click();
    EXPECT_EQ(frm.windowTitle(), LoadedCaption(existing));
    EXPECT_EQ(ListedWords(frm).size(), 4);
}

} // namespace
} // namespace verblinka::test_support
