#pragma once
#include "engine/bitmap32.h"
#include "platform/C_WideDialogs.h"
#include "services/instance.h"
#include "services/portable.h"

#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSlider;
class QToolButton;
class TAboutDlg;
class TImage32;
class TKLog;
class TTallyLite;

// The one working window: the two picture views, the threshold and Central Color controls,
// the command buttons, the menu, and the state that ties the picture engine to the user.
class TMainDlg : public QMainWindow {
    Q_OBJECT
  public:
    explicit TMainDlg(QWidget* Parent = nullptr);
    ~TMainDlg() override;

    // The About box shown by "About..." (created at program entry).
    void SetAboutDlg(TAboutDlg* Dlg) { about_dlg = Dlg; }

    // ----- controls -----
    QWidget* Shape1 = nullptr;
    QLabel* title_lbl = nullptr;
    QLabel* instructions_lbl = nullptr;
    QLabel* Image1 = nullptr;
    QGroupBox* GroupBox6 = nullptr;
    QLineEdit* filename_txt = nullptr;
    QPushButton* load_btn = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QToolButton* temp_btn = nullptr;
    QSlider* dist_r = nullptr;
    QSlider* dist_g = nullptr;
    QSlider* dist_b = nullptr;
    QLabel* distr_lbl = nullptr;
    QLabel* distg_lbl = nullptr;
    QLabel* distb_lbl = nullptr;
    QPushButton* narrow_btn = nullptr;
    QPushButton* medium_btn = nullptr;
    QPushButton* large_btn = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QToolButton* JvImgBtn1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* rbase_txt = nullptr;
    QLineEdit* gbase_txt = nullptr;
    QLineEdit* bbase_txt = nullptr;
    QLabel* Label9 = nullptr;
    QGroupBox* GroupBox4 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLineEdit* r_txt = nullptr;
    QLineEdit* g_txt = nullptr;
    QLineEdit* b_txt = nullptr;
    QLabel* diffr_lbl = nullptr;
    QLabel* diffg_lbl = nullptr;
    QLabel* diffb_lbl = nullptr;
    QGroupBox* GroupBox5 = nullptr;
    QPushButton* process_btn = nullptr;
    QPushButton* filter_btn = nullptr;
    QPushButton* reset_btn = nullptr;
    QPushButton* save_btn = nullptr;
    QProgressBar* pb = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QPushButton* showpic_btn = nullptr;
    QPushButton* showmask_btn = nullptr;
    TImage32* img = nullptr;
    TImage32* orgimg = nullptr;

    // ----- non-visual components and menu -----
    TWideOpenDialog WOD;
    QMenu* File1 = nullptr;
    QAction* LoadFile1 = nullptr;
    QAction* Close1 = nullptr;
    QMenu* N1 = nullptr;
    QAction* Openlogfile1 = nullptr;
    QAction* Checkforupdate1 = nullptr;
    QAction* ChangeLog1 = nullptr;
    QAction* BugreportFeaturerequestKnownissues1 = nullptr;
    QAction* About1 = nullptr;

    // ----- state -----
    std::unique_ptr<TBitmap32> mask_bmp;
    std::unique_ptr<TBitmap32> result_bmp;
    std::string work_path; // the working copy of the loaded picture; empty when none
    bool show_mask = false;
    bool render_lock = false;
    int pic_w = 0;
    int pic_h = 0;
    std::unique_ptr<std::vector<std::string>> dropped_files;
    // Lives until the process ends (never freed, so the file is written only on request).
    TKLog* log = nullptr;
    // The self-update checker, created at first activation.
    TTallyLite* update_checker = nullptr;
    bool silent_check = false;
    TAboutDlg* about_dlg = nullptr;

    // ----- handlers -----
    void FormCreate();
    // The first-activation sequence: queued by the first show, runs once.
    void AppEvtActivate();
    void FormClose();
    void FormDestroy();

    void load_btnClick();
    void process_btnClick();
    void filter_btnClick();
    void narrow_btnClick();
    void medium_btnClick();
    void large_btnClick();
    void reset_btnClick();
    void dist_rChange();
    void dist_gChange();
    void dist_bChange();
    void showpic_btnClick();
    void showmask_btnClick();
    void imgMouseMove(TImage32* Sender, int X, int Y);
    void imgMouseDown(TImage32* Sender, Qt::MouseButton Button, int X, int Y);
    void save_btnClick();
    void Close1Click();
    void Openlogfile1Click();
    void Checkforupdate1Click();
    void UpdateCheckDone();
    void ChangeLog1Click();
    void BugreportFeaturerequestKnownissues1Click();
    void About1Click();

    void OpenPicture(const std::string& Path);
    void FilesDropped();

    // The path of a page on the maker's web site ("/forum", ...).
    static std::string WebSitePage(const std::string& Path);
    // The export target for a chosen name: ".jpg" appended unless it ends in .jpg or .jpeg.
    static std::string ExportTargetName(const std::string& Chosen);
    // The extension of the file-name part, dot included; "" without a dot.
    static std::string FileExtension(const std::string& Path);
    // An integer field's value: empty or not a 32-bit integer reads as 0.
    static int FieldValue(const QLineEdit* Field);

  protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

  private:
    void BuildControls();
    void BuildMenu();
    void ConnectHandlers();
    void AddLog(const std::string& Text, int Level);
    void Preset(int Value);
    void ShowLeftView();
    void ComposeResult();
    // "Unable to load file", with Why (the decoder's or the file system's message) as detail.
    void LoadFailed(const std::string& Why);

    bool activated_ = false;
    // This window's slot in the data folder: the names of its working copy, export file and log.
    TInstance instance_;
    TPortableMode portable_;
};
