// The Help dialog: how to use the program and the idea behind it.
#pragma once

#include "ui/InfoDialog.h"

#include <QStringList>

class QFrame;
class QTextEdit;

namespace verblinka {

class TfrmHelp final : public TInfoDialog {
    Q_OBJECT

public:
    explicit TfrmHelp(QWidget* parent);

    // The help text, one element per line.
    static QStringList HelpLines();

    QTextEdit* RichEdit1 = nullptr;
    QFrame* Bevel1 = nullptr;
};

} // namespace verblinka
