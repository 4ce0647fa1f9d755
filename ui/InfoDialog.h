// What the Help and About dialogs have in common: a fixed client size, a title
// bar with only a close button, an "Ok" button that has the focus and answers
// Enter and Space, Esc that does nothing, and the placement: centred on the
// screen the first time, later wherever it was when it was closed.
#pragma once

#include <QDialog>

class QFrame;
class QPushButton;

namespace verblinka {

class TInfoDialog : public QDialog {
    Q_OBJECT

public:
    // Shows the dialog and returns when it is closed.
    void ShowModal();
    // Closes the dialog.
    void btnOkClick() { accept(); }

    QPushButton* btnOk = nullptr;

protected:
    TInfoDialog(QWidget* parent, const QString& caption, QSize clientSize);

    // Creates btnOk at its place; clicking it closes the dialog.
    void AddOkButton(QRect geometry);
    // The lowered line above the button, its top edge at top.
    QFrame* AddBevel(QPoint topLeft, int width);

    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool placed_ = false;
};

} // namespace verblinka
