#pragma once
#include <string>

// The XDG base folders that stand in for the user's special folders.
enum class XdgBase {
    Data,   // $XDG_DATA_HOME, default ~/.local/share
    State,  // $XDG_STATE_HOME, default ~/.local/state
    Config, // $XDG_CONFIG_HOME, default ~/.config
};

// The folder without a trailing '/': the variable when it holds an absolute path, else an
// absolute HOME followed by the default. A relative or empty value counts as unset, so ""
// when neither gives a path. Creates nothing.
std::string XdgBaseFolderName(XdgBase Which);

// The same folder, created when missing (with its missing parents, each mode 0700), as the XDG
// rules ask before anything is put in it. HOME itself is never created: a default below a HOME
// that does not exist gives "". Also "" when the folder cannot be named or made a folder.
std::string XdgBaseFolder(XdgBase Which);
