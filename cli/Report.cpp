// The command line's reports on standard error, in the user's language.
#include "cli/Report.h"

#include "cli/CommandLine.h"
#include "platform/FileSystem.h"
#include "platform/Terminal.h"
#include "texts/Catalogue.h"
#include "texts/SharedTexts.h"

namespace quorvel::cli {

void Report(std::u16string_view message)
{
    WriteErr(u"quorvel-cli: " + std::u16string(message) + u"\n");
}

std::u16string ReasonText(const FileStatus& status)
{
    // The reasons with a name of their own are in the catalogue; the
    // system's own words come in the system's language.
    return Tr(FileErrorText(status, TextLanguage::English, SystemErrorText(status.systemCode)));
}

int InterruptedExit()
{
    const int signal = InterruptSignal();
    return signal != 0 ? 128 + signal : kExitInterrupted;
}

}  // namespace quorvel::cli
