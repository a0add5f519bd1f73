#include "ui/application.h"

#include "platform/shell.h"

#include <QFile>
#include <exception>

namespace {
std::vector<std::string>& Arguments() {
    static std::vector<std::string> arguments;
    return arguments;
}
} // namespace

THueletApp::THueletApp(int& argc, char** argv) : QApplication(argc, argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    SetCommandLineArguments(std::move(arguments));
}

bool THueletApp::notify(QObject* Receiver, QEvent* Event) {
    try {
        return QApplication::notify(Receiver, Event);
    } catch (const std::exception& error) {
        ReportUnhandledError(error.what());
    } catch (...) {
        ReportUnhandledError("Unknown error");
    }
    return false;
}

void ReportUnhandledError(const std::string& Text) {
    ShowMessageBox(QApplication::activeWindow(), Text, kMbOk, kMbKindError);
}

void RunHandler(const std::function<void()>& Handler) {
    try {
        Handler();
    } catch (const std::exception& error) {
        ReportUnhandledError(error.what());
    } catch (...) {
        ReportUnhandledError("Unknown error");
    }
}

const std::vector<std::string>& CommandLineArguments() {
    return Arguments();
}

void SetCommandLineArguments(std::vector<std::string> Arguments_) {
    Arguments() = std::move(Arguments_);
}

std::string ApplicationTitle() {
    return QCoreApplication::applicationName().toStdString();
}

std::string ExecutablePath() {
    return QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
}
