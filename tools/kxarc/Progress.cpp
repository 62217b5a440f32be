// Terminal progress bar; silent when stderr is redirected so logs stay clean.
#include "tools/kxarc/Progress.h"

#include <cstdio>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kx::kxarc {

TProgressBar::TProgressBar(bool enabled) : FEnabled(enabled) {}

TProgressBar::~TProgressBar() { Finish(); }

bool TProgressBar::StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

void TProgressBar::Update(int percent, const std::string& label) {
    if (!FEnabled)
        return;
    if (percent < 0)
        percent = 0;
    if (percent > 100)
        percent = 100;
    if (percent == FLastPercent && label == FLastLabel)
        return;
    FLastPercent = percent;
    FLastLabel = label;
    constexpr int width = 30;
    int filled = percent * width / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(width - filled), ' ');
    std::string shown = label.size() > 40 ? "..." + label.substr(label.size() - 37) : label;
    std::fprintf(stderr, "\r[%s] %3d%% %-40s", bar.c_str(), percent, shown.c_str());
    std::fflush(stderr);
    FDrawn = true;
}

void TProgressBar::Finish() {
    if (FEnabled && FDrawn) {
        std::fprintf(stderr, "\r%79s\r", "");
        std::fflush(stderr);
    }
    FDrawn = false;
    FLastPercent = -1;
}

} // namespace kx::kxarc
