#pragma once
#include <string>

// Why a copy of Source to Target that has just failed could not be made, as the file system
// says it: the source is asked first (missing, unreadable, not a regular file), then the
// target's folder. A text for the user, naming the file it is about.
std::string CopyProblemText(const std::string& Source, const std::string& Target);
