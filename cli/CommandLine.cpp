// Argument parsing with CLI11: two subcommands sharing one set of options.
#include "cli/CommandLine.h"

#include "platform/Text.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <sstream>

#ifndef QUORVEL_VERSION
#define QUORVEL_VERSION "0"
#endif

namespace quorvel::cli {
namespace {

struct RawOptions {
    std::vector<std::string> files;
    std::string passwordFile;
    bool passwordStdin = false;
    std::string outputDir;
    bool force = false;
    bool quiet = false;
};

void AddOptions(CLI::App& command, RawOptions& raw)
{
    auto* file = command.add_option("--password-file", raw.passwordFile,
                                    "Read the password from the first line of PATH (the line end is not part of it)");
    file->type_name("PATH");
    auto* in = command.add_flag("--password-stdin", raw.passwordStdin,
                                "Read the password from the first line of standard input");
    file->excludes(in);
    in->excludes(file);
    command.add_option("-o,--output-dir", raw.outputDir, "Write the outputs into DIR instead of beside each source")
        ->type_name("DIR");
    command.add_flag("-f,--force", raw.force, "Replace an existing output (by default that file is refused)");
    command.add_flag("-q,--quiet", raw.quiet, "No progress display");
    command.add_option("FILE", raw.files, "Files to process")->required();
}

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& args)
{
    ParseResult result;
    CLI::App app {"Enciphers and deciphers files with a password, as the Quorvel dialog does.\n"
                  "Without --password-file or --password-stdin the password is asked on the terminal.\n"
                  "Outputs are named \"en_\" or \"de_\" followed by the file's name.\n"
                  "Exit status: 0 all files done, 1 a file failed, 2 usage error, 130 interrupted.",
                  "quorvel-cli"};
    app.set_version_flag("--version", "quorvel-cli " QUORVEL_VERSION);
    app.require_subcommand(1);
    RawOptions encipherRaw, decipherRaw;
    CLI::App* encipher = app.add_subcommand("encipher", "Encipher each FILE into en_FILE");
    CLI::App* decipher = app.add_subcommand("decipher", "Decipher each FILE into de_FILE");
    AddOptions(*encipher, encipherRaw);
    AddOptions(*decipher, decipherRaw);

    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
    std::ostringstream out, err;
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        result.exitCode = kExitOk;
    } catch (const CLI::CallForAllHelp&) {
        out << app.help("", CLI::AppFormatMode::All);
        result.exitCode = kExitOk;
    } catch (const CLI::CallForVersion& e) {
        out << e.what() << "\n";
        result.exitCode = kExitOk;
    } catch (const CLI::ParseError& e) {
        err << "quorvel-cli: " << e.what() << "\nRun 'quorvel-cli --help' for the options.\n";
        result.exitCode = kExitUsage;
    }
    if (result.exitCode) {
        result.out = out.str();
        result.err = err.str();
        return result;
    }

    const bool isEncipher = encipher->parsed();
    const RawOptions& raw = isEncipher ? encipherRaw : decipherRaw;
    CliOptions& options = result.options;
    options.direction = isEncipher ? CipherDirection::Encipher : CipherDirection::Decipher;
    for (const std::string& file : raw.files)
        options.files.push_back(Utf8ToUtf16(file));
    CLI::App* command = isEncipher ? encipher : decipher;
    if (command->count("--password-file") != 0)
        options.passwordFile = Utf8ToUtf16(raw.passwordFile);
    options.passwordStdin = raw.passwordStdin;
    if (command->count("--output-dir") != 0)
        options.outputDir = Utf8ToUtf16(raw.outputDir);
    options.force = raw.force;
    options.quiet = raw.quiet;

    const auto empty = [](const std::u16string& s) { return s.empty(); };
    if ((options.passwordFile && options.passwordFile->empty()) || (options.outputDir && options.outputDir->empty()) ||
        std::any_of(options.files.begin(), options.files.end(), empty)) {
        result.err = "quorvel-cli: an empty path was given\nRun 'quorvel-cli --help' for the options.\n";
        result.exitCode = kExitUsage;
    }
    return result;
}

}  // namespace quorvel::cli
