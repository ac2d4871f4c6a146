#ifndef MOX_COMMAND_LINE_H
#define MOX_COMMAND_LINE_H

#include <cstddef>
#include <functional>
#include <map>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

// A command line the program refuses: wrong arguments, unknown names, a
// value that does not fit its column. what() is the one line printed; the
// exit code is 2 and nothing has changed.
class MoxRefusal : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// An option of a command: "--name" followed by valueCount words, which are
// taken as they are (so "-5" can be a value).
struct MoxOptionSpec {
    std::string name;  // without the dashes
    size_t valueCount = 0;
    bool repeatable = false;
    std::string valueNames;  // for the help: "COLUMN=VALUE"
    std::string help;
};

// The words of one command line, sorted into positional arguments and
// options.
class MoxArguments {
  public:
    const std::vector<std::string>& positional() const { return words; }
    bool has(const std::string& option) const { return options.count(option) != 0; }
    // The values of each use of the option, in order (none when absent).
    const std::vector<std::vector<std::string>>& uses(const std::string& option) const;
    // The values of the option's single use; the option must be present.
    const std::vector<std::string>& values(const std::string& option) const { return uses(option).front(); }

  private:
    friend class MoxCommandLine;
    std::vector<std::string> words;
    std::map<std::string, std::vector<std::vector<std::string>>> options;
};

// One command: its name, how it is called and what it does, the positional
// arguments and options it takes, and the code that runs it (returning the
// exit code; MoxRefusal for a refusal).
struct MoxCommand {
    std::string name;
    std::string synopsis;  // the arguments after the name: "TABLE [FILE]"
    std::string summary;   // one line for the list of commands
    std::string help;      // more lines for "mox COMMAND --help" (may be empty)
    size_t minPositional = 0;
    size_t maxPositional = 0;  // 0: as many as minPositional; or unlimited
    std::vector<MoxOptionSpec> options;
    std::function<int(const MoxArguments&)> run;

    static constexpr size_t unlimited = static_cast<size_t>(-1);
};

// The command table of a program: finds the command named by the first
// word, sorts the rest into arguments by the command's specification and
// runs it. "--help" alone or after a command prints the help; refusals are
// printed as one line "<program>: <reason>" on the error stream and give
// exit code 2.
class MoxCommandLine {
  public:
    explicit MoxCommandLine(std::string program) : program(std::move(program)) {}

    // Names must be unique. A command grows by another entry in its options.
    void add(MoxCommand command);

    // Runs the command line (words without the program name); the exit code.
    int run(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) const;

  private:
    const MoxCommand* lookUp(const std::string& name) const;
    MoxArguments sort(const MoxCommand& command, const std::vector<std::string>& words) const;
    void printHelp(std::ostream& out) const;
    void printHelp(const MoxCommand& command, std::ostream& out) const;

    std::string program;
    std::vector<MoxCommand> commands;
};

#endif
