// Replays the forgetful disk's log and checks, after every logged call, what
// a power cut there would leave, under the worst a POSIX file system may do:
// a file's data survives only as of its last fsync or fdatasync, a folder's
// names only as of that folder's last fsync, and an unflushed file reached by
// a flushed name is empty. At every cut:
//   - every output name holds the complete, correct output or exactly what
//     it held before the run (the earlier output, or no file);
//   - no other new name shows, but a temporary ".quorvel-XXXXXXXX.tmp";
//   - from the point the program said it was done, the complete output;
//   - with --rm, each source is there as it was unless its complete output is.
//
//   powercut_check reference encipher|decipher PASSWORD_FILE SOURCE OUT
//       writes the correct output of SOURCE to OUT, from the format's reference
//   powercut_check check LABEL LOG DONE_LINES [--rm] [OUTPUT SOURCE EXPECTED]...
//       OUTPUT and SOURCE relative to the disk's root; DONE_LINES: the log's
//       length when the program said it was done
//
// The same rules for a real file system on the block device (forgetful_disk
// --block), which keeps every write that completed before the last flush and
// may lose any of the writes after it:
//   powercut_check snapshot ROOT BEFORE
//       what the folder ROOT holds, before the run
//   powercut_check block-cuts LOG DONE_LINES SUBSETS SEED
//       the states to check, one "LINE AFTER_DONE SUBSET" a line: the cut
//       after LINE lines of the log; SUBSET 0 loses every unflushed write,
//       else it seeds which of them are kept. Each flush boundary with all of
//       them lost, and SUBSETS random subsets after each write.
//   powercut_check block-state BASE LOG LINE SUBSET IMAGE
//       rebuilds that state into IMAGE from the disk's first state BASE
//   powercut_check tree LABEL BEFORE ROOT AFTER_DONE WHERE [--rm] [OUTPUT SOURCE EXPECTED]...
//       checks the recovered file system mounted at ROOT; exits 3 where all
//       is well but e2fsck put unnamed files in lost+found, 4 where outputs
//       on the disk lost their names and are whole in lost+found
#include "DiskLog.h"
#include "CipherReference.h"
#include "TestFiles.h"
#include "platform/FileNames.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

using Names = std::map<std::string, int>;  // escaped name -> node

struct Node {
    bool folder = false;
    Fingerprint durable;  // the data as of the last flush (all of it, for what was there before)
    Names names;          // as the program sees them
    Names durableNames;   // as of the folder's last flush
};

// A path's state on the disk after a cut: no file, a folder, or a file's content.
struct State {
    bool exists = false;
    bool folder = false;
    Fingerprint data;
    bool operator==(const State&) const = default;
};

class Disk {
public:
    // One line of the log; false for one it cannot read or that names what is not there.
    bool Apply(const std::string& line)
    {
        try {
            return ApplyOrThrow(line);
        } catch (const std::out_of_range&) {
            return false;
        }
    }

    // What a power cut now leaves: each path reached from the root by names on the disk.
    std::map<std::string, State> AfterCut() const
    {
        std::map<std::string, State> states;
        std::set<int> seen;
        Walk(0, "", states, seen);
        return states;
    }

private:
    bool ApplyOrThrow(const std::string& line)
    {
        std::istringstream in(line);
        std::string op, name, name2;
        unsigned long long ino = 0, parent = 0, parent2 = 0, flags = 0, datasync = 0;
        in >> op;
        if (op == "root" && in >> ino) {
            m_live[ino] = New(true);
        } else if ((op == "dir" || op == "file") && in >> ino >> parent >> name) {
            const int node = m_live.contains(ino) ? m_live[ino] : (m_live[ino] = New(op == "dir"));
            if (op == "file" && !(in >> m_nodes[node].durable.size >> std::hex >> m_nodes[node].durable.hash))
                return false;
            Folder(parent).names[name] = Folder(parent).durableNames[name] = node;
        } else if ((op == "create" || op == "mkdir" || op == "link") && in >> ino >> parent >> name) {
            if (op != "link")
                m_live[ino] = New(op == "mkdir");
            Folder(parent).names[name] = m_live.at(ino);
        } else if ((op == "unlink" || op == "rmdir") && in >> parent >> name) {
            Folder(parent).names.erase(name);
        } else if (op == "rename" && in >> flags >> parent >> name >> parent2 >> name2) {
            Names& from = Folder(parent).names;
            Names& to = Folder(parent2).names;
            const int moved = from.at(name);
            if ((flags & 2) != 0) {  // RENAME_EXCHANGE
                from[name] = to.at(name2);
            } else {
                from.erase(name);
            }
            to[name2] = moved;
        } else if (op == "fsync" && in >> ino >> datasync) {  // fsync and fdatasync keep the data alike
            Fingerprint& data = m_nodes.at(m_live.at(ino)).durable;
            if (!(in >> data.size >> std::hex >> data.hash))
                return false;
        } else if (op == "fsyncdir" && in >> ino) {
            Node& folder = Folder(ino);
            folder.durableNames = folder.names;
        } else if (op != "write" && op != "truncate" && op != "setattr") {
            return false;
        }
        return true;
    }

    int New(bool folder)
    {
        m_nodes.push_back(Node {folder, {}, {}, {}});
        return static_cast<int>(m_nodes.size() - 1);
    }

    Node& Folder(unsigned long long ino) { return m_nodes.at(m_live.at(ino)); }

    void Walk(int folder, const std::string& prefix, std::map<std::string, State>& states, std::set<int>& seen) const
    {
        if (!seen.insert(folder).second)
            return;
        for (const auto& [name, node] : m_nodes[folder].durableNames) {
            const Node& n = m_nodes[node];
            states[prefix + name] = State {true, n.folder, n.folder ? Fingerprint {} : n.durable};
            if (n.folder)
                Walk(node, prefix + name + "/", states, seen);
        }
    }

    std::vector<Node> m_nodes;
    std::unordered_map<unsigned long long, int> m_live;  // inode number -> the node it names now
};

struct Output {
    std::string name, source;  // escaped, relative to the root
    Fingerprint expected;
};

std::optional<State> Find(const std::map<std::string, State>& states, const std::string& path)
{
    const auto it = states.find(path);
    return it == states.end() ? std::nullopt : std::optional<State>(it->second);
}

std::string EscapedPath(const std::string& path)
{
    std::string out, part;
    std::istringstream in(path);
    while (std::getline(in, part, '/'))
        out += (out.empty() ? "" : "/") + Escaped(part);
    return out;
}

std::string Describe(const std::optional<State>& state)
{
    if (!state || !state->exists)
        return "no file";
    if (state->folder)
        return "a folder";
    return std::to_string(state->data.size) + " bytes";
}

std::optional<Fingerprint> FingerprintOfFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    Fingerprint print;
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
        print.Add(buffer, static_cast<size_t>(in.gcount()));
    return print;
}

int Reference(char** argv)
{
    const std::string direction = argv[0];
    std::ifstream pw(argv[1], std::ios::binary);
    std::string password;
    std::getline(pw, password);
    if (password.ends_with('\r'))
        password.pop_back();
    const auto bytes = quorvel::test::ReadFile(argv[2]);
    quorvel::test::WriteFile(argv[3], quorvel::test::ReferenceFile(direction == "decipher"
                                                                       ? quorvel::CipherDirection::Decipher
                                                                       : quorvel::CipherDirection::Encipher,
                                                                   quorvel::Utf8ToUtf16(password), bytes));
    return 0;
}

// What every cut is held to: the outputs, what the disk held before the run,
// and whether the run removes its sources.
struct Rules {
    std::vector<Output> outputs;
    std::map<std::string, State> before;
    bool removesSources = false;

    // Reads "[--rm] [OUTPUT SOURCE EXPECTED]..."; false (said why) when an EXPECTED cannot be read.
    bool Parse(int argc, char** argv, int at)
    {
        removesSources = at < argc && std::string(argv[at]) == "--rm" && ++at;
        for (; at + 2 < argc; at += 3) {
            const auto expected = FingerprintOfFile(argv[at + 2]);
            if (!expected) {
                std::fprintf(stderr, "powercut_check: cannot read %s\n", argv[at + 2]);
                return false;
            }
            outputs.push_back({EscapedPath(argv[at]), EscapedPath(argv[at + 1]), *expected});
        }
        return true;
    }

    // What is wrong with what a cut left; afterDone: the program had said it was done.
    std::vector<std::string> Faults(const std::map<std::string, State>& states, bool afterDone) const
    {
        std::vector<std::string> faults;
        std::set<std::string> outputNames;
        for (const Output& output : outputs) {
            outputNames.insert(output.name);
            const auto now = Find(states, output.name);
            const auto earlier = Find(before, output.name);
            const bool complete = now && !now->folder && now->data == output.expected;
            if (!complete && now != earlier)
                faults.push_back(output.name + " holds " + Describe(now) + ", neither what it held before (" +
                                 Describe(earlier) + ") nor the complete output");
            else if (!complete && afterDone)
                faults.push_back(output.name + " holds " + Describe(now) +
                                 " after the program said it was done, not the complete output");
            const auto source = Find(states, output.source);
            if (removesSources && !complete && source != Find(before, output.source))
                faults.push_back(output.source + " holds " + Describe(source) +
                                 " and its complete output is not there either");
        }
        for (const auto& [path, state] : states) {
            const std::string name = path.substr(path.rfind('/') + 1);
            if (!before.contains(path) && !outputNames.contains(path) && !IsTemporary(name))
                faults.push_back("a new name shows: " + path + " (" + Describe(state) + ")");
        }
        return faults;
    }

    // Escaped names are the names themselves wherever they could be a temporary's.
    static bool IsTemporary(const std::string& name)
    {
        return quorvel::IsTemporaryOutputName(quorvel::Utf8ToUtf16(name));
    }
};

std::string Report(const std::string& label, const std::string& after, const std::vector<std::string>& faults)
{
    std::string report = label + ": a power cut after " + after + " leaves:\n";
    for (const std::string& fault : faults)
        report += "    " + fault + "\n";
    return report;
}

int Check(int argc, char** argv)
{
    const std::string label = argv[0];
    std::ifstream log(argv[1]);
    const long doneLines = std::stol(argv[2]);
    Rules rules;
    if (!rules.Parse(argc, argv, 3))
        return 2;

    Disk disk;
    std::string line;
    long lineNumber = 0, applied = 0, initialLines = 0, cuts = 0, lost = 0;
    bool started = false, namedTemporary = false, linkedTemporary = false;
    std::string lastLost;
    const auto check = [&](const std::string& after) {
        const auto faults = rules.Faults(disk.AfterCut(), applied >= doneLines);
        ++cuts;
        if (faults.empty())
            return;
        // The first few in full, and the last, which is what the run leaves.
        lastLost = Report(label, after, faults);
        if (++lost <= 5) {
            std::fputs(lastLost.c_str(), stdout);
            lastLost.clear();
        }
    };
    while (std::getline(log, line)) {
        ++lineNumber;
        const bool initial = line.starts_with("root ") || line.starts_with("dir ") || line.starts_with("file ");
        if (!initial && !started) {
            started = true;
            initialLines = lineNumber - 1;
            rules.before = disk.AfterCut();
            check("the start");
        }
        if (!disk.Apply(line)) {
            std::fprintf(stderr, "powercut_check: line %ld of the log cannot be read: %s\n", lineNumber, line.c_str());
            return 2;
        }
        applied = lineNumber;
        if (line.starts_with("create ") || line.starts_with("link ")) {
            const std::string name = line.substr(line.rfind(' ') + 1);
            if (Rules::IsTemporary(name))
                (line[0] == 'c' ? namedTemporary : linkedTemporary) = true;
        }
        if (started)
            check("call " + std::to_string(lineNumber - initialLines) + " (" + line + ")");
    }
    if (!started) {
        rules.before = disk.AfterCut();
        check("the start");
    }
    if (!lastLost.empty())
        std::printf("%s: %ld more cut points lost, the last of them:\n%s", label.c_str(), lost - 5, lastLost.c_str());
    const char* how = namedTemporary    ? "; outputs written under a named temporary"
                      : linkedTemporary ? "; outputs unnamed until linked under a temporary name"
                                        : "";
    std::printf("%s: power cut: %ld cut points, %ld lost%s\n", label.c_str(), cuts, lost, how);
    return lost == 0 ? 0 : 1;
}

// A real file system's folder as the checker sees the forgetful disk's: each
// path (escaped, '/' between names) with what it holds.
void ReadTree(const std::string& root, const std::string& prefix, std::map<std::string, State>& states)
{
    DIR* dir = ::opendir(root.c_str());
    if (dir == nullptr)
        throw std::runtime_error("cannot read the folder " + root + ": " + std::strerror(errno));
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        const std::string path = root + "/" + entry->d_name, name = prefix + Escaped(entry->d_name);
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0)
            throw std::runtime_error("cannot look at " + path + ": " + std::strerror(errno));
        State& state = states[name] = State {true, S_ISDIR(st.st_mode), {}};
        if (state.folder) {
            ReadTree(path, name + "/", states);
        } else if (S_ISREG(st.st_mode)) {
            const auto print = FingerprintOfFile(path.c_str());
            if (!print)
                throw std::runtime_error("cannot read " + path);
            state.data = *print;
        }
    }
    ::closedir(dir);
}

std::map<std::string, State> ReadTree(const std::string& root)
{
    std::map<std::string, State> states;
    ReadTree(root, "", states);
    return states;
}

// snapshot ROOT BEFORE: one "PATH d" or "PATH f SIZE HASH" a line.
int Snapshot(char** argv)
{
    std::ofstream out(argv[1]);
    for (const auto& [path, state] : ReadTree(argv[0])) {
        out << path;
        if (state.folder)
            out << " d\n";
        else
            out << " f " << state.data.size << ' ' << state.data.hash << '\n';
    }
    return out.flush() ? 0 : 2;
}

std::map<std::string, State> ReadSnapshot(const char* file)
{
    std::ifstream in(file);
    if (!in)
        throw std::runtime_error(std::string("cannot read ") + file);
    std::map<std::string, State> states;
    std::string path, kind;
    while (in >> path >> kind) {
        State& state = states[path] = State {true, kind == "d", {}};
        if (!state.folder && !(in >> state.data.size >> state.data.hash))
            throw std::runtime_error(std::string("cannot read ") + file);
    }
    return states;
}

// tree LABEL BEFORE ROOT AFTER_DONE WHERE [--rm] [OUTPUT SOURCE EXPECTED]...
int Tree(int argc, char** argv)
{
    Rules rules;
    if (!rules.Parse(argc, argv, 5))
        return 2;
    rules.before = ReadSnapshot(argv[1]);
    auto states = ReadTree(argv[2]);
    // Files e2fsck found with no name (an output a cut caught unnamed) go to
    // lost+found under their inode numbers: the file system's recovery, not
    // a name the program gave, and told apart by the exit status.
    std::vector<Fingerprint> found;
    std::erase_if(states, [&](const auto& entry) {
        const bool recovered = entry.first.starts_with("lost%2Bfound/%23") && !rules.before.contains(entry.first);
        if (recovered)
            found.push_back(entry.second.data);
        return recovered;
    });
    // ext4 without a journal can lose names already on the disk when a later
    // change splits their folder's block; e2fsck then puts the files,
    // whole, in lost+found. That is the file system's loss, told apart.
    bool moved = false;
    for (const Output& output : rules.outputs) {
        const auto now = Find(states, output.name);
        const bool complete = now && !now->folder && now->data == output.expected;
        if (!complete && std::find(found.begin(), found.end(), output.expected) != found.end()) {
            states[output.name] = State {true, false, output.expected};
            moved = true;
        }
    }
    const auto faults = rules.Faults(states, std::string(argv[3]) == "1");
    if (faults.empty() && moved)
        std::printf("%s: a power cut after %s: the file system lost names it had on the disk; their files are "
                    "whole in lost+found\n",
                    argv[0], argv[4]);
    if (faults.empty())
        return moved ? 4 : found.empty() ? 0 : 3;
    std::fputs(Report(argv[0], argv[4], faults).c_str(), stdout);
    return 1;
}

// The block device's log: each write where its bytes are in LOG.data, and
// after each line how many writes a flush had put on the disk.
struct BlockLog {
    struct Write {
        off_t offset = 0;
        size_t length = 0;
        off_t dataAt = 0;
    };
    std::vector<Write> writes;
    std::vector<size_t> writesAfter;   // per line: the writes logged up to it
    std::vector<size_t> flushedAfter;  // per line: the writes the last flush up to it covered

    explicit BlockLog(const std::string& path)
    {
        std::ifstream in(path);
        if (!in)
            throw std::runtime_error("cannot read " + path);
        std::string line;
        off_t dataAt = 0;
        writesAfter.push_back(0);
        flushedAfter.push_back(0);
        while (std::getline(in, line)) {
            std::istringstream words(line);
            std::string op;
            Write write;
            words >> op;
            if (op == "write" && words >> write.offset >> write.length) {
                write.dataAt = dataAt;
                dataAt += static_cast<off_t>(write.length);
                writes.push_back(write);
                flushedAfter.push_back(flushedAfter.back());
            } else if (op == "flush") {
                flushedAfter.push_back(writes.size());
            } else {
                throw std::runtime_error("line " + std::to_string(writesAfter.size()) + " of " + path +
                                         " cannot be read: " + line);
            }
            writesAfter.push_back(writes.size());
        }
    }

    size_t Lines() const { return writesAfter.size() - 1; }
};

// A seed for each random subset, from the run's seed and where the cut is.
unsigned long long SubsetSeed(unsigned long long seed, size_t line, int subset)
{
    std::seed_seq mix {static_cast<unsigned>(seed), static_cast<unsigned>(seed >> 32), static_cast<unsigned>(line),
                       static_cast<unsigned>(subset)};
    unsigned long long out = 0;
    std::vector<unsigned> words(2);
    mix.generate(words.begin(), words.end());
    out = (static_cast<unsigned long long>(words[0]) << 32) | words[1];
    return out == 0 ? 1 : out;
}

// block-cuts LOG DONE_LINES SUBSETS SEED
int BlockCuts(char** argv)
{
    const BlockLog log(argv[0]);
    const size_t doneLines = std::stoul(argv[1]);
    const int subsets = std::stoi(argv[2]);
    const unsigned long long seed = std::stoull(argv[3]);
    // Between two flushes every cut that loses all unflushed writes leaves the
    // same disk: one state stands for them, once before "done" and once after.
    std::set<std::pair<size_t, bool>> seen;
    for (size_t line = 0; line <= log.Lines(); ++line) {
        const bool afterDone = line >= doneLines;
        if (seen.insert({log.flushedAfter[line], afterDone}).second)
            std::printf("%zu %d 0\n", line, afterDone ? 1 : 0);
        const bool afterWrite = line > 0 && log.writesAfter[line] > log.writesAfter[line - 1];
        if (afterWrite && log.writesAfter[line] > log.flushedAfter[line])
            for (int subset = 0; subset < subsets; ++subset)
                std::printf("%zu %d %llu\n", line, afterDone ? 1 : 0, SubsetSeed(seed, line, subset));
    }
    return 0;
}

void CopyBytes(int from, off_t fromAt, int to, off_t toAt, size_t length)
{
    std::vector<char> buffer(1 << 20);
    while (length > 0) {
        const size_t chunk = std::min(length, buffer.size());
        if (::pread(from, buffer.data(), chunk, fromAt) != static_cast<ssize_t>(chunk) ||
            ::pwrite(to, buffer.data(), chunk, toAt) != static_cast<ssize_t>(chunk))
            throw std::runtime_error(std::string("cannot copy the disk's bytes: ") + std::strerror(errno));
        fromAt += static_cast<off_t>(chunk);
        toAt += static_cast<off_t>(chunk);
        length -= chunk;
    }
}

// block-state BASE LOG LINE SUBSET IMAGE
int BlockState(char** argv)
{
    const BlockLog log(argv[1]);
    const size_t line = std::stoul(argv[2]);
    const unsigned long long subset = std::stoull(argv[3]);
    if (line > log.Lines())
        throw std::runtime_error("the log has only " + std::to_string(log.Lines()) + " lines");
    const int base = ::open(argv[0], O_RDONLY | O_CLOEXEC);
    const int data = ::open((std::string(argv[1]) + ".data").c_str(), O_RDONLY | O_CLOEXEC);
    const int image = ::open(argv[4], O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    struct stat st {};
    if (base < 0 || data < 0 || image < 0 || ::fstat(base, &st) != 0 || ::ftruncate(image, st.st_size) != 0)
        throw std::runtime_error(std::string("cannot open the disk's images: ") + std::strerror(errno));
    // Only the first state's written stretches: the rest of it is holes.
    for (off_t at = ::lseek(base, 0, SEEK_DATA); at >= 0 && at < st.st_size; at = ::lseek(base, at, SEEK_DATA)) {
        const off_t end = ::lseek(base, at, SEEK_HOLE);
        CopyBytes(base, at, image, at, static_cast<size_t>(end - at));
        at = end;
    }
    std::mt19937_64 keep(subset);
    for (size_t i = 0; i < log.writesAfter[line]; ++i) {
        const bool flushed = i < log.flushedAfter[line];
        if (flushed || (subset != 0 && (keep() & 1) != 0))
            CopyBytes(data, log.writes[i].dataAt, image, log.writes[i].offset, log.writes[i].length);
    }
    ::close(base);
    ::close(data);
    return ::close(image) == 0 ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    try {
        if (mode == "reference" && argc == 6)
            return Reference(argv + 2);
        if (mode == "check" && argc >= 5)
            return Check(argc - 2, argv + 2);
        if (mode == "snapshot" && argc == 4)
            return Snapshot(argv + 2);
        if (mode == "block-cuts" && argc == 6)
            return BlockCuts(argv + 2);
        if (mode == "block-state" && argc == 7)
            return BlockState(argv + 2);
        if (mode == "tree" && argc >= 7)
            return Tree(argc - 2, argv + 2);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "powercut_check: %s\n", e.what());
        return 2;
    }
    std::fprintf(stderr, "usage: powercut_check reference encipher|decipher PASSWORD_FILE SOURCE OUT\n"
                         "       powercut_check check LABEL LOG DONE_LINES [--rm] [OUTPUT SOURCE EXPECTED]...\n"
                         "       powercut_check snapshot ROOT BEFORE\n"
                         "       powercut_check block-cuts LOG DONE_LINES SUBSETS SEED\n"
                         "       powercut_check block-state BASE LOG LINE SUBSET IMAGE\n"
                         "       powercut_check tree LABEL BEFORE ROOT AFTER_DONE WHERE [--rm] [OUTPUT SOURCE EXPECTED]...\n");
    return 2;
}
