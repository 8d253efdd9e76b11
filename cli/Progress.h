// The progress line shown on a terminal while a file is processed: its texts, and the line itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvel::cli {

// "name  42%  420.000MB of 1.000GB  512.000MB/s  0:02 left"; seconds is the
// time since the file started. Speed and time left appear once measurable.
std::u16string FormatProgressLine(const std::u16string& name, uint64_t done, uint64_t total, double seconds);

// For a stream, whose length is not known: "-  420.000MB  512.000MB/s".
std::u16string FormatStreamProgressLine(const std::u16string& name, uint64_t done, double seconds);

// The line left behind when a file is done: "name  100%  1.000GB  2.4 s".
std::u16string FormatFinishedLine(const std::u16string& name, uint64_t total, double seconds);

// "0:07", "12:34", "1:02:03".
std::u16string FormatDuration(uint64_t seconds);

// Long names keep their end, which tells files apart: "…ng_report_2024.pdf".
std::u16string ShortName(const std::u16string& name, size_t maxUnits);

// One carriage-return line on standard error, rewritten in place.
class ProgressLine {
public:
    explicit ProgressLine(bool enabled) : m_enabled(enabled) {}

    void Show(const std::u16string& text) { Put(text, false); }
    void Finish(const std::u16string& text) { Put(text, true); }
    void Clear();
    // In a run of several files, each line starts with the files whose
    // outputs are on the disk so far: "12/2000  ".
    void CountFiles(size_t done, size_t total);

private:
    void Put(const std::u16string& text, bool last);

    bool m_enabled;
    size_t m_width = 0;
    std::u16string m_count;
};

}  // namespace quorvel::cli
