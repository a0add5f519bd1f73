#pragma once
#include <cstdint>
#include <string>
#include <vector>

// File functions on UTF-8 byte-string paths. Any name the file system holds works, including
// names that are not valid UTF-8. None of them throws for missing paths or refused access.

// True when the path names an existing entry that is not a folder (symbolic links followed).
bool WideFileExists(const std::string& Path);
// True when the path names an existing folder (symbolic links followed).
bool WideDirectoryExists(const std::string& Path);
// Creates one folder (its parent must exist); false when it could not be created,
// including when it already exists.
bool WideCreateDirectory(const std::string& Path);

// Size in bytes of the file, or 0 when it cannot be found.
std::int64_t FileSize64(const std::string& Path);
// True for an existing file (not a folder) of at least one byte.
bool FileHasContent(const std::string& Path);

// The file-name part up to its last '.', or the whole name without '.';
// "/x/archive.tar.gz" gives "archive.tar", "/x/.hidden" gives "".
std::string FileNameWithoutExt(const std::string& Path);

// Listings append full paths to List (never clearing it), folder by folder in name order.
// Recursive ones do not descend into symbolic links to folders.
// Files directly in Folder.
void ListFiles(const std::string& Folder, std::vector<std::string>& List);
// Sub-folders directly in Folder.
void ListFolders(const std::string& Folder, std::vector<std::string>& List);
// Files in Folder and below whose extension (".exe", dot included) equals Ext, ASCII case
// ignored.
void FindFilesByExt(const std::string& Folder, const std::string& Ext,
                    std::vector<std::string>& List);
// Files in Folder and below whose name equals Name, ASCII case ignored.
void FindFilesByName(const std::string& Folder, const std::string& Name,
                     std::vector<std::string>& List);

// Clears Folder of the entries matching "*.<Ext>" (ASCII case ignored; Ext "*" matches every
// entry): matching files are deleted, matching sub-folders are cleared the same way, then
// Folder itself is removed if it has become empty. Symbolic links are deleted, never followed:
// a link to a file or folder goes, its target stays. A Folder that is itself a symbolic link,
// or not a folder, is left alone. The root folder and "" are never touched. Failures are ignored;
// always returns true.
bool DeleteFilesByExt(const std::string& Folder, const std::string& Ext);

// Deletes one file (not a folder); false when nothing was deleted.
bool WideDeleteFile(const std::string& Path);

// Copies Source (a regular file) to Target, replacing Target: the bytes go to a temporary
// file beside Target, which is then renamed over it, so Target is either the old file or the
// complete copy. An existing Target keeps its permissions; a symbolic link at Target is
// written through. False when the copy did not happen (Target is then unchanged).
bool CopyFileReplacing(const std::string& Source, const std::string& Target);

// Writes Data to Path the same atomic way; false on any failure (Path unchanged).
bool WriteFileAtomic(const std::string& Path, const std::string& Data);
