// Files dropped on the dialog from Explorer: which direction a drop starts, or
// why it starts nothing, and the box that says so. Pure, so the rules can be
// tested without a window; the dialog supplies the geometry and the state.
#pragma once

#include "cipher/CipherJob.h"
#include "dialog/DisplayTexts.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

// A rectangle in the dialog's client pixels; right and bottom are outside it.
struct DropRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool Empty() const { return right <= left || bottom <= top; }
};

// Where the two group boxes are, as laid out at the screen's DPI.
struct DropLayout {
    DropRect client;
    DropRect encipherGroup;  // frames the encipher controls ("加密文件")
    DropRect decipherGroup;  // frames the decipher controls ("解密文件")
};

// The direction whose part of the dialog holds the client point: its group box
// widened to the whole client width, the gap between the two boxes shared out
// at its middle. Nothing above the upper box (the password) or below the lower
// one (the exit button and the clock).
std::optional<CipherDirection> PartAt(const DropLayout& layout, int x, int y);

struct DroppedItem {
    std::u16string path;
    bool isFolder = false;
};

enum class DropRefusal {
    None,          // start the direction's flow with the file
    NoFile,        // nothing was dropped: nothing to say either
    Outside,       // not on a direction's part of the dialog
    SeveralFiles,
    Folder,
    Busy,          // the direction is running or starting a job
};

struct DropDecision {
    DropRefusal refusal = DropRefusal::None;
    CipherDirection direction = CipherDirection::Encipher;  // the part dropped on, when there is one
};

// Whether items can be one job's file, wherever they come from: NoFile,
// SeveralFiles, Folder, or None when they can.
DropRefusal RefuseItems(const std::vector<DroppedItem>& items);

// inClient is false for a drop on the title bar or the frame. Checks in the
// order the user can put right: place, number of items, kind, then the job.
DropDecision ClassifyDrop(const DropLayout& layout, int x, int y, bool inClient,
                          const std::vector<DroppedItem>& items, bool encipherBusy, bool decipherBusy);

// The box for a refused drop (not for None or NoFile).
MessageText DropRefusalText(const DropDecision& decision, const std::vector<DroppedItem>& items);

// The last component of a path: the name the dialog shows and prefixes.
std::u16string BareName(const std::u16string& path);

}  // namespace quorvel
