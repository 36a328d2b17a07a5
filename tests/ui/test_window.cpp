// The main window with real widgets (offscreen): which commands each state
// offers, the network fields, captions in both languages, the stored settings,
// the start-up order and the feedback channels.
#include "window_fixture.h"

#include "link/kxtest.h"
#include "link/kxtest_log.h"
#include "platform/local_addresses.h"
#include "texts/lang_text.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

namespace {

// "hidden", "off" or "on" for a model button.
QString modelButtonState(const QPushButton *b)
{
    if (b->isHidden())
        return QStringLiteral("hidden");
    return b->isEnabled() ? QStringLiteral("on") : QStringLiteral("off");
}

// Every caption SetCaptions sets, in one text, for before/after comparisons.
QString allCaptions(const TForm1 &w)
{
    return QStringList{w.Bt_StartStop->text(), w.GB_Serial->title(), w.Label3->text(), w.CB_UseNet->text(),
                       w.Label1->text(), w.Label2->text(), w.Label6->text(), w.GroupBox3->title(),
                       w.Label4->text(), w.Label5->text(), w.Bt_FlashErase->text(), w.Bt_Flash->text(),
                       w.Bt_Exit->text(), w.GroupBox2->title(), w.Datei1->title(), w.Exit1->text(),
                       w.Language1->title(), w.English1->text(), w.German1->text(),
                       w.English1->isChecked() ? "ENG checked" : "-", w.German1->isChecked() ? "GER checked" : "-"}
        .join(QLatin1Char('|'));
}

// Presses `button` of the next modal message box once it is up.
void answerNextBox(QMessageBox::StandardButton button)
{
    QTimer::singleShot(0, [button] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            answerNextBox(button);   // not up yet: look again on the next turn
            return;
        }
        box->button(button)->click();
    });
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT
    QTemporaryDir settingsDir;

private slots:
    void initTestCase()
    {
        QVERIFY(settingsDir.isValid());
        useTemporarySettings(settingsDir);
    }
    void init()
    {
        storeSettings({});
        CurrentLanguage = QStringLiteral("ENG");
        resetTimeFormat();
        TForm1::setMessageBoxHook({});
    }

    // --- what each state offers -----------------------------------------

    void startStateBeforeEnableButtons()
    {
        auto w = makeWindow();
        QCOMPARE(w->windowTitle(), QStringLiteral("Universal MorvaUp V1.1.0.2"));
        QCOMPARE(w->Bt_StartStop->text(), QStringLiteral("Connect"));
        QVERIFY(w->Bt_StartStop->isEnabled() && w->Bt_Exit->isEnabled());
        QVERIFY(!w->Bt_Ping->isEnabled() && !w->Bt_Flash->isEnabled());
        for (QPushButton *b : {w->Bt_FlashErase, w->Bt_Backup, w->Bt_Flash2ndStage})
            QCOMPARE(modelButtonState(b), QStringLiteral("hidden"));
        QVERIFY(w->Datei1->menuAction()->isEnabled() && w->Language1->menuAction()->isEnabled());
        QVERIFY(w->ComComboBox1->isEnabled() && w->CB_UseNet->isEnabled());
        QCOMPARE(w->Memo->toPlainText(), QString());
        QCOMPARE(w->statusText(), QString());
        QCOMPARE(w->progressPos(), 0);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(w->panelText(i), QString());
    }

    void enableButtons_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<int>("linkState");
        QTest::addColumn<bool>("enable");
        QTest::addColumn<int>("canErase");
        QTest::addColumn<int>("canBackup");
        QTest::addColumn<int>("has2nd");
        QTest::addColumn<bool>("netAvailable");
        // expected
        QTest::addColumn<bool>("menus");
        QTest::addColumn<bool>("pingAndFlash");
        QTest::addColumn<QString>("erase");
        QTest::addColumn<QString>("backup");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("port");
        QTest::addColumn<bool>("useNet");

        QTest::newRow("waiting for the box") << true << 0 << false << 0 << 0 << 0 << true
                                             << false << false << "hidden" << "hidden" << "hidden" << false << false;
        QTest::newRow("box ready, KX4000-like") << true << 1 << true << -1 << -1 << 0 << true
                                                << false << true << "on" << "on" << "hidden" << false << false;
        QTest::newRow("box ready, flag 1 means yes") << true << 1 << true << 0 << 0 << 1 << true
                                                     << false << true << "hidden" << "hidden" << "on" << false << false;
        QTest::newRow("job running") << true << 1 << false << -1 << -1 << -1 << true
                                     << false << false << "off" << "off" << "off" << false << false;
        QTest::newRow("box silent") << true << 0 << true << -1 << -1 << -1 << true
                                    << true << false << "off" << "off" << "off" << false << false;
        QTest::newRow("disconnected") << false << -1 << true << 0 << 0 << 0 << true
                                      << true << false << "hidden" << "hidden" << "hidden" << true << true;
        QTest::newRow("disconnected, no network") << false << -1 << true << 0 << 0 << 0 << false
                                                  << true << false << "hidden" << "hidden" << "hidden" << true << false;
        QTest::newRow("not connected, withdrawn") << false << 0 << false << 0 << 0 << 0 << true
                                                  << false << false << "hidden" << "hidden" << "hidden" << false << false;
    }
    void enableButtons()
    {
        QFETCH(bool, connected);
        QFETCH(int, linkState);
        QFETCH(bool, enable);
        QFETCH(int, canErase);
        QFETCH(int, canBackup);
        QFETCH(int, has2nd);
        QFETCH(bool, netAvailable);

        PtyLine line;
        QVERIFY2(line.open(), "no pseudo-terminal available");
        auto w = makeWindow(QStringLiteral("English"), line.path);
        BoxConnection *c = w->connection();
        if (connected) {
            w->Bt_StartStop->click();
            QVERIFY2(c->connected(), "Connect over the pseudo-terminal failed");
        }
        NetAvailable = netAvailable;
        c->ctx()->link_state = linkState;
        c->loader()->info.KX_CANERASE = canErase;
        c->loader()->info.KX_CANBACKUP = canBackup;
        c->loader()->info.KX_HAS2NDSTAGE = has2nd;
        w->EnableButtons(enable);

        QTEST(w->Datei1->menuAction()->isEnabled(), "menus");
        QTEST(w->Language1->menuAction()->isEnabled(), "menus");
        QTEST(w->Bt_Ping->isEnabled(), "pingAndFlash");
        QTEST(w->Bt_Flash->isEnabled(), "pingAndFlash");
        QTEST(modelButtonState(w->Bt_FlashErase), "erase");
        QTEST(modelButtonState(w->Bt_Backup), "backup");
        QTEST(modelButtonState(w->Bt_Flash2ndStage), "second");
        QTEST(w->ComComboBox1->isEnabled(), "port");
        QTEST(w->CB_UseNet->isEnabled(), "useNet");
        // Never touched by EnableButtons: Connect/Disconnect stays usable.
        QVERIFY(w->Bt_StartStop->isEnabled());
        QCOMPARE(w->Bt_Exit->isEnabled(), !connected);
    }

    void connectAndDisconnectShowInTheWindow()
    {
        PtyLine line;
        QVERIFY2(line.open(), "no pseudo-terminal available");
        auto w = makeWindow(QStringLiteral("English"), line.path);
        NetAvailable = true;
        w->CB_UseNet->setChecked(true);
        w->AddLogLine(QStringLiteral("old line"));

        w->Bt_StartStop->click();
        QCOMPARE(w->Bt_StartStop->text(), QStringLiteral("Disconnect"));
        QVERIFY(!w->Bt_Exit->isEnabled());
        QVERIFY(!w->CB_UseNet->isEnabled() && !w->PcIP->isEnabled() && !w->GB_Network->isEnabled());
        QVERIFY(!w->Datei1->menuAction()->isEnabled());
        QVERIFY(!w->Memo->toPlainText().contains(QStringLiteral("old line")));

        // Box silent: the Language menu is back, and a new language keeps the
        // button saying what it does.
        w->connection()->ctx()->link_state = 0;
        w->EnableButtons(true);
        w->German1->trigger();
        QCOMPARE(w->Bt_StartStop->text(), QStringLiteral("Trennen"));

        CurrentLanguage = QStringLiteral("GER");
        w->Bt_StartStop->click();
        QCOMPARE(w->Bt_StartStop->text(), QStringLiteral("Verbinden"));
        QVERIFY(w->Bt_Exit->isEnabled() && w->Datei1->menuAction()->isEnabled());
        QVERIFY(w->CB_UseNet->isEnabled() && w->PcIP->isEnabled() && w->CBox_IPs->isEnabled());
        QCOMPARE(w->statusText(), QString());
    }

    void useNetClick_data()
    {
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("boxEnabled");
        QTest::addColumn<bool>("netAvailable");
        QTest::addColumn<bool>("fields");
        QTest::newRow("ticked") << true << true << true << true;
        QTest::newRow("unticked") << false << true << true << false;
        QTest::newRow("ticked but withdrawn") << true << false << true << false;
        QTest::newRow("ticked, no network") << true << true << false << false;
    }
    void useNetClick()
    {
        QFETCH(bool, checked);
        QFETCH(bool, boxEnabled);
        QFETCH(bool, netAvailable);
        auto w = makeWindow();
        NetAvailable = netAvailable;
        w->CB_UseNet->setEnabled(boxEnabled);
        w->CB_UseNet->setChecked(!checked);
        w->CB_UseNet->setChecked(checked);   // the click handler follows the box
        w->Cb_UseNetClick();
        QTEST(w->PcIP->isEnabled(), "fields");
        QTEST(w->BoxIP->isEnabled(), "fields");
        QTEST(w->GB_Network->isEnabled(), "fields");
        QTEST(w->CBox_IPs->isEnabled(), "fields");
        QCOMPARE(w->CB_UseNet->isEnabled(), boxEnabled);   // not its own business
    }

    // --- captions -----------------------------------------------------------

    void captions_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ENG") << "ENG"
            << "Connect| Serial | Port:|Use Network |Local IP (PC):|Remote IP (Box):|select one:| Progress |"
               "Akt.:|Status:|Flash Erase|Flash|Exit| Command |&File|E&xit|&Language|E&nglish|G&erman|ENG checked|-";
        QTest::newRow("GER") << "GER"
            << "Verbinden| Serieller Port | Anschl.|Mit Netzwerk|Lokale IP (PC):|Fremd-IP (Box):|lokale IPs:|"
               " Fortschritt |Job:|Status:|Flash löschen|Box flashen|Beenden| Befehl |&Datei|&Beenden|&Sprache|"
               "&Englisch|&Deutsch|-|GER checked";
        QTest::newRow("unknown code") << "FRA"
            << "Connect| Serial | Port:|Use Network |Local IP (PC):|Remote IP (Box):|select one:| Progress |"
               "Akt.:|Status:|Flash Erase|Flash|Exit| Command |&File|E&xit|&Language|E&nglish|G&erman|-|-";
    }
    void captions()
    {
        QFETCH(QString, language);
        storeSettings({{QStringLiteral("Language"), language}});
        auto w = makeWindow(QStringLiteral("German"));
        QCOMPARE(CurrentLanguage, language);
        QTEST(allCaptions(*w), "expected");
        // Not translated.
        QCOMPARE(w->Bt_Ping->text(), QStringLiteral("Ping"));
        QCOMPARE(w->Bt_Flash2ndStage->text(), QStringLiteral("Flash 2.Stage"));
        QCOMPARE(w->Bt_Backup->text(), QStringLiteral("Backup"));
        QCOMPARE(w->GroupBox4->title(), QStringLiteral(" Log: "));
    }

    void switchingLanguageBackAndForth()
    {
        auto w = makeWindow();
        const QString english = allCaptions(*w);
        w->SetStatusText(QStringLiteral("kept"));
        w->German1->trigger();
        QCOMPARE(CurrentLanguage, QStringLiteral("GER"));
        QCOMPARE(w->Label4->text(), QStringLiteral("Job:"));
        QVERIFY(w->German1->isChecked() && !w->English1->isChecked());
        QCOMPARE(w->statusText(), QStringLiteral("kept"));
        w->English1->trigger();
        QCOMPARE(allCaptions(*w), english);
        // Picked, not stored yet: the store happens when the window goes.
        QCOMPARE(storedSettings().value(QStringLiteral("Language")).toString(), QString());
    }

    // Every caption fits its control in both languages, model buttons included.
    void noCaptionClipped_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("ENG") << "ENG";
        QTest::newRow("GER") << "GER";
    }
    void noCaptionClipped()
    {
        QFETCH(QString, language);
        storeSettings({{QStringLiteral("Language"), language}});
        auto w = makeWindow();
        for (QPushButton *b : {w->Bt_FlashErase, w->Bt_Backup, w->Bt_Flash2ndStage})
            b->setVisible(true);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        const auto widgets = w->findChildren<QWidget *>();
        for (QWidget *c : widgets) {
            const bool captioned = qobject_cast<QLabel *>(c) || qobject_cast<QAbstractButton *>(c);
            if (!captioned || c == w->Lb_Status || !c->isVisible() || c->objectName().isEmpty())
                continue;
            QVERIFY2(c->width() >= c->sizeHint().width(), qPrintable(c->objectName()));
        }
        for (QGroupBox *g : w->findChildren<QGroupBox *>())
            QVERIFY2(g->width() >= g->minimumSizeHint().width(), qPrintable(g->objectName()));
    }

    // --- stored settings ----------------------------------------------------

    void settingsRoundTrip()
    {
        {
            auto w = makeWindow(QStringLiteral("English"), QStringLiteral("/dev/ttyTEST"));
            w->CB_UseNet->setChecked(true);
            w->PcIP->setText(QStringLiteral("10.9.8.7"));
            w->BoxIP->clear();   // emptied by the operator
            w->German1->trigger();
        }
        QSettings s = storedSettings();
        QCOMPARE(s.value(QStringLiteral("ComPort")).toString(), QStringLiteral("/dev/ttyTEST"));
        QCOMPARE(s.value(QStringLiteral("UseNetwork")).toString(), QStringLiteral("True"));
        QCOMPARE(s.value(QStringLiteral("PCIP")).toString(), QStringLiteral("10.9.8.7"));
        QVERIFY(s.contains(QStringLiteral("BoxIP")));
        QCOMPARE(s.value(QStringLiteral("BoxIP")).toString(), QString());
        QCOMPARE(s.value(QStringLiteral("Language")).toString(), QStringLiteral("GER"));

        auto again = makeWindow(QStringLiteral("English"));
        QVERIFY(again->CB_UseNet->isChecked());
        QCOMPARE(again->PcIP->text(), QStringLiteral("10.9.8.7"));
        QCOMPARE(again->BoxIP->text(), QString());   // stored PC address: nothing derived
        QCOMPARE(again->Bt_StartStop->text(), QStringLiteral("Verbinden"));
    }

    // Exit button, File menu and close box all end the message loop; the
    // settings are stored when the window goes, whichever way it ended.
    void everyEndStoresTheSettings_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Exit button") << "button";
        QTest::newRow("File menu") << "menu";
        QTest::newRow("close box") << "close";
    }
    void everyEndStoresTheSettings()
    {
        QFETCH(QString, how);
        {
            auto w = makeWindow();
            w->show();
            w->PcIP->setText(how);
            QTimer::singleShot(0, w.get(), [&w, how] {
                if (how == QLatin1String("button"))
                    w->Bt_Exit->click();
                else if (how == QLatin1String("menu"))
                    w->Exit1->trigger();
                else
                    w->close();
            });
            QTimer watchdog;   // a loop that does not end fails the case instead of hanging
            watchdog.setSingleShot(true);
            bool timedOut = false;
            connect(&watchdog, &QTimer::timeout, [&timedOut] { timedOut = true; QCoreApplication::quit(); });
            watchdog.start(5000);
            QApplication::exec();
            QVERIFY(!timedOut);
            QCOMPARE(storedSettings().value(QStringLiteral("PCIP")).toString(), QString());
        }
        QCOMPARE(storedSettings().value(QStringLiteral("PCIP")).toString(), how);
    }

    void useNetworkOnlyForTrue_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("checked");
        QTest::newRow("True") << "True" << true;
        QTest::newRow("true") << "true" << false;
        QTest::newRow("1") << "1" << false;
        QTest::newRow("False") << "False" << false;
    }
    void useNetworkOnlyForTrue()
    {
        QFETCH(QString, stored);
        storeSettings({{QStringLiteral("UseNetwork"), stored}});
        auto w = makeWindow();
        QTEST(w->CB_UseNet->isChecked(), "checked");
    }

    void storedPortMustBeInTheList()
    {
        auto w = makeWindow(QStringLiteral("English"), QStringLiteral("/dev/ttyFIRST"));
        w->ComComboBox1->insertItem(0, QStringLiteral("/dev/ttyA"));
        w->ComComboBox1->setCurrentIndex(0);
        storeSettings({{QStringLiteral("ComPort"), QStringLiteral("COM9")}});
        w->LoadSettings();
        QCOMPARE(w->comPortName(), QStringLiteral("/dev/ttyA"));
        storeSettings({{QStringLiteral("ComPort"), QStringLiteral("/dev/ttyFIRST")}});
        w->LoadSettings();
        QCOMPARE(w->comPortName(), QStringLiteral("/dev/ttyFIRST"));
    }

    // --- start-up ---------------------------------------------------------------

    void languageAtStartUp_data()
    {
        QTest::addColumn<QString>("system");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("language");
        QTest::newRow("German system") << "German" << "" << "GER";
        QTest::newRow("stored ENG beats German system") << "German" << "ENG" << "ENG";
        QTest::newRow("other system") << "French" << "" << "ENG";
        QTest::newRow("stored GER on English system") << "English" << "GER" << "GER";
    }
    void languageAtStartUp()
    {
        QFETCH(QString, system);
        QFETCH(QString, stored);
        if (!stored.isEmpty())
            storeSettings({{QStringLiteral("Language"), stored}});
        auto w = makeWindow(system);
        QTEST(CurrentLanguage, "language");
        QCOMPARE(w->Bt_StartStop->text(), CurrentLanguage == QLatin1String("GER") ? "Verbinden" : "Connect");
    }

    void systemLanguageFromTheLocale()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Austria));
        // The system locale is the environment's; the default locale must not leak in.
        QCOMPARE(StartOptions::fromSystem().systemLanguage,
                 QLocale::languageToString(QLocale::system().language()));
        QLocale::setDefault(before);
    }

    void storedPcAddressIsKept()
    {
        storeSettings({{QStringLiteral("PCIP"), QStringLiteral("10.1.2.3")},
                       {QStringLiteral("BoxIP"), QStringLiteral("10.1.2.99")}});
        auto w = makeWindow();
        QCOMPARE(w->PcIP->text(), QStringLiteral("10.1.2.3"));
        QCOMPARE(w->BoxIP->text(), QStringLiteral("10.1.2.99"));
        if (w->CBox_IPs->count() > 0)
            QCOMPARE(w->CBox_IPs->currentIndex(), 0);
    }

    void noStoredPcAddressTakesTheFirstLocalOne()
    {
        auto w = makeWindow();
        QStringList addresses;
        QVERIFY(ListLocalAddresses(addresses));
        if (addresses.isEmpty())
            QSKIP("this machine has no interface with an IPv4 address that is up");
        QVERIFY(NetAvailable);
        QCOMPARE(w->localAddresses(), addresses);
        QCOMPARE(w->PcIP->text(), addresses.first());
        QCOMPARE(w->BoxIP->text(), deriveBoxIp(addresses.first()));
    }

    void localAddressesLoopbackLast()
    {
        QStringList addresses;
        QVERIFY(ListLocalAddresses(addresses));
        const qsizetype loop = addresses.indexOf(QStringLiteral("127.0.0.1"));
        if (loop < 0)
            QSKIP("the loopback interface is down");
        for (qsizetype i = loop; i < addresses.size(); ++i)
            QVERIFY2(addresses[i].startsWith(QLatin1String("127.")), qPrintable(addresses.join(' ')));
        for (const QString &a : addresses)
            QVERIFY(QHostAddress(a).protocol() == QAbstractSocket::IPv4Protocol);
    }

    void selectingAnAddressProposesTheBox_data()
    {
        QTest::addColumn<QString>("pc");
        QTest::addColumn<QString>("box");
        QTest::newRow("plus ten") << "192.168.1.5" << "192.168.1.15";
        QTest::newRow("up to 255") << "10.0.0.245" << "10.0.0.255";
        QTest::newRow("wraps to 11") << "10.0.0.246" << "10.0.0.11";
    }
    void selectingAnAddressProposesTheBox()
    {
        QFETCH(QString, pc);
        auto w = makeWindow();
        w->CBox_IPs->addItem(pc);
        w->CBox_IPs->setCurrentIndex(w->CBox_IPs->count() - 1);
        w->CBox_IPsSelect();
        QCOMPARE(w->PcIP->text(), pc);
        QTEST(w->BoxIP->text(), "box");
        QTEST(deriveBoxIp(pc), "box");
    }

    // --- feedback channels ------------------------------------------------------

    void logLinesAndRawPieces()
    {
        auto w = makeWindow();
        w->AddLogLine(QStringLiteral("erasing flash..."));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d erasing flash...\n$"))
                    .match(w->Memo->toPlainText()).hasMatch());
        w->clearLog();
        // Pieces of the protocol log: CR LF split across pieces counts once.
        w->appendLog(QStringLiteral("boot "));
        w->appendLog(QStringLiteral("text\r"));
        w->appendLog(QStringLiteral("\nnext\r\n"));
        w->appendLog(QStringLiteral("open"));
        kxtest_log(w.get(), 0, QStringLiteral("server: stamped"), true);
        w->AddLogLine(QStringLiteral("after"));
        const QStringList lines = w->Memo->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines.mid(0, 2), QStringList({"boot text", "next"}));
        QVERIFY(lines[2].startsWith(QLatin1String("open")) && lines[2].endsWith(QLatin1String("server: stamped")));
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d after$")).match(lines[3]).hasMatch(),
                 qPrintable(lines[3]));
        QCOMPARE(lines[4], QString());
    }

    void progressAndPanels()
    {
        auto w = makeWindow();
        w->setProgressMax(10);
        w->setProgressPos(4);
        w->stepProgress(3);
        QCOMPARE(w->progressPos(), 7);
        w->stepProgress(30);   // stops at the end instead of being ignored
        QCOMPARE(w->progressPos(), 10);
        w->setProgressMax(0);
        QCOMPARE(w->progressMax(), 0);
        QVERIFY(w->PB_Progress->maximum() > w->PB_Progress->minimum());   // no busy bar
        w->setPanelText(0, QStringLiteral("Boxtype: "));
        w->setPanelText(2, QStringLiteral(" Bytes=1024"));
        QCOMPARE(w->panelText(0), QStringLiteral("Boxtype: "));
        QCOMPARE(w->panelText(2), QStringLiteral(" Bytes=1024"));
        w->SetStatusText(QStringLiteral("without repaint"), false);
        QCOMPARE(w->Lb_Status->text(), QStringLiteral("without repaint"));
    }

    void messageBoxes_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("press");
        QTest::addColumn<bool>("answer");
        QTest::newRow("error OK") << int(Panel::MsgKind::Error) << int(QMessageBox::Ok) << true;
        QTest::newRow("warning OK") << int(Panel::MsgKind::Warning) << int(QMessageBox::Ok) << true;
        QTest::newRow("information OK") << int(Panel::MsgKind::Information) << int(QMessageBox::Ok) << true;
        QTest::newRow("question Yes") << int(Panel::MsgKind::Question) << int(QMessageBox::Yes) << true;
        QTest::newRow("question No") << int(Panel::MsgKind::Question) << int(QMessageBox::No) << false;
    }
    void messageBoxes()
    {
        QFETCH(int, kind);
        QFETCH(int, press);
        auto w = makeWindow();
        answerNextBox(QMessageBox::StandardButton(press));
        QTEST(w->messageBox(Panel::MsgKind(kind), QStringLiteral("Really?")), "answer");
    }

    void messageBoxHookAnswers()
    {
        auto w = makeWindow();
        QStringList asked;
        TForm1::setMessageBoxHook([&asked](Panel::MsgKind, const QString &text) -> std::optional<bool> {
            asked << text;
            return false;
        });
        QCOMPARE(w->messageBox(Panel::MsgKind::Question, QStringLiteral("Continue?")), false);
        QCOMPARE(asked, QStringList{QStringLiteral("Continue?")});
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
