// The Ping button against a scripted box on a pseudo-terminal: the NOP, the
// answer, link_state and the commands the window offers afterwards.
#include "window_fixture.h"

#include "link/kxtest.h"
#include "link/kxtest_log.h"
#include "platform/serial_port.h"
#include "texts/lang_text.h"

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

class TestWindowPing : public QObject {
    Q_OBJECT
    QTemporaryDir settingsDir;

private slots:
    void initTestCase()
    {
        QVERIFY(settingsDir.isValid());
        useTemporarySettings(settingsDir);
    }

    void ping_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("linkState");
        QTest::newRow("31337") << 31337 << "ENG" << "Ping result: OK, box is alive and speaking to us ;-)" << 1;
        QTest::newRow("31337, German") << 31337 << "GER" << "Ping-Ergebnis: OK, die Box lebt und spricht zu uns ;-)" << 1;
        QTest::newRow("0") << 0 << "ENG" << "Ping result: NOT OK!!!" << 0;
        QTest::newRow("other value") << 4711 << "ENG" << "Ping result: NOT OK!!!" << 0;
        QTest::newRow("box's -1") << -1 << "GER" << "Ping-Ergebnis: NICHT OK!!!" << 0;
    }
    void ping()
    {
        QFETCH(int, answer);
        QFETCH(QString, language);

        LinkPeer peer;
        const QString path = QString::fromStdString(peer.openPty());
        QVERIFY2(!path.isEmpty(), "no pseudo-terminal available");
        auto w = makeWindow();
        CurrentLanguage = language;
        DebugLevel = 1;

        // The session as after an attach over the serial line.
        kx_context *ctx = w->connection()->ctx();
        SerialPort port;
        port.setPortName(path);
        QVERIFY2(port.open(), qPrintable(port.errorText()));
        kxtest_init(ctx);
        ctx->io.serial = &port;
        ctx->link_state = 1;
        QObject::connect(&port, &SerialPort::rxChar, &port, [ctx](int n) { kxtest_serial_receive(ctx, n); });
        peer.start([answer](const Bytes &f, int) {
            return f[4] == KX_OP_NOP ? peerAck(f[5], answer) : Bytes{};
        });

        w->EnableButtons(true);
        QVERIFY(w->Bt_Ping->isEnabled());
        w->Bt_Ping->click();
        peer.stop();

        QCOMPARE(peer.frameCount(), 1);
        QCOMPARE(peer.frames()[0][4], uint8_t(KX_OP_NOP));
        const QString memo = w->Memo->toPlainText();
        QVERIFY2(memo.contains(QStringLiteral("server: got NOP, result: %1\n").arg(answer)), qPrintable(memo));
        QFETCH(QString, line);
        QVERIFY2(memo.contains(QLatin1Char(' ') + line + QLatin1Char('\n')), qPrintable(memo));
        QTEST(ctx->link_state, "linkState");
        const bool ok = ctx->link_state == 1;
        QCOMPARE(w->Bt_Ping->isEnabled(), ok);
        QCOMPARE(w->Bt_Flash->isEnabled(), ok);
        QCOMPARE(w->Datei1->menuAction()->isEnabled(), !ok);
        QCOMPARE(w->Language1->menuAction()->isEnabled(), !ok);
        ctx->io.serial = &w->connection()->comPort();
        DebugLevel = 0;
    }

    // The operator disconnected: nothing is sent, NOT OK is logged, and the link
    // stays stopped so that no later request goes out on the closed line.
    void pingOnAStoppedLink()
    {
        auto w = makeWindow();
        CurrentLanguage = QStringLiteral("ENG");
        kx_context *ctx = w->connection()->ctx();
        kxtest_init(ctx);
        ctx->link_state = -1;
        w->ButtonPingClick();
        QVERIFY(w->Memo->toPlainText().contains(QStringLiteral(" Ping result: NOT OK!!!")));
        QCOMPARE(ctx->link_state, -1);
        QVERIFY(!w->Bt_Ping->isEnabled());
        QVERIFY(w->Datei1->menuAction()->isEnabled());
    }
};

QTEST_MAIN(TestWindowPing)
#include "test_window_ping.moc"
