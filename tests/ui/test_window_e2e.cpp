// The window against the simulated box run as a separate process: Connect on
// its pseudo-terminal, the box boots and attaches, Ping, Disconnect; after each
// step the commands, menus and captions the window offers.
#include "window_fixture.h"

#include "common/sim_process.h"
#include "texts/lang_text.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

constexpr int kAttachWaitMs = 30000;   // power-on to attached is ~3 s at full speed; generous for a loaded machine
// A loopback address no other test gives its simulator.
const QString kBoxIp = QStringLiteral("127.0.0.61");
const QString kReady = QStringLiteral("Box attached and ready");
const QString kPingOk = QStringLiteral("Ping result: OK, box is alive and speaking to us ;-)");

} // namespace

class TestWindowE2e : public QObject {
    Q_OBJECT
    QTemporaryDir settingsDir;
    QStringList messages;   // message boxes the connection raised

private slots:
    void initTestCase()
    {
        QVERIFY(settingsDir.isValid());
        useTemporarySettings(settingsDir);
        // A message box would wait for an operator: record it and answer No.
        TForm1::setMessageBoxHook([this](Panel::MsgKind, const QString &text) {
            messages << text;
            return std::optional<bool>(false);
        });
    }
    void init()
    {
        storeSettings({});
        messages.clear();
    }

    void connectPingDisconnect_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("eraseAndBackup");
        QTest::addColumn<bool>("secondStage");
        QTest::newRow("KX210 (NOR)") << "KX210" << true << false;
        QTest::newRow("KX4020 (NAND, second stage)") << "KX4020" << false << true;
    }
    void connectPingDisconnect()
    {
        QFETCH(QString, model);
        QFETCH(bool, eraseAndBackup);
        QFETCH(bool, secondStage);

        SimProcess sim;
        MORVABOX_START_SIM(sim, ({"--model", model, "--box-ip", kBoxIp}));
        auto w = makeWindow(QStringLiteral("English"), sim.ptyPath);   // as --port PATH does
        w->show();
        QCOMPARE(w->ComComboBox1->currentText(), sim.ptyPath);
        QVERIFY(!w->CB_UseNet->isChecked());

        // Connect opens the port: the simulated box switches on, boots, takes the loader.
        w->Bt_StartStop->click();
        QTRY_COMPARE_WITH_TIMEOUT(w->Lb_Status->text(), kReady, kAttachWaitMs);
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));

        // Box ready.
        QVERIFY2(w->panelText(0).endsWith(model), qPrintable(w->panelText(0)));
        QVERIFY(w->Bt_Ping->isEnabled());
        QVERIFY(w->Bt_Flash->isEnabled());
        QVERIFY(!w->Datei1->menuAction()->isEnabled());
        QVERIFY(!w->Language1->menuAction()->isEnabled());
        QCOMPARE(w->Bt_FlashErase->isVisible(), eraseAndBackup);
        QCOMPARE(w->Bt_Backup->isVisible(), eraseAndBackup);
        QCOMPARE(w->Bt_Flash2ndStage->isVisible(), secondStage);
        for (QPushButton *b : {w->Bt_FlashErase, w->Bt_Backup, w->Bt_Flash2ndStage})
            if (b->isVisible())
                QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));
        QCOMPARE(w->Bt_StartStop->text(), QStringLiteral("Disconnect"));
        QVERIFY(!w->Bt_Exit->isEnabled());
        QVERIFY(!w->ComComboBox1->isEnabled());
        QVERIFY(!w->CB_UseNet->isEnabled());
        QCOMPARE(w->Memo->toPlainText().count(kPingOk), 1);   // the attach ends with a Ping

        // A second Ping from the button, answered by the box.
        w->Bt_Ping->click();
        QTRY_COMPARE_WITH_TIMEOUT(w->Memo->toPlainText().count(kPingOk), 2, kAttachWaitMs);
        QCOMPARE(w->Lb_Status->text(), kReady);
        QVERIFY(w->Bt_Ping->isEnabled());
        QVERIFY(w->Bt_Flash->isEnabled());
        QVERIFY(!w->Language1->menuAction()->isEnabled());

        // Disconnect: back to the state before Connect.
        w->Bt_StartStop->click();
        QCOMPARE(w->Bt_StartStop->text(), QStringLiteral("Connect"));
        QVERIFY(!w->Bt_Ping->isEnabled());
        QVERIFY(!w->Bt_Flash->isEnabled());
        for (QPushButton *b : {w->Bt_FlashErase, w->Bt_Backup, w->Bt_Flash2ndStage})
            QVERIFY2(b->isHidden(), qPrintable(b->objectName()));
        QVERIFY(w->Datei1->menuAction()->isEnabled());
        QVERIFY(w->Language1->menuAction()->isEnabled());
        QVERIFY(w->ComComboBox1->isEnabled());
        QCOMPARE(w->Lb_Status->text(), QString());
        QVERIFY(w->Bt_Exit->isEnabled());
        QVERIFY(!w->connection()->connected());
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        QCOMPARE(sim.stop(), 0);
    }
};

QTEST_MAIN(TestWindowE2e)
#include "test_window_e2e.moc"
