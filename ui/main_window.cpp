// The main window: controls, the rules that offer commands, captions in the
// operator's language, the five stored settings, and the panel in widgets.
#include "ui/main_window.h"

#include "boot/connection.h"
#include "boot/loader.h"
#include "jobs/ping_job.h"
#include "link/kxtest.h"
#include "link/kxtest_log.h"
#include "platform/local_addresses.h"
#include "platform/settings_store.h"
#include "platform/version.h"
#include "texts/lang_text.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSerialPortInfo>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

bool NetAvailable = false;
TForm1 *Form1 = nullptr;

namespace {

const char kDesignTitle[] = "Universal MorvaUP";
const char kOpenTitle[] = "Select Image to flash";
// Widths of the status-bar panels: box type, unused, transfer figures.
constexpr int kPanelWidths[3] = {120, 0, 100};
// The log area keeps at least the size the operators know.
constexpr int kMemoMinWidth = 377;
constexpr int kMemoMinHeight = 217;
constexpr int kUseNetIndent = 8;   // the check box sits this far into the frame

TForm1::MessageBoxHook g_messageBoxHook;

// The commands offered only for box models that have them (flags of BoxInfo).
struct ModelButton {
    QPushButton *TForm1::*button;
    int32_t BoxInfo::*flag;
};
constexpr ModelButton kModelButtons[] = {
    {&TForm1::Bt_FlashErase, &BoxInfo::KX_CANERASE},
    {&TForm1::Bt_Backup, &BoxInfo::KX_CANBACKUP},
    {&TForm1::Bt_Flash2ndStage, &BoxInfo::KX_HAS2NDSTAGE},
};

// The serial ports of the machine, sorted as text.
QStringList serialPortNames()
{
    QStringList names;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        names << info.portName();
    names.sort();
    return names;
}

QPushButton *commandButton(const char *name, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    // A hidden model button keeps its place, so the column does not jump.
    QSizePolicy p = b->sizePolicy();
    p.setRetainSizeWhenHidden(true);
    b->setSizePolicy(p);
    return b;
}

template <typename W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

StartOptions StartOptions::fromSystem()
{
    StartOptions o;
    o.systemLanguage = QLocale::languageToString(QLocale::system().language());
    return o;
}

void TForm1::setMessageBoxHook(MessageBoxHook hook) { g_messageBoxHook = std::move(hook); }

TForm1::TForm1(const StartOptions &options, QWidget *parent)
    : QMainWindow(parent)
{
    Form1 = this;
    setObjectName(QStringLiteral("Form1"));
    buildMenu();
    buildControls();
    m_connection = new BoxConnection(this, this);
    connect(Bt_StartStop, &QPushButton::clicked, this, &TForm1::Bt_StartStopClick);
    connect(Bt_Ping, &QPushButton::clicked, this, &TForm1::ButtonPingClick);
    connect(Bt_Flash, &QPushButton::clicked, this, &TForm1::Bt_FlashClick);
    connect(Bt_FlashErase, &QPushButton::clicked, this, &TForm1::Bt_FlashEraseClick);
    connect(Bt_Flash2ndStage, &QPushButton::clicked, this, &TForm1::Bt_Flash2ndClick);
    connect(Bt_Backup, &QPushButton::clicked, this, &TForm1::Bt_BackupClick);
    connect(Bt_Exit, &QPushButton::clicked, this, &TForm1::Bt_ExitClick);
    connect(Exit1, &QAction::triggered, this, &TForm1::Bt_ExitClick);
    connect(English1, &QAction::triggered, this, &TForm1::English1Click);
    connect(German1, &QAction::triggered, this, &TForm1::German1Click);
    connect(CB_UseNet, &QCheckBox::toggled, this, &TForm1::Cb_UseNetClick);
    connect(CBox_IPs, &QComboBox::activated, this, &TForm1::CBox_IPsSelect);
    FormCreate(options);
}

TForm1::~TForm1()
{
    FormDestroy();
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::buildMenu()
{
    Menu1 = named(menuBar(), "Menu1");
    Datei1 = named(Menu1->addMenu(QStringLiteral("&File")), "Datei1");
    Exit1 = named(Datei1->addAction(QStringLiteral("E&xit")), "Exit1");
    Language1 = named(Menu1->addMenu(QStringLiteral("&Language")), "Language1");
    English1 = named(Language1->addAction(QStringLiteral("English")), "English1");
    German1 = named(Language1->addAction(QStringLiteral("German")), "German1");
    English1->setCheckable(true);
    German1->setCheckable(true);
    English1->setChecked(true);
}

void TForm1::buildControls()
{
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    auto *central = new QWidget(this);
    setCentralWidget(central);

    // Serial group: the port chooser.
    GB_Serial = named(new QGroupBox(QStringLiteral(" Serial "), central), "GB_Serial");
    Label3 = named(new QLabel(QStringLiteral(" Port:"), GB_Serial), "Label3");
    ComComboBox1 = named(new QComboBox(GB_Serial), "ComComboBox1");
    ComComboBox1->addItems(serialPortNames());
    ComComboBox1->setMinimumContentsLength(8);
    ComComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto *serialRow = new QHBoxLayout(GB_Serial);
    serialRow->addWidget(Label3);
    serialRow->addWidget(ComComboBox1);
    serialRow->addStretch();

    // Network group, titled by the check box drawn over its top edge.
    GB_Network = named(new QGroupBox(central), "GB_Network");
    CB_UseNet = named(new QCheckBox(QStringLiteral("Use Network"), central), "CB_UseNet");
    CB_UseNet->setAutoFillBackground(true);
    Label1 = named(new QLabel(QStringLiteral("Local IP (PC):"), GB_Network), "Label1");
    PcIP = named(new QLineEdit(GB_Network), "PcIP");
    Label2 = named(new QLabel(QStringLiteral("Remote IP (Box):"), GB_Network), "Label2");
    BoxIP = named(new QLineEdit(GB_Network), "BoxIP");
    Label6 = named(new QLabel(QStringLiteral("select one:"), GB_Network), "Label6");
    CBox_IPs = named(new QComboBox(GB_Network), "CBox_IPs");
    const int ipWidth = fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255")) + 16;
    PcIP->setMinimumWidth(ipWidth);
    BoxIP->setMinimumWidth(ipWidth);
    CBox_IPs->setMinimumWidth(ipWidth + 24);
    auto *netGrid = new QGridLayout(GB_Network);
    netGrid->setContentsMargins(9, CB_UseNet->sizeHint().height() / 2 + 6, 9, 9);
    netGrid->addWidget(Label1, 0, 0);
    netGrid->addWidget(PcIP, 0, 1);
    netGrid->addWidget(Label6, 0, 2, Qt::AlignRight);
    netGrid->addWidget(CBox_IPs, 0, 3);
    netGrid->addWidget(Label2, 1, 0);
    netGrid->addWidget(BoxIP, 1, 1);
    netGrid->setColumnStretch(2, 1);
    GB_Network->installEventFilter(this);

    // Progress group: job progress and the status line.
    GroupBox3 = named(new QGroupBox(QStringLiteral(" Progress "), central), "GroupBox3");
    Label4 = named(new QLabel(QStringLiteral("Job:"), GroupBox3), "Label4");
    PB_Progress = named(new QProgressBar(GroupBox3), "PB_Progress");
    PB_Progress->setRange(0, 100);
    PB_Progress->setValue(0);
    PB_Progress->setTextVisible(false);
    Label5 = named(new QLabel(QStringLiteral("Status:"), GroupBox3), "Label5");
    Lb_Status = named(new QLabel(GroupBox3), "Lb_Status");
    Lb_Status->setAlignment(Qt::AlignCenter);
    Lb_Status->setMinimumHeight(fontMetrics().height() + 4);
    Lb_Status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    auto *progressGrid = new QGridLayout(GroupBox3);
    progressGrid->addWidget(Label4, 0, 0);
    progressGrid->addWidget(PB_Progress, 0, 1);
    progressGrid->addWidget(Label5, 1, 0);
    progressGrid->addWidget(Lb_Status, 1, 1);
    progressGrid->setColumnStretch(1, 1);

    // Log group: the memo fills the lower left.
    GroupBox4 = named(new QGroupBox(QStringLiteral(" Log: "), central), "GroupBox4");
    Memo = named(new QPlainTextEdit(GroupBox4), "Memo");
    Memo->setReadOnly(true);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setMinimumSize(kMemoMinWidth, kMemoMinHeight);
    auto *logBox = new QVBoxLayout(GroupBox4);
    logBox->setContentsMargins(2, 2, 2, 2);
    logBox->addWidget(Memo);

    // Command column on the right, the buttons at the places operators know.
    GroupBox2 = named(new QGroupBox(QStringLiteral("Command"), central), "GroupBox2");
    Bt_StartStop = commandButton("Bt_StartStop", QStringLiteral("Connect"), GroupBox2);
    Bt_Ping = commandButton("Bt_Ping", QStringLiteral("Ping"), GroupBox2);
    Bt_FlashErase = commandButton("Bt_FlashErase", QStringLiteral("Flash Erase"), GroupBox2);
    Bt_Flash = commandButton("Bt_Flash", QStringLiteral("Flash"), GroupBox2);
    Bt_Flash2ndStage = commandButton("Bt_Flash2ndStage", QStringLiteral("Flash 2.Stage"), GroupBox2);
    Bt_Backup = commandButton("Bt_Backup", QStringLiteral("Backup"), GroupBox2);
    Bt_Exit = commandButton("Bt_Exit", QStringLiteral("Exit"), GroupBox2);
    for (QPushButton *b : {Bt_Ping, Bt_FlashErase, Bt_Flash, Bt_Flash2ndStage, Bt_Backup})
        b->setEnabled(false);
    for (QPushButton *b : {Bt_FlashErase, Bt_Flash2ndStage, Bt_Backup})
        b->setVisible(false);
    auto *commands = new QVBoxLayout(GroupBox2);
    commands->addWidget(Bt_StartStop);
    commands->addSpacing(32);
    commands->addWidget(Bt_Ping);
    commands->addSpacing(32);
    commands->addWidget(Bt_FlashErase);
    commands->addSpacing(8);
    commands->addWidget(Bt_Flash);
    commands->addSpacing(8);
    commands->addWidget(Bt_Flash2ndStage);
    commands->addWidget(Bt_Backup);
    commands->addStretch();
    commands->addWidget(Bt_Exit);

    auto *left = new QVBoxLayout;
    left->addWidget(GB_Serial);
    left->addSpacing(CB_UseNet->sizeHint().height() / 2);
    left->addWidget(GB_Network);
    left->addWidget(GroupBox3);
    left->addWidget(GroupBox4, 1);
    auto *columns = new QHBoxLayout(central);
    columns->addLayout(left, 1);
    columns->addWidget(GroupBox2);
    // Fixed size: the window follows its captions, the operator does not resize it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    StatusBar1 = named(new QStatusBar(this), "StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    setStatusBar(StatusBar1);
    for (int i = 0; i < 3; ++i) {
        m_panels[i] = new QLabel(StatusBar1);
        m_panels[i]->setObjectName(QStringLiteral("StatusBar1_Panel%1").arg(i));
        m_panels[i]->setMinimumWidth(kPanelWidths[i]);
        m_panels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusBar1->addWidget(m_panels[i], i == 2 ? 1 : 0);
    }
    m_panels[1]->setVisible(kPanelWidths[1] > 0);

    Dl_Open1 = QLatin1String(kFilterBeforeRecognition);
    DL_Save1 = Dl_Open1;
    move(189, 102);
    Bt_StartStop->setFocus();
}

// The check box is no child of the group box (it stays usable when the group is
// disabled); it follows the group's top edge wherever the layout puts it.
void TForm1::placeUseNetOnFrame()
{
    CB_UseNet->adjustSize();
    const QPoint at = GB_Network->pos() + QPoint(kUseNetIndent, -CB_UseNet->height() / 2);
    CB_UseNet->move(at);
    CB_UseNet->raise();
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == GB_Network && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        placeUseNetOnFrame();
    return QMainWindow::eventFilter(watched, event);
}

// --- start-up and shut-down -----------------------------------------------

void TForm1::FormCreate(const StartOptions &options)
{
    DebugLevel = 0;
    setWindowTitle(QLatin1String(kDesignTitle));
    CurrentLanguage = options.systemLanguage == QLatin1String("German") ? QStringLiteral("GER")
                                                                       : QStringLiteral("ENG");
    LoadSettings();
    // A device path from the command line is what the operator asked for now.
    if (!options.extraPort.isEmpty()) {
        if (ComComboBox1->findText(options.extraPort) < 0)
            ComComboBox1->insertItem(0, options.extraPort);
        ComComboBox1->setCurrentIndex(ComComboBox1->findText(options.extraPort));
    }
    SetCaptions();
    setWindowTitle(QLatin1String(MORVAUP_PRODUCT_NAME) + QLatin1String(" V")
                   + QLatin1String(MORVAUP_FILE_VERSION));

    QStringList addresses;
    NetAvailable = ListLocalAddresses(addresses);
    if (NetAvailable) {
        CBox_IPs->addItems(addresses);
        if (CBox_IPs->count() > 0) {
            CBox_IPs->setCurrentIndex(0);
            if (PcIP->text().isEmpty())
                CBox_IPsSelect();
        }
    }
    Cb_UseNetClick();
    Memo->clear();
}

void TForm1::FormDestroy() { SaveSettings(); }

void TForm1::LoadSettings()
{
    const StoredSettings s = readStoredSettings();
    if (!s.comPort.isEmpty()) {
        const int index = ComComboBox1->findText(s.comPort);
        if (index >= 0)
            ComComboBox1->setCurrentIndex(index);
    }
    if (!s.useNetwork.isEmpty())
        CB_UseNet->setChecked(s.useNetwork == QLatin1String("True"));
    if (!s.pcIp.isEmpty())
        PcIP->setText(s.pcIp);
    if (!s.boxIp.isEmpty())
        BoxIP->setText(s.boxIp);
    if (!s.language.isEmpty())
        CurrentLanguage = s.language;
}

void TForm1::SaveSettings()
{
    writeStoredSettings({ComComboBox1->currentText(),
                         CB_UseNet->isChecked() ? QStringLiteral("True") : QStringLiteral("False"),
                         PcIP->text(), BoxIP->text(), CurrentLanguage});
}

// --- rules of the window ----------------------------------------------------

void TForm1::EnableButtons(bool enable)
{
    const int32_t state = m_connection->ctx()->link_state;
    const bool attached = state == 1;
    Datei1->menuAction()->setEnabled(enable && !attached);
    Language1->menuAction()->setEnabled(enable && !attached);
    Bt_Ping->setEnabled(enable && attached);
    const BoxInfo &info = m_connection->boxInfo();
    for (const ModelButton &m : kModelButtons) {
        QPushButton *button = this->*m.button;
        const bool offered = info.*m.flag != 0;
        button->setVisible(offered);
        if (offered)
            button->setEnabled(enable && attached);
    }
    Bt_Flash->setEnabled(enable && attached);
    if (m_connection->connected()) {
        CB_UseNet->setEnabled(false);
        ComComboBox1->setEnabled(false);
    } else {
        CB_UseNet->setEnabled(enable && NetAvailable);
        ComComboBox1->setEnabled(enable);
    }
    Cb_UseNetClick();
}

void TForm1::Cb_UseNetClick()
{
    const bool on = CB_UseNet->isChecked() && CB_UseNet->isEnabled() && NetAvailable;
    PcIP->setEnabled(on);
    BoxIP->setEnabled(on);
    GB_Network->setEnabled(on);
    CBox_IPs->setEnabled(on);
}

void TForm1::CBox_IPsSelect()
{
    PcIP->setText(CBox_IPs->currentText());
    BoxIP->setText(deriveBoxIp(PcIP->text()));
}

void TForm1::Bt_StartStopClick() { m_connection->Bt_StartStopClick(); }

void TForm1::ButtonPingClick() { doPingJob(m_connection->ctx()); }

void TForm1::Bt_ExitClick()
{
    QCoreApplication::quit();
    QCoreApplication::processEvents();
}

void TForm1::SetCaptions(int)
{
    English1->setChecked(CurrentLanguage == QLatin1String("ENG"));
    German1->setChecked(CurrentLanguage == QLatin1String("GER"));
    const QLatin1Char blank(' ');
    // The Language menu is offered while connected when the box went silent;
    // the button must still say what a click does then.
    setStartStopCaption(m_connection && m_connection->connected());
    GB_Serial->setTitle(blank + LangText(35, QStringLiteral("Serial")) + blank);
    Label3->setText(blank + LangText(36, QStringLiteral("Port:")));
    CB_UseNet->setText(LangText(37, QStringLiteral("Use Network ")));
    Label1->setText(LangText(38, QStringLiteral("Local IP (PC):")));
    Label2->setText(LangText(39, QStringLiteral("Remote IP (Box):")));
    Label6->setText(LangText(40, QStringLiteral("select one:")));
    GroupBox3->setTitle(blank + LangText(41, QStringLiteral("Progress")) + blank);
    Label4->setText(LangText(42, QStringLiteral("Akt.:")));
    Label5->setText(LangText(43, QStringLiteral("Status:")));
    Bt_FlashErase->setText(LangText(44, QStringLiteral("Flash Erase")));
    Bt_Flash->setText(LangText(45, QStringLiteral("Flash")));
    Bt_Exit->setText(LangText(46, QStringLiteral("Exit")));
    GroupBox2->setTitle(blank + LangText(47, QStringLiteral("Command")) + blank);
    Datei1->setTitle(LangText(50, QStringLiteral("&File")));
    Exit1->setText(LangText(51, QStringLiteral("E&xit")));
    Language1->setTitle(LangText(52, QStringLiteral("&Language")));
    English1->setText(LangText(53, QStringLiteral("E&nglish")));
    German1->setText(LangText(54, QStringLiteral("G&erman")));
    placeUseNetOnFrame();
}

void TForm1::English1Click()
{
    CurrentLanguage = QStringLiteral("ENG");
    SetCaptions();
}

void TForm1::German1Click()
{
    CurrentLanguage = QStringLiteral("GER");
    SetCaptions();
}

// --- the panel ----------------------------------------------------------------

void TForm1::appendLog(const QString &text)
{
    // "\r\n", a lone "\r" and a lone "\n" each end a line; a pair split across
    // two pieces still counts once.
    QString piece;
    piece.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\n') && m_pendingCr) {
            m_pendingCr = false;
            continue;
        }
        m_pendingCr = c == QLatin1Char('\r');
        piece += m_pendingCr ? QChar(QLatin1Char('\n')) : c;
    }
    if (piece.isEmpty())
        return;
    QScrollBar *bar = Memo->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCursor end(Memo->document());
    end.movePosition(QTextCursor::End);
    end.insertText(piece);
    if (atEnd)
        bar->setValue(bar->maximum());
}

void TForm1::AddLogLine(const QString &text)
{
    // A line of its own, also after a protocol-log piece that left one open.
    const bool lineOpen = Memo->document()->lastBlock().length() > 1;
    appendLog((lineOpen ? QStringLiteral("\r\n") : QString()) + logLineText(text) + QStringLiteral("\r\n"));
}

void TForm1::SetStatusText(const QString &text, bool repaintNow)
{
    Lb_Status->setText(text);
    if (repaintNow)
        repaint();
}

QString TForm1::statusText() const { return Lb_Status->text(); }

void TForm1::setProgressMax(int max)
{
    // Qt shows a busy bar for an empty range; a maximum of 0 stays an empty bar.
    PB_Progress->setMaximum(qMax(1, max));
    PB_Progress->setProperty("max", max);
}

int TForm1::progressMax() const
{
    const QVariant max = PB_Progress->property("max");
    return max.isValid() ? max.toInt() : PB_Progress->maximum();
}

void TForm1::setProgressPos(int pos)
{
    // Out-of-range positions stop at the ends instead of being ignored.
    PB_Progress->setValue(qBound(0, pos, PB_Progress->maximum()));
}

int TForm1::progressPos() const { return PB_Progress->value(); }

void TForm1::setPanelText(int index, const QString &text)
{
    if (index >= 0 && index < 3)
        m_panels[index]->setText(text);
}

QString TForm1::panelText(int index) const
{
    return index >= 0 && index < 3 ? m_panels[index]->text() : QString();
}

void TForm1::repaint() { QWidget::repaint(); }

void TForm1::clearLog()
{
    Memo->clear();
    m_pendingCr = false;
}

bool TForm1::messageBox(MsgKind kind, const QString &text)
{
    if (g_messageBoxHook)
        if (const std::optional<bool> answer = g_messageBoxHook(kind, text))
            return *answer;
    static const struct {
        QMessageBox::Icon icon;
        const char *title;
    } kinds[] = {
        {QMessageBox::Critical, "Error"},
        {QMessageBox::Warning, "Warning"},
        {QMessageBox::Information, "Information"},
        {QMessageBox::Question, "Confirm"},
    };
    const auto &k = kinds[int(kind)];
    const bool question = kind == MsgKind::Question;
    QMessageBox box(k.icon, QLatin1String(k.title), text,
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, this);
    const int answer = box.exec();
    return question ? answer == QMessageBox::Yes : true;
}

QString TForm1::chooseImageToOpen(const QString &filter)
{
    Dl_Open1 = filter;
    QFileDialog dialog(this, QLatin1String(kOpenTitle), QString(), filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

QString TForm1::chooseBackupToSave(const QString &filter)
{
    DL_Save1 = filter;
    QFileDialog dialog(this, QString(), QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

bool TForm1::useNetChecked() const { return CB_UseNet->isChecked(); }
QString TForm1::pcIpText() const { return PcIP->text(); }
QString TForm1::boxIpText() const { return BoxIP->text(); }

QStringList TForm1::localAddresses() const
{
    QStringList list;
    for (int i = 0; i < CBox_IPs->count(); ++i)
        list << CBox_IPs->itemText(i);
    return list;
}

QString TForm1::comPortName() const { return ComComboBox1->currentText(); }

void TForm1::setPingEnabled(bool enabled) { Bt_Ping->setEnabled(enabled); }

void TForm1::connectionChanged(bool connected)
{
    setStartStopCaption(connected);
    Bt_Exit->setEnabled(!connected);
    if (connected) {
        CB_UseNet->setEnabled(false);
        Cb_UseNetClick();
    }
}

void TForm1::terminateApplication() { Bt_ExitClick(); }

// The button says what a click does: "Disconnect" while connected.
void TForm1::setStartStopCaption(bool connected)
{
    Bt_StartStop->setText(connected ? LangText(2, QStringLiteral("Disconnect"))
                                    : LangText(1, QStringLiteral("Connect")));
}
