#include "ui/InfoDialog.h"

#include "ui/AppShell.h"

#include <QFrame>
#include <QKeyEvent>
#include <QPushButton>

namespace verblinka {

TInfoDialog::TInfoDialog(QWidget* parent, const QString& caption, QSize clientSize)
    : QDialog(parent, CloseOnlyFlags()) {
    OfferCloseOnly(*this);
    setWindowTitle(caption);
    setFont(FormFont());
    setFixedSize(clientSize);
}

void TInfoDialog::AddOkButton(QRect geometry) {
    btnOk = new QPushButton(QStringLiteral("Ok"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setGeometry(geometry);
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, &TInfoDialog::btnOkClick);
}

QFrame* TInfoDialog::AddBevel(QPoint topLeft, int width) {
    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(QRect(topLeft, QSize(width, 2)));
    return bevel;
}

void TInfoDialog::ShowModal() {
    btnOk->setFocus();
    exec();
}

void TInfoDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Placed here, before the window appears, where its frame is known.
    if (!placed_) {
        placed_ = true;
        // A dialog that was moved keeps its position when it is shown again.
        CentreOnScreen(*this);
    }
}

void TInfoDialog::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel)) {
        event->accept(); // Esc does not close these dialogs
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace verblinka
