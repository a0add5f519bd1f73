#include "platform/shell.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace {

std::function<bool(const std::string&)>& TestLauncher() {
    static std::function<bool(const std::string&)> launcher;
    return launcher;
}

bool IsNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9');
}

// The first executable file called name in PATH, or "".
std::string FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        // An empty entry means the current folder.
        const std::string dir = end > start ? dirs.substr(start, end - start) : std::string(".");
        std::string candidate = dir + "/" + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::string();
}

// Starts the opener in the background through a short-lived shell, which is reaped here; the
// opener itself is then nobody's child to wait for and never becomes a zombie of ours.
bool LaunchOpener(const std::string& target, const std::string& directory) {
    if (target.empty())
        return false;
    const std::string opener = FindOnPath("xdg-open");
    if (opener.empty())
        return false;
    // A target starting with '-' would be read as an option.
    const std::string argument = target[0] == '-' ? "./" + target : target;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    if (!directory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);

    std::string sh = "sh", dashc = "-c", script = "\"$0\" \"$@\" </dev/null &";
    std::string arg0 = opener, arg1 = argument;
    char* argv[] = {sh.data(), dashc.data(), script.data(), arg0.data(), arg1.data(), nullptr};
    pid_t pid = 0;
    int rc = posix_spawn(&pid, "/bin/sh", &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool Launch(const std::string& target, const std::string& directory) {
    if (TestLauncher())
        return TestLauncher()(target);
    return LaunchOpener(target, directory);
}

} // namespace

std::string ExpandEnvironmentText(const std::string& Text) {
    std::string out;
    out.reserve(Text.size());
    size_t i = 0;
    while (i < Text.size()) {
        if (Text[i] != '$') {
            out += Text[i++];
            continue;
        }
        size_t name_start, name_end, after;
        if (i + 1 < Text.size() && Text[i + 1] == '{') {
            name_start = i + 2;
            name_end = Text.find('}', name_start);
            if (name_end == std::string::npos) {
                out += Text[i++];
                continue;
            }
            after = name_end + 1;
        } else {
            name_start = i + 1;
            name_end = name_start;
            if (name_end < Text.size() && IsNameStart(Text[name_end]))
                while (name_end < Text.size() && IsNameChar(Text[name_end]))
                    ++name_end;
            after = name_end;
        }
        const std::string name = Text.substr(name_start, name_end - name_start);
        bool valid = !name.empty() && IsNameStart(name[0]);
        for (char c : name)
            valid = valid && IsNameChar(c);
        const char* value = valid ? std::getenv(name.c_str()) : nullptr;
        if (value) {
            out += value;
            i = after;
        } else {
            out += Text[i++];
        }
    }
    return out;
}

bool ShellOpen(QWidget* /*Window*/, const std::string& /*Verb*/, const std::string& FileName,
               const std::string& /*Parameters*/, const std::string& Directory, int /*ShowCmd*/) {
    return Launch(FileName, Directory);
}

bool ShellOpenEx(const std::string& FileName, const std::string& /*Parameters*/,
                 const std::string& /*Verb*/, int /*ShowCmd*/) {
    return Launch(ExpandEnvironmentText(FileName), std::string());
}

void SetShellLauncherForTests(std::function<bool(const std::string&)> Launcher) {
    TestLauncher() = std::move(Launcher);
}
