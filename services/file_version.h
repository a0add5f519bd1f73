#pragma once
#include <cstdint>
#include <string>

// Version resources of executables: the VS_VERSIONINFO block of a PE file (its RT_VERSION
// resource) or of an ELF file (its ".huelet_version" section). Paths are UTF-8 byte strings.
// None of these throws.

// The file version from the block's fixed part, as four unsigned numbers joined by "."
// (for example "1.10.4.23"). "File not found" when Path is missing or names a folder; an empty
// text when the file has no readable version resource.
std::string FileVersionText(const std::string& Path);

// Size in bytes of the file's version block; 0 when it has none. Handle, when given, is set
// to 0 (it only exists for callers written against the system call).
std::uint32_t WideGetFileVersionInfoSize(const std::string& Path, std::uint32_t* Handle = nullptr);

// Copies the file's version block into Data, at most Size bytes (a shorter buffer receives
// the beginning of the block). False when the file has no version block or Data is null.
bool WideGetFileVersionInfo(const std::string& Path, std::uint32_t Handle, std::uint32_t Size,
                            void* Data);
