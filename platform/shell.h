#pragma once
#include <functional>
#include <string>
#include <vector>

class QWidget;

// Show command passed by every caller (kept for the callers' sake; the desktop decides).
constexpr int kSwShowNormal = 1;

// Hands a web address, "mailto:" address or file path to the desktop's opener (xdg-open),
// started detached. Verb, Parameters and ShowCmd have no meaning there and are ignored;
// Directory, when not empty, is the opener's working folder. True when the opener started.
// Nothing is shown on failure.
bool ShellOpen(QWidget* Window, const std::string& Verb, const std::string& FileName,
               const std::string& Parameters, const std::string& Directory, int ShowCmd);

// As ShellOpen, after expanding $VAR and ${VAR} in FileName (unset variables stay as written).
bool ShellOpenEx(const std::string& FileName, const std::string& Parameters,
                 const std::string& Verb, int ShowCmd);

// $VAR and ${VAR} replaced by the environment's values; unset ones are left as written.
std::string ExpandEnvironmentText(const std::string& Text);

// Replaces the opener for tests: receives the target (expanded for ShellOpenEx) and returns
// the result the caller sees. An empty function restores xdg-open.
void SetShellLauncherForTests(std::function<bool(const std::string&)> Launcher);

// ----- Message boxes (Qt Widgets live in platform/messagebox.cpp only) -----

// Buttons
constexpr int kMbOk = 0;
constexpr int kMbYesNo = 1;
constexpr int kMbYesNoCancel = 2;
constexpr int kMbOkCancel = 3;
// Kind: caption and icon
constexpr int kMbKindMessage = 0;     // "Message", no icon
constexpr int kMbKindWarning = 1;     // "Warning", exclamation
constexpr int kMbKindError = 2;       // "Error", stop
constexpr int kMbKindQuestion = 3;    // "Question", question mark
constexpr int kMbKindInformation = 4; // "Information", information
// Button codes returned
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

enum class TMessageIcon { None, Warning, Error, Question, Information };

// What a message box would show; given to the test handler.
struct TMessageBoxRequest {
    QWidget* Window = nullptr;
    std::string Text;
    std::string Caption; // "" for an unknown Kind
    TMessageIcon Icon = TMessageIcon::None;
    std::vector<int> ButtonCodes; // in display order, e.g. {kIdYes, kIdNo}
    std::string Detail;           // the box's detail text (the reason behind Text); "" for none
};

// The request ShowMessageBox builds for these arguments (unknown Buttons: OK only;
// unknown Kind: empty caption, no icon).
TMessageBoxRequest MessageBoxRequest(QWidget* Window, const std::string& Text, int Buttons,
                                     int Kind);

// Modal message box owned by Window; returns the code of the button pressed. A Detail that is
// not empty is the box's detail text, behind its "Show Details..." button.
int ShowMessageBox(QWidget* Window, const std::string& Text, int Buttons, int Kind,
                   const std::string& Detail = {});
// Yes and No, caption "Question", question-mark icon; kIdYes or kIdNo.
int AskYesNo(QWidget* Window, const std::string& Text);

// Answers every message box without showing one. An empty function restores real boxes.
void SetMessageBoxHandlerForTests(std::function<int(const TMessageBoxRequest&)> Handler);
