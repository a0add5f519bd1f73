#include "ui/U_about.h"

#include "huelet_config.h"
#include "platform/shell.h"
#include "services/file_version.h"
#include "ui/application.h"
#include "ui/groupframe.h"
#include "ui/resources_init.h"

#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace {

QPushButton* MakeButton(QWidget* parent, int left, int top, int width, int height,
                        const char* text) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setGeometry(left, top, width, height);
    button->setAutoDefault(false);
    return button;
}

std::string SiteRoot() {
    std::string site = HUELET_WEB_SITE;
    while (!site.empty() && site.back() == '/')
        site.pop_back();
    return site;
}

} // namespace

TAboutDlg::TAboutDlg(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      TS_about({"About", "Application Name :", "Version :"}) {
    InitUiResources();
    setObjectName(QStringLiteral("AboutDlg"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    setFont(font);
    setFixedSize(389, 285);

    Image1 = new QLabel(this);
    const QPixmap banner(QStringLiteral(":/banner.png"));
    Image1->setPixmap(banner);
    Image1->setGeometry(0, 0, banner.isNull() ? 388 : banner.width(),
                        banner.isNull() ? 96 : banner.height());

    all_grp = new TGroupFrame(this);
    all_grp->setGeometry(1, 97, 384, 184);

    Application_grp = new TGroupFrame(QStringLiteral("Application"), all_grp);
    Application_grp->setGeometry(5, 12, 249, 53);
    appname_lbl = new QLabel(Application_grp);
    appname_lbl->setGeometry(8, 16, 237, 14);
    version_lbl = new QLabel(Application_grp);
    version_lbl->setGeometry(8, 32, 237, 14);

    // The maker's name nearly fills the narrow frame: no indent for its caption.
    maker_grp = new TGroupFrame(QStringLiteral("Norwick Softworks"), all_grp, 0);
    maker_grp->setGeometry(260, 12, 113, 117);
    email_btn = MakeButton(maker_grp, 8, 16, 97, 28, "Email");
    web_btn = MakeButton(maker_grp, 8, 48, 97, 28, "Web Site");
    forum_btn = MakeButton(maker_grp, 8, 80, 97, 28, "Forums");

    ok_btn = MakeButton(all_grp, 274, 139, 81, 33, "Ok");
    ok_btn->setDefault(true);

    connect(ok_btn, &QPushButton::clicked, this, &QDialog::accept);
    connect(email_btn, &QPushButton::clicked, this,
            [this] { RunHandler([this] { email_btnClick(); }); });
    connect(web_btn, &QPushButton::clicked, this,
            [this] { RunHandler([this] { web_btnClick(); }); });
    connect(forum_btn, &QPushButton::clicked, this,
            [this] { RunHandler([this] { forum_btnClick(); }); });
}

void TAboutDlg::FillTexts() {
    const std::string title = ApplicationTitle();
    const std::string version = FileVersionText(ExecutablePath());
    setWindowTitle(QString::fromStdString(TS_about.LookupText("About") + " " + title));
    appname_lbl->setText(
        QString::fromStdString(TS_about.LookupText("Application Name :") + " " + title));
    version_lbl->setText(QString::fromStdString(TS_about.LookupText("Version :") + " " + version));
}

int TAboutDlg::ShowModal() {
    FillTexts();
    return exec();
}

std::string TAboutDlg::EmailTarget() {
    const std::string contact = HUELET_CONTACT;
    // The configured address may already carry its scheme.
    if (contact.rfind("mailto:", 0) == 0)
        return contact;
    return "mailto:" + contact;
}

std::string TAboutDlg::WebSiteTarget() {
    return SiteRoot() + "/";
}

std::string TAboutDlg::ForumTarget() {
    return SiteRoot() + "/forum";
}

void TAboutDlg::email_btnClick() {
    ShellOpen(this, "", EmailTarget(), "", "", kSwShowNormal);
}

void TAboutDlg::web_btnClick() {
    ShellOpen(this, "", WebSiteTarget(), "", "", kSwShowNormal);
}

void TAboutDlg::forum_btnClick() {
    ShellOpen(this, "", ForumTarget(), "", "", kSwShowNormal);
}
