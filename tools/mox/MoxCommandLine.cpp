#include "MoxCommandLine.h"

#include <algorithm>

#include "MoxTextTable.h"

const std::vector<std::vector<std::string>>& MoxArguments::uses(const std::string& option) const {
    static const std::vector<std::vector<std::string>> none;
    const auto found = options.find(option);
    return found == options.end() ? none : found->second;
}

void MoxCommandLine::add(MoxCommand command) {
    if (command.maxPositional == 0 && command.minPositional > 0) {
        command.maxPositional = command.minPositional;
    }
    commands.push_back(std::move(command));
}

const MoxCommand* MoxCommandLine::lookUp(const std::string& name) const {
    const auto found = std::find_if(commands.begin(), commands.end(),
                                    [&name](const MoxCommand& command) { return command.name == name; });
    return found == commands.end() ? nullptr : &*found;
}

MoxArguments MoxCommandLine::sort(const MoxCommand& command, const std::vector<std::string>& words) const {
    const std::string seeHelp = " (see " + program + " " + command.name + " --help)";
    MoxArguments arguments;
    bool optionsEnded = false;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.rfind("--", 0) != 0) {
            arguments.words.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        const std::string name = word.substr(2);
        const auto spec = std::find_if(command.options.begin(), command.options.end(),
                                       [&name](const MoxOptionSpec& option) { return option.name == name; });
        if (spec == command.options.end()) {
            throw MoxRefusal(command.name + ": unknown option " + word + seeHelp);
        }
        if (arguments.has(name) && !spec->repeatable) {
            throw MoxRefusal(command.name + ": " + word + " given twice" + seeHelp);
        }
        if (words.size() - 1 - i < spec->valueCount) {
            throw MoxRefusal(command.name + ": " + word + " needs " + spec->valueNames + seeHelp);
        }
        std::vector<std::string> values(words.begin() + i + 1, words.begin() + i + 1 + spec->valueCount);
        arguments.options[name].push_back(std::move(values));
        i += spec->valueCount;
    }
    const size_t count = arguments.words.size();
    if (count < command.minPositional ||
        (command.maxPositional != MoxCommand::unlimited && count > command.maxPositional)) {
        throw MoxRefusal(command.name + ": wrong number of arguments; usage: " + program + " " + command.name + " " +
                         command.synopsis + seeHelp);
    }
    return arguments;
}

int MoxCommandLine::run(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) const {
    try {
        if (words.empty()) {
            throw MoxRefusal("no command given (see " + program + " --help)");
        }
        if (words[0] == "--help" || words[0] == "help") {
            printHelp(out);
            return 0;
        }
        const MoxCommand* command = lookUp(words[0]);
        if (command == nullptr) {
            throw MoxRefusal("unknown command '" + words[0] + "' (see " + program + " --help)");
        }
        if (std::find(words.begin() + 1, words.end(), "--help") != words.end()) {
            printHelp(*command, out);
            return 0;
        }
        return command->run(sort(*command, words));
    } catch (const MoxRefusal& refusal) {
        err << program << ": " << refusal.what() << std::endl;
        return 2;
    }
}

void MoxCommandLine::printHelp(std::ostream& out) const {
    out << "Usage: " << program << " COMMAND [ARGUMENTS]   (" << program << " COMMAND --help for more)\n\n";
    MoxTextTable table({"command", "arguments", "what it does"});
    for (const MoxCommand& command : commands) {
        table.add({command.name, command.synopsis, command.summary});
    }
    table.print(out);
    out << "\nThe database is MOX_DATABASE_PATH (default: the current directory); the log files live in the\n"
           "current directory. Exit codes: 0 done, 1 the engine failed (its exception is printed), 2 refused.\n";
}

void MoxCommandLine::printHelp(const MoxCommand& command, std::ostream& out) const {
    out << "Usage: " << program << " " << command.name << (command.synopsis.empty() ? "" : " ") << command.synopsis
        << "\n\n"
        << command.summary << "\n";
    if (!command.help.empty()) {
        out << "\n" << command.help;
        if (command.help.back() != '\n') out << "\n";
    }
    if (!command.options.empty()) {
        out << "\nOptions:\n";
        for (const MoxOptionSpec& option : command.options) {
            std::string left = "  --" + option.name + (option.valueNames.empty() ? "" : " " + option.valueNames);
            left.resize(std::max<size_t>(left.size() + 2, 28), ' ');
            out << left << option.help << "\n";
        }
    }
}
