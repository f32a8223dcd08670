#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"

namespace orbelune {
struct RingDetection;
struct MovieSettings;
struct CustomMirror;
}  // namespace orbelune

namespace orbelune::cli {

// Exit codes of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Every command, in the order orbelune-cli --help lists them.
const std::vector<const CommandDef*>& AllCommands();

const CommandDef& InfoCommand();
const CommandDef& ConvertCommand();
const CommandDef& AdjustCommand();
const CommandDef& UnwarpCommand();
const CommandDef& DetectCommand();
const CommandDef& SynthCommand();
const CommandDef& MovieCommand();
const CommandDef& ShareCommand();

// The view options movie and share both take: --pan, --tilt, --zoom.
std::vector<OptionDef> ViewOptions();
struct GivenView {
    std::optional<int> pan, tilt;
    std::optional<float> zoom;
};
GivenView ReadViewOptions(ParsedCommand& command);
// Puts the values given into `settings`.
void ApplyView(const GivenView& given, MovieSettings& settings);
// Says on stderr which of the view values given the corrected movie settings
// did not take as given.
void NoteCorrectedView(const GivenView& given, const MovieSettings& corrected, int mirrorType,
                       const CustomMirror& custom);

// Whether `path` is a file with other names (hard links), which keep the old
// contents when it is replaced; NoteHardLink says so on stderr.
bool HasOtherHardLinks(const std::string& path);
void NoteHardLink(const std::string& path);

// "center=X,Y outer=R inner=r confidence=C", as detect prints it.
std::string DetectionLine(const RingDetection& found);

// Prints "orbelune-cli: <message>" to stderr; returns kExitFailed.
int Failure(const std::string& message);

}  // namespace orbelune::cli
