// orbelune-cli: the batch tool over the same core as the desktop program.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "image/temp_registry.h"
#include "orbelune_version.h"

namespace orbelune::cli {

const std::vector<const CommandDef*>& AllCommands() {
    static const std::vector<const CommandDef*> commands{
        &InfoCommand(),   &ConvertCommand(), &AdjustCommand(), &UnwarpCommand(),
        &DetectCommand(), &SynthCommand(),   &MovieCommand(),  &ShareCommand(),
    };
    return commands;
}

namespace {

const CommandDef* FindCommand(const std::string& name) {
    for (const CommandDef* command : AllCommands())
        if (command->name == name) return command;
    return nullptr;
}

constexpr const char* kUsage = "usage: orbelune-cli COMMAND [options] [ARGS...]";

std::string MainHelp() {
    std::string text = std::string(kUsage) +
                       "\n"
                       "       orbelune-cli COMMAND --help\n"
                       "       orbelune-cli --help | --version\n"
                       "\n"
                       "commands:\n";
    for (const CommandDef* command : AllCommands()) {
        std::string line = "  " + command->name;
        line += std::string(12 - line.size(), ' ');
        text += line + command->summary + "\n";
    }
    text +=
        "\n"
        "Values a command is not given are taken from the desktop program's settings,\n"
        "which are never changed. \"--\" ends the options: what follows are files.\n"
        "Exit status: 0 success, 1 when any file failed, 2 for usage errors.\n";
    return text;
}

// Mistakes before any command: "orbelune-cli: <what>".
int TopLevelError(const std::string& message) {
    std::fprintf(stderr, "orbelune-cli: %s\n%s\nTry 'orbelune-cli --help' for the commands.\n",
                 message.c_str(), kUsage);
    return kExitUsage;
}

}  // namespace

}  // namespace orbelune::cli

int main(int argc, char** argv) {
    using namespace orbelune::cli;
    if (argc < 2) {
        std::fputs(MainHelp().c_str(), stderr);
        return kExitUsage;
    }
    orbelune::RemoveTempFilesOnSignals();
    const std::string first = argv[1];
    if (first == "--help" || first == "-h" || (first == "help" && argc == 2)) {
        std::fputs(MainHelp().c_str(), stdout);
        return kExitOk;
    }
    if (first == "--version") {
        std::printf("orbelune-cli %s\n", orbelune::kVersionText);
        return kExitOk;
    }
    if (first == "help") {
        // "help COMMAND" is "COMMAND --help".
        const CommandDef* command = FindCommand(argv[2]);
        if (!command || argc > 3) return TopLevelError("help takes one command");
        std::fputs(HelpText(*command).c_str(), stdout);
        return kExitOk;
    }
    const CommandDef* command = FindCommand(first);
    if (!command) {
        if (first.size() > 1 && first[0] == '-')
            return TopLevelError("unknown option '" + first + "'");
        return TopLevelError("unknown command '" + first + "'");
    }
    ParsedCommand parsed(*command, Args(argv + 2, argv + argc));
    if (const std::optional<int> finished = parsed.finished()) return *finished;
    return command->run(parsed);
}
