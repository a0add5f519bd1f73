#pragma once
#include "ui/C_TextStorage.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;

// The About box: banner, application name and file version, and the maker's contact address,
// web site and forum.
class TAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutDlg(QWidget* Parent = nullptr);

    // Sets the caption and the labels from the text storage.
    void FillTexts();
    // FillTexts, then shows the dialog modally until it is closed.
    int ShowModal();

    void email_btnClick();
    void web_btnClick();
    void forum_btnClick();

    // The targets the three buttons open.
    static std::string EmailTarget();
    static std::string WebSiteTarget();
    static std::string ForumTarget();

    TTextStorage TS_about;
    QLabel* Image1 = nullptr;
    QGroupBox* all_grp = nullptr;
    QGroupBox* Application_grp = nullptr;
    QLabel* appname_lbl = nullptr;
    QLabel* version_lbl = nullptr;
    QGroupBox* maker_grp = nullptr;
    QPushButton* email_btn = nullptr;
    QPushButton* web_btn = nullptr;
    QPushButton* forum_btn = nullptr;
    QPushButton* ok_btn = nullptr;
};
