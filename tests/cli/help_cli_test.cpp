#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "image/file_io.h"
#include "orbelune_version.h"

namespace orbelune {
namespace {

using testing::CliResult;
using testing::ReadFile;

class HelpCli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.valid());
        config_ = temp_.path() + "/config";
        std::filesystem::create_directories(config_ + "/Halvarn");
    }
    CliResult Run(const std::vector<std::string>& args) {
        return testing::RunCli(args, config_, temp_.path());
    }
    std::string Path(const std::string& name) const { return temp_.path() + "/" + name; }

    TempFolder temp_;
    std::string config_;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Columns on a terminal: UTF-8 continuation bytes take none.
std::size_t Columns(const std::string& line) {
    return static_cast<std::size_t>(std::count_if(line.begin(), line.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// The lines of a help text's section ("commands:", "options:"), up to the blank line.
std::vector<std::string> Section(const std::string& help, const std::string& heading) {
    std::vector<std::string> section;
    bool inside = false;
    for (const std::string& line : Lines(help)) {
        if (inside && line.empty()) break;
        if (inside) section.push_back(line);
        if (line == heading) inside = true;
    }
    return section;
}

std::vector<std::string> CommandsIn(const std::string& mainHelp) {
    std::vector<std::string> names;
    for (const std::string& line : Section(mainHelp, "commands:"))
        names.push_back(line.substr(2, line.find(' ', 2) - 2));
    return names;
}

// "-o", "--outer", "-h", "--help": every name the options section lists.
std::vector<std::string> OptionsIn(const std::string& help) {
    std::vector<std::string> names;
    static const std::regex name(R"((?:^  |, )(--?[a-z][a-z-]*))");
    for (const std::string& line : Section(help, "options:"))
        for (std::sregex_iterator it(line.begin(), line.end(), name), end; it != end; ++it)
            names.push_back((*it)[1]);
    return names;
}

// Option names in documentation: a '-' after a blank, '[', '|' or a quote.
std::vector<std::string> OptionsMentioned(const std::string& text) {
    std::vector<std::string> names;
    static const std::regex name(R"((?:^|[\s\[|"])(--?[a-z][a-z-]*))");
    for (std::sregex_iterator it(text.begin(), text.end(), name), end; it != end; ++it)
        names.push_back((*it)[1]);
    return names;
}

bool Mentions(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

const std::vector<std::string> kCommands{"info",   "convert", "adjust", "unwarp",
                                         "detect", "synth",   "movie",  "share"};

TEST_F(HelpCli, EveryCommandHasAHelpThatListsEachOptionOnOneLine) {
    const CliResult main = Run({"--help"});
    ASSERT_EQ(main.exitCode, 0) << main.err;
    EXPECT_EQ(CommandsIn(main.out), kCommands);
    EXPECT_EQ(Run({"help"}).out, main.out);
    // No command: the same text, as a usage error.
    const CliResult bare = Run({});
    EXPECT_EQ(bare.exitCode, 2);
    EXPECT_EQ(bare.err, main.out);

    for (const std::string& command : kCommands) {
        SCOPED_TRACE(command);
        const CliResult help = Run({command, "--help"});
        ASSERT_EQ(help.exitCode, 0) << help.err;
        EXPECT_EQ(help.err, "");
        EXPECT_EQ(help.out.rfind("usage: orbelune-cli " + command + " ", 0), 0u) << help.out;
        EXPECT_EQ(Run({command, "-h"}).out, help.out);
        EXPECT_EQ(Run({"help", command}).out, help.out);
        // Nothing is run: the missing file would fail.
        EXPECT_EQ(Run({command, "nothing.png", "--help"}).exitCode, 0);

        const std::vector<std::string> options = Section(help.out, "options:");
        ASSERT_FALSE(options.empty());
        EXPECT_EQ(options.back().rfind("  -h, --help ", 0), 0u);
        for (const std::string& line : options) {
            // Name, at least two blanks, a description.
            EXPECT_TRUE(std::regex_match(line, std::regex(R"(  -\S.*\S  +\S.*)"))) << line;
        }
        for (const std::string& line : Lines(help.out))
            EXPECT_LE(Columns(line), 80u) << line;
    }
    EXPECT_TRUE(Mentions(OptionsIn(Run({"synth", "--help"}).out), "--scene"));
    EXPECT_TRUE(Mentions(OptionsIn(Run({"unwarp", "--help"}).out), "--no-flip"));
}

TEST_F(HelpCli, VersionIsTheBuildsVersion) {
    const CliResult version = Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, std::string("orbelune-cli ") + kVersionText + "\n");
}

TEST_F(HelpCli, UsageErrorsHaveOneFormEverywhere) {
    for (const std::string& command : kCommands) {
        SCOPED_TRACE(command);
        const CliResult unknown = Run({command, "x.png", "--bogus"});
        EXPECT_EQ(unknown.exitCode, 2);
        EXPECT_EQ(unknown.out, "");
        EXPECT_EQ(unknown.err.rfind("orbelune-cli: " + command +
                                        ": unknown option '--bogus'\nusage: orbelune-cli " +
                                        command + " ",
                                    0),
                  0u)
            << unknown.err;
        // A single dash is the same option ("-bogus", not -b -o -g ...).
        EXPECT_EQ(Run({command, "x.png", "-bogus"})
                      .err.rfind("orbelune-cli: " + command + ": unknown option '-bogus'\n", 0),
                  0u);
    }
    // A value missing at the end, a number that is not one, a switch given a value.
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"convert", "a.png", "-o"}, "convert: -o needs a file name"},
        {{"adjust", "a.png", "-o", "b.png", "--contrast"}, "adjust: --contrast needs "},
        {{"adjust", "a.png", "-o", "b.png", "--contrast", "5x"}, "adjust: --contrast needs "},
        {{"unwarp", "a.png", "--jobs", "two"}, "unwarp: --jobs needs a number from 1 to 64"},
        {{"unwarp", "a.png", "--detect=yes"}, "unwarp: --detect takes no value"},
        {{"synth", "-o", "s.png", "--outer", "big"}, "synth: --outer needs "},
        {{"synth", "-o", "s.png", "--scene"}, "synth: --scene needs test or sample"},
        {{"movie", "p.png", "-o", "m.mov", "--quality", "high"}, "movie: --quality needs "},
        {{"movie", "p.png", "-o", "m.mov", "--zoom"}, "movie: --zoom needs a number"},
        {{"share", "p.png", "-o", "web", "--pan", "left"}, "share: --pan needs whole degrees"},
        {{"share", "p.png", "-o", "web", "--tilt"}, "share: --tilt needs whole degrees"},
    };
    for (const auto& [args, message] : cases) {
        const CliResult r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << message;
        EXPECT_EQ(r.err.rfind("orbelune-cli: " + message, 0), 0u) << r.err;
        EXPECT_NE(r.err.find("\nusage: orbelune-cli " + args[0] + " "), std::string::npos);
    }
    const CliResult command = Run({"frobnicate", "x.png"});
    EXPECT_EQ(command.exitCode, 2);
    EXPECT_EQ(command.err.rfind("orbelune-cli: unknown command 'frobnicate'\nusage:", 0), 0u)
        << command.err;
    EXPECT_EQ(Run({"--bogus"}).exitCode, 2);
    EXPECT_EQ(Run({"help", "frobnicate"}).exitCode, 2);
    for (const char* name : {"s.png", "b.png", "m.mov", "web"})
        EXPECT_FALSE(std::filesystem::exists(Path(name))) << name;
}

TEST_F(HelpCli, ValuesAndFileNamesReachTheCommandAsGiven) {
    // "--outer=60" is "--outer 60"; a file name that is not UTF-8 keeps its bytes.
    const std::string ring = "ring\xff.png", copy = "copy\xfe\x80.bmp";
    CliResult r = Run({"synth", "--size=200x160", "--outer=60", "-o", ring});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = Run({"convert", ring, "-o", copy});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(Path(copy)));
    r = Run({"info", copy});
    EXPECT_EQ(r.out, "format=6 width=200 height=160 kind=ring\n") << r.err;
    // A value may itself start with '-'; a lone "-" is an operand.
    r = Run({"unwarp", ring, "--center", "-4,80", "--outer", "60"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("centre -4,80 lies outside the picture"), std::string::npos) << r.err;
    EXPECT_EQ(Run({"detect", "-"}).exitCode, 1);
}

// The README's usage and the man page document every option the help lists,
// and no option it does not.
TEST(DocsCli, ReadmeAndManPageDocumentEveryOptionOfTheHelp) {
    TempFolder temp;
    ASSERT_TRUE(temp.valid());
    const std::string config = temp.path() + "/config";
    std::filesystem::create_directories(config);
    const std::string readme = ReadFile(ORBELUNE_SOURCE_DIR "/README.md");
    const std::size_t start = readme.find("\n## The batch tool\n");
    ASSERT_NE(start, std::string::npos);
    const std::string usage = readme.substr(start, readme.find("\n## ", start + 1) - start);
    EXPECT_NE(usage.find("--help"), std::string::npos);
    EXPECT_NE(usage.find("--version"), std::string::npos);

    // The man page without its font changes and escapes.
    std::string man = ReadFile(ORBELUNE_SOURCE_DIR "/docs/orbelune-cli.1");
    ASSERT_FALSE(man.empty());
    man = std::regex_replace(man, std::regex(R"(\\f[BIRP])"), "");
    man = std::regex_replace(man, std::regex(R"(\\-)"), "-");
    EXPECT_NE(man.find("--help"), std::string::npos);
    EXPECT_NE(man.find("--version"), std::string::npos);
    // The version it names is the build's.
    EXPECT_NE(man.find(std::string("\"Orbelune ") + kVersionText + "\""), std::string::npos);

    const std::vector<std::string> commands = CommandsIn(testing::RunCli({"--help"}, config).out);
    ASSERT_FALSE(commands.empty());
    for (const std::string& command : commands) {
        SCOPED_TRACE(command);
        std::vector<std::string> options =
            OptionsIn(testing::RunCli({command, "--help"}, config).out);
        options.erase(
            std::remove_if(options.begin(), options.end(),
                           [](const std::string& o) { return o == "-h" || o == "--help"; }),
            options.end());

        // README: "    orbelune-cli COMMAND ..." and its indented continuation lines.
        const std::regex synopsis("\n    orbelune-cli " + command + R"(\b[^\n]*(\n {10,}[^\n]*)*)");
        std::smatch found;
        ASSERT_TRUE(std::regex_search(usage, found, synopsis)) << "README: no synopsis";
        const std::vector<std::string> inReadme = OptionsMentioned(found.str());

        // Man page: the command's .BI line under .TP.
        const std::regex entry("\n\\.TP\n\\.BI \"" + command + R"(\b[^\n]*)");
        ASSERT_TRUE(std::regex_search(man, found, entry)) << "man page: no entry";
        const std::vector<std::string> inMan = OptionsMentioned(found.str());

        for (const std::string& option : options) {
            EXPECT_TRUE(Mentions(inReadme, option)) << "README lacks " << option;
            EXPECT_TRUE(Mentions(inMan, option)) << "man page lacks " << option;
        }
        for (const std::string& option : inReadme)
            EXPECT_TRUE(Mentions(options, option)) << "README has " << option;
        for (const std::string& option : inMan)
            EXPECT_TRUE(Mentions(options, option)) << "man page has " << option;
    }
}

TEST(DocsCli, TheGeneratedReferenceHoldsEveryCommandsHelp) {
    TempFolder temp;
    ASSERT_TRUE(temp.valid());
    const std::string config = temp.path() + "/config";
    std::filesystem::create_directories(config);
    const std::string reference = ReadFile(ORBELUNE_CLI_REFERENCE);
    ASSERT_EQ(reference.rfind("## Batch tool reference\n", 0), 0u) << reference.substr(0, 80);
    const std::string main = testing::RunCli({"--help"}, config).out;
    EXPECT_NE(reference.find("```text\n" + main + "```\n"), std::string::npos);
    for (const std::string& command : CommandsIn(main)) {
        SCOPED_TRACE(command);
        const std::string help = testing::RunCli({command, "--help"}, config).out;
        const std::string usage = Lines(help).front().substr(std::string("usage: ").size());
        EXPECT_NE(reference.find("\n### orbelune-cli " + command + "\n\n`" + usage +
                                 "`\n\n```text\n" + help + "```\n"),
                  std::string::npos);
    }
    for (const std::string& line : Lines(reference))
        EXPECT_LE(Columns(line), 80u) << line;
}

}  // namespace
}  // namespace orbelune
