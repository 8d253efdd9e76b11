// Argument parsing: the command word and "--" are found here, each command's
// options are parsed by CLI11, and every usage error names the word it refuses.
#include "cli/CommandLine.h"

#include "platform/Text.h"
#include "texts/Catalogue.h"

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

// A text of the catalogue as the parse builds its output, in UTF-8; the
// arguments are UTF-8 too (words of the command line, names).
std::string Say(const char* msgid, std::initializer_list<std::string_view> args = {})
{
    std::vector<std::u16string> wide;
    for (const std::string_view arg : args)
        wide.push_back(Utf8ToUtf16(arg));
    const std::vector<std::u16string_view> views(wide.begin(), wide.end());
    return Utf16ToUtf8(Tr(msgid, views));
}

// The texts are message ids, said through the catalogue where they are shown.
struct Command {
    std::string_view name;
    CipherDirection direction;
    const char* summary;  // one line, for the list of commands
    const char* description;
    const char* examples;
};

constexpr std::array<Command, 2> kCommands {{
    {"encipher", CipherDirection::Encipher, N_("encipher each FILE into en_FILE"),
     N_("Enciphers each FILE into en_FILE beside it, byte for byte as the Quorvel\n"
        "dialog does."),
     N_("  quorvel-cli encipher report.pdf           writes en_report.pdf\n"
     "  quorvel-cli encipher --password-file pw -o out a b\n"
     "                                            writes out/en_a and out/en_b\n"
     "  tar c photos | quorvel-cli encipher --password-file pw - > photos.tar.en\n"
     "  quorvel-cli encipher -c --password-file pw notes.txt > notes.en\n")},
    {"decipher", CipherDirection::Decipher, N_("decipher each FILE into de_FILE"),
     N_("Deciphers each FILE into de_FILE beside it, byte for byte as the Quorvel\n"
        "dialog does. A wrong password is not detected: it gives other bytes."),
     N_("  quorvel-cli decipher en_report.pdf        writes de_en_report.pdf\n"
     "  quorvel-cli decipher --password-file pw - < photos.tar.en | tar x\n"
     "  quorvel-cli decipher -c --password-file pw en_notes.txt | less\n")},
}};

constexpr const char* kFileText =
    N_("FILE is a file name, or - for standard input: its output goes to standard\n"
    "output. After --, every word is a FILE, even one that starts with '-'.\n"
    "Binary data is not written to a terminal unless -f is given.\n");

constexpr const char* kExitText =
    N_("Exit status: 0 every file done; 1 a file failed; 2 usage error or no usable\n"
    "password; 128+N stopped by signal N (129 hang-up, 130 Ctrl-C, 131 quit,\n"
    "141 the reader of standard output went away, 143 terminated).\n");

std::string TopHelp()
{
    std::ostringstream out;
    out << Say("quorvel-cli enciphers and deciphers files with a password, byte for byte as the\n"
               "Quorvel dialog does.\n\n"
               "Usage: quorvel-cli encipher [OPTIONS] FILE...\n"
               "       quorvel-cli decipher [OPTIONS] FILE...\n\n"
               "Commands:\n");
    for (const Command& command : kCommands)
        out << "  " << command.name << "      " << Say(command.summary) << '\n';
    out << Say("Run 'quorvel-cli COMMAND --help' for a command's options and examples.\n\n"
               "FILE:\n"
               "  NAME          a file; its output is written beside it as en_NAME or de_NAME\n"
               "  -             standard input; the output goes to standard output\n"
               "  --            ends the options: every word after it is a FILE, even one\n"
               "                that starts with '-'\n\n"
               "Options:\n"
               "  -h, --help    show this help\n"
               "  --version     show the version\n\n")
        << Say(kExitText)
        << Say("\nThis hides a file's content from a casual look; it is not strong encryption\n"
               "(see \"Not strong encryption\" in the README, or SECURITY in man quorvel-cli).\n");
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
        return app->get_description() + "\n\n" + Say("Usage: {1} [OPTIONS] FILE...\n", {app->get_name()}) +
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
    app.option_defaults()->group(Say("Options"));
    app.set_help_flag("-h,--help", Say("show this help"));
    auto* file = app.add_option("--password-file", raw.passwordFile,
                                Say("the password is the first line of PATH"));
    // Taken as given, each time: a second one is refused after the parse,
    // by its count, so that CLI11's ArgumentMismatch means a missing value.
    file->type_name("PATH")->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    auto* in = app.add_flag("--password-stdin", raw.passwordStdin,
                            Say("the password is the first line of standard\ninput (not with -)"));
    file->excludes(in);
    auto* dir = app.add_option("-o,--output-dir", raw.outputDir, Say("write the outputs into DIR, not beside each FILE"));
    dir->type_name("DIR")->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    auto* out = app.add_flag("-c,--stdout", raw.toStdout, Say("write the outputs to standard output"));
    out->excludes(dir);
    app.add_flag("-f,--force", raw.force, Say("replace an existing output;\nwith -c or -, write even to a terminal"));
    app.add_flag("-q,--quiet", raw.quiet, Say("no progress line"));
    app.add_flag("--rm", raw.removeSources, Say("remove each FILE once its output is on the disk\n(not with - or -c)"));
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
    const std::string help = "quorvel-cli " + (command.empty() ? std::string() : std::string(command) + ' ') + "--help";
    result.err = std::string(kProgram) + ": " + message + "\n" + Say("Run '{1}' for the options.\n", {help});
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
            return UsageError(stray.size() == 1 ? Say("unexpected word before the command {1}:{2}", {word, list})
                                                : Say("unexpected words before the command {1}:{2}", {word, list}));
        }
        if (word == "-h" || word == "--help")
            return Output(TopHelp());
        if (word == "--version")
            return Output(std::string(kProgram) + " " QUORVEL_VERSION "\n");
        if (word == "--")
            return UsageError(Say("'--' goes after the command (encipher or decipher)"));
        if (IsOptionWord(word)) {
            // An option of the commands given before one is a slip worth naming.
            RawOptions raw;
            CLI::App probe;
            AddOptions(probe, raw);
            const std::string name = word.substr(0, word.find('='));
            if (probe.get_option_no_throw(name))
                return UsageError(Say("the option {1} goes after the command (encipher or decipher)", {Quoted(word)}));
            return UsageError(Say("unknown option {1}", {Quoted(word)}));
        }
        stray.push_back(word);
    }
    if (!stray.empty())
        return UsageError(Say("unknown command {1} (encipher or decipher)", {Quoted(stray.front())}));
    return UsageError(Say("a command is required: encipher or decipher"));
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
            return UsageError(Say("no value after {1}", {Quoted(*word)}), command.name);

    RawOptions raw;
    CLI::App app {Say(command.description), std::string(kProgram) + " " + std::string(command.name)};
    app.formatter(std::make_shared<HelpFormatter>());
    AddOptions(app, raw);
    app.footer(Say(kFileText) +
               (command.direction == CipherDirection::Encipher
                    ? Say("Without --password-file or --password-stdin the password is asked on the\nterminal, twice.\n")
                    : Say("Without --password-file or --password-stdin the password is asked on the\nterminal.\n")) +
               Say("\nExamples:\n") + Say(command.examples) + '\n' + Say(kExitText));
    std::vector<std::string> reversed(std::make_reverse_iterator(mark), std::make_reverse_iterator(begin));
    try {
        app.parse(reversed);  // CLI11 takes its words last first
    } catch (const CLI::CallForHelp&) {
        return Output(app.help());
    } catch (const CLI::ExcludesError&) {
        const bool outputs = app.count("--stdout") != 0;
        return UsageError(outputs ? Say("-c (standard output) and -o (a folder) cannot both take the outputs")
                                  : Say("--password-file and --password-stdin cannot both give the password"),
                          command.name);
    } catch (const CLI::ArgumentMismatch& e) {
        // An option that takes a value was the last word: CLI11 takes any
        // word after one as its value, so no other can lack it.
        const CLI::Option* option = mark != begin ? app.get_option_no_throw(*(mark - 1)) : nullptr;
        if (option != nullptr)
            return UsageError(Say("{1} needs a value ({2})", {option->get_name(), option->get_type_name()}), command.name);
        return UsageError(e.what(), command.name);
    } catch (const CLI::ParseError& e) {
        return UsageError(e.what(), command.name);
    }
    for (const char* name : {"--password-file", "--output-dir"})
        if (app.count(name) > 1)
            return UsageError(Say("{1} is given more than once", {name}), command.name);
    if (const auto unknown = app.remaining(); !unknown.empty())
        return UsageError(Say("unknown option {1} (a file of that name: quorvel-cli {2} -- {3}, or ./{3})",
                              {Quoted(unknown.front()), command.name, unknown.front()}),
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
        return UsageError(Say("no FILE given: name the files, or - for standard input"), command.name);
    if ((options.passwordFile && options.passwordFile->empty()) || (options.outputDir && options.outputDir->empty()) ||
        std::any_of(options.files.begin(), options.files.end(), empty))
        return UsageError(Say("an empty path was given"), command.name);
    if (stdinCount > 1)
        return UsageError(Say("- (standard input) is given more than once; it can be read only once"), command.name);
    if (options.removeSources && (options.toStdout || stdinCount != 0))
        return UsageError(options.toStdout ? Say("--rm removes each FILE once its output is on the disk, and -c sends "
                                                 "the outputs to standard output: leave out --rm")
                                             : Say("--rm removes each FILE once its output is on the disk, and - reads "
                                                   "standard input, which is no file to remove: leave out --rm"),
                          command.name);
    if (stdinCount == 1 && options.passwordStdin)
        return UsageError(Say("- reads the data from standard input, so the password cannot come from there too: "
                              "use --password-file, or leave both out to type it at the prompt"),
                          command.name);
    return result;
}

}  // namespace quorvel::cli
