// A one-line progress bar on stderr, drawn only when stderr is a terminal.
#pragma once
#include <cstdint>
#include <string>

namespace kx::kxarc {

class TProgressBar {
public:
    explicit TProgressBar(bool enabled);
    ~TProgressBar();
    // Redraws when the percent or the label changed; cheap to call per block.
    void Update(int percent, const std::string& label);
    // Clears the line so that following messages start at column 0.
    void Finish();
    bool Enabled() const { return FEnabled; }

    static bool StderrIsTerminal();

private:
    bool FEnabled;
    bool FDrawn = false;
    int FLastPercent = -1;
    std::string FLastLabel;
};

} // namespace kx::kxarc
