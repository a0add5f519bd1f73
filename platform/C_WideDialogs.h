#pragma once
#include <functional>
#include <string>

class QWidget;

// The open-file dialog shared by loading and saving. It remembers the last confirmed full path
// and offers it pre-filled the next time; the chosen file need not exist and nothing asks about
// replacing it (the caller decides that).
class TWideOpenDialog {
  public:
    // Qt name-filter syntax, e.g. "JPEG (*.jpg *.jpeg)".
    std::string Filter = "JPEG (*.jpg *.jpeg)";
    // Pre-filled name; after a confirmed Execute, the chosen full path (UTF-8 bytes).
    std::string FileName;
    // False: the dialog leaves no history of the folders browsed in the user's settings
    // (a portable run leaves no traces).
    bool KeepHistory = true;

    // Shows the dialog modally, centred horizontally and a third of the way down the screen of
    // the active window (of Owner when none is active). True when the user confirmed.
    bool Execute(QWidget* Owner);
};

// Answers every open-file dialog without showing one: the handler receives the pre-filled name
// in FileName, may change it, and returns whether the dialog was confirmed. Empty restores
// the real dialog.
void SetOpenDialogHandlerForTests(std::function<bool(std::string& FileName)> Handler);
