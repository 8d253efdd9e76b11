// Entry of quorvel-cli. Windows hands the arguments over in UTF-16 (wmain), so
// every file name arrives intact whatever the console's code page.
#include "cli/CommandLine.h"
#include "cli/Run.h"
#include "platform/Terminal.h"
#include "platform/Text.h"
#include "texts/Catalogue.h"

#include <string>
#include <vector>

namespace {

int Main(const std::vector<std::string>& args)
{
    using namespace quorvel;
    OpenCatalogue();
    const cli::ParseResult parsed = cli::ParseCommandLine(args);
    if (!parsed.out.empty())
        WriteOut(Utf8ToUtf16(parsed.out));
    if (!parsed.err.empty())
        WriteErr(Utf8ToUtf16(parsed.err));
    if (parsed.exitCode)
        return *parsed.exitCode;
    const int exitCode = cli::RunCommand(parsed.options);
    CleanupFinished();  // every job's record, and its unfinished output, is gone
    return exitCode;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(quorvel::Utf16ToUtf8(reinterpret_cast<const char16_t*>(argv[i])));
    return Main(args);
}
#else
int main(int argc, char** argv)
{
    return Main(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
