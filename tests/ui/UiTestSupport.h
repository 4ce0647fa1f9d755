// Helpers of the widget tests: the program's windows as the start-up wires
// them, answering modal windows, dictionary files, reading the list.
#pragma once

#include "ui/FMHELP.h"
#include "ui/fmAbout.h"
#include "ui/fmSearch.h"

#include <QMessageBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace verblinka::test_support {

// The three windows, created and wired as the program's start-up does, with
// the main window shown and active.
struct TProgramWindows {
    TProgramWindows();

    TfrmMain frmMain;
    TfrmAbout frmAbout;
    TfrmHelp frmHelp;
};

// What a modal window looked like when it was answered.
struct TModalRecord {
    QString ClassName;
    QString Title;
    QString Text;
    Qt::TextFormat TextFormat = Qt::AutoText;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QStringList Buttons;
    bool ButtonHasIcon = false;
    bool WaitCursorShown = false; // the application's cursor while it showed
    bool ClosedByKey = true;      // the answering key closed it
    int OffCentre = 0;            // pixels between its middle and the middle of the screen
    Qt::WindowFlags Flags;        // what its title bar offers
};

// Watches for modal windows for the whole run, while no TModalAnswerer lives:
// a modal window then is one that no test expected (an error box of a load
// that should have worked, a dialog whose seam was not set). It is closed at
// once, and the running test fails with its text, instead of hanging until its
// time runs out. The tests' main creates one, a child of the application.
class TUnexpectedModalGuard final : public QObject {
    Q_OBJECT

public:
    explicit TUnexpectedModalGuard(QObject* application);

    // While an answerer lives, the modal windows are its to answer.
    void Suspend() { ++answerers_; }
    void Resume() { --answerers_; }

    // The guard of the running program, if its main created one.
    static TUnexpectedModalGuard* Of(const QObject& application);

private:
    void Poll();

    QTimer timer_;
    int answerers_ = 0;
};

// What a modal window says, for a failure message: its class, title and text.
QString DescribeModal(const QWidget& modal);

// Watches for modal windows while it lives. Each one is recorded and then
// answered: by `answer` when given (which must close it), otherwise by the key
// `key`; a window that the key does not close is closed by force (and marked),
// so no test hangs on it.
class TModalAnswerer {
public:
    explicit TModalAnswerer(Qt::Key key = Qt::Key_Escape);
    explicit TModalAnswerer(std::function<void(QWidget*)> answer);
    ~TModalAnswerer();
    TModalAnswerer(const TModalAnswerer&) = delete;
    TModalAnswerer& operator=(const TModalAnswerer&) = delete;

    const std::vector<TModalRecord>& Records() const { return records_; }

private:
    void Poll();

    Qt::Key key_;
    std::function<void(QWidget*)> answer_;
    QTimer timer_;
    QWidget* pending_ = nullptr; // a window the key was sent to, not closed yet
    TUnexpectedModalGuard* guard_ = nullptr;
    int waitedForActivation_ = 0;
    std::vector<TModalRecord> records_;
};

// A temporary folder for dictionary files.
class TDictionaryFolder {
public:
    // Writes bytes to a file named name and returns its full path.
    QString Write(const QString& name, const std::string& bytes);
    QString PathOf(const QString& name) const { return dir_.filePath(name); }
    // The files of the folder that this process holds open: none once a
    // load has ended, however it ended.
    QStringList OpenFiles() const;

private:
    QTemporaryDir dir_;
};

// A control of window, found by its object name.
template <typename Control> Control* Child(const QWidget& window, const char* name) {
    return window.findChild<Control*>(QLatin1String(name));
}

// Loads path through the open command, with the dialog answered by path.
void LoadThroughOpenCommand(TfrmMain& window, const QString& path);

// The list's rows as the list shows them.
QStringList ListedWords(const TfrmMain& window);

// The selected rows of the list.
std::vector<int> SelectedRows(const TfrmMain& window);

// Types text into the word box and presses the search button.
void Search(TfrmMain& window, const QString& text);

} // namespace verblinka::test_support
