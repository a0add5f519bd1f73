#pragma once
#include <QApplication>
#include <functional>
#include <string>
#include <vector>

// The application object: an error escaping an event handler gets the default report (a message
// box with its text) and the program keeps running.
class THueletApp : public QApplication {
    Q_OBJECT
  public:
    // Keeps the arguments left after Qt took its own (see CommandLineArguments).
    THueletApp(int& argc, char** argv);
    bool notify(QObject* Receiver, QEvent* Event) override;
};

// The default report of an unhandled error: a modal message box with the text.
void ReportUnhandledError(const std::string& Text);

// Runs Handler; an exception escaping it gets the default report.
void RunHandler(const std::function<void()>& Handler);

// The program's arguments after its own path, bytes as given.
const std::vector<std::string>& CommandLineArguments();
void SetCommandLineArguments(std::vector<std::string> Arguments);

// The application title ("Huelet"): names the log, the working copy and the settings.
std::string ApplicationTitle();

// The running executable's full path (UTF-8 bytes).
std::string ExecutablePath();
