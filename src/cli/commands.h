#pragma once

#include <string>
#include <vector>

namespace orbelune {
struct RingDetection;
struct MovieSettings;
struct CustomMirror;
}  // namespace orbelune

namespace orbelune::cli {

// Says on stderr which of the view values given on the command line (null: not
// given) the corrected movie settings did not take as given.
void NoteCorrectedView(const float* zoom, const int* pan, const int* tilt,
                       const MovieSettings& corrected, int mirrorType, const CustomMirror& custom);

// Exit codes of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

using Args = std::vector<std::string>;

// The arguments with "--" taken out: what follows it are operands even when
// they start with '-' (passed on as "./-name").
Args EndOfOptions(const Args& args);

int RunInfo(const Args& args);
int RunConvert(const Args& args);
int RunAdjust(const Args& args);
int RunUnwarp(const Args& args);
int RunSynth(const Args& args);
int RunMovie(const Args& args);
int RunShare(const Args& args);

// Whether `path` is a file with other names (hard links), which keep the old
// contents when it is replaced; NoteHardLink says so on stderr.
bool HasOtherHardLinks(const std::string& path);
void NoteHardLink(const std::string& path);
int RunDetect(const Args& args);

// "center=X,Y outer=R inner=r confidence=C", as detect prints it.
std::string DetectionLine(const RingDetection& found);

// Prints "orbelune-cli: <message>" and the command's usage line to stderr; returns kExitUsage.
int UsageError(const std::string& message, const char* usage);
// Prints "orbelune-cli: <message>" to stderr; returns kExitFailed.
int Failure(const std::string& message);

}  // namespace orbelune::cli
