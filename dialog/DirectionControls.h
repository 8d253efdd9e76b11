// What each direction of a job is in the dialog: its button, name and size
// boxes, its tick timer and its completion code, the private messages its
// worker posts and sends to the window, and the counting of its 100 ms ticks.
#pragma once

#include "cipher/CipherKey.h"
#include "dialog/DialogMessages.h"
#include "resources/QuorvelIds.h"

#include <cstdint>
#include <optional>

namespace quorvel {

constexpr unsigned CLOCK_TIMER = 1;
constexpr unsigned ENCIPHER_TICK_TIMER = 2;
constexpr unsigned DECIPHER_TICK_TIMER = 3;

struct DirectionControls {
    CipherDirection direction;
    int buttonId;          // the button that starts it
    int nameId;            // its file name box
    int sizeId;            // its size box
    unsigned tickTimerId;  // its 100 ms tick timer
    unsigned doneCode;     // WM_CIPHER_DONE's wParam
};

inline constexpr DirectionControls kDirectionControls[] = {
    {CipherDirection::Encipher, IDC_ENCIPHER_BUTTON, IDC_ENCIPHER_NAME, IDC_ENCIPHER_SIZE, ENCIPHER_TICK_TIMER, 1},
    {CipherDirection::Decipher, IDC_DECIPHER_BUTTON, IDC_DECIPHER_NAME, IDC_DECIPHER_SIZE, DECIPHER_TICK_TIMER, 2},
};

constexpr const DirectionControls& ControlsOf(CipherDirection direction)
{
    return kDirectionControls[DirectionIndex(direction)];
}

// The direction a done code (a message's wParam) stands for, if any.
constexpr std::optional<CipherDirection> DirectionOfCode(uintptr_t code)
{
    for (const DirectionControls& controls : kDirectionControls) {
        if (controls.doneCode == code)
            return controls.direction;
    }
    return std::nullopt;
}

constexpr uint32_t kTickMilliseconds = 100;

// Adds one 100 ms tick; the count stops at its largest value.
constexpr void AddTick(int32_t& ticks)
{
    if (ticks < INT32_MAX)
        ++ticks;
}

// A direction's tick count after a timer message (timerTick) or at its
// completion. Windows merges the WM_TIMER messages a busy thread missed, so
// one tick per message undercounts; the count never falls behind the whole
// 100 ms periods since the launch.
constexpr int32_t TicksAfter(int32_t ticks, uint64_t elapsedMs, bool timerTick)
{
    if (timerTick)
        AddTick(ticks);
    const uint64_t periods = elapsedMs / kTickMilliseconds;
    if (periods > static_cast<uint64_t>(ticks < 0 ? 0 : ticks) && periods <= static_cast<uint64_t>(INT32_MAX))
        ticks = static_cast<int32_t>(periods);
    return ticks;
}

}  // namespace quorvel
