// An exception that reached the message loop or the program's entry, told
// apart by its type, so that no one has to read what() to know what it was.
#pragma once

#include "platform/Text.h"

#include <exception>
#include <new>
#include <string>

namespace quorvel::win32 {

struct UnexpectedError {
    std::u16string what;
    bool outOfMemory = false;
};

// Only inside a catch block: describes the exception being handled.
inline UnexpectedError CurrentUnexpectedError()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return {u"out of memory", true};
    } catch (const std::exception& e) {
        return {Utf8ToUtf16(e.what()), false};
    } catch (...) {
        return {u"unknown exception", false};
    }
}

}  // namespace quorvel::win32
