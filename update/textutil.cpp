#include "update/textutil.h"

#include "base/ascii.h"

#include <sys/stat.h>

#include <fstream>

#include "services/filefunctions.h"
#include "services/text.h"

std::string ReplaceAll(const std::string& Text, const std::string& From, const std::string& To) {
    if (From.empty())
        return Text;
    std::string out;
    std::size_t start = 0;
    for (std::size_t p; (p = Text.find(From, start)) != std::string::npos; start = p + From.size())
        out.append(Text, start, p - start).append(To);
    return out.append(Text, start, std::string::npos);
}

std::string ReplaceAllIgnoringCase(const std::string& Text, const std::string& From,
                                   const std::string& To) {
    if (From.empty())
        return Text;
    const std::string lower = LowerAscii(Text), from = LowerAscii(From);
    std::string out;
    std::size_t start = 0;
    for (std::size_t p; (p = lower.find(from, start)) != std::string::npos; start = p + From.size())
        out.append(Text, start, p - start).append(To);
    return out.append(Text, start, std::string::npos);
}

std::size_t PosOf(const std::string& Part, const std::string& Text) {
    const std::size_t p = Text.find(Part);
    return p == std::string::npos ? 0 : p + 1;
}

bool WildcardMatch(const std::string& Text, const std::string& Pattern) {
    // Iterative matcher with one back-tracking point for the last '*'.
    std::size_t t = 0, p = 0, star = std::string::npos, mark = 0;
    while (t < Text.size()) {
        if (p < Pattern.size() && (Pattern[p] == '?' || base::LowerAsciiChar(Pattern[p]) ==
                                                            base::LowerAsciiChar(Text[t]))) {
            ++t;
            ++p;
        } else if (p < Pattern.size() && Pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < Pattern.size() && Pattern[p] == '*')
        ++p;
    return p == Pattern.size();
}

bool SameFile(const std::string& A, const std::string& B) {
    struct stat a {
    }, b{};
    if (stat(A.c_str(), &a) != 0 || stat(B.c_str(), &b) != 0)
        return A == B;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int WordCount(const std::string& Text) {
    return FieldCount(Text, " ");
}

std::string LastWord(const std::string& Text) {
    return FieldAt(Text, FieldCount(Text, " ") - 1, " ");
}

std::string ExeFolderOf(const std::string& Path) {
    const std::size_t slash = Path.find_last_of('/');
    return slash == std::string::npos ? std::string() : Path.substr(0, slash + 1);
}

std::string FolderNameOf(const std::string& Folder) {
    std::string f = Folder;
    if (!f.empty() && f.back() == '/')
        f.pop_back();
    return FileNameWithoutExt(f);
}

std::vector<std::string> LoadTextLines(const std::string& Path) {
    std::vector<std::string> lines;
    std::ifstream in(Path, std::ios::binary);
    if (!in)
        return lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}
