#pragma once
#include <cstddef>
#include <string>

// Small POSIX file helpers shared by the settings files (hive, INI) and the file functions.
enum class ReadResult { Ok, Missing, Failed };

// Reads a regular file of at most MaxBytes whole; Missing only when it does not exist.
ReadResult ReadWholeFile(const std::string& Path, std::string& Out, std::size_t MaxBytes);

// Writes every byte, retrying short writes and interrupted calls.
bool WriteAll(int Fd, const char* Data, std::size_t Size);
inline bool WriteAll(int Fd, const std::string& Data) {
    return WriteAll(Fd, Data.data(), Data.size());
}
