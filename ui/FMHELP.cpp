#include "ui/FMHELP.h"

#include <QFrame>
#include <QPushButton>
#include <QTextEdit>

namespace verblinka {

QStringList TfrmHelp::HelpLines() {
    // Some lines end with a blank; it belongs to the text.
    return {
        QStringLiteral("Верблинка на основе сетей Хэмминга."),
        QString(),
        QStringLiteral(
            "Эта программа предназначена для демонстрации возможностей сетей Хэмминга в "),
        QStringLiteral("распознавании образов. Задача верблинки выбрана в качестве простого и "
                       "понятного"),
        QStringLiteral("примера. Это далеко не единственная область применения этих сетей."),
        QString(),
        QStringLiteral("Как работать с программой."),
        QStringLiteral("Для работы системы необходим файл с образами (словарь). Для этого нужно "
                       "открыть любой"),
        QStringLiteral("текстовой файл. На основе этого файла система сама составит словарь. После "
                       "этого нужно"),
        QStringLiteral(
            "ввести слово для поиска, программа обнаружит слово наиболее близкое в нему и "),
        QStringLiteral("спозиционирует на нем указатель."),
        QString(),
        QStringLiteral("Математический аппарат."),
        QStringLiteral(
            "Принцип работы сетей Хэмминга базируется на определении расстояния Хэмминга "
            "между"),
        QStringLiteral(
            "объектами и нахождении наиболее близкого. Хэмминговым расстоянием называется "
            "число"),
        QStringLiteral(
            "отличающихся битов в двух бинарных векторах. Для кодирования букв в цифры в "
            "нашем случае"),
        QStringLiteral(
            "используется ASCII код, хотя можно использовать и другие методы кодирования. "
            "Более того, "),
        QStringLiteral("хорошо подобрав систему кодирования можно значительно улучшить качество "
                       "распознавания. "),
        QStringLiteral("Например, есть смысл для исправлении опечаток, принимать во внимание "
                       "расположение букв"),
        QStringLiteral(
            "на клавиатуре. Кодировка должна быть разработана таким образом, чтобы рядом"),
        QStringLiteral("расположенные на клавиатуре буквы имели близкие (по Хэммингу) коды."),
        QString(),
        QString(),
        QString(),
    };
}

TfrmHelp::TfrmHelp(QWidget* parent)
    : TInfoDialog(parent, QStringLiteral("Помощь"), QSize(528, 348)) {
    setObjectName(QStringLiteral("frmHelp"));

    RichEdit1 = new QTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setGeometry(8, 8, 509, 285);
    RichEdit1->setReadOnly(true);
    RichEdit1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    RichEdit1->setFocusPolicy(Qt::StrongFocus);
    RichEdit1->setTabChangesFocus(true);
    RichEdit1->setLineWrapMode(QTextEdit::WidgetWidth);
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette palette = RichEdit1->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    RichEdit1->setPalette(palette);
    RichEdit1->setPlainText(HelpLines().join(u'\n'));

    Bevel1 = AddBevel(QPoint(4, 304), 513);

    AddOkButton(QRect(444, 312, 75, 25));
    setTabOrder(btnOk, RichEdit1);
    setTabOrder(RichEdit1, btnOk);
}

} // namespace verblinka
