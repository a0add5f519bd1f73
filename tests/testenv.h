// Scratch folders and small file helpers shared by the test programs.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace testenv {

// The whole file, or "" when it cannot be read.
inline std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Replaces the file with exactly these bytes.
inline void Write(const std::filesystem::path& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

// A fresh folder under /tmp, removed with everything in it when the object goes.
class TempDir {
  public:
    explicit TempDir(const std::string& tag) {
        std::string pattern = "/tmp/huelet-" + tag + "-XXXXXX";
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder");
        root_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, without a trailing '/'.
    const std::string& Root() const { return root_; }
    // A path inside the folder.
    std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

  private:
    std::string root_;
};

// A scratch folder that also stands in for the user's home: HOME and the XDG folders point into
// <root>/home, the user registry into <root>/user and the machine registry into <root>/machine
// (home and machine exist). Every variable is restored when the object goes.
class TempHome : public TempDir {
  public:
    explicit TempHome(const std::string& tag) : TempDir(tag) {
        std::filesystem::create_directories(Path("home"));
        std::filesystem::create_directories(Path("machine"));
        Set("HOME", Path("home"));
        Set("XDG_CONFIG_HOME", Path("home/.config"));
        Set("XDG_DATA_HOME", Path("home/.local/share"));
        Set("XDG_STATE_HOME", Path("home/.local/state"));
        Set("XDG_CACHE_HOME", Path("home/.cache"));
        Set("HUELET_REGISTRY_DIR", Path("user"));
        Set("HUELET_MACHINE_REGISTRY_DIR", Path("machine"));
    }
    ~TempHome() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }

  private:
    void Set(const char* name, const std::string& value) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        setenv(name, value.c_str(), 1);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// For a whole test program, made first thing in its main: HOME, the XDG folders and both
// registry folders point into one fresh folder, whatever the caller has set, so no test reaches
// the caller's home or hives. HOME, the runtime folder (mode 0700) and both registry folders
// exist; the XDG base folders do not, as on a new account. Removed with everything in it when
// the object goes.
class IsolatedRun {
  public:
    explicit IsolatedRun(const std::string& tag) : dir_(tag) {
        for (const char* sub : {"home", "user", "machine"})
            std::filesystem::create_directories(dir_.Path(sub));
        std::filesystem::create_directories(dir_.Path("runtime"));
        std::filesystem::permissions(dir_.Path("runtime"), std::filesystem::perms::owner_all);
        setenv("HOME", dir_.Path("home").c_str(), 1);
        setenv("XDG_DATA_HOME", dir_.Path("home/.local/share").c_str(), 1);
        setenv("XDG_STATE_HOME", dir_.Path("home/.local/state").c_str(), 1);
        setenv("XDG_CONFIG_HOME", dir_.Path("home/.config").c_str(), 1);
        setenv("XDG_CACHE_HOME", dir_.Path("home/.cache").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", dir_.Path("runtime").c_str(), 1);
        setenv("HUELET_REGISTRY_DIR", dir_.Path("user").c_str(), 1);
        setenv("HUELET_MACHINE_REGISTRY_DIR", dir_.Path("machine").c_str(), 1);
    }
    const std::string& Root() const { return dir_.Root(); }

  private:
    TempDir dir_;
};

// The unprivileged user the permission cases run as when the tests run as root.
inline constexpr uid_t kNobody = 65534;

// Root passes every permission check, so as root Attempt runs in a child switched to kNobody;
// otherwise here. Attempt's result (0 to 2 in the callers), or nothing when root cannot change
// user.
inline std::optional<int> RunUnprivileged(const std::function<int()>& Attempt) {
    if (::geteuid() != 0)
        return Attempt();
    const pid_t child = ::fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(3);
        ::_exit(Attempt());
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == 3)
        return std::nullopt;
    return WEXITSTATUS(status);
}

// Programs that open sockets: nothing may go through a proxy named in the environment, and
// TLS is not switched off from outside.
inline void ClearNetworkEnvironment() {
    for (const char* name :
         {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "HUELET_NO_TLS"})
        ::unsetenv(name);
}

} // namespace testenv
