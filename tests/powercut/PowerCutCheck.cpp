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
#include "DiskLog.h"
#include "CipherReference.h"
#include "TestFiles.h"
#include "platform/FileNames.h"
#include "platform/Text.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
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

int Check(int argc, char** argv)
{
    const std::string label = argv[0];
    std::ifstream log(argv[1]);
    const long doneLines = std::stol(argv[2]);
    int at = 3;
    const bool removesSources = at < argc && std::string(argv[at]) == "--rm" && ++at;
    std::vector<Output> outputs;
    for (; at + 2 < argc; at += 3) {
        const auto expected = FingerprintOfFile(argv[at + 2]);
        if (!expected) {
            std::fprintf(stderr, "powercut_check: cannot read %s\n", argv[at + 2]);
            return 2;
        }
        outputs.push_back({EscapedPath(argv[at]), EscapedPath(argv[at + 1]), *expected});
    }

    // Escaped names are the names themselves wherever they could be a temporary's.
    const auto temporary = [](const std::string& name) {
        return quorvel::IsTemporaryOutputName(quorvel::Utf8ToUtf16(name));
    };
    Disk disk;
    std::map<std::string, State> before;
    std::string line;
    long lineNumber = 0, applied = 0, initialLines = 0, cuts = 0, lost = 0;
    bool started = false, namedTemporary = false, linkedTemporary = false;
    std::string lastLost;
    const auto check = [&](const std::string& after) {
        const auto states = disk.AfterCut();
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
            else if (!complete && applied >= doneLines)
                faults.push_back(output.name + " holds " + Describe(now) +
                                 " after the program said it was done, not the complete output");
            const auto source = Find(states, output.source);
            if (removesSources && !complete && source != Find(before, output.source))
                faults.push_back(output.source + " holds " + Describe(source) +
                                 " and its complete output is not there either");
        }
        for (const auto& [path, state] : states) {
            const std::string name = path.substr(path.rfind('/') + 1);
            if (!before.contains(path) && !outputNames.contains(path) && !temporary(name))
                faults.push_back("a new name shows: " + path + " (" + Describe(state) + ")");
        }
        ++cuts;
        if (faults.empty())
            return;
        // The first few in full, and the last, which is what the run leaves.
        lastLost = label + ": a power cut after " + after + " leaves:\n";
        for (const std::string& fault : faults)
            lastLost += "    " + fault + "\n";
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
            before = disk.AfterCut();
            check("the start");
        }
        if (!disk.Apply(line)) {
            std::fprintf(stderr, "powercut_check: line %ld of the log cannot be read: %s\n", lineNumber, line.c_str());
            return 2;
        }
        applied = lineNumber;
        if (line.starts_with("create ") || line.starts_with("link ")) {
            const std::string name = line.substr(line.rfind(' ') + 1);
            if (temporary(name))
                (line[0] == 'c' ? namedTemporary : linkedTemporary) = true;
        }
        if (started)
            check("call " + std::to_string(lineNumber - initialLines) + " (" + line + ")");
    }
    if (!started) {
        before = disk.AfterCut();
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

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "reference" && argc == 6)
        return Reference(argv + 2);
    if (mode == "check" && argc >= 5)
        return Check(argc - 2, argv + 2);
    std::fprintf(stderr, "usage: powercut_check reference encipher|decipher PASSWORD_FILE SOURCE OUT\n"
                         "       powercut_check check LABEL LOG DONE_LINES [--rm] [OUTPUT SOURCE EXPECTED]...\n");
    return 2;
}
