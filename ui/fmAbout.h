// The About dialog: the emblem, the title, the version, the credits and two
// links that the desktop opens.
#pragma once

#include "ui/InfoDialog.h"

#include <QLabel>

class QFrame;

namespace verblinka {

// A label that reads as a link: navy, underlined, with the hand cursor.
class TLinkLabel final : public QLabel {
    Q_OBJECT

public:
    TLinkLabel(const QString& text, QWidget* parent);

signals:
    void Clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class TfrmAbout final : public TInfoDialog {
    Q_OBJECT

public:
    TfrmAbout(QWidget* parent, const QString& title);

    // The addresses the two links open.
    static QString WebLinkTarget();
    static QString MailLinkTarget();

    void Label5Click();
    void Label6Click();

    QLabel* imgAbout = nullptr;
    QLabel* Label1 = nullptr; // title
    QLabel* Label2 = nullptr; // version
    QLabel* Label3 = nullptr; // credits
    QLabel* Label4 = nullptr;
    TLinkLabel* Label5 = nullptr; // web link
    TLinkLabel* Label6 = nullptr; // mail link
    QFrame* Bevel1 = nullptr;
};

} // namespace verblinka
