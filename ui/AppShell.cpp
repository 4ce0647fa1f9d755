#include "ui/AppShell.h"

#include "search/Messages.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QTranslator>

#include <memory>

namespace verblinka {
namespace {

// A message box centred on the screen once it has its final size: Qt places
// it before its layout shrinks it to the text.
class TCentredMessageBox final : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        CentreOnScreen(*this);
    }
};

// Shows a dialog again as soon as it has been minimised; a child of the
// dialog, and its event filter.
class TRestoreWhenMinimised final : public QObject {
public:
    explicit TRestoreWhenMinimised(QWidget& dialog) : QObject(&dialog), dialog_(dialog) {
        // Not from within the change itself: the window manager finishes
        // minimising first, then restores the window (and with it the
        // windows it belongs to).
        restore_.setSingleShot(true);
        restore_.setInterval(0);
        connect(&restore_, &QTimer::timeout, this, &TRestoreWhenMinimised::Restore);
        dialog.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &dialog_ && event->type() == QEvent::WindowStateChange &&
            dialog_.isMinimized()) {
            restore_.start();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void Restore() {
        // Never for a dialog closed in the meantime.
        if (!dialog_.isVisible() || !dialog_.isMinimized()) {
            return;
        }
        dialog_.setWindowState(dialog_.windowState() & ~Qt::WindowMinimized);
        dialog_.show();
        dialog_.raise();
        dialog_.activateWindow();
    }

    QWidget& dialog_;
    QTimer restore_;
};

void ShowBox(QMessageBox::Icon icon, const QString& text) {
    // No parent: the box belongs to the screen, not to a window.
    TCentredMessageBox box(icon, ApplicationTitle(), text, QMessageBox::Ok);
    OfferCloseOnly(box);
    box.setTextFormat(Qt::PlainText); // a path with '<' in it is not markup
    if (auto* ok = qobject_cast<QPushButton*>(box.button(QMessageBox::Ok))) {
        ok->setIcon(QIcon()); // some styles decorate the button itself
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
    }
    box.setFont(FormFont());
    box.exec();
}

} // namespace

QString ApplicationTitleFromPath(const QString& programPath) {
    QString name = QFileInfo(programPath).fileName();
    if (const auto stop = name.indexOf(u'.'); stop >= 0) {
        name.truncate(stop);
    }
    if (name.isEmpty()) {
        return name;
    }
    return name.left(1) + name.mid(1).toLower();
}

QString ApplicationTitle() {
    QString path = QCoreApplication::applicationFilePath();
    if (path.isEmpty() && !QCoreApplication::arguments().isEmpty()) {
        path = QCoreApplication::arguments().constFirst();
    }
    return ApplicationTitleFromPath(path);
}

QFont FormFont() {
    // A condensed sans at 10 pixels is as high (11 pixels a character) and
    // about as wide as the classic 8-point dialog font the layouts were drawn
    // for, so every caption fits its fixed place and the help text needs no
    // extra lines.
    QFont font(QStringLiteral("DejaVu Sans Condensed"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(10);
    return font;
}

QIcon ProgramIcon() {
    // Each size from its own drawing: the small emblem is simplified, not shrunk.
    QIcon icon;
    icon.addPixmap(QIcon(QStringLiteral(":/icons/verblinka-16.svg")).pixmap(16, 16));
    const QIcon large(QStringLiteral(":/icons/verblinka-32.svg"));
    for (const int size : {32, 48, 64}) {
        icon.addPixmap(large.pixmap(size, size));
    }
    return icon;
}

QMargins OwnFrame(const QWidget& window) {
    const QRect outer = window.frameGeometry();
    const QRect inner = window.geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

QMargins FrameMargins(const QWidget& window) {
    if (const QMargins own = OwnFrame(window); !own.isNull()) {
        return own;
    }
    for (const QWidget* other : QApplication::topLevelWidgets()) {
        if (other != &window && other->isVisible()) {
            if (const QMargins margins = OwnFrame(*other); !margins.isNull()) {
                return margins;
            }
        }
    }
    return {};
}

namespace {

void PlaceCentred(QWidget& window, const QMargins& frame) {
    const QScreen* screen = window.screen();
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    QRect outer(QPoint(), window.size().grownBy(frame));
    outer.moveCenter(screen->availableGeometry().center());
    const QPoint client = outer.topLeft() + QPoint(frame.left(), frame.top());
    // move() places a window by the corner of its frame as far as it knows it.
    window.move(client - (window.geometry().topLeft() - window.pos()));
}

} // namespace

void CentreOnScreen(QWidget& window) {
    // Centred as the user sees it, frame included. A window about to appear
    // has no frame yet (centring its client area alone left it about half a
    // title bar above the middle), so the frame of the program's other
    // window stands in for it.
    PlaceCentred(window, FrameMargins(window));
}

Qt::WindowFlags CloseOnlyFlags() {
    return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
}

void OfferCloseOnly(QWidget& dialog) {
    dialog.setWindowFlags(CloseOnlyFlags());
    const QString restorer = QStringLiteral("RestoreWhenMinimised");
    if (dialog.findChild<QObject*>(restorer, Qt::FindDirectChildrenOnly) == nullptr) {
        auto* filter = new TRestoreWhenMinimised(dialog);
        filter->setObjectName(restorer);
    }
}

QTranslator* UseRussian(QCoreApplication& application, const QString& folder) {
    // Numbers (the charts' axes, counts) as a Russian reader writes them.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                          folder)) {
        return nullptr; // a missing translation leaves Qt's English texts
    }
    translator->setParent(&application);
    QCoreApplication::installTranslator(translator.get());
    return translator.release();
}

QTranslator* UseRussian(QCoreApplication& application) {
    return UseRussian(application, QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

TRunOnlySettings::TRunOnlySettings() {
    // Without a temporary folder, a folder that cannot be made: the settings
    // are then not kept at all.
    const QString folder = folder_.isValid() ? folder_.path() : QStringLiteral("/dev/null");
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, folder);
    }
}

QString TRunOnlySettings::Folder() const {
    return folder_.path();
}

QIcon TPlainFileIconProvider::icon(const QFileInfo& info) const {
    if (info.isRoot()) {
        return icon(Drive);
    }
    return icon(info.isDir() ? Folder : File);
}

QString TPlainFileIconProvider::type(const QFileInfo& info) const {
    if (info.isFile()) {
        // By the name only; the base class would read the file's content.
        const QMimeType mime =
            QMimeDatabase().mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
        return mime.comment().isEmpty() ? mime.name() : mime.comment();
    }
    if (info.isDir()) {
        return QStringLiteral("Папка"); // Qt's translation lacks the word
    }
    return QFileIconProvider::type(info); // the rest by their kind
}

QString AskSaveFileName(QWidget* owner, const QString& caption, const QString& proposed,
                        const QString& filters) {
    // The provider outlives the dialog, whose model uses it to its end; it is
    // set before any event is handled, when the model describes its first
    // folder's files.
    TPlainFileIconProvider icons;
    QFileDialog dialog(owner, caption, proposed, filters);
    dialog.setIconProvider(&icons);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

void ShowMessage(const QString& text) {
    ShowBox(QMessageBox::NoIcon, text);
}

void ShowMessage(std::string_view utf8Text) {
    ShowMessage(QString::fromUtf8(utf8Text.data(), static_cast<qsizetype>(utf8Text.size())));
}

void ShowErrorBox(const QString& text) {
    ShowBox(QMessageBox::Critical, text);
}

void HandleCommandError(std::exception_ptr error) noexcept {
    // Error texts carry file names as the file system spells them; the
    // program's own texts are UTF-8, which the file system's encoding is too.
    ShowErrorBox(QFile::decodeName(QByteArray::fromStdString(FailureText(std::move(error)))));
}

TWaitCursor::TWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

TWaitCursor::~TWaitCursor() {
    QApplication::restoreOverrideCursor();
}

} // namespace verblinka
