#include "ui/fmAbout.h"

#include "ui/AppShell.h"

#include <QDesktopServices>
#include <QFrame>
#include <QMouseEvent>
#include <QUrl>

namespace verblinka {
namespace {

// Reserved example domains: the project has no site or mailbox of its own.
constexpr auto kWebAddress = "www.example.org";
constexpr auto kShownMailAddress = "info@example.com";
constexpr auto kMailTarget = "verblinka@example.com";

} // namespace

TLinkLabel::TLinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0x80)); // navy
    setPalette(palette);
    QFont font = this->font();
    font.setUnderline(true);
    setFont(font);
    setCursor(Qt::PointingHandCursor);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit Clicked();
    }
    QLabel::mouseReleaseEvent(event);
}

QString TfrmAbout::WebLinkTarget() {
    return QStringLiteral("http://") + QLatin1String(kWebAddress);
}

QString TfrmAbout::MailLinkTarget() {
    return QStringLiteral("mailto:") + QLatin1String(kMailTarget);
}

TfrmAbout::TfrmAbout(QWidget* parent, const QString& title)
    : TInfoDialog(parent, QStringLiteral("О программе..."), QSize(257, 142)) {
    setObjectName(QStringLiteral("frmAbout"));

    imgAbout = new QLabel(this);
    imgAbout->setObjectName(QStringLiteral("imgAbout"));
    imgAbout->setGeometry(8, 8, 33, 33);
    imgAbout->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    imgAbout->setPixmap(QIcon(QStringLiteral(":/icons/verblinka-32.svg")).pixmap(32, 32));

    constexpr int kLabelLeft = 56;
    constexpr int kLabelWidth = 257 - kLabelLeft - 4;
    constexpr int kLabelHeight = 13;
    auto place = [&](QLabel* label, const char* name, int top) {
        label->setObjectName(QLatin1String(name));
        label->setTextFormat(Qt::PlainText);
        label->setGeometry(kLabelLeft, top, kLabelWidth, kLabelHeight);
        return label;
    };
    Label1 = place(new QLabel(title, this), "Label1", 8);
    Label2 = place(new QLabel(QStringLiteral("Версия 1.00"), this), "Label2", 24);
    Label3 = place(new QLabel(QStringLiteral("Сделано командой «Верблинки»"), this), "Label3", 40);
    Label4 = place(new QLabel(QStringLiteral("Свободная учебная программа"), this), "Label4", 56);
    Label5 = new TLinkLabel(QStringLiteral("Internet:  ") + QLatin1String(kWebAddress), this);
    place(Label5, "Label5", 72);
    Label6 = new TLinkLabel(QStringLiteral("E-mail:    ") + QLatin1String(kShownMailAddress), this);
    place(Label6, "Label6", 88);
    connect(Label5, &TLinkLabel::Clicked, this, &TfrmAbout::Label5Click);
    connect(Label6, &TLinkLabel::Clicked, this, &TfrmAbout::Label6Click);

    Bevel1 = AddBevel(QPoint(4, 104), 245);

    AddOkButton(QRect(176, 112, 75, 25));
}

// The desktop's answer is not examined: a missing handler is the desktop's
// business, as is any error it reports.
void TfrmAbout::Label5Click() {
    QDesktopServices::openUrl(QUrl(WebLinkTarget()));
}

void TfrmAbout::Label6Click() {
    QDesktopServices::openUrl(QUrl(MailLinkTarget()));
}

} // namespace verblinka
