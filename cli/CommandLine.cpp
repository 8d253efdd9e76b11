// Argument parsing: the command word and "--" are found here, each command's
// options are parsed by CLI11, and every usage error names the word it refuses.
#include "cli/CommandLine.h"

#include "platform/Text.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <sstream>
#include <variant>

#ifndef QUORVEL_VERSION
#define QUORVEL_VERSION "0"
#endif

namespace quorvel::cli {
namespace {

constexpr std::string_view kProgram = "quorvel-cli";

struct Command {
    std::string_view name;
    CipherDirection direction;
    std::string_view summary;  // one line, for the list of commands
    std::string_view description;
    std::string_view examples;
};

constexpr std::array<Command, 2> kCommands {{
    {"encipher", CipherDirection::Encipher, "encipher each FILE into en_FILE",
     "Enciphers each FILE into en_FILE beside it, byte for byte as the Quorvel\n"
     "dialog does.",
     "  quorvel-cli encipher report.pdf           writes en_report.pdf\n"
     "  quorvel-cli encipher --password-file pw -o out a b\n"
     "                                            writes out/en_a and out/en_b\n"
     "  tar c photos | quorvel-cli encipher --password-file pw - > photos.tar.en\n"
     "  quorvel-cli encipher -c --password-file pw notes.txt > notes.en\n"},
    {"decipher", CipherDirection::Decipher, "decipher each FILE into de_FILE",
     "Deciphers each FILE into de_FILE beside it, byte for byte as the Quorvel\n"
     "dialog does. A wrong password is not detected: it gives other bytes.",
     "  quorvel-cli decipher en_report.pdf        writes de_en_report.pdf\n"
     "  quorvel-cli decipher --password-file pw - < photos.tar.en | tar x\n"
     "  quorvel-cli decipher -c --password-file pw en_notes.txt | less\n"},
}};

constexpr std::string_view kFileText =
    "FILE is a file name, or - for standard input: its output goes to standard\n"
    "output. After --, every word is a FILE, even one that starts with '-'.\n"
    "Binary data is not written to a terminal unless -f is given.\n";

constexpr std::string_view kExitText =
    "Exit status: 0 every file done; 1 a file failed; 2 usage error or no usable\n"
    "password; 128+N stopped by signal N (129 hang-up, 130 Ctrl-C, 131 quit,\n"
    "141 the reader of standard output went away, 143 terminated).\n";

std::string TopHelp()
{
    std::ostringstream out;
    out << "quorvel-cli enciphers and deciphers files with a password, byte for byte as the\n"
           "Quorvel dialog does.\n\n";
    for (const Command& command : kCommands)
        out << (&command == &kCommands[0] ? "Usage: " : "       ") << kProgram << ' ' << command.name
            << " [OPTIONS] FILE...\n";
    out << "\nCommands:\n";
    for (const Command& command : kCommands)
        out << "  " << command.name << "      " << command.summary << '\n';
    out << "Run 'quorvel-cli COMMAND --help' for a command's options and examples.\n\n"
           "FILE:\n"
           "  NAME          a file; its output is written beside it as en_NAME or de_NAME\n"
           "  -             standard input; the output goes to standard output\n"
           "  --            ends the options: every word after it is a FILE, even one\n"
           "                that starts with '-'\n\n"
           "Options:\n"
           "  -h, --help    show this help\n"
           "  --version     show the version\n\n"
        << kExitText
        << "\nThis hides a file's content from a casual look; it is not strong encryption\n"
           "(see \"Not strong encryption\" in the README, or SECURITY in man quorvel-cli).\n";
    return out.str();
}

// CLI11's layout with the option names as people write them ("-o, --output-dir
// DIR") and none of its annotations: the texts say what excludes what.
class HelpFormatter final : public CLI::Formatter {
public:
    HelpFormatter() { column_width(26); }

    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode mode) const override
    {
        // make_groups starts with the blank line before "Options:".
        return app->get_description() + "\n\nUsage: " + app->get_name() + " [OPTIONS] FILE...\n" +
               make_groups(app, mode) + '\n' + app->get_footer();
    }

    std::string make_option_name(const CLI::Option* option, bool positional) const override
    {
        std::string name = CLI::Formatter::make_option_name(option, positional);
        for (size_t at = name.find(','); at != std::string::npos; at = name.find(',', at + 2))
            name.replace(at, 1, ", ");
        return name;
    }

    std::string make_option_opts(const CLI::Option* option) const override
    {
        return option->get_type_size() != 0 ? " " + option->get_type_name() : std::string();
    }
};

struct RawOptions {
    std::vector<std::string> files;
    std::string passwordFile;
    bool passwordStdin = false;
    std::string outputDir;
    bool toStdout = false;
    bool force = false;
    bool quiet = false;
    bool removeSources = false;
};

void AddOptions(CLI::App& app, RawOptions& raw)
{
    app.set_help_flag("-h,--help", "show this help");
    auto* file = app.add_option("--password-file", raw.passwordFile,
                                "the password is the first line of PATH");
    // Taken as given, each time: a second one is refused after the parse,
    // by its count, so that CLI11's ArgumentMismatch means a missing value.
    file->type_name("PATH")->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    auto* in = app.add_flag("--password-stdin", raw.passwordStdin,
                            "the password is the first line of standard\ninput (not with -)");
    file->excludes(in);
    auto* dir = app.add_option("-o,--output-dir", raw.outputDir, "write the outputs into DIR, not beside each FILE");
    dir->type_name("DIR")->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    auto* out = app.add_flag("-c,--stdout", raw.toStdout, "write the outputs to standard output");
    out->excludes(dir);
    app.add_flag("-f,--force", raw.force, "replace an existing output;\nwith -c or -, write even to a terminal");
    app.add_flag("-q,--quiet", raw.quiet, "no progress line");
    app.add_flag("--rm", raw.removeSources, "remove each FILE once its output is on the disk\n(not with - or -c)");
    app.add_option("FILE", raw.files);
    // Whatever CLI11 does not take is an unknown option, reported below by name.
    app.allow_extras();
}

std::string Quoted(std::string_view word)
{
    return "'" + std::string(word) + "'";
}

bool IsOptionWord(std::string_view word)
{
    return word.size() > 1 && word[0] == '-';
}

const Command* FindCommand(std::string_view word)
{
    for (const Command& command : kCommands)
        if (command.name == word)
            return &command;
    return nullptr;
}

ParseResult UsageError(const std::string& message, std::string_view command = {})
{
    ParseResult result;
    result.exitCode = kExitUsage;
    result.err = std::string(kProgram) + ": " + message + "\nRun 'quorvel-cli " +
                 (command.empty() ? std::string() : std::string(command) + ' ') + "--help' for the options.\n";
    return result;
}

ParseResult Output(std::string text)
{
    ParseResult result;
    result.exitCode = kExitOk;
    result.out = std::move(text);
    return result;
}

// The words before the command: only --help and --version belong there.
// Returns the command's index, or the result that ends the parse.
std::variant<size_t, ParseResult> FindCommandWord(const std::vector<std::string>& args)
{
    std::vector<std::string> stray;  // words that are neither an option nor a command
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (FindCommand(word)) {
            if (stray.empty())
                return i;
            std::string list;
            for (const std::string& s : stray)
                list += ' ' + Quoted(s);
            return UsageError(std::string(stray.size() == 1 ? "unexpected word" : "unexpected words") +
                              " before the command " + word + ":" + list);
        }
        if (word == "-h" || word == "--help")
            return Output(TopHelp());
        if (word == "--version")
            return Output(std::string(kProgram) + " " QUORVEL_VERSION "\n");
        if (word == "--")
            return UsageError("'--' goes after the command (encipher or decipher)");
        if (IsOptionWord(word)) {
            // An option of the commands given before one is a slip worth naming.
            RawOptions raw;
            CLI::App probe;
            AddOptions(probe, raw);
            const std::string name = word.substr(0, word.find('='));
            if (probe.get_option_no_throw(name))
                return UsageError("the option " + Quoted(word) + " goes after the command (encipher or decipher)");
            return UsageError("unknown option " + Quoted(word));
        }
        stray.push_back(word);
    }
    if (!stray.empty())
        return UsageError("unknown command " + Quoted(stray.front()) + " (encipher or decipher)");
    return UsageError("a command is required: encipher or decipher");
}

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& args)
{
    auto found = FindCommandWord(args);
    if (auto* ended = std::get_if<ParseResult>(&found))
        return std::move(*ended);
    const size_t at = std::get<size_t>(found);
    const Command& command = *FindCommand(args[at]);

    // CLI11 sees only the words before "--": every word after it is a FILE,
    // whatever it looks like.
    const auto begin = args.begin() + static_cast<std::ptrdiff_t>(at) + 1;
    const auto mark = std::find(begin, args.end(), "--");
    const std::vector<std::string> afterMark(mark == args.end() ? mark : mark + 1, args.end());

    // CLI11 takes the next word as the value of "--output-dir=", which would
    // turn a file into the folder.
    for (auto word = begin; word != mark; ++word)
        if (word->size() > 2 && word->starts_with("--") && word->back() == '=')
            return UsageError("no value after " + Quoted(*word), command.name);

    RawOptions raw;
    CLI::App app {std::string(command.description), std::string(kProgram) + " " + std::string(command.name)};
    app.formatter(std::make_shared<HelpFormatter>());
    AddOptions(app, raw);
    app.footer(std::string(kFileText) +
               "Without --password-file or --password-stdin the password is asked on the\nterminal" +
               (command.direction == CipherDirection::Encipher ? ", twice" : "") + ".\n\nExamples:\n" +
               std::string(command.examples) + '\n' + std::string(kExitText));
    std::vector<std::string> reversed(std::make_reverse_iterator(mark), std::make_reverse_iterator(begin));
    try {
        app.parse(reversed);  // CLI11 takes its words last first
    } catch (const CLI::CallForHelp&) {
        return Output(app.help());
    } catch (const CLI::ExcludesError&) {
        const bool outputs = app.count("--stdout") != 0;
        return UsageError(outputs ? "-c (standard output) and -o (a folder) cannot both take the outputs"
                                  : "--password-file and --password-stdin cannot both give the password",
                          command.name);
    } catch (const CLI::ArgumentMismatch& e) {
        // An option that takes a value was the last word: CLI11 takes any
        // word after one as its value, so no other can lack it.
        const CLI::Option* option = mark != begin ? app.get_option_no_throw(*(mark - 1)) : nullptr;
        if (option != nullptr)
            return UsageError(option->get_name() + " needs a value (" + option->get_type_name() + ")", command.name);
        return UsageError(e.what(), command.name);
    } catch (const CLI::ParseError& e) {
        return UsageError(e.what(), command.name);
    }
    for (const char* name : {"--password-file", "--output-dir"})
        if (app.count(name) > 1)
            return UsageError(std::string(name) + " is given more than once", command.name);
    if (const auto unknown = app.remaining(); !unknown.empty())
        return UsageError("unknown option " + Quoted(unknown.front()) + " (a file of that name: quorvel-cli " +
                              std::string(command.name) + " -- " + unknown.front() + ", or ./" + unknown.front() + ")",
                          command.name);

    ParseResult result;
    CliOptions& options = result.options;
    options.direction = command.direction;
    raw.files.insert(raw.files.end(), afterMark.begin(), afterMark.end());
    for (const std::string& file : raw.files)
        options.files.push_back(Utf8ToUtf16(file));
    if (app.count("--password-file") != 0)
        options.passwordFile = Utf8ToUtf16(raw.passwordFile);
    options.passwordStdin = raw.passwordStdin;
    if (app.count("--output-dir") != 0)
        options.outputDir = Utf8ToUtf16(raw.outputDir);
    options.toStdout = raw.toStdout;
    options.force = raw.force;
    options.quiet = raw.quiet;
    options.removeSources = raw.removeSources;

    const auto empty = [](const std::u16string& s) { return s.empty(); };
    const auto stdinCount = std::count(options.files.begin(), options.files.end(), kStdinName);
    if (options.files.empty())
        return UsageError("no FILE given: name the files, or - for standard input", command.name);
    if ((options.passwordFile && options.passwordFile->empty()) || (options.outputDir && options.outputDir->empty()) ||
        std::any_of(options.files.begin(), options.files.end(), empty))
        return UsageError("an empty path was given", command.name);
    if (stdinCount > 1)
        return UsageError("- (standard input) is given more than once; it can be read only once", command.name);
    if (options.removeSources && (options.toStdout || stdinCount != 0))
        return UsageError(std::string("--rm removes each FILE once its output is on the disk, and ") +
                              (options.toStdout ? "-c sends the outputs to standard output"
                                                : "- reads standard input, which is no file to remove") +
                              ": leave out --rm",
                          command.name);
    if (stdinCount == 1 && options.passwordStdin)
        return UsageError("- reads the data from standard input, so the password cannot come from there too: "
                          "use --password-file, or leave both out to type it at the prompt",
                          command.name);
    return result;
}

}  // namespace quorvel::cli
