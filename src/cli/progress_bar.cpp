#include "cli/progress_bar.h"

#include <unistd.h>

#include <algorithm>

namespace orbelune::cli {

namespace {
constexpr int kBarCells = 30;
constexpr std::size_t kMaxLabel = 40;
}  // namespace

ProgressBar::ProgressBar() : enabled_(::isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() {
    Clear();
}

void ProgressBar::Update(const std::string& label, long long done, long long total) {
    if (!enabled_ || total <= 0) return;
    const int percent = static_cast<int>(std::clamp(done * 100 / total, 0LL, 100LL));
    std::lock_guard lock(mutex_);
    if (percent == shownPercent_ && label == shownLabel_) return;
    shownPercent_ = percent;
    shownLabel_ = label;
    std::string shown =
        label.size() > kMaxLabel ? "..." + label.substr(label.size() - kMaxLabel + 3) : label;
    const int filled = percent * kBarCells / 100;
    std::fprintf(stderr, "\r\033[K%s [%s%s] %3d%%", shown.c_str(),
                 std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(kBarCells - filled), ' ').c_str(), percent);
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::Message(const std::string& line) {
    std::lock_guard lock(mutex_);
    ClearLocked();
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

void ProgressBar::Clear() {
    std::lock_guard lock(mutex_);
    ClearLocked();
}

void ProgressBar::ClearLocked() {
    if (drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
    shownPercent_ = -1;
}

}  // namespace orbelune::cli
