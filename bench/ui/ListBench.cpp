// Times the dictionary list of the main window with a million entries: the
// hand-over of a loaded dictionary to the list with the first paint, and
// scrolling (jumps across the whole list, page steps) with a paint each.
// The dictionary is built in memory; building it is not timed.
// Usage: verblinka-ui-bench [ENTRIES] [ROUNDS]
#include "ui/AppShell.h"
#include "ui/fmSearch.h"

#include <QApplication>
#include <QListView>
#include <QScrollBar>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace verblinka;
using TClock = std::chrono::steady_clock;

namespace {

TDictionary MakeDictionary(std::int32_t entries) {
    TDictionary dictionary;
    dictionary.Entries.reserve(static_cast<std::size_t>(entries));
    dictionary.Entries.push_back({std::string(), 0});
    // Cyrillic words in Windows-1251, so the list converts every row it shows.
    for (std::int32_t i = 1; i < entries; ++i) {
        std::string word = "\xD1\xCB\xCE\xC2\xCE"; // СЛОВО
        word += std::to_string(i);
        dictionary.Entries.push_back({std::move(word), 1});
    }
    dictionary.Network.SetInputCount(kWordCodeLength);
    dictionary.Network.SetPatternCount(entries);
    return dictionary;
}

double Milliseconds(TClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Report(const char* what, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("%-44s median %8.2f ms   min %8.2f ms   max %8.2f ms   (%zu runs)\n", what,
                times[times.size() / 2], times.front(), times.back(), times.size());
}

// The window's list, found by its name as a user-facing test finds it.
QListView& WordList(const TfrmMain& window) {
    return *window.findChild<QListView*>(QStringLiteral("lbWordsList"));
}

// Draws the list now, as the event loop would after a change.
void Paint(TfrmMain& window) {
    QCoreApplication::processEvents();
    WordList(window).viewport()->repaint();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const std::int32_t entries = argc > 1 ? std::atoi(argv[1]) : 1'000'000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;

    TfrmMain window;
    window.show();
    Paint(window);

    std::vector<double> show;
    for (int round = 0; round < rounds; ++round) {
        TDictionary dictionary = MakeDictionary(entries);
        const auto start = TClock::now();
        window.ReplaceDictionary(std::move(dictionary), QStringLiteral("/bench/words.txt"));
        Paint(window);
        show.push_back(Milliseconds(TClock::now() - start));
    }
    std::printf("%d entries\n", entries);
    Report("show a loaded dictionary (swap, first paint)", show);

    QScrollBar* scroll = WordList(window).verticalScrollBar();
    std::vector<double> jumps;
    const int targets[] = {scroll->maximum(), scroll->maximum() / 2, 0, scroll->maximum() / 3};
    for (int round = 0; round < rounds * 20; ++round) {
        const auto start = TClock::now();
        scroll->setValue(targets[round % 4]);
        Paint(window);
        jumps.push_back(Milliseconds(TClock::now() - start));
    }
    Report("jump across the list and paint", jumps);

    std::vector<double> pages;
    scroll->setValue(scroll->maximum() / 2);
    for (int round = 0; round < rounds * 20; ++round) {
        const auto start = TClock::now();
        scroll->triggerAction(QAbstractSlider::SliderPageStepAdd);
        Paint(window);
        pages.push_back(Milliseconds(TClock::now() - start));
    }
    Report("page down and paint", pages);

    std::vector<double> select;
    for (int round = 0; round < rounds * 20; ++round) {
        const QModelIndex index =
            WordList(window).model()->index((round * 7919 * 127) % entries, 0);
        const auto start = TClock::now();
        WordList(window).setCurrentIndex(index);
        WordList(window).scrollTo(index);
        Paint(window);
        select.push_back(Milliseconds(TClock::now() - start));
    }
    Report("select a far row, scroll it into view, paint", select);
    return 0;
}
