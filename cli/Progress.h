// The progress line shown on a terminal while a file is processed: its texts, and the line itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quorvel::cli {

// "name  42%  420.000MB of 1.000GB  512.000MB/s  0:02 left"; seconds is the
// time since the file started. Speed and time left appear once measurable.
std::u16string FormatProgressLine(const std::u16string& name, uint64_t done, uint64_t total, double seconds);

// For a stream, whose length is not known: "-  420.000MB  512.000MB/s".
std::u16string FormatStreamProgressLine(const std::u16string& name, uint64_t done, double seconds);

// The line left behind when a file is done: "name  100%  1.000GB  2.4 s";
// seconds is the file's own time, its wait for the disk left out.
std::u16string FormatFinishedLine(const std::u16string& name, uint64_t total, double seconds);

// The run's closing line, its time the whole run's, the wait for the disk
// included: "3 files done in 1.6 s, ..." or "2 of 3 files done in ...".
std::u16string FormatRunLine(size_t done, size_t total, double seconds);

// "0:07", "12:34", "1:02:03".
std::u16string FormatDuration(uint64_t seconds);

// Long names keep their end, which tells files apart: "…ng_report_2024.pdf".
std::u16string ShortName(const std::u16string& name, size_t maxUnits);

// One carriage-return line on standard error, rewritten in place.
class ProgressLine {
public:
    // write: where the line goes; empty, standard error.
    explicit ProgressLine(bool enabled, std::function<void(std::u16string_view)> write = {});

    bool Enabled() const { return m_enabled; }
    void Show(const std::u16string& text) { Put(text, false); }
    void Finish(const std::u16string& text) { Put(text, true); }
    // The run's last line, without the count of files.
    void Close(const std::u16string& text);
    // Blanks the line, for a message in its place; after an interrupt also
    // the terminal's echo of the key ("^C") beyond its end.
    void Clear();
    // In a run of several files, each line starts with the files whose
    // outputs are on the disk so far: "12/2000  ".
    void CountFiles(size_t done, size_t total);

private:
    void Put(const std::u16string& text, bool last);

    bool m_enabled;
    std::function<void(std::u16string_view)> m_write;
    size_t m_width = 0;   // of the text on the line now
    size_t m_widest = 0;  // of any text the line has shown since it was last ended
    std::u16string m_count;
};

}  // namespace quorvel::cli
