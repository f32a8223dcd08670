#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace orbelune::cli {

// A one-line progress bar on stderr, drawn only when stderr is a terminal.
// Thread-safe; messages printed through it clear the bar first so the two
// never mix on one line.
class ProgressBar {
public:
    ProgressBar();
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    bool enabled() const { return enabled_; }
    // Shows `label` with done/total; redraws only when the shown percentage changes.
    void Update(const std::string& label, long long done, long long total);
    // Prints a whole line to stderr (the bar, if any, is redrawn later).
    void Message(const std::string& line);
    void Clear();

private:
    void ClearLocked();

    bool enabled_;
    std::mutex mutex_;
    bool drawn_ = false;
    int shownPercent_ = -1;
    std::string shownLabel_;
};

}  // namespace orbelune::cli
