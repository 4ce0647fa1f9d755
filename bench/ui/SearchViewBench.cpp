// Times the main window's search of one word in a dictionary file, with the
// network view closed or open (then the search traces every recognition and
// the view shows it), and reports the process's peak memory; run it once
// each way to compare. Off screen.
// Usage: verblinka-ui-search-bench FILE WORD [ROUNDS] [plain | view]
#include "ui/fmNetwork.h"
#include "ui/fmSearch.h"

#include <QApplication>
#include <QLineEdit>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace verblinka;
using TClock = std::chrono::steady_clock;

namespace {

// A line of /proc/self/status (VmHWM: the peak resident memory).
std::string Status(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return line;
        }
    }
    return key + " unknown";
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr,
                     "Usage: verblinka-ui-search-bench FILE WORD [ROUNDS] [plain | view]\n");
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[1]);
    const QString word = QString::fromUtf8(argv[2]);
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    const bool view = argc > 4 && std::string(argv[4]) == "view";

    TfrmMain window;
    window.SetOpenDialog([file](QWidget*) { return std::optional<QString>(file); });
    window.show();
    window.N2Click();
    std::printf("%zu entries; after the load: %s\n", window.Dictionary().Entries.size(),
                Status("VmHWM").c_str());
    window.findChild<QLineEdit*>(QStringLiteral("edtWord"))->setText(word);
    if (view) {
        window.ShowNetworkView();
    }
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        const auto start = TClock::now();
        window.btnProcessClick();
        QCoreApplication::processEvents();
        times.push_back(std::chrono::duration<double, std::milli>(TClock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    std::printf("search with the view %s: median %.1f ms, min %.1f ms (%d runs); %s\n",
                view ? "open" : "closed", times[times.size() / 2], times.front(), rounds,
                Status("VmHWM").c_str());
    if (view) {
        const bool shown = window.NetworkView() != nullptr && window.NetworkView()->HasSearch();
        window.NetworkView()->close();
        std::printf("the view showed the search: %s; after closing it: %s\n", shown ? "yes" : "no",
                    Status("VmRSS").c_str());
    }
    return 0;
}
