#pragma once
#include <ctime>
#include <deque>
#include <functional>
#include <string>

// Log levels; a level above kLogError is written as "Error".
constexpr int kLogVerbose = 0;
constexpr int kLogInfo = 1;
constexpr int kLogError = 2;

// The run log: timestamped lines kept in memory, newest first, written as a whole to one file.
// Each line: level name, TAB, "[yy-mm-dd hh:mm:ss]" (local time), TAB, the message.
// The file ends every line with CR LF and is replaced atomically, so a crash never leaves a
// half-written log.
class TKLog {
  public:
    // Nothing is written at creation. With LoadExisting, the lines of an existing file are
    // loaded as they stand (the file is already newest first; the limit is not applied).
    // Verbose admits level-0 lines and saves after every added line.
    TKLog(std::string FileName, bool Verbose, int MaxLines, bool LoadExisting);
    // Saves the file.
    ~TKLog();
    TKLog(const TKLog&) = delete;
    TKLog& operator=(const TKLog&) = delete;

    // Drops level 0 unless Verbose; inserts at the front; removes the oldest line when the
    // list then holds more than MaxLines.
    void AddLine(const std::string& Text, int Level);

    // Writes the whole list to FileName. Never throws; returns whether the file was written.
    bool Save() const;

    // Save, then hands the file to the desktop's default application (ShellOpenEx).
    void OpenFile() const;

    const std::deque<std::string>& Lines() const { return lines_; }
    const std::string& FileName() const { return file_name_; }
    int MaxLines() const { return max_lines_; }
    bool Verbose() const { return verbose_; }

    // The time source of new lines (seconds since the epoch, shown in local time).
    void SetClock(std::function<std::time_t()> Clock) { clock_ = std::move(Clock); }

    // "Verbose", "Info" or "Error" (levels above 2 give "Error").
    static std::string LevelName(int Level);
    // "[yy-mm-dd hh:mm:ss]" in local time.
    static std::string TimeText(std::time_t Time);

  private:
    std::deque<std::string> lines_;
    std::string file_name_;
    int max_lines_;
    bool verbose_;
    std::function<std::time_t()> clock_;
};
