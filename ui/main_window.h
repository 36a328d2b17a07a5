#pragma once
// The main window: every control the operator uses, the rules that decide
// which commands are offered, and the operator panel the engine, the boot code
// and the jobs report through.

#include "link/panel.h"

#include <QMainWindow>
#include <QString>
#include <functional>
#include <optional>

class BoxConnection;
class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;

// Whether network mode can be offered at all: true once the PC's address list
// was built. Program-wide, set at start-up.
extern bool NetAvailable;

// What the start-up takes from outside the window; tests replace it.
struct StartOptions {
    // English name of the system's language ("German", "English", ...).
    QString systemLanguage;
    // A device path given on the command line (a pty or a symlink the system
    // does not list); offered in the port chooser besides the listed ports.
    QString extraPort;
    static StartOptions fromSystem();
};

class TForm1 : public QMainWindow, public Panel {
    Q_OBJECT
public:
    explicit TForm1(const StartOptions &options = StartOptions::fromSystem(), QWidget *parent = nullptr);
    ~TForm1() override;

    // Answers message boxes instead of the operator when it returns a value
    // (tests, screenshots); nullopt shows the box as usual.
    using MessageBoxHook = std::function<std::optional<bool>(MsgKind, const QString &)>;
    static void setMessageBoxHook(MessageBoxHook hook);

    BoxConnection *connection() const { return m_connection; }

    // --- rules of the window -------------------------------------------
    void EnableButtons(bool enable) override;
    void SetCaptions(int = 0);
    void LoadSettings();
    void SaveSettings();

    // --- the panel ------------------------------------------------------
    void appendLog(const QString &text) override;
    void AddLogLine(const QString &text) override;
    void SetStatusText(const QString &text, bool repaint = true) override;
    QString statusText() const override;
    void setProgressMax(int max) override;
    int progressMax() const override;
    void setProgressPos(int pos) override;
    int progressPos() const override;
    void setPanelText(int index, const QString &text) override;
    QString panelText(int index) const override;
    void repaint() override;
    void clearLog() override;
    bool messageBox(MsgKind kind, const QString &text) override;
    QString chooseImageToOpen(const QString &filter) override;
    QString chooseBackupToSave(const QString &filter) override;
    bool useNetChecked() const override;
    QString pcIpText() const override;
    QString boxIpText() const override;
    QStringList localAddresses() const override;
    QString comPortName() const override;
    void setPingEnabled(bool enabled) override;
    void connectionChanged(bool connected) override;
    void terminateApplication() override;

public slots:
    void Bt_StartStopClick();
    void ButtonPingClick() override;
    void Bt_ExitClick();
    void Cb_UseNetClick();
    void CBox_IPsSelect();
    void English1Click();
    void German1Click();
    // Filled by the flash, erase, second-stage and backup jobs.
    void Bt_FlashClick() {}
    void Bt_FlashEraseClick() {}
    void Bt_Flash2ndClick() {}
    void Bt_BackupClick() {}

public:
    // Controls under their form names.
    QMenuBar *Menu1;
    QMenu *Datei1;
    QAction *Exit1;
    QMenu *Language1;
    QAction *English1;
    QAction *German1;
    QGroupBox *GB_Serial;
    QLabel *Label3;
    QComboBox *ComComboBox1;
    QGroupBox *GB_Network;
    QCheckBox *CB_UseNet;
    QLabel *Label1;
    QLineEdit *PcIP;
    QLabel *Label2;
    QLineEdit *BoxIP;
    QLabel *Label6;
    QComboBox *CBox_IPs;
    QGroupBox *GroupBox3;
    QLabel *Label4;
    QProgressBar *PB_Progress;
    QLabel *Label5;
    QLabel *Lb_Status;
    QGroupBox *GroupBox4;
    QPlainTextEdit *Memo;
    QGroupBox *GroupBox2;
    QPushButton *Bt_StartStop;
    QPushButton *Bt_Ping;
    QPushButton *Bt_FlashErase;
    QPushButton *Bt_Flash;
    QPushButton *Bt_Flash2ndStage;
    QPushButton *Bt_Backup;
    QPushButton *Bt_Exit;
    QStatusBar *StatusBar1;
    // File-dialog filters in Qt's syntax ("Description (*.a *.b);;...").
    QString Dl_Open1;
    QString DL_Save1;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildMenu();
    void setStartStopCaption(bool connected);
    void placeUseNetOnFrame();
    void FormCreate(const StartOptions &options);
    void FormDestroy();

    BoxConnection *m_connection = nullptr;
    QLabel *m_panels[3];
    bool m_pendingCr = false;       // a "\r" ended the last log piece
    bool m_settingsSaved = false;
};

// The one main window of the program.
extern TForm1 *Form1;
