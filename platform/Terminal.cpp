// The parts of the terminal services that are the same everywhere.
#include "platform/Terminal.h"

namespace quorvel {

LineResult ReadStdinLine(std::string& line, size_t limit)
{
    // One byte at a time: whatever follows the line stays unread for others.
    line.clear();
    line.reserve(limit);
    while (line.size() < limit) {
        char c = 0;
        size_t got = 0;
        if (!ReadStandardInput(&c, 1, got))
            return LineResult::Failed;
        if (got == 0)
            return LineResult::Unterminated;
        line += c;
        if (c == '\n')
            return LineResult::Complete;
    }
    return LineResult::TooLong;
}

}  // namespace quorvel
