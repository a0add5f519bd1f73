#include "platform/registry.h"

#include "base/ascii.h"
#include "base/encoding.h"
#include "base/files.h"
#include "huelet_config.h"
#include "platform/xdgfolders.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <unordered_map>

namespace reg {

namespace {

constexpr const char* kUserRootName = "HKEY_CURRENT_USER";
constexpr const char* kMachineRootName = "HKEY_LOCAL_MACHINE";
constexpr const char* kHiveFileName = "HKEY_CURRENT_USER.reg";
// Hives beyond this size are not read (and therefore never rewritten).
constexpr std::size_t kMaxHiveBytes = 64u << 20;

thread_local std::string t_lastError;

bool Fail(const std::string& Why) {
    t_lastError = Why;
    return false;
}

struct Node {
    std::string Name;
    std::vector<Value> Values;
    std::map<std::string, Node> Children; // by lower-cased name: case-insensitive order

    Node* Child(const std::string& Name) {
        auto it = Children.find(base::LowerAscii(Name));
        return it == Children.end() ? nullptr : &it->second;
    }
    const Node* Child(const std::string& Name) const {
        auto it = Children.find(base::LowerAscii(Name));
        return it == Children.end() ? nullptr : &it->second;
    }
    Node& Ensure(const std::string& Name) {
        Node& n = Children[base::LowerAscii(Name)];
        if (n.Name.empty())
            n.Name = Name;
        return n;
    }
    const Value* FindValue(const std::string& Name) const {
        const std::size_t at = Find(Name);
        return at == kNone ? nullptr : &Values[at];
    }
    // Replaces in place (the value keeps its place and its name's case) or appends.
    void Set(const Value& V) {
        const std::size_t at = Find(V.Name);
        if (at != kNone) {
            Values[at].Type = V.Type;
            Values[at].Data = V.Data;
            return;
        }
        Values.push_back(V);
        if (!index_.empty())
            index_.emplace(base::LowerAscii(V.Name), Values.size() - 1);
        else if (Values.size() >= kIndexFrom)
            Reindex();
    }
    bool Erase(const std::string& Name) {
        const std::size_t at = Find(Name);
        if (at == kNone)
            return false;
        Values.erase(Values.begin() + static_cast<std::ptrdiff_t>(at));
        Reindex();
        return true;
    }
    bool Empty() const { return Values.empty() && Children.empty(); }

  private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    // Small keys are searched; keys with many values (imported settings) keep an index, so
    // setting n values costs n steps, not n squared.
    static constexpr std::size_t kIndexFrom = 16;

    std::size_t Find(const std::string& Name) const {
        if (index_.empty()) {
            for (std::size_t i = 0; i < Values.size(); ++i)
                if (base::EqualsIgnoringAsciiCase(Values[i].Name, Name))
                    return i;
            return kNone;
        }
        const auto it = index_.find(base::LowerAscii(Name));
        return it == index_.end() ? kNone : it->second;
    }
    void Reindex() {
        index_.clear();
        if (Values.size() < kIndexFrom)
            return;
        for (std::size_t i = 0; i < Values.size(); ++i)
            index_.emplace(base::LowerAscii(Values[i].Name), i);
    }
    std::unordered_map<std::string, std::size_t> index_; // lower-cased name -> position
};

struct Hive {
    Node Root;
    bool Damaged = false; // some line could not be understood or kept
};

std::vector<std::string> SplitPath(const std::string& Path) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : Path) {
        if (c == '\\') {
            if (!cur.empty())
                parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        parts.push_back(cur);
    return parts;
}

// Keys that exist in every registry, whether the hive lists them or not.
bool IsImplicitTopKey(const std::vector<std::string>& Parts) {
    return Parts.size() == 1 && base::EqualsIgnoringAsciiCase(Parts[0], "SOFTWARE");
}

std::vector<std::string> ViewPath(Root Where, const std::string& Path, View Which) {
    std::vector<std::string> parts = SplitPath(Path);
    if (Where == Root::LocalMachine && Which == View::Default && ProcessIsWow64() &&
        !parts.empty() && base::EqualsIgnoringAsciiCase(parts[0], "SOFTWARE") &&
        !(parts.size() > 1 && base::EqualsIgnoringAsciiCase(parts[1], "Wow6432Node")))
        parts.insert(parts.begin() + 1, "Wow6432Node");
    return parts;
}

const Node* FindNode(const Node& Top, const std::vector<std::string>& Parts) {
    const Node* n = &Top;
    for (const auto& p : Parts) {
        n = n->Child(p);
        if (!n)
            return nullptr;
    }
    return n;
}

Node* FindNode(Node& Top, const std::vector<std::string>& Parts) {
    Node* n = &Top;
    for (const auto& p : Parts) {
        n = n->Child(p);
        if (!n)
            return nullptr;
    }
    return n;
}

// ----- Parsing -----

std::string TrimLeft(const std::string& S) {
    std::size_t i = 0;
    while (i < S.size() && (S[i] == ' ' || S[i] == '\t'))
        ++i;
    return S.substr(i);
}

std::string TrimRight(const std::string& S) {
    std::size_t n = S.size();
    while (n > 0 && (S[n - 1] == ' ' || S[n - 1] == '\t' || S[n - 1] == '\r'))
        --n;
    return S.substr(0, n);
}

// Reads a quoted text starting at S[Pos] == '"'; Pos ends after the closing quote.
bool ParseQuoted(const std::string& S, std::size_t& Pos, std::string& Out) {
    Out.clear();
    ++Pos;
    while (Pos < S.size()) {
        const char c = S[Pos++];
        if (c == '"')
            return true;
        if (c == '\\' && Pos < S.size()) {
            const char e = S[Pos++];
            if (e == '\\' || e == '"') {
                Out += e;
            } else {
                // Unknown escapes are kept as written.
                Out += '\\';
                Out += e;
            }
        } else {
            Out += c;
        }
    }
    return false;
}

bool ParseHexBytes(const std::string& S, std::string& Out) {
    Out.clear();
    std::size_t i = 0;
    auto skip = [&] {
        while (i < S.size() && (S[i] == ' ' || S[i] == '\t' || S[i] == '\r' || S[i] == '\n'))
            ++i;
    };
    skip();
    if (i == S.size())
        return true;
    for (;;) {
        skip();
        int value = 0, digits = 0;
        while (i < S.size() && base::HexDigitValue(S[i]) >= 0 && digits < 2) {
            value = value * 16 + base::HexDigitValue(S[i++]);
            ++digits;
        }
        if (digits == 0)
            return false;
        Out += static_cast<char>(value);
        skip();
        if (i == S.size())
            return true;
        if (S[i] != ',')
            return false;
        ++i;
    }
}

bool ParseData(const std::string& S, bool Unicode, Value& V) {
    std::string d = TrimRight(TrimLeft(S));
    if (!d.empty() && d[0] == '"') {
        std::size_t pos = 0;
        if (!ParseQuoted(d, pos, V.Data))
            return false;
        const std::string rest = TrimLeft(d.substr(pos));
        if (!rest.empty() && rest[0] != ';')
            return false;
        V.Type = REG_SZ;
        return true;
    }
    const std::string low = base::LowerAscii(d);
    if (low.rfind("dword:", 0) == 0) {
        const std::string digits = TrimRight(TrimLeft(d.substr(6)));
        if (digits.empty() || digits.size() > 8)
            return false;
        std::uint32_t n = 0;
        for (char c : digits) {
            const int h = base::HexDigitValue(c);
            if (h < 0)
                return false;
            n = n * 16 + static_cast<std::uint32_t>(h);
        }
        V = Value::Dword(V.Name, n);
        return true;
    }
    std::uint32_t type = REG_BINARY;
    std::size_t colon;
    if (low.rfind("hex:", 0) == 0) {
        colon = 3;
    } else if (low.rfind("hex(", 0) == 0) {
        const std::size_t close = low.find("):");
        if (close == std::string::npos || close == 4 || close > 12)
            return false;
        std::uint32_t t = 0;
        for (std::size_t i = 4; i < close; ++i) {
            const int h = base::HexDigitValue(low[i]);
            if (h < 0)
                return false;
            t = t * 16 + static_cast<std::uint32_t>(h);
        }
        type = t;
        colon = close + 1;
    } else {
        return false;
    }
    std::string bytes;
    if (!ParseHexBytes(d.substr(colon + 1), bytes))
        return false;
    V.Type = type;
    if (Unicode && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ))
        bytes = base::Utf16LeBytesToUtf8(bytes);
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && !bytes.empty() && bytes.back() == '\0')
        bytes.pop_back();
    V.Data = bytes;
    return true;
}

// Root names a hive accepts in its key lines.
bool MatchesRoot(const std::string& Name, const char* RootName) {
    if (base::EqualsIgnoringAsciiCase(Name, RootName))
        return true;
    if (std::strcmp(RootName, kUserRootName) == 0)
        return base::EqualsIgnoringAsciiCase(Name, "HKCU");
    return base::EqualsIgnoringAsciiCase(Name, "HKLM");
}

// Reads a .reg text into H. Lines that cannot be understood mark the hive damaged.
void ParseInto(Hive& H, std::string Text, const char* RootName) {
    if (Text.size() >= 2 && static_cast<unsigned char>(Text[0]) == 0xFF &&
        static_cast<unsigned char>(Text[1]) == 0xFE)
        Text = base::Utf16LeBytesToUtf8(Text.substr(2));
    else if (Text.rfind("\xEF\xBB\xBF", 0) == 0)
        Text = Text.substr(3);

    std::vector<std::string> lines;
    {
        std::size_t start = 0;
        while (start <= Text.size()) {
            std::size_t end = Text.find('\n', start);
            if (end == std::string::npos)
                end = Text.size();
            lines.push_back(TrimRight(Text.substr(start, end - start)));
            start = end + 1;
        }
    }

    bool unicode = false;
    bool sawHeader = false;
    Node* current = nullptr;
    bool inForeignKey = false; // a key of another root or a deletion: its values are skipped
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string line = TrimLeft(lines[i]);
        if (line.empty())
            continue;
        if (line[0] == ';') {
            // Our own hives hold no comments: one written by hand is kept before a rewrite.
            H.Damaged = true;
            continue;
        }
        if (!sawHeader) {
            sawHeader = true;
            if (line == "REGEDIT4")
                continue;
            if (line == "Windows Registry Editor Version 5.00") {
                unicode = true;
                continue;
            }
        }
        if (line[0] == '[') {
            current = nullptr;
            inForeignKey = false;
            const std::size_t close = line.rfind(']');
            if (close == std::string::npos) {
                H.Damaged = true;
                continue;
            }
            std::string path = line.substr(1, close - 1);
            if (!path.empty() && path[0] == '-') {
                H.Damaged = true; // a deletion request, lost by a rewrite
                inForeignKey = true;
                continue;
            }
            std::vector<std::string> parts = SplitPath(path);
            if (parts.empty() || !MatchesRoot(parts[0], RootName)) {
                if (std::strcmp(RootName, kUserRootName) == 0)
                    H.Damaged = true;
                inForeignKey = true;
                continue;
            }
            Node* n = &H.Root;
            for (std::size_t p = 1; p < parts.size(); ++p)
                n = &n->Ensure(parts[p]);
            current = n;
            continue;
        }
        if (line[0] == '"' || line[0] == '@') {
            Value v;
            std::size_t pos = 0;
            bool ok = true;
            if (line[0] == '@') {
                pos = 1;
            } else {
                ok = ParseQuoted(line, pos, v.Name);
            }
            while (ok && pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
                ++pos;
            ok = ok && pos < line.size() && line[pos] == '=';
            std::string data = ok ? line.substr(pos + 1) : std::string();
            // Hexadecimal data may continue on the following lines after a backslash.
            if (ok) {
                const std::string low = base::LowerAscii(TrimLeft(data));
                if (low.rfind("hex", 0) == 0) {
                    while (!data.empty() && data.back() == '\\' && i + 1 < lines.size()) {
                        data.pop_back();
                        data += TrimLeft(lines[++i]);
                    }
                }
            }
            if (ok && TrimLeft(data) == "-") {
                H.Damaged = true; // a deletion request, lost by a rewrite
                continue;
            }
            ok = ok && ParseData(data, unicode, v);
            if (!ok || (!current && !inForeignKey)) {
                H.Damaged = true;
                continue;
            }
            if (current)
                current->Set(v);
            continue;
        }
        H.Damaged = true;
    }
}

// ----- Writing the text -----

std::string Escape(const std::string& S) {
    std::string r;
    for (char c : S) {
        if (c == '\\' || c == '"')
            r += '\\';
        r += c;
    }
    return r;
}

bool Writable(const std::string& S) {
    return S.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

void AppendHex(std::string& Out, const std::string& Prefix, const std::string& Bytes) {
    Out += Prefix;
    static const char* digits = "0123456789abcdef";
    std::size_t column = Prefix.size();
    for (std::size_t i = 0; i < Bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(Bytes[i]);
        Out += digits[b >> 4];
        Out += digits[b & 15];
        column += 2;
        if (i + 1 < Bytes.size()) {
            Out += ',';
            ++column;
            if (column > 76) {
                Out += "\\\n  ";
                column = 2;
            }
        }
    }
}

void AppendValue(std::string& Out, const Value& V) {
    std::string name = V.Name.empty() ? std::string("@") : "\"" + Escape(V.Name) + "\"";
    name += '=';
    char typeText[32];
    switch (V.Type) {
    case REG_SZ:
        if (Writable(V.Data)) {
            Out += name + "\"" + Escape(V.Data) + "\"";
        } else {
            AppendHex(Out, name + "hex(1):", V.Data + std::string(1, '\0'));
        }
        break;
    case REG_EXPAND_SZ:
        AppendHex(Out, name + "hex(2):", V.Data + std::string(1, '\0'));
        break;
    case REG_DWORD:
        if (auto n = V.AsDword()) {
            std::snprintf(typeText, sizeof typeText, "dword:%08x", *n);
            Out += name + typeText;
            break;
        }
        [[fallthrough]];
    default:
        if (V.Type == REG_BINARY) {
            AppendHex(Out, name + "hex:", V.Data);
        } else {
            std::snprintf(typeText, sizeof typeText, "hex(%x):", V.Type);
            AppendHex(Out, name + typeText, V.Data);
        }
    }
    Out += '\n';
}

void AppendKey(std::string& Out, const Node& N, const std::string& Path) {
    Out += "\n[" + Path + "]\n";
    for (const auto& v : N.Values)
        AppendValue(Out, v);
    for (const auto& [lower, child] : N.Children)
        AppendKey(Out, child, Path + "\\" + child.Name);
}

// A top-level key that exists in every registry and need not be listed while empty (listing
// it would keep an otherwise empty hive alive).
bool IsImplicitEmpty(const Node& N) {
    return N.Empty() && base::EqualsIgnoringAsciiCase(N.Name, "SOFTWARE");
}

std::string Serialize(const Hive& H) {
    std::string out = "REGEDIT4\n";
    // Values directly under the root key, as a hand-written hive may hold.
    if (!H.Root.Values.empty()) {
        out += "\n[" + std::string(kUserRootName) + "]\n";
        for (const auto& v : H.Root.Values)
            AppendValue(out, v);
    }
    for (const auto& [lower, child] : H.Root.Children)
        if (!IsImplicitEmpty(child))
            AppendKey(out, child, std::string(kUserRootName) + "\\" + child.Name);
    return out;
}

bool HiveHoldsNothing(const Hive& H) {
    if (!H.Root.Values.empty())
        return false;
    for (const auto& [lower, child] : H.Root.Children)
        if (!IsImplicitEmpty(child))
            return false;
    return true;
}

// ----- Files -----

std::string Env(const char* Name) {
    const char* v = std::getenv(Name);
    return v ? std::string(v) : std::string();
}

// The folder of the user hive, and whether it is the default one (which may be removed).
std::string UserHiveFolder(bool* IsDefault) {
    if (IsDefault)
        *IsDefault = false;
    std::string dir = Env("HUELET_REGISTRY_DIR");
    if (!dir.empty())
        return dir;
    const std::string config = XdgBaseFolderName(XdgBase::Config);
    if (config.empty())
        return std::string();
    if (IsDefault)
        *IsDefault = true;
    return config + "/Norwick Softworks/registry";
}

bool MakeFolders(const std::string& Dir) {
    std::string path;
    std::size_t pos = 0;
    while (pos <= Dir.size()) {
        std::size_t next = Dir.find('/', pos);
        if (next == std::string::npos)
            next = Dir.size();
        path = Dir.substr(0, next);
        if (!path.empty() && ::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        pos = next + 1;
    }
    struct stat st {};
    return ::stat(Dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Holds the exclusive lock of the hive folder. The folder may be removed by another process
// while we wait; then the lock we got is on a dead folder and we take it again.
class FolderLock {
  public:
    bool Take(const std::string& Dir) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (!MakeFolders(Dir))
                return Fail("cannot create the registry folder " + Dir + ": " +
                            std::strerror(errno));
            fd_ = ::open(Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd_ < 0)
                continue;
            int rc;
            do {
                rc = ::flock(fd_, LOCK_EX);
            } while (rc != 0 && errno == EINTR);
            struct stat locked {
            }, now{};
            if (rc == 0 && ::fstat(fd_, &locked) == 0 && ::stat(Dir.c_str(), &now) == 0 &&
                locked.st_dev == now.st_dev && locked.st_ino == now.st_ino)
                return true;
            ::close(fd_);
            fd_ = -1;
        }
        return Fail("cannot lock the registry folder " + Dir);
    }
    int Fd() const { return fd_; }
    ~FolderLock() {
        if (fd_ >= 0)
            ::close(fd_); // releases the lock
    }

  private:
    int fd_ = -1;
};

// Keeps the bytes of a hive we could not fully understand beside it, under a fresh name.
bool KeepOriginal(const std::string& HivePath, const std::string& Bytes) {
    for (int i = 1; i < 1000; ++i) {
        const std::string name = HivePath + ".bak" + (i == 1 ? std::string() : std::to_string(i));
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return Fail("cannot keep the unreadable hive as " + name + ": " + std::strerror(errno));
        }
        const bool ok = base::WriteAll(fd, Bytes.data(), Bytes.size()) && ::fsync(fd) == 0;
        ::close(fd);
        if (!ok) {
            ::unlink(name.c_str());
            return Fail("cannot keep the unreadable hive as " + name);
        }
        return true;
    }
    return Fail("too many kept hives beside " + HivePath);
}

bool WriteHive(const std::string& Dir, const std::string& Path, const std::string& Data) {
    try {
        base::ReplaceFile(Path, Data, {.NewFileMode = 0600});
        return true;
    } catch (const base::IoError& e) {
        return Fail(e.Step() == base::IoStep::Create
                        ? "cannot create a temporary hive in " + Dir + ": " + e.Reason()
                        : "cannot write the hive " + Path + ": " + e.Reason());
    }
}

// ----- Reading, once per change of a file -----

// What identifies one state of a file: a change gives another inode (a replacement) or
// another size or modification time (a write in place).
struct Stamp {
    bool Exists = false;
    dev_t Dev = 0;
    ino_t Ino = 0;
    off_t Size = 0;
    timespec Mtime{};
    mode_t Mode = 0;

    bool operator==(const Stamp& O) const {
        return Exists == O.Exists && Dev == O.Dev && Ino == O.Ino && Size == O.Size &&
               Mtime.tv_sec == O.Mtime.tv_sec && Mtime.tv_nsec == O.Mtime.tv_nsec && Mode == O.Mode;
    }
};

Stamp StampOf(const std::string& Path) {
    Stamp s;
    struct stat st {};
    if (::stat(Path.c_str(), &st) != 0)
        return s;
    s.Exists = true;
    s.Dev = st.st_dev;
    s.Ino = st.st_ino;
    s.Size = st.st_size;
    s.Mtime = st.st_mtim;
    s.Mode = st.st_mode;
    return s;
}

// A file changed in place within the clock tick of its last change keeps its modification
// time; a state read that soon after a change is not trusted to identify the content.
bool Settled(const Stamp& S) {
    if (!S.Exists)
        return true;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const long long age = (static_cast<long long>(now.tv_sec) - S.Mtime.tv_sec) * 1000000000LL +
                          (now.tv_nsec - S.Mtime.tv_nsec);
    return age > 50'000'000LL;
}

// Files that could not be read, said once per file and state.
std::vector<std::string> g_skipped;
std::vector<std::pair<std::string, Stamp>> g_said;

void SaySkipped(const std::string& Path, const Stamp& S, const std::string& Why) {
    for (const auto& [path, stamp] : g_said)
        if (path == Path && stamp == S)
            return;
    g_said.emplace_back(Path, S);
    g_skipped.push_back(Why);
}

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadHive(const std::string& Path, std::string& Out, const Stamp& S) {
    try {
        std::optional<std::string> bytes = base::ReadFileIfExists(Path, kMaxHiveBytes);
        if (!bytes)
            return ReadResult::Missing;
        Out = std::move(*bytes);
        return ReadResult::Ok;
    } catch (const base::IoError& e) {
        SaySkipped(Path, S, std::string(e.what()) + "; its keys are skipped");
        t_lastError = e.what();
        return ReadResult::Failed;
    }
}

using HivePtr = std::shared_ptr<const Hive>;

const HivePtr& EmptyHive() {
    static const HivePtr empty = std::make_shared<const Hive>();
    return empty;
}

// The parsed user hive and the state of the file it came from.
struct UserCache {
    std::string Path;
    Stamp State;
    HivePtr Parsed;
};
UserCache g_user;

// The merged machine keys and the states of the folders and files they came from.
struct MachineCache {
    std::vector<std::string> Folders;
    std::vector<std::pair<std::string, Stamp>> Sources;
    HivePtr Parsed;
};
MachineCache g_machine;

HivePtr LoadMachine() {
    // Unchanged folders hold the same files; unchanged files the same keys.
    const std::vector<std::string> folders = MachineFolders();
    if (g_machine.Parsed && g_machine.Folders == folders) {
        bool same = true;
        for (const auto& [path, stamp] : g_machine.Sources)
            same = same && StampOf(path) == stamp;
        if (same)
            return g_machine.Parsed;
    }
    auto h = std::make_shared<Hive>();
    std::vector<std::pair<std::string, Stamp>> sources;
    bool settled = true;
    for (const auto& dir : folders) {
        const Stamp dirStamp = StampOf(dir);
        sources.emplace_back(dir, dirStamp);
        settled = settled && Settled(dirStamp);
        DIR* d = ::opendir(dir.c_str());
        if (!d)
            continue;
        std::vector<std::string> names;
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 4 &&
                base::EqualsIgnoringAsciiCase(name.substr(name.size() - 4), ".reg") &&
                name[0] != '.')
                names.push_back(name);
        }
        ::closedir(d);
        std::sort(names.begin(), names.end());
        for (const auto& name : names) {
            const std::string path = dir + "/" + name;
            const Stamp before = StampOf(path);
            std::string text;
            if (ReadHive(path, text, before) == ReadResult::Ok)
                ParseInto(*h, text, kMachineRootName);
            const Stamp after = StampOf(path);
            settled = settled && before == after && Settled(after);
            sources.emplace_back(path, after);
        }
    }
    HivePtr parsed = std::move(h);
    if (settled) {
        g_machine = MachineCache{folders, std::move(sources), parsed};
    } else {
        g_machine = MachineCache{};
    }
    return parsed;
}

constexpr const char* kMachineSubFolder = "/xdg/Norwick Softworks/registry.d";

// The machine folder below the prefix the running executable is installed in, or "".
std::string InstalledMachineFolder() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return std::string();
    std::string exe(buf, static_cast<std::size_t>(n));
    const std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos)
        return std::string();
    const std::string folder = exe.substr(0, slash);
    const std::size_t parentSlash = folder.rfind('/');
    if (parentSlash == std::string::npos || folder.substr(parentSlash + 1) != "bin")
        return std::string();
    const std::string prefix = folder.substr(0, parentSlash);
    std::string etc;
    if (prefix.empty() || prefix == "/usr")
        etc = "/etc";
    else if (prefix.rfind("/opt/", 0) == 0)
        etc = "/etc" + prefix;
    else
        etc = prefix + "/etc";
    return etc + kMachineSubFolder;
}

std::string UserHiveFile() {
    const std::string dir = UserHiveFolder(nullptr);
    return dir.empty() ? std::string() : dir + "/" + kHiveFileName;
}

// The user hive as the file at Path holds it now, and (in Original) its bytes when it had to
// be read.
HivePtr ReadUser(const std::string& Path, ReadResult& Read, std::string* Original) {
    const Stamp before = StampOf(Path);
    if (g_user.Parsed && g_user.Path == Path && g_user.State == before && !Original) {
        Read = before.Exists ? ReadResult::Ok : ReadResult::Missing;
        return g_user.Parsed;
    }
    std::string text;
    Read = before.Exists ? ReadHive(Path, text, before) : ReadResult::Missing;
    if (Read == ReadResult::Failed)
        return EmptyHive();
    auto h = std::make_shared<Hive>();
    if (Read == ReadResult::Ok)
        ParseInto(*h, text, kUserRootName);
    const Stamp after = StampOf(Path);
    if (before == after && Settled(after))
        g_user = UserCache{Path, after, h};
    else
        g_user = UserCache{};
    if (Original)
        *Original = std::move(text);
    return h;
}

HivePtr LoadUser() {
    const std::string path = UserHiveFile();
    if (path.empty())
        return EmptyHive();
    ReadResult read;
    return ReadUser(path, read, nullptr);
}

HivePtr Load(Root Where) {
    return Where == Root::CurrentUser ? LoadUser() : LoadMachine();
}

// One atomic change of the user hive. Apply returns false to abandon the change.
bool Change(Root Where, const std::function<bool(Node&)>& Apply) {
    if (Where != Root::CurrentUser)
        return Fail("the machine keys are read-only");
    bool isDefault = false;
    const std::string dir = UserHiveFolder(&isDefault);
    if (dir.empty())
        return Fail("no registry folder: neither HUELET_REGISTRY_DIR, XDG_CONFIG_HOME nor HOME "
                    "is set to an absolute path");
    // The configuration base folder is made as the XDG rules ask (never HOME itself); only
    // our own folders below it are made by the lock.
    if (isDefault && XdgBaseFolder(XdgBase::Config).empty())
        return Fail("cannot create the configuration folder " + XdgBaseFolderName(XdgBase::Config));
    const std::string path = dir + "/" + kHiveFileName;

    FolderLock lock;
    if (!lock.Take(dir))
        return false;

    // Under the lock, the hive cannot change but by hand; the kept parse is used while the
    // file is as it was, except for a damaged hive, whose bytes are kept before a rewrite.
    ReadResult read;
    HivePtr current = ReadUser(path, read, nullptr);
    std::string original;
    if (read == ReadResult::Ok && current->Damaged)
        current = ReadUser(path, read, &original);
    if (read == ReadResult::Failed)
        return Fail(t_lastError + "; the hive is left unchanged");
    auto h = std::make_shared<Hive>(*current);

    if (!Apply(h->Root))
        return false;

    if (read == ReadResult::Ok && h->Damaged && !KeepOriginal(path, original))
        return false;

    if (HiveHoldsNothing(*h)) {
        if (read == ReadResult::Ok && ::unlink(path.c_str()) != 0 && errno != ENOENT)
            return Fail("cannot remove the empty hive " + path + ": " + std::strerror(errno));
        g_user = UserCache{};
        ::fsync(lock.Fd());
        if (isDefault) {
            // Our own folders go when nothing else lives in them.
            if (::rmdir(dir.c_str()) == 0) {
                const std::size_t slash = dir.rfind('/');
                if (slash != std::string::npos && slash > 0)
                    ::rmdir(dir.substr(0, slash).c_str());
            }
        }
        return true;
    }
    if (!WriteHive(dir, path, Serialize(*h)))
        return false;
    // What we wrote is what the file holds: kept, as the file would parse.
    h->Damaged = false;
    if (Node* top = h->Root.Child("SOFTWARE"); top && top->Empty())
        h->Root.Children.erase("software");
    g_user = UserCache{path, StampOf(path), h};
    return true;
}

bool ValidName(const std::string& Name) {
    return Writable(Name);
}

bool ValidKeyPath(const std::vector<std::string>& Parts) {
    for (const auto& p : Parts)
        if (!Writable(p))
            return false;
    return true;
}

} // namespace

// ----- Value -----

Value Value::String(const std::string& Name, const std::string& Text) {
    return Value{Name, REG_SZ, Text};
}

Value Value::ExpandString(const std::string& Name, const std::string& Text) {
    return Value{Name, REG_EXPAND_SZ, Text};
}

Value Value::Dword(const std::string& Name, std::uint32_t Number) {
    std::string d(4, '\0');
    for (int i = 0; i < 4; ++i)
        d[i] = static_cast<char>((Number >> (8 * i)) & 0xFF);
    return Value{Name, REG_DWORD, d};
}

Value Value::Qword(const std::string& Name, std::uint64_t Number) {
    std::string d(8, '\0');
    for (int i = 0; i < 8; ++i)
        d[i] = static_cast<char>((Number >> (8 * i)) & 0xFF);
    return Value{Name, REG_QWORD, d};
}

Value Value::Binary(const std::string& Name, const std::string& Bytes) {
    return Value{Name, REG_BINARY, Bytes};
}

Value Value::MultiString(const std::string& Name, const std::vector<std::string>& Texts) {
    std::string d;
    for (const auto& t : Texts) {
        d += t;
        d += '\0';
    }
    d += '\0';
    return Value{Name, REG_MULTI_SZ, d};
}

std::optional<std::uint32_t> Value::AsDword() const {
    if (Type != REG_DWORD || Data.size() != 4)
        return std::nullopt;
    std::uint32_t n = 0;
    for (int i = 3; i >= 0; --i)
        n = (n << 8) | static_cast<unsigned char>(Data[i]);
    return n;
}

std::optional<std::uint64_t> Value::AsQword() const {
    if (Type != REG_QWORD || Data.size() != 8)
        return std::nullopt;
    std::uint64_t n = 0;
    for (int i = 7; i >= 0; --i)
        n = (n << 8) | static_cast<unsigned char>(Data[i]);
    return n;
}

std::vector<std::string> Value::AsMultiString() const {
    std::vector<std::string> texts;
    if (Type != REG_MULTI_SZ)
        return texts;
    std::string cur;
    for (std::size_t i = 0; i < Data.size(); ++i) {
        if (Data[i] == '\0') {
            if (cur.empty())
                break; // the closing empty text
            texts.push_back(cur);
            cur.clear();
        } else {
            cur += Data[i];
        }
    }
    if (!cur.empty())
        texts.push_back(cur);
    return texts;
}

// ----- Key -----

struct Key::Impl {
    // The parsed hive stays alive while a key of it is open: the key is a snapshot.
    std::shared_ptr<const void> Owner;
    const Node* Snapshot = nullptr;
};

Key::Key() = default;
Key::~Key() = default;
Key::Key(Key&&) noexcept = default;
Key& Key::operator=(Key&&) noexcept = default;

bool Key::Open(Root Where, const std::string& Path, View Which) {
    static const Node kEmpty;
    impl_.reset();
    const std::vector<std::string> parts = ViewPath(Where, Path, Which);
    HivePtr h = Load(Where);
    const Node* n = FindNode(h->Root, parts);
    if (!n) {
        if (!IsImplicitTopKey(parts) && !parts.empty())
            return Fail("key not found: " + Path);
        n = &kEmpty;
    }
    impl_ = std::make_unique<Impl>();
    impl_->Snapshot = n;
    impl_->Owner = std::move(h);
    return true;
}

bool Key::IsOpen() const {
    return impl_ != nullptr;
}

void Key::Close() {
    impl_.reset();
}

std::vector<std::string> Key::SubKeyNames() const {
    std::vector<std::string> names;
    if (impl_)
        for (const auto& [lower, child] : impl_->Snapshot->Children)
            names.push_back(child.Name);
    return names;
}

std::vector<std::string> Key::ValueNames() const {
    std::vector<std::string> names;
    if (impl_)
        for (const auto& v : impl_->Snapshot->Values)
            names.push_back(v.Name);
    return names;
}

std::vector<Value> Key::Values() const {
    return impl_ ? impl_->Snapshot->Values : std::vector<Value>();
}

bool Key::HasValue(const std::string& Name) const {
    return impl_ && impl_->Snapshot->FindValue(Name) != nullptr;
}

std::optional<Value> Key::ReadValue(const std::string& Name) const {
    if (!impl_)
        return std::nullopt;
    if (const Value* v = impl_->Snapshot->FindValue(Name))
        return *v;
    return std::nullopt;
}

bool Key::ReadString(const std::string& Name, std::string& Text, bool SzOnly) const {
    const auto v = ReadValue(Name);
    if (!v || !(v->Type == REG_SZ || (!SzOnly && v->Type == REG_EXPAND_SZ)))
        return false;
    Text = v->Data;
    return true;
}

bool Key::ReadDword(const std::string& Name, std::uint32_t& Number) const {
    const auto v = ReadValue(Name);
    if (!v || !v->AsDword())
        return false;
    Number = *v->AsDword();
    return true;
}

bool KeyExists(Root Where, const std::string& Path, View Which) {
    Key k;
    return k.Open(Where, Path, Which);
}

// ----- Changes -----

bool CreateKey(Root Where, const std::string& Path, View Which) {
    const auto parts = ViewPath(Where, Path, Which);
    if (!ValidKeyPath(parts))
        return Fail("a key name holds a line break or a zero byte");
    if (Where == Root::CurrentUser && (parts.empty() || IsImplicitTopKey(parts)))
        return true;
    return Change(Where, [&](Node& Top) {
        Node* n = &Top;
        for (const auto& p : parts)
            n = &n->Ensure(p);
        return true;
    });
}

bool WriteValues(Root Where, const std::string& Path, const std::vector<Value>& Values,
                 View Which) {
    const auto parts = ViewPath(Where, Path, Which);
    if (!ValidKeyPath(parts))
        return Fail("a key name holds a line break or a zero byte");
    for (const auto& v : Values)
        if (!ValidName(v.Name))
            return Fail("a value name holds a line break or a zero byte");
    if (parts.empty())
        return Fail("values cannot be written to the root key");
    return Change(Where, [&](Node& Top) {
        Node* n = &Top;
        for (const auto& p : parts)
            n = &n->Ensure(p);
        for (const auto& v : Values)
            n->Set(v);
        return true;
    });
}

bool WriteValue(Root Where, const std::string& Path, const Value& Data, View Which) {
    return WriteValues(Where, Path, {Data}, Which);
}

bool WriteString(Root Where, const std::string& Path, const std::string& Name,
                 const std::string& Text, View Which) {
    return WriteValue(Where, Path, Value::String(Name, Text), Which);
}

bool WriteDword(Root Where, const std::string& Path, const std::string& Name, std::uint32_t Number,
                View Which) {
    return WriteValue(Where, Path, Value::Dword(Name, Number), Which);
}

bool DeleteValue(Root Where, const std::string& Path, const std::string& Name, View Which) {
    const auto parts = ViewPath(Where, Path, Which);
    return Change(Where, [&](Node& Top) {
        Node* n = FindNode(Top, parts);
        if (!n)
            return Fail("key not found: " + Path);
        return n->Erase(Name) || Fail("value not found: " + Name);
    });
}

namespace {

enum class Removal { Leaf, Empty, Tree };

bool RemoveKey(Root Where, const std::string& Path, View Which, Removal How) {
    const auto parts = ViewPath(Where, Path, Which);
    if (parts.empty() || IsImplicitTopKey(parts))
        return Fail("the key " + Path + " cannot be deleted");
    return Change(Where, [&](Node& Top) {
        std::vector<std::string> parentParts(parts.begin(), parts.end() - 1);
        Node* parent = FindNode(Top, parentParts);
        Node* n = parent ? parent->Child(parts.back()) : nullptr;
        if (!n)
            return Fail("key not found: " + Path);
        if (How != Removal::Tree && !n->Children.empty())
            return Fail("the key " + Path + " has sub-keys");
        if (How == Removal::Empty && !n->Values.empty())
            return Fail("the key " + Path + " has values");
        parent->Children.erase(base::LowerAscii(parts.back()));
        return true;
    });
}

} // namespace

bool DeleteKey(Root Where, const std::string& Path, View Which) {
    return RemoveKey(Where, Path, Which, Removal::Leaf);
}

bool DeleteKeyIfEmpty(Root Where, const std::string& Path, View Which) {
    return RemoveKey(Where, Path, Which, Removal::Empty);
}

bool DeleteKeyTree(Root Where, const std::string& Path, View Which) {
    return RemoveKey(Where, Path, Which, Removal::Tree);
}

std::string LastError() {
    return t_lastError;
}

std::vector<std::string> TakeSkippedFileMessages() {
    std::vector<std::string> taken;
    taken.swap(g_skipped);
    return taken;
}

std::string UserHivePath() {
    const std::string dir = UserHiveFolder(nullptr);
    return dir.empty() ? std::string() : dir + "/" + kHiveFileName;
}

std::string MachineFolder() {
    const std::string dir = Env("HUELET_MACHINE_REGISTRY_DIR");
    if (!dir.empty())
        return dir;
    return std::string(HUELET_SYSCONFDIR) + kMachineSubFolder;
}

std::vector<std::string> MachineFolders() {
    std::vector<std::string> folders = {MachineFolder()};
    if (!Env("HUELET_MACHINE_REGISTRY_DIR").empty())
        return folders;
    const std::string installed = InstalledMachineFolder();
    if (!installed.empty() && installed != folders[0])
        folders.push_back(installed);
    return folders;
}

namespace {
std::atomic<int> g_wow64_override{-1};
}

void SetWow64ForTesting(std::optional<bool> Wow64) {
    g_wow64_override = Wow64 ? (*Wow64 ? 1 : 0) : -1;
}

bool ProcessIsWow64() {
    if (const int forced = g_wow64_override.load(); forced >= 0)
        return forced == 1;
    if (sizeof(void*) != 4)
        return false;
    utsname u{};
    if (::uname(&u) != 0)
        return false;
    const std::string machine = u.machine;
    return machine == "x86_64" || machine == "aarch64" || machine == "ppc64" ||
           machine == "ppc64le" || machine == "s390x" || machine == "mips64" ||
           machine == "riscv64";
}

} // namespace reg
