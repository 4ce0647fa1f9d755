// What every window of the program shares: the application title, the form
// font, the two kinds of message box, the wait cursor, and the one handler
// that every command hands its failures to.
#pragma once

#include <QFileIconProvider>
#include <QFont>
#include <QIcon>
#include <QMargins>
#include <QString>
#include <QTemporaryDir>

class QCoreApplication;
class QTranslator;
class QWidget;

#include <exception>
#include <string_view>
#include <utility>

namespace verblinka {

// The title of message boxes: the program file's name without its directory,
// cut at its first full stop, every character but the first lower-cased
// ("/usr/bin/verblinka" gives "verblinka", "VERBLINKA.bin" gives "Verblinka").
QString ApplicationTitleFromPath(const QString& programPath);

// ApplicationTitleFromPath of the running program.
QString ApplicationTitle();

// The font of the main window and both dialogs.
QFont FormFont();

// The program's emblem, 16 x 16 and 32 x 32.
QIcon ProgramIcon();

// The frame that the window manager has drawn around a top-level window; none
// before it appears or without a window manager.
QMargins OwnFrame(const QWidget& window);

// The frame that the window manager draws around a top-level window: its own
// once it has one; before that (a window about to appear) the frame of another
// visible window of the program, which the same manager decorates alike; none
// without a window manager.
QMargins FrameMargins(const QWidget& window);

// Moves a window, whose size is final, so that the window with its frame sits
// in the middle of its screen.
void CentreOnScreen(QWidget& window);

// The window flags of every dialog: a title bar with a close button only, no
// minimise or maximise button.
Qt::WindowFlags CloseOnlyFlags();

// Gives dialog CloseOnlyFlags and keeps it from staying minimised. Some window
// managers (openbox) offer to minimise a dialog whatever its flags say, and
// minimising a modal dialog there hides the whole program; a dialog so
// minimised shows itself again at once.
void OfferCloseOnly(QWidget& dialog);

// Qt's own texts (the file dialogs, the progress dialog's Cancel, the message
// boxes' buttons) in Russian, from Qt's translations in folder, and Russian
// number formats for the whole application. Returns the translator installed
// (owned by application), or nullptr where folder holds no Russian
// translation: the program then goes on with Qt's English texts.
QTranslator* UseRussian(QCoreApplication& application, const QString& folder);
// The same from the folder of Qt's translations (QLibraryInfo::TranslationsPath).
QTranslator* UseRussian(QCoreApplication& application);

// The settings that Qt's own dialogs keep between uses (the file dialog's
// history, last folder and column widths, "QtProject.conf") in a folder of
// this run's own, removed when the object goes: the program keeps no state
// between runs and writes nothing to the user's home. Create one before any
// window; it holds for the rest of the process.
class TRunOnlySettings {
public:
    TRunOnlySettings();
    TRunOnlySettings(const TRunOnlySettings&) = delete;
    TRunOnlySettings& operator=(const TRunOnlySettings&) = delete;

    // Where the settings go.
    QString Folder() const;

private:
    QTemporaryDir folder_;
};

// The icons and type names of files in the file dialogs, told from their names
// and kinds alone: Qt's own provider reads a file's first bytes to tell its
// type, on the window's thread, which a file of the system that never answers
// (/proc/kmsg) freezes for good.
class TPlainFileIconProvider final : public QFileIconProvider {
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;
};

// The save dialog as QFileDialog::getSaveFileName shows it, with the file
// icons and types of TPlainFileIconProvider: the full path chosen, or an empty
// string when the user cancelled. proposed may name a file to offer.
QString AskSaveFileName(QWidget* owner, const QString& caption, const QString& proposed,
                        const QString& filters);

// The plain message box: modal, centred on the screen, the application title,
// the text as given, one OK button that answers Enter and Esc, no icon.
void ShowMessage(const QString& text);
void ShowMessage(std::string_view utf8Text);

// The error box: like the plain box, with the stop icon.
void ShowErrorBox(const QString& text);

// The application's handler of failed commands: shows the error's text in the
// error box (a full stop appended as for every error text).
void HandleCommandError(std::exception_ptr error) noexcept;

// Runs one command. Debian's Qt is built without exception tables, so no
// exception may unwind through Qt's frames: every command stops its failures
// here, at its own boundary, and passes them to HandleCommandError.
template <typename Command> void RunCommand(Command&& command) noexcept {
    try {
        std::forward<Command>(command)();
    } catch (...) {
        HandleCommandError(std::current_exception());
    }
}

// The application-wide wait cursor for as long as the guard lives.
class TWaitCursor {
public:
    TWaitCursor();
    ~TWaitCursor();
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

} // namespace verblinka
