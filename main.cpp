#include "ui/U_MainDlg.h"
#include "ui/U_about.h"
#include "ui/application.h"

#include <QIcon>

int main(int argc, char** argv) {
    // Fixed pixel layout: the window does not scale with the screen.
    if (qEnvironmentVariableIsEmpty("QT_ENABLE_HIGHDPI_SCALING"))
        qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");

    // The application and its title (it names the log, working copy and settings).
    THueletApp app(argc, argv);
    THueletApp::setApplicationName(QStringLiteral("Huelet"));

    // The main window; its creation handler runs now.
    TMainDlg mainDlg;
    THueletApp::setWindowIcon(QIcon(QStringLiteral(":/huelet.png")));

    // The About box, hidden until asked for.
    TAboutDlg aboutDlg(&mainDlg);
    mainDlg.SetAboutDlg(&aboutDlg);

    // Run until the main window closes.
    mainDlg.show();
    return THueletApp::exec();
}
