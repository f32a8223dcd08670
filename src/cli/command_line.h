#pragma once

// Every command declares its options once, as a CommandDef; its parsing
// (QCommandLineParser), its --help, its usage errors and the reference built
// from the help all come from that declaration.
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orbelune::cli {

using Args = std::vector<std::string>;

struct OptionDef {
    // "o" is -o, "outer" is --outer; the last name is the key the command reads it by.
    std::vector<std::string> names;
    std::string value;        // the value's name in the help; empty for a switch
    std::string description;  // one line of the help
    std::string need;         // what a valid value is: "--outer needs <need>"
};

class ParsedCommand;

struct CommandDef {
    std::string name;
    std::string operands;            // what the usage line shows besides [options]
    std::string summary;             // its line in orbelune-cli --help
    std::vector<OptionDef> options;  // -h, --help is added to every command
    std::string notes;               // printed after the options
    int (*run)(ParsedCommand&) = nullptr;
};

// "usage: orbelune-cli NAME OPERANDS [options]"
std::string UsageLine(const CommandDef& def);
// The whole --help text; every line fits in 80 columns.
std::string HelpText(const CommandDef& def);

// A command's arguments, parsed by its declaration. Usage errors are printed
// once, as "orbelune-cli: NAME: <what>" followed by the usage line; the
// readers below then give nothing and failed() turns true.
class ParsedCommand {
public:
    ParsedCommand(const CommandDef& def, const Args& args);

    // Set when the command must not run: kExitOk after --help was printed,
    // kExitUsage after a usage error.
    std::optional<int> finished() const { return finished_; }
    bool failed() const { return failed_; }

    const Args& operands() const { return operands_; }
    bool Flag(const std::string& key) const;
    // The last value given, unchecked.
    std::optional<std::string> Raw(const std::string& key) const;

    // Checked values; nothing when not given or refused.
    std::optional<std::string> Text(const std::string& key);
    std::optional<std::string> Path(const std::string& key);  // not empty
    std::optional<int> Int(const std::string& key, int low, int high);
    std::optional<float> Float(const std::string& key);
    // "X,Y" or "WxH"
    std::optional<std::pair<int, int>> Pair(const std::string& key, char separator);

    // Reports "--KEY needs <need>"; returns kExitUsage.
    int Needs(const std::string& key);
    // Reports a usage error of this command; returns kExitUsage.
    int Refuse(const std::string& message);

private:
    const OptionDef& Find(const std::string& key) const;

    const CommandDef& def_;
    std::vector<std::pair<std::string, std::vector<std::string>>> values_;  // key, values
    Args operands_;
    std::optional<int> finished_;
    bool failed_ = false;
};

}  // namespace orbelune::cli
