#include "services/U_Log.h"

#include "platform/shell.h"
#include "services/filefunctions.h"

#include <cstdio>
#include <fstream>
#include <sstream>

TKLog::TKLog(std::string FileName, bool Verbose, int MaxLines, bool LoadExisting)
    : file_name_(std::move(FileName)), max_lines_(MaxLines), verbose_(Verbose),
      clock_([] { return std::time(nullptr); }) {
    if (!LoadExisting || !WideFileExists(file_name_))
        return;
    std::ifstream in(file_name_, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines_.push_back(line);
    }
}

TKLog::~TKLog() {
    Save();
}

std::string TKLog::LevelName(int Level) {
    if (Level <= kLogVerbose)
        return "Verbose";
    return Level == kLogInfo ? "Info" : "Error";
}

std::string TKLog::TimeText(std::time_t Time) {
    std::tm local{};
    localtime_r(&Time, &local);
    char text[32];
    std::snprintf(text, sizeof text, "[%02d-%02d-%02d %02d:%02d:%02d]", local.tm_year % 100,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

void TKLog::AddLine(const std::string& Text, int Level) {
    if (Level <= kLogVerbose && !verbose_)
        return;
    std::string line = LevelName(Level);
    line += '\t';
    line += TimeText(clock_());
    line += '\t';
    line += Text;
    lines_.push_front(std::move(line));
    if (static_cast<long long>(lines_.size()) > max_lines_)
        lines_.pop_back();
    if (verbose_)
        Save();
}

bool TKLog::Save() const {
    try {
        std::string data;
        size_t size = 0;
        for (const std::string& line : lines_)
            size += line.size() + 2;
        data.reserve(size);
        for (const std::string& line : lines_) {
            data += line;
            data += "\r\n";
        }
        return WriteFileAtomic(file_name_, data);
    } catch (...) {
        return false;
    }
}

void TKLog::OpenFile() const {
    Save();
    ShellOpenEx(file_name_, "", "", kSwShowNormal);
}
