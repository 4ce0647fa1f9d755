#include "ui/ShownText.h"

#include "text/CodePage1251.h"

namespace verblinka {

QString ShownText(std::string_view bytes, std::size_t maxCharacters) {
    if (bytes.size() <= maxCharacters) {
        return QString::fromStdString(Utf8From1251(bytes));
    }
    return QString::fromStdString(Utf8From1251(bytes.substr(0, maxCharacters))) + kEllipsis;
}

QString ShownText(const QString& text, std::size_t maxCharacters) {
    if (static_cast<std::size_t>(text.size()) <= maxCharacters) {
        return text;
    }
    auto cut = static_cast<qsizetype>(maxCharacters);
    if (cut > 0 && text.at(cut - 1).isHighSurrogate()) {
        --cut;
    }
    return text.left(cut) + kEllipsis;
}

QString EscapedCell(std::string_view bytes, std::size_t maxCharacters) {
    const bool cut = bytes.size() > maxCharacters;
    QString text = QString::fromStdString(Utf8From1251(Escape1251(bytes.substr(0, maxCharacters))));
    return cut ? text + kEllipsis : text;
}

} // namespace verblinka
