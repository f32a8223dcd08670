#include "cli/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "cli/commands.h"
#include "cli/numbers.h"

namespace orbelune::cli {

namespace {

// Latin-1 maps every byte to one character and back, so file names reach the
// command exactly as given, also when they are not valid UTF-8.
QString ToQt(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQt(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

const OptionDef& HelpOption() {
    static const OptionDef help{{"h", "help"}, "", "show this help and exit", ""};
    return help;
}

std::string Dashed(const std::string& name) {
    return (name.size() == 1 ? "-" : "--") + name;
}

// "-h, --help" or "--outer R", as the help lists it.
std::string Shown(const OptionDef& option) {
    std::string text;
    for (const std::string& name : option.names)
        text += (text.empty() ? "" : ", ") + Dashed(name);
    if (!option.value.empty()) text += " " + option.value;
    return text;
}

// Columns on a terminal: UTF-8 continuation bytes take none.
std::size_t Columns(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// Lines longer than 80 columns broken at their last blank that lets them fit.
std::string Wrapped(const std::string& text) {
    std::string out, line;
    auto flush = [&] {
        while (Columns(line) > 80) {
            std::size_t at = line.size();
            while (at > 0 && (line[at - 1] != ' ' || Columns(line.substr(0, at - 1)) > 80))
                --at;
            if (at == 0) break;  // one word longer than a line stays whole
            out += line.substr(0, at - 1) + "\n";
            line.erase(0, at);
        }
        out += line;
    };
    for (const char c : text) {
        if (c == '\n') {
            flush();
            out += '\n';
            line.clear();
        } else {
            line += c;
        }
    }
    flush();
    return out;
}

std::vector<const OptionDef*> AllOptions(const CommandDef& def) {
    std::vector<const OptionDef*> all;
    for (const OptionDef& option : def.options)
        all.push_back(&option);
    all.push_back(&HelpOption());
    return all;
}

// The option a command-line word names ("--outer", "-o", "--outer=60"), if any.
const OptionDef* Named(const CommandDef& def, const std::string& word) {
    if (word.size() < 2 || word[0] != '-') return nullptr;
    std::string name = word.substr(word[1] == '-' ? 2 : 1);
    name = name.substr(0, name.find('='));
    for (const OptionDef* option : AllOptions(def))
        if (std::find(option->names.begin(), option->names.end(), name) != option->names.end())
            return option;
    return nullptr;
}

}  // namespace

std::string UsageLine(const CommandDef& def) {
    return "usage: orbelune-cli " + def.name + (def.operands.empty() ? "" : " ") + def.operands +
           " [options]";
}

std::string HelpText(const CommandDef& def) {
    const std::vector<const OptionDef*> all = AllOptions(def);
    std::size_t widest = 0;
    for (const OptionDef* option : all)
        widest = std::max(widest, Columns(Shown(*option)));
    // Descriptions start in one column; a longer name gets its own line.
    const std::size_t column = std::min<std::size_t>(widest, 24) + 4;
    std::string text = UsageLine(def) + "\n\n" + def.summary + "\n\noptions:\n";
    for (const OptionDef* option : all) {
        std::string line = "  " + Shown(*option);
        if (Columns(line) + 2 > column) {
            text += line + "\n";
            line.clear();
        }
        line += std::string(column - Columns(line), ' ');
        text += line + option->description + "\n";
    }
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on "\n" + string.
    if (!def.notes.empty()) {
        text += '\n';
        text += Wrapped(def.notes);
        text += '\n';
    }
    return text;
}

ParsedCommand::ParsedCommand(const CommandDef& def, const Args& args) : def_(def) {
    QCommandLineParser parser;
    // "-outer" is --outer, not -o -u -t ...; "--" ends the options.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionDef* option : AllOptions(def)) {
        QStringList names;
        for (const std::string& name : option->names)
            names << ToQt(name);
        parser.addOption(QCommandLineOption(names, ToQt(option->description), ToQt(option->value)));
    }
    QStringList words{ToQt("orbelune-cli " + def.name)};
    for (const std::string& arg : args)
        words << ToQt(arg);

    if (!parser.parse(words)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            // Named as it was typed.
            const std::string name = FromQt(unknown.first());
            std::string typed = Dashed(name);
            for (const std::string& arg : args) {
                const std::string bare = arg.substr(0, arg.find('='));
                if (bare == "-" + name || bare == "--" + name) {
                    typed = bare;
                    break;
                }
            }
            Refuse("unknown option '" + typed + "'");
            return;
        }
        // A value can only be missing after the last word.
        const OptionDef* last = args.empty() ? nullptr : Named(def, args.back());
        if (last && !last->value.empty() && args.back().find('=') == std::string::npos) {
            Needs(last->names.back());
            return;
        }
        for (const std::string& arg : args) {
            const OptionDef* option = Named(def, arg);
            if (option && option->value.empty() && arg.find('=') != std::string::npos) {
                Refuse(arg.substr(0, arg.find('=')) + " takes no value");
                return;
            }
        }
        std::string text = FromQt(parser.errorText());
        if (!text.empty() && text.back() == '.') text.pop_back();
        if (!text.empty()) text[0] = static_cast<char>(std::tolower(text[0]));
        Refuse(text);
        return;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(HelpText(def).c_str(), stdout);
        finished_ = kExitOk;
        return;
    }
    for (const OptionDef* option : AllOptions(def)) {
        const QString key = ToQt(option->names.back());
        if (!parser.isSet(key)) continue;
        std::vector<std::string> values;
        for (const QString& value : parser.values(key))
            values.push_back(FromQt(value));
        values_.emplace_back(option->names.back(), std::move(values));
    }
    for (const QString& operand : parser.positionalArguments())
        operands_.push_back(FromQt(operand));
}

const OptionDef& ParsedCommand::Find(const std::string& key) const {
    for (const OptionDef& option : def_.options)
        if (option.names.back() == key) return option;
    return HelpOption();  // not reached: every key a command reads is declared
}

bool ParsedCommand::Flag(const std::string& key) const {
    return std::any_of(values_.begin(), values_.end(),
                       [&](const auto& entry) { return entry.first == key; });
}

std::optional<std::string> ParsedCommand::Raw(const std::string& key) const {
    for (const auto& [name, values] : values_)
        if (name == key && !values.empty()) return values.back();
    return std::nullopt;
}

std::optional<std::string> ParsedCommand::Text(const std::string& key) {
    return failed_ ? std::nullopt : Raw(key);
}

std::optional<std::string> ParsedCommand::Path(const std::string& key) {
    std::optional<std::string> value = Text(key);
    if (value && value->empty()) {
        Needs(key);
        return std::nullopt;
    }
    return value;
}

std::optional<int> ParsedCommand::Int(const std::string& key, int low, int high) {
    const std::optional<std::string> text = Text(key);
    if (!text) return std::nullopt;
    int value = 0;
    if (ParseInt(*text, value) && value >= low && value <= high) return value;
    Needs(key);
    return std::nullopt;
}

std::optional<float> ParsedCommand::Float(const std::string& key) {
    const std::optional<std::string> text = Text(key);
    if (!text) return std::nullopt;
    float value = 0;
    if (ParseFloat(*text, value)) return value;
    Needs(key);
    return std::nullopt;
}

std::optional<std::pair<int, int>> ParsedCommand::Pair(const std::string& key, char separator) {
    const std::optional<std::string> text = Text(key);
    if (!text) return std::nullopt;
    int first = 0, second = 0;
    if (ParsePair(*text, separator, first, second)) return std::pair{first, second};
    Needs(key);
    return std::nullopt;
}

int ParsedCommand::Needs(const std::string& key) {
    const OptionDef& option = Find(key);
    return Refuse(Dashed(option.names.back()) + " needs " + option.need);
}

int ParsedCommand::Refuse(const std::string& message) {
    // The first mistake is the one reported.
    if (!failed_) {
        std::fprintf(
            stderr, "orbelune-cli: %s: %s\n%s\nTry 'orbelune-cli %s --help' for its options.\n",
            def_.name.c_str(), message.c_str(), UsageLine(def_).c_str(), def_.name.c_str());
    }
    failed_ = true;
    finished_ = kExitUsage;
    return kExitUsage;
}

}  // namespace orbelune::cli
