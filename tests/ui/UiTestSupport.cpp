#include "UiTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace verblinka::test_support {

TProgramWindows::TProgramWindows() : frmAbout(&frmMain, frmMain.ProgramTitle()), frmHelp(&frmMain) {
    frmMain.AttachDialogs(frmAbout, frmHelp);
    frmMain.show();
    QApplication::setActiveWindow(&frmMain);
    // Without a window manager an X server may never activate it; go on then.
    (void)QTest::qWaitForWindowActive(&frmMain, 1000);
}

namespace {

// Closes a modal window whatever it is.
void CloseModal(QWidget& modal) {
    if (auto* dialog = qobject_cast<QDialog*>(&modal)) {
        dialog->done(QDialog::Rejected);
    } else {
        modal.close();
    }
}

} // namespace

TUnexpectedModalGuard::TUnexpectedModalGuard(QObject* application) : QObject(application) {
    setObjectName(QStringLiteral("UnexpectedModalGuard"));
    connect(&timer_, &QTimer::timeout, this, &TUnexpectedModalGuard::Poll);
    timer_.start(20);
}

TUnexpectedModalGuard* TUnexpectedModalGuard::Of(const QObject& application) {
    return application.findChild<TUnexpectedModalGuard*>(QStringLiteral("UnexpectedModalGuard"),
                                                         Qt::FindDirectChildrenOnly);
}

void TUnexpectedModalGuard::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (answerers_ > 0 || modal == nullptr) {
        return;
    }
    ADD_FAILURE() << "a modal window that no test expected: "
                  << DescribeModal(*modal).toStdString();
    CloseModal(*modal);
}

QString DescribeModal(const QWidget& modal) {
    QString description = QString::fromLatin1(modal.metaObject()->className()) +
                          QStringLiteral(" «") + modal.windowTitle() + QStringLiteral("»");
    if (const auto* box = qobject_cast<const QMessageBox*>(&modal)) {
        description += QStringLiteral(": ") + box->text();
    }
    return description;
}

TModalAnswerer::TModalAnswerer(Qt::Key key)
    : key_(key), guard_(TUnexpectedModalGuard::Of(*QCoreApplication::instance())) {
    if (guard_ != nullptr) {
        guard_->Suspend();
    }
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(5);
}

TModalAnswerer::TModalAnswerer(std::function<void(QWidget*)> answer)
    : TModalAnswerer(Qt::Key_Escape) {
    answer_ = std::move(answer);
}

TModalAnswerer::~TModalAnswerer() {
    timer_.stop();
    if (guard_ != nullptr) {
        guard_->Resume();
    }
}

void TModalAnswerer::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) {
        return;
    }
    // Keys go to the focused control, which a window only has once it is
    // active; give it a moment to become so.
    if (modal != QApplication::activeWindow() && ++waitedForActivation_ < 100) {
        return;
    }
    waitedForActivation_ = 0;
    if (modal == pending_) {
        // The key did not close it: close it anyway, or the test would hang.
        records_.back().ClosedByKey = false;
        pending_ = nullptr;
        CloseModal(*modal);
        return;
    }

    TModalRecord record;
    record.ClassName = QString::fromLatin1(modal->metaObject()->className());
    record.Title = modal->windowTitle();
    record.WaitCursorShown = QApplication::overrideCursor() != nullptr;
    record.Flags = modal->windowFlags();
    record.OffCentre =
        (modal->frameGeometry().center() - modal->screen()->availableGeometry().center())
            .manhattanLength();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        record.Text = box->text();
        record.TextFormat = box->textFormat();
        record.Icon = box->icon();
        for (const QAbstractButton* button : box->buttons()) {
            record.Buttons.append(QString(button->text()).remove(u'&'));
            record.ButtonHasIcon = record.ButtonHasIcon || !button->icon().isNull();
        }
    }
    records_.push_back(record);

    if (answer_) {
        answer_(modal);
        return;
    }
    // The key answers synchronously: a dialog that it closes has finished
    // before keyClick returns.
    pending_ = modal;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        QObject::connect(
            dialog, &QDialog::finished, &timer_, [this] { pending_ = nullptr; },
            Qt::SingleShotConnection);
    }
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus != nullptr && modal->isAncestorOf(focus) ? focus : modal, key_);
}

QString TDictionaryFolder::Write(const QString& name, const std::string& bytes) {
    QString path = dir_.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        ADD_FAILURE() << "cannot write " << path.toStdString();
        return path;
    }
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return path;
}

QStringList TDictionaryFolder::OpenFiles() const {
    std::error_code error;
    const std::filesystem::path folder =
        std::filesystem::canonical(QFile::encodeName(dir_.path()).toStdString(), error);
    QStringList open;
    for (const auto& descriptor : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code unreadable;
        const std::filesystem::path target =
            std::filesystem::read_symlink(descriptor.path(), unreadable);
        if (!unreadable && target.native().starts_with(folder.native() + '/')) {
            open.append(QFile::decodeName(QByteArray::fromStdString(target.native())));
        }
    }
    return open;
}

void LoadThroughOpenCommand(TfrmMain& window, const QString& path) {
    window.SetOpenDialog([path](QWidget*) { return std::optional<QString>(path); });
    window.N2Click();
}

QStringList ListedWords(const TfrmMain& window) {
    const QAbstractItemModel* model = Child<QListView>(window, "lbWordsList")->model();
    QStringList words;
    for (int row = 0; row < model->rowCount(); ++row) {
        words.append(model->data(model->index(row, 0), Qt::DisplayRole).toString());
    }
    return words;
}

std::vector<int> SelectedRows(const TfrmMain& window) {
    std::vector<int> rows;
    for (const QModelIndex& index :
         Child<QListView>(window, "lbWordsList")->selectionModel()->selectedIndexes()) {
        rows.push_back(index.row());
    }
    return rows;
}

void Search(TfrmMain& window, const QString& text) {
    Child<QLineEdit>(window, "edtWord")->setText(text);
    QTest::mouseClick(Child<QPushButton>(window, "btnProcess"), Qt::LeftButton);
}

} // namespace verblinka::test_support
