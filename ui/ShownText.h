// Every text the network view draws or measures passes through here, cut to a
// bounded length with "…": laying out, shaping or eliding a line of millions
// of characters costs time and memory in proportion (the chart legend's
// eliding, quadratically), and an entry or query may be that long. The cut is
// made on the bytes before any conversion, so a long entry is never copied
// whole into a QString.
#pragma once

#include <QString>

#include <cstddef>
#include <string_view>

namespace verblinka {

// Names of entries inside sentences, the legend, labels and titles.
inline constexpr std::size_t kShownNameCharacters = 40;
// Names in the chart legend, which has a narrow column of its own.
inline constexpr std::size_t kShownLegendCharacters = 20;
// Texts in the table's cells and the copied table.
inline constexpr std::size_t kShownCellCharacters = 120;

inline constexpr QChar kEllipsis{0x2026};

// Windows-1251 bytes as text, at most maxCharacters of them, then "…" when
// cut (one byte is one character).
QString ShownText(std::string_view bytes, std::size_t maxCharacters);

// The same for text already converted; a surrogate pair is never split.
QString ShownText(const QString& text, std::size_t maxCharacters);

// bytes cut as ShownText does, with control characters, tab, newline and the
// backslash escaped as the tool's output escapes them: one field of a
// tab-separated line.
QString EscapedCell(std::string_view bytes, std::size_t maxCharacters);

} // namespace verblinka
