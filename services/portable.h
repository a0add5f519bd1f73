#pragma once
// Portable mode: a program that was not installed keeps its settings in "settings.ini" beside
// the executable, copies them into the registry at start and back at close, and then removes
// everything else it left in the registry and in the user's folders.
#include <string>
#include <vector>

class TInstance;
class TKLog;

class TPortableMode {
  public:
    // ExeName is the executable's full path, Title the application title (it names the data
    // folder).
    TPortableMode(std::string ExeName, std::string Title);

    // At window creation: imports "settings.ini" when the program is not installed. Returns
    // what could not be imported and the registry files that could not be read, for one
    // message.
    std::vector<std::string> Start() const;

    // At window close, in both modes: cleans the VirtualStore folder and logs "Closing
    // Huelet". When not installed and no other window of the program runs: clears the data
    // folder (of the executable's own folder only this window's files), removes the maker's
    // data folder when empty, exports the settings, and only after a complete export removes
    // the registry traces. While another window runs, it removes only this window's files and
    // leaves the folder, the settings and the registry to the last one. Installed, the data
    // folder stays. Log may be null; Instance's slot is released in every case. Returns why
    // the export failed (the settings then stay in the registry), or nothing.
    std::string Close(TKLog* Log, TInstance& Instance) const;

    // True when the program is not installed (asked afresh each time).
    bool Active() const;

    // "settings.ini" in the executable's folder.
    std::string SettingsIniPath() const;

  private:
    std::string exe_;
    std::string title_;
};
