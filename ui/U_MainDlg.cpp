#include "ui/U_MainDlg.h"

#include "base/ascii.h"
#include "engine/filter.h"
#include "engine/jpeg_codec.h"
#include "engine/render.h"
#include "huelet_config.h"
#include "platform/U_DragDrop.h"
#include "platform/shell.h"
#include "services/U_Log.h"
#include "services/datafolder.h"
#include "services/file_version.h"
#include "services/filefunctions.h"
#include "services/settings_store.h"
#include "services/system_report.h"
#include "ui/U_about.h"
#include "ui/application.h"
#include "ui/image32.h"
#include "ui/resources_init.h"
#include "update/U_Tally_Lite.h"
#include "update/tls.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QShowEvent>
#include <QSlider>
#include <QToolButton>
#include <cstdint>

namespace {

constexpr int kClientWidth = 825;
constexpr int kClientHeight = 660;

// The run log is never freed (its file is written when the user opens it); keeping it here
// leaves it reachable for the rest of the process.
void KeepForProcess(TKLog* log) {
    static auto* logs = new std::vector<TKLog*>;
    logs->push_back(log);
}

QFont WindowFont() {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

QLabel* MakeLabel(QWidget* parent, int left, int top, const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->move(left, top);
    label->adjustSize();
    return label;
}

QPushButton* MakeButton(QWidget* parent, int left, int top, int width, int height,
                        const char* text) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setGeometry(left, top, width, height);
    button->setAutoDefault(false);
    return button;
}

QLineEdit* MakeIntegerField(QWidget* parent, int left, int top) {
    auto* field = new QLineEdit(parent);
    field->setGeometry(left, top, 49, 21);
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    field->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
    field->setAcceptDrops(false);
    return field;
}

QSlider* MakeTrackbar(QWidget* parent, int top) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setGeometry(64, top, 164, 33);
    slider->setRange(0, 255);
    slider->setTickInterval(10);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setValue(0);
    return slider;
}

QToolButton* MakePictureButton(QWidget* parent, const QString& picture) {
    auto* button = new QToolButton(parent);
    button->setGeometry(4, 13, 68, 100);
    button->setAutoRaise(true);
    button->setIcon(QIcon(picture));
    button->setIconSize(QSize(64, 64));
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QGroupBox* MakeGroup(QWidget* parent, int left, int top, int width, int height, const char* title) {
    auto* group = new QGroupBox(QString::fromUtf8(title), parent);
    group->setGeometry(left, top, width, height);
    // The caption sits on the frame's top line, so the contents keep their places.
    group->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
        " left: 6px; padding: 0 2px; }"));
    return group;
}

void SetBold(QWidget* widget, bool underline = false) {
    QFont font = widget->font();
    font.setBold(true);
    font.setUnderline(underline);
    widget->setFont(font);
}

QString DecimalText(long long value) {
    return QString::number(value);
}

} // namespace

TMainDlg::TMainDlg(QWidget* Parent) : QMainWindow(Parent) {
    InitUiResources();
    setObjectName(QStringLiteral("MainDlg"));
    setWindowTitle(QStringLiteral("Huelet"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(WindowFont());
    BuildMenu();
    BuildControls();
    ConnectHandlers();

    setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.left() + (area.width() - width()) / 2,
             area.top() + (area.height() - height()) / 2);
    }

    activate_connection_ = connect(qApp, &QGuiApplication::applicationStateChanged, this,
                                   &TMainDlg::OnApplicationStateChanged);
    FormCreate();
}

TMainDlg::~TMainDlg() {
    FormDestroy();
}

void TMainDlg::BuildMenu() {
    File1 = menuBar()->addMenu(QStringLiteral("File"));
    LoadFile1 = File1->addAction(QStringLiteral("Load File"));
    LoadFile1->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
    Close1 = File1->addAction(QStringLiteral("Close"));
    Close1->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));

    N1 = menuBar()->addMenu(QStringLiteral("?"));
    Openlogfile1 = N1->addAction(QStringLiteral("Open log file"));
    Openlogfile1->setShortcut(QKeySequence(QStringLiteral("Ctrl+L")));
    Checkforupdate1 = N1->addAction(QStringLiteral("Check for update..."));
    Checkforupdate1->setShortcut(QKeySequence(QStringLiteral("Ctrl+G")));
    N1->addSeparator();
    ChangeLog1 = N1->addAction(QStringLiteral("Change Log"));
    BugreportFeaturerequestKnownissues1 =
        N1->addAction(QStringLiteral("Bug report, Feature request, Known issues"));
    N1->addSeparator();
    About1 = N1->addAction(QStringLiteral("About..."));
    About1->setShortcut(QKeySequence(QStringLiteral("Ctrl+B")));
}

void TMainDlg::BuildControls() {
    auto* client = new QWidget(this);
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);

    // Header: white band, welcome line, instructions, icon.
    Shape1 = new QWidget(client);
    Shape1->setGeometry(0, 0, kClientWidth, 97);
    Shape1->setAutoFillBackground(true);
    QPalette white = Shape1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Shape1->setPalette(white);

    title_lbl = new QLabel(QStringLiteral("Welcome to Huelet !"), client);
    QFont titleFont = title_lbl->font();
    titleFont.setBold(true);
    titleFont.setPixelSize(13);
    title_lbl->setFont(titleFont);
    title_lbl->move(8, 8);
    title_lbl->adjustSize();

    instructions_lbl = new QLabel(client);
    instructions_lbl->setGeometry(16, 24, 673, 73);
    instructions_lbl->setWordWrap(true);
    instructions_lbl->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Image1 = new QLabel(client);
    Image1->setGeometry(696, -18, 128, 128);
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap(QStringLiteral(":/huelet.png")));

    // Picture
    GroupBox6 = MakeGroup(client, 8, 104, 808, 57, "Picture");
    filename_txt = new QLineEdit(GroupBox6);
    filename_txt->setGeometry(8, 19, 457, 21);
    filename_txt->setAcceptDrops(false);
    load_btn = MakeButton(GroupBox6, 472, 16, 75, 25, "Load");

    // Thresholds
    GroupBox2 = MakeGroup(client, 8, 168, 345, 121, "Thresholds");
    temp_btn = MakePictureButton(GroupBox2, QStringLiteral(":/decor0.png"));
    dist_r = MakeTrackbar(GroupBox2, 16);
    dist_g = MakeTrackbar(GroupBox2, 48);
    dist_b = MakeTrackbar(GroupBox2, 80);
    distr_lbl = MakeLabel(GroupBox2, 232, 16, "distr_lbl");
    distg_lbl = MakeLabel(GroupBox2, 232, 48, "distg_lbl");
    distb_lbl = MakeLabel(GroupBox2, 232, 80, "distb_lbl");
    for (QLabel* label : {distr_lbl, distg_lbl, distb_lbl})
        label->setFixedWidth(50);
    narrow_btn = MakeButton(GroupBox2, 286, 13, 51, 25, "Narrow");
    medium_btn = MakeButton(GroupBox2, 286, 45, 51, 25, "Medium");
    large_btn = MakeButton(GroupBox2, 286, 77, 51, 25, "Large");

    // Central Color
    GroupBox3 = MakeGroup(client, 360, 168, 217, 121, "Central Color (CC)");
    JvImgBtn1 = MakePictureButton(GroupBox3, QStringLiteral(":/decor1.png"));
    Label1 = MakeLabel(GroupBox3, 104, 16, "Red");
    Label2 = MakeLabel(GroupBox3, 104, 40, "Green");
    Label3 = MakeLabel(GroupBox3, 104, 64, "Blue");
    rbase_txt = MakeIntegerField(GroupBox3, 144, 16);
    gbase_txt = MakeIntegerField(GroupBox3, 144, 40);
    bbase_txt = MakeIntegerField(GroupBox3, 144, 64);
    Label9 = new QLabel(QStringLiteral("Click on the picture to set the Central Color"), GroupBox3);
    // A little wider than designed: the fallback sans font is broader than the original one.
    Label9->setGeometry(76, 89, 137, 26);
    Label9->setWordWrap(true);
    Label9->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    // On the fly Color
    GroupBox4 = MakeGroup(client, 584, 168, 233, 121, "On the fly Color");
    Label7 = MakeLabel(GroupBox4, 48, 16, "Color");
    Label8 = MakeLabel(GroupBox4, 104, 16, "Distance from CC");
    SetBold(Label7, true);
    SetBold(Label8, true);
    Label7->adjustSize();
    Label8->adjustSize();
    Label4 = MakeLabel(GroupBox4, 8, 40, "Red");
    Label5 = MakeLabel(GroupBox4, 8, 64, "Green");
    Label6 = MakeLabel(GroupBox4, 8, 88, "Blue");
    r_txt = MakeIntegerField(GroupBox4, 48, 37);
    g_txt = MakeIntegerField(GroupBox4, 48, 61);
    b_txt = MakeIntegerField(GroupBox4, 48, 85);
    for (QLineEdit* field : {r_txt, g_txt, b_txt})
        field->setEnabled(false);
    diffr_lbl = MakeLabel(GroupBox4, 120, 36, "diffr_lbl");
    diffg_lbl = MakeLabel(GroupBox4, 121, 60, "Label1");
    diffb_lbl = MakeLabel(GroupBox4, 121, 84, "Label1");
    for (QLabel* label : {diffr_lbl, diffg_lbl, diffb_lbl})
        label->setFixedWidth(60);

    // Action
    GroupBox5 = MakeGroup(client, 8, 296, 369, 60, "Action");
    process_btn = MakeButton(GroupBox5, 14, 15, 75, 25, "Render");
    SetBold(process_btn);
    filter_btn = MakeButton(GroupBox5, 102, 15, 75, 25, "Filter");
    reset_btn = MakeButton(GroupBox5, 190, 15, 75, 25, "Reset");
    save_btn = MakeButton(GroupBox5, 278, 15, 75, 25, "Save");
    save_btn->setEnabled(false);
    pb = new QProgressBar(GroupBox5);
    pb->setGeometry(16, 45, 337, 9);
    pb->setTextVisible(false);
    pb->setRange(0, 100);
    pb->setValue(0);

    // Display
    GroupBox1 = MakeGroup(client, 384, 296, 193, 60, "Display");
    showpic_btn = MakeButton(GroupBox1, 6, 20, 75, 25, "Picture");
    showmask_btn = MakeButton(GroupBox1, 102, 20, 75, 25, "Mask");

    // Picture views
    img = new TImage32(client);
    img->setObjectName(QStringLiteral("img"));
    img->setGeometry(8, 360, 400, 300);
    orgimg = new TImage32(client);
    orgimg->setObjectName(QStringLiteral("orgimg"));
    orgimg->setGeometry(416, 360, 400, 300);
}

void TMainDlg::ConnectHandlers() {
    auto on = [this](auto* sender, auto signal, void (TMainDlg::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { RunHandler([this, handler] { (this->*handler)(); }); });
    };
    on(load_btn, &QPushButton::clicked, &TMainDlg::load_btnClick);
    on(process_btn, &QPushButton::clicked, &TMainDlg::process_btnClick);
    on(filter_btn, &QPushButton::clicked, &TMainDlg::filter_btnClick);
    on(reset_btn, &QPushButton::clicked, &TMainDlg::reset_btnClick);
    on(save_btn, &QPushButton::clicked, &TMainDlg::save_btnClick);
    on(narrow_btn, &QPushButton::clicked, &TMainDlg::narrow_btnClick);
    on(medium_btn, &QPushButton::clicked, &TMainDlg::medium_btnClick);
    on(large_btn, &QPushButton::clicked, &TMainDlg::large_btnClick);
    on(showpic_btn, &QPushButton::clicked, &TMainDlg::showpic_btnClick);
    on(showmask_btn, &QPushButton::clicked, &TMainDlg::showmask_btnClick);
    on(dist_r, &QSlider::valueChanged, &TMainDlg::dist_rChange);
    on(dist_g, &QSlider::valueChanged, &TMainDlg::dist_gChange);
    on(dist_b, &QSlider::valueChanged, &TMainDlg::dist_bChange);
    on(LoadFile1, &QAction::triggered, &TMainDlg::load_btnClick);
    on(Close1, &QAction::triggered, &TMainDlg::Close1Click);
    on(Openlogfile1, &QAction::triggered, &TMainDlg::Openlogfile1Click);
    on(Checkforupdate1, &QAction::triggered, &TMainDlg::Checkforupdate1Click);
    on(ChangeLog1, &QAction::triggered, &TMainDlg::ChangeLog1Click);
    on(BugreportFeaturerequestKnownissues1, &QAction::triggered,
       &TMainDlg::BugreportFeaturerequestKnownissues1Click);
    on(About1, &QAction::triggered, &TMainDlg::About1Click);

    for (TImage32* view : {img, orgimg}) {
        connect(view, &TImage32::MouseMoved, this, [this](TImage32* sender, int x, int y) {
            RunHandler([&] { imgMouseMove(sender, x, y); });
        });
        connect(view, &TImage32::MousePressed, this,
                [this](TImage32* sender, Qt::MouseButton button, int x, int y) {
                    RunHandler([&] { imgMouseDown(sender, button, x, y); });
                });
    }
}

// ----- lifecycle -----

void TMainDlg::FormCreate() {
    // 1. Portable mode: import "settings.ini". A registry that cannot be written is reported
    // like any other error, and the window is still built.
    if (!IsProgramInstalled(kProgramDisplayName))
        RunHandler([] {
            ImportSettingsIni("Huelet", ExecutableFolder(ExecutablePath()) + "settings.ini");
        });

    // 2. The four instruction lines, after an empty first line.
    QString instructions;
    for (const char* line : {"Step 1 : Load your picture", "Step 2 : Set the Central Color",
                             "Step 3 : Adjust thresholds to select to proper neighbourhood",
                             "Step 4 : Save your work"})
        instructions += QStringLiteral("\n") + QString::fromUtf8(line);
    instructions_lbl->setText(instructions);
}

void TMainDlg::OnApplicationStateChanged(Qt::ApplicationState State) {
    if (State == Qt::ApplicationActive && isVisible())
        RunHandler([this] { AppEvtActivate(); });
}

void TMainDlg::AppEvtActivate() {
    // Runs once per process.
    disconnect(activate_connection_);
    const std::string exe = ExecutablePath();
    const std::string title = ApplicationTitle();

    // 1. Record the executable's path.
    RegisterProgramPath(title, exe);

    // 2. Caption: title and file version.
    const std::string version = FileVersionText(exe);
    const std::string caption = title + " v" + version;
    setWindowTitle(QString::fromStdString(caption));

    // 3. The run log.
    log = new TKLog(UserDataFolder(exe, title) + title + ".log", false, 10000, false);
    KeepForProcess(log);

    // 4. Start-up report.
    AddLog("Starting", kLogInfo);
    AddLog(exe, kLogInfo);
    AddLog(caption, kLogInfo);
    AddLog("Windows : " + WindowsVersionText(), kLogInfo);
    AddLog("64Bits : " + YesNoText(IsWow64()), kLogInfo);
    AddLog("Administrator : " + YesNoText(RunsAsAdministrator()), kLogInfo);
    AddLog("Portable : " + YesNoText(!IsProgramInstalled(kProgramDisplayName)), kLogInfo);
    if (!CommandLineArguments().empty())
        AddLog(CommandLineArguments().front(), kLogInfo);
    // 4.9: TLS library line.
    AddLog("OpenSSL : " + TlsLibraryVersionText(), kLogInfo);

    // 5. Medium preset (nothing renders yet: no picture).
    medium_btnClick();
    // 6. Probe fields.
    r_txt->setText(QStringLiteral("0"));
    g_txt->setText(QStringLiteral("0"));
    b_txt->setText(QStringLiteral("0"));
    // 7. Default thresholds.
    dist_r->setValue(40);
    dist_g->setValue(40);
    dist_b->setValue(40);
    // 8. Distance labels.
    diffr_lbl->setText(QStringLiteral("0"));
    diffg_lbl->setText(QStringLiteral("0"));
    diffb_lbl->setText(QStringLiteral("0"));
    // 9.
    render_lock = false;
    // 10.
    process_btnClick();

    // 11-13. Receive dropped files.
    dropped_files = std::make_unique<std::vector<std::string>>();
    RegisterFileDrop(this, dropped_files.get(),
                     [this](TMyDropTarget*) { RunHandler([this] { FilesDropped(); }); });

    // 14-17. The quiet update check.
    update_checker = new TTallyLite(log, title);
    AddLog("Check for update", kLogInfo);
    silent_check = true;
    Checkforupdate1Click();
}

void TMainDlg::FormClose() {
    const std::string exe = ExecutablePath();
    // 1. VirtualStore clean-up.
    const std::string cleaned = CleanVirtualStore(ExecutableFolder(exe));
    if (!cleaned.empty())
        AddLog("Cleaning VirtualStore : " + cleaned, kLogVerbose);
    // 2.
    AddLog("Closing Huelet", kLogInfo);
    // 3. Portable mode clean-up: leave nothing but "settings.ini" behind.
    if (!IsProgramInstalled(kProgramDisplayName)) {
        bool fellBack = false;
        const std::string data = UserDataFolder(exe, ApplicationTitle(), &fellBack);
        // A data folder that fell back to the executable's own folder holds the program
        // itself and its settings.ini: it is never cleared.
        if (!fellBack)
            DeleteFilesByExt(data, "*");
        RemoveMakerDataFolderIfEmpty();
        // Only a complete export may remove the registry settings.
        if (ExportSettingsIni("Huelet", ExecutableFolder(exe) + "settings.ini")) {
            DeleteProgramKey("Huelet");
            DeleteMakerValue("Huelet");
            DeleteMakerKeyIfEmpty();
        }
    }
}

void TMainDlg::FormDestroy() {
    // 1.
    mask_bmp.reset();
    result_bmp.reset();
    // 2.
    UnregisterFileDrop(this);
    // 3.
    dropped_files.reset();
    // 4. Ends a check under way; no callback follows.
    delete update_checker;
    update_checker = nullptr;
}

void TMainDlg::showEvent(QShowEvent* Event) {
    QMainWindow::showEvent(Event);
    // A window shown without a window manager is never activated on its own.
    if (!Event->spontaneous())
        activateWindow();
}

void TMainDlg::closeEvent(QCloseEvent* Event) {
    RunHandler([this] { FormClose(); });
    Event->accept();
}

void TMainDlg::AddLog(const std::string& Text, int Level) {
    if (log != nullptr)
        log->AddLine(Text, Level);
}

// ----- Render, Filter, presets, display -----

int TMainDlg::FieldValue(const QLineEdit* Field) {
    bool ok = false;
    const long long value = Field->text().toLongLong(&ok);
    if (!ok || value < INT32_MIN || value > INT32_MAX)
        return 0;
    return static_cast<int>(value);
}

void TMainDlg::process_btnClick() {
    // 1.
    if (!WideFileExists(work_path) || render_lock)
        return;
    // 2.
    TSelection selection;
    selection.rc = FieldValue(rbase_txt);
    selection.gc = FieldValue(gbase_txt);
    selection.bc = FieldValue(bbase_txt);
    selection.tr = dist_r->value();
    selection.tg = dist_g->value();
    selection.tb = dist_b->value();
    // 3.
    img->hide();
    orgimg->hide();
    save_btn->setEnabled(false);
    // 4. New buffers for mask and result. The old ones' memory is reused (a fresh 24 MP
    // allocation costs more than the pass itself); their old content is never shown, and
    // they are emptied unless the pass below completes.
    if (!mask_bmp)
        mask_bmp = std::make_unique<TBitmap32>();
    if (!result_bmp)
        result_bmp = std::make_unique<TBitmap32>();
    struct TRenderExit {
        TMainDlg* dlg;
        bool rendered = false;
        ~TRenderExit() {
            if (!rendered) {
                dlg->mask_bmp->Resize(0, 0);
                dlg->result_bmp->Resize(0, 0);
            }
            dlg->pb->setValue(0);
        }
    } exit{this};
    // 5.
    AddLog("Rendering...", kLogInfo);
    // 6.
    TPictureInfo info;
    try {
        orgimg->Bitmap().ReadPictureFile(work_path, false, &info);
    } catch (const std::exception&) {
        orgimg->Changed();
        LoadFailed();
        return;
    }
    orgimg->Changed();
    // Damaged data still gives a picture; the log says what is wrong with it.
    if (!info.warnings.empty())
        AddLog("Warning : " + info.WarningText(), kLogInfo);
    // 7-8.
    TBitmap32& picture = orgimg->Bitmap();
    pic_w = picture.Width();
    pic_h = picture.Height();
    mask_bmp->Resize(pic_w, pic_h);
    result_bmp->Resize(pic_w, pic_h);
    // 9.
    pb->setMinimum(0);
    pb->setValue(0);
    pb->setMaximum(pic_h);
    // 10.
    RenderSelection(picture, selection, *mask_bmp, *result_bmp, [this](int y) { pb->setValue(y); });
    exit.rendered = true;
    // 11.
    ShowLeftView();
    // 12.
    img->show();
    orgimg->show();
    save_btn->setEnabled(true);
    // 13: the bar goes back to 0 on every way out.
}

void TMainDlg::LoadFailed() {
    AddLog("Unable to load file", kLogInfo);
    ShowMessageBox(this, "Unable to load file", kMbOk, kMbKindError);
    filename_txt->clear();
    work_path.clear();
}

void TMainDlg::ShowLeftView() {
    img->Bitmap().CopyFrom(show_mask ? mask_bmp.get() : result_bmp.get());
    img->Changed();
}

void TMainDlg::ComposeResult() {
    if (mask_bmp && result_bmp)
        ::ComposeResult(orgimg->Bitmap(), *mask_bmp, *result_bmp);
}

void TMainDlg::filter_btnClick() {
    if (!mask_bmp)
        return;
    AddLog("Filtering...", kLogInfo);
    FilterMask(*mask_bmp);
    ComposeResult();
    ShowLeftView();
}

void TMainDlg::Preset(int Value) {
    render_lock = true;
    dist_r->setValue(Value);
    dist_g->setValue(Value);
    render_lock = false;
    // Only the last change renders, so a preset renders at most once.
    dist_b->setValue(Value);
}

void TMainDlg::narrow_btnClick() {
    Preset(15);
}
void TMainDlg::medium_btnClick() {
    Preset(30);
}
void TMainDlg::large_btnClick() {
    Preset(50);
}

void TMainDlg::reset_btnClick() {
    render_lock = true;
    dist_r->setValue(dist_r->maximum());
    dist_g->setValue(dist_g->maximum());
    render_lock = false;
    dist_b->setValue(dist_b->maximum());
}

void TMainDlg::dist_rChange() {
    distr_lbl->setText(DecimalText(dist_r->value()));
    process_btnClick();
}

void TMainDlg::dist_gChange() {
    distg_lbl->setText(DecimalText(dist_g->value()));
    process_btnClick();
}

void TMainDlg::dist_bChange() {
    distb_lbl->setText(DecimalText(dist_b->value()));
    process_btnClick();
}

void TMainDlg::showpic_btnClick() {
    show_mask = false;
    ShowLeftView();
}

void TMainDlg::showmask_btnClick() {
    show_mask = true;
    ShowLeftView();
}

// ----- pointer probe -----

void TMainDlg::imgMouseMove(TImage32* Sender, int X, int Y) {
    const TRect shown = orgimg->DisplayedRect();
    const int w = shown.right - shown.left;
    const int h = shown.bottom - shown.top;
    if (X < 0 || X >= w || Y < 0 || Y >= h)
        return;
    const TRect under = (Sender != nullptr ? Sender : orgimg)->DisplayedRect();
    const long long dw = under.right - under.left;
    const long long dh = under.bottom - under.top;
    if (dw <= 0 || dh <= 0)
        return;
    const long long px = static_cast<long long>(X) * pic_w / dw;
    const long long py = static_cast<long long>(Y) * pic_h / dh;
    const TBitmap32& picture = orgimg->Bitmap();
    if (px < 0 || py < 0 || px >= picture.Width() || py >= picture.Height())
        return;
    const TColor32 c = picture.PixelAt(static_cast<int>(px), static_cast<int>(py));
    r_txt->setText(DecimalText(RedOf(c)));
    g_txt->setText(DecimalText(GreenOf(c)));
    b_txt->setText(DecimalText(BlueOf(c)));
    auto distance = [](const QLineEdit* a, const QLineEdit* b) {
        return DecimalText(std::llabs(static_cast<long long>(FieldValue(a)) - FieldValue(b)));
    };
    diffr_lbl->setText(distance(r_txt, rbase_txt));
    diffg_lbl->setText(distance(g_txt, gbase_txt));
    diffb_lbl->setText(distance(b_txt, bbase_txt));
}

void TMainDlg::imgMouseDown(TImage32*, Qt::MouseButton, int X, int Y) {
    const TRect shown = orgimg->DisplayedRect();
    if (X > shown.right - shown.left || Y > shown.bottom - shown.top)
        return;
    rbase_txt->setText(r_txt->text());
    gbase_txt->setText(g_txt->text());
    bbase_txt->setText(b_txt->text());
    process_btnClick();
}

// ----- intake -----

std::string TMainDlg::FileExtension(const std::string& Path) {
    const size_t slash = Path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = Path.rfind('.');
    if (dot == std::string::npos || dot < nameStart)
        return {};
    return Path.substr(dot);
}

void TMainDlg::load_btnClick() {
    if (!WOD.Execute(this))
        return;
    OpenPicture(WOD.FileName);
}

void TMainDlg::OpenPicture(const std::string& Path) {
    const std::string title = ApplicationTitle();
    // 1-2.
    AddLog("Loading : " + Path, kLogInfo);
    filename_txt->setText(QFile::decodeName(QByteArray::fromStdString(Path)));
    // 3-5. A fresh working copy: the user's own file is never read again.
    work_path = UserDataFolder(ExecutablePath(), title) + title + ".jpg";
    if (WideFileExists(work_path))
        WideDeleteFile(work_path);
    if (!CopyFileReplacing(Path, work_path)) {
        // Like an undecodable picture: no working copy, nothing shown under the new name.
        img->hide();
        orgimg->hide();
        save_btn->setEnabled(false);
        mask_bmp = std::make_unique<TBitmap32>();
        result_bmp = std::make_unique<TBitmap32>();
        LoadFailed();
    }
    // 6. Each changed trackbar renders.
    dist_r->setValue(40);
    dist_g->setValue(40);
    dist_b->setValue(40);
    // 7-8.
    show_mask = false;
    process_btnClick();
}

void TMainDlg::FilesDropped() {
    if (!dropped_files || dropped_files->empty())
        return;
    struct TEmptyList {
        std::vector<std::string>* list;
        ~TEmptyList() { list->clear(); }
    } emptyList{dropped_files.get()};
    const std::string name = dropped_files->front();
    const std::string extension = base::LowerAscii(FileExtension(name));
    if (extension == ".jpg" || extension == ".jpeg")
        OpenPicture(name);
}

// ----- export -----

std::string TMainDlg::ExportTargetName(const std::string& Chosen) {
    const std::string extension = FileExtension(Chosen);
    if (extension == ".jpg" || extension == ".jpeg")
        return Chosen;
    return Chosen + ".jpg";
}

void TMainDlg::save_btnClick() {
    if (!result_bmp)
        return;
    // 2.
    if (!WOD.Execute(this))
        return;
    // 4.
    const std::string target = ExportTargetName(WOD.FileName);
    // The dialog comes pre-filled with the loaded picture: never replace a file unasked.
    if (WideFileExists(target) &&
        AskYesNo(this, target + " already exists.\nDo you want to replace it?") != kIdYes)
        return;
    // 5.
    AddLog("Exporting to : " + target, kLogInfo);
    // 6.
    const std::string title = ApplicationTitle();
    const std::string temp = UserDataFolder(ExecutablePath(), title) + title + "_save.jpg";
    if (WideFileExists(temp))
        WideDeleteFile(temp);
    // 7. An error here gets the default report. The loaded picture's metadata goes along; a
    // working copy that cannot be read any more just gives none.
    TPictureInfo info;
    try {
        long long w = 0, h = 0;
        TBitmap32::ReadPictureHeader(work_path, w, h, &info);
    } catch (const EPictureError&) {
    }
    result_bmp->WriteJpegFile(temp, &info.metadata);
    // 8. A save that did not happen must not look like one that did.
    if (!CopyFileReplacing(temp, target)) {
        AddLog("Unable to export to : " + target, kLogError);
        ShowMessageBox(this, "Unable to save the picture to " + target, kMbOk, kMbKindError);
    }
}

// ----- menu -----

std::string TMainDlg::WebSitePage(const std::string& Path) {
    std::string site = HUELET_WEB_SITE;
    while (!site.empty() && site.back() == '/')
        site.pop_back();
    return site + Path;
}

void TMainDlg::Close1Click() {
    close();
}

void TMainDlg::Openlogfile1Click() {
    if (log != nullptr)
        log->OpenFile();
}

void TMainDlg::Checkforupdate1Click() {
    if (update_checker == nullptr || update_checker->Busy())
        return;
    Checkforupdate1->setEnabled(false);
    AddLog("Self update check...", kLogInfo);
    update_checker->StartCheck(ExecutablePath(), this,
                               [this](TTallyLite*) { RunHandler([this] { UpdateCheckDone(); }); });
}

void TMainDlg::UpdateCheckDone() {
    // Whatever the boxes do, the next check must stay possible.
    struct Reenable {
        TMainDlg* w;
        ~Reenable() {
            w->Checkforupdate1->setEnabled(true);
            w->silent_check = false;
        }
    } reenable{this};
    if (update_checker->NewerAvailable()) {
        AddLog("New version of Huelet is detected", kLogInfo);
        if (AskYesNo(this, "A new version of Huelet is available. Do you want to download "
                           "update now ?") == kIdYes)
            ShellOpenEx(WebSitePage("/?download"), "", "", kSwShowNormal);
    } else if (update_checker->ReplyValid()) {
        AddLog("Huelet is already up to date.", kLogInfo);
        // A box with no caption of its own: the window system shows the application's name.
        constexpr int kTitleCaption = -1;
        if (!silent_check)
            ShowMessageBox(this, "Huelet is already up to date.", kMbOk, kTitleCaption);
    }
}

void TMainDlg::ChangeLog1Click() {
    ShellOpen(this, "", WebSitePage("/bugs/changelog_page.php?project_id=13"), "", "",
              kSwShowNormal);
}

void TMainDlg::BugreportFeaturerequestKnownissues1Click() {
    ShellOpen(this, "", WebSitePage("/bugs/view_all_bug_page.php?project_id=13"), "", "",
              kSwShowNormal);
}

void TMainDlg::About1Click() {
    if (about_dlg == nullptr)
        about_dlg = new TAboutDlg(this);
    about_dlg->ShowModal();
}
