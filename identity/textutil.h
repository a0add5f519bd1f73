#pragma once
// Text helpers of the identity code that the shared text functions do not cover.
#include <string>
#include <vector>

// Every occurrence of From (exact case) replaced by To; Text unchanged for an empty From.
std::string ReplaceAll(const std::string& Text, const std::string& From, const std::string& To);
// The same, ASCII case ignored when finding From.
std::string ReplaceAllIgnoringCase(const std::string& Text, const std::string& From,
                                   const std::string& To);
// 1-based position of the first exact occurrence of Part in Text; 0 when absent.
std::size_t PosOf(const std::string& Part, const std::string& Text);
// '*' matches any run, '?' any one character; ASCII case ignored.
bool WildcardMatch(const std::string& Text, const std::string& Pattern);
// Both paths name the same existing file.
bool SameFile(const std::string& A, const std::string& B);
// The last word of Text (its fields between blanks).
std::string LastWord(const std::string& Text);
int WordCount(const std::string& Text);

// Path inputs of the identity code.
// F: the folder of Path with its trailing '/'.
std::string ExeFolderOf(const std::string& Path);
// The name of folder F (its last element, without what follows its last '.').
std::string FolderNameOf(const std::string& Folder);
// Lines of a text file (CR LF or LF); empty when it cannot be read.
std::vector<std::string> LoadTextLines(const std::string& Path);
