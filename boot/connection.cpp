// Connect and Disconnect, and the serial boot dialogue: banner, keyword,
// upload header, flash-loader upload, then the link protocol takes over.

#include "boot/connection.h"

#include "link/box_probe.h"
#include "link/kxtest_log.h"
#include "link/panel.h"
#include "platform/arp_table.h"
#include "platform/ip_address.h"
#include "texts/lang_text.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

namespace {

// Boot steps of the dialogue; from PROTOCOL on the link engine reads the line.
enum BootStep { AWAIT_BANNER = 0, KEYWORD_SENT = 1, HEADER_SENT = 2, PROTOCOL = 3 };

struct BannerRow {
    QByteArray pattern;
    const char *model;
};
// Tested in this order; a later row that also matches wins.
const BannerRow kBanners[] = {
    {QByteArray("Morvabox K\0X210", 15), "KX210"},
    {QByteArray("Morvabox K\0X23", 14), "KX23xx"},
    {QByteArray("SOLAN\0 318", 10), "SOLAN 318"},
    {QByteArray("Morvabox K\0X4000", 16), "KX4000"},
    {QByteArray("Morvabox K\0X4020", 16), "KX4020"},
};

const char kKeyword[] = "vexil";
const char kKeywordAck[] = "ok\r";
const char kUploadPrompt[] = "loading instr. file";
// One less than the longest text searched: enough to find any of them across events.
constexpr int kReceivedKeep = int(sizeof kUploadPrompt) - 2;
const char kMorvaboxMacPrefix[] = "02-4B-7D";

constexpr int kProbeTimeoutMs = 500;        // echo to the box address before connecting
constexpr int kUploadBlock = 1024;          // the boot code takes the loader in blocks of this size
constexpr int kBlockPauseMs = 10;           // lets the boot code store each block
// A port that takes no byte for this long has failed. Longer than one write
// time-out (1034 ms for a block): a pseudo-terminal read at 115200 baud holds
// its writer for up to ~1.9 s while the kernel drains its buffer.
constexpr int kStalledPortMs = 3000;
constexpr int kLoaderStartMs = 100;         // the loader starts before it listens

} // namespace

BoxConnection::BoxConnection(Panel *panel, QObject *parent)
    : QObject(parent), m_panel(panel), m_ctx(std::make_unique<kx_context>()),
      m_loader(std::make_unique<LoaderRecord>())
{
    kxtest_zero(m_ctx.get());
    clearLoader(m_loader.get());
    m_ctx->io.panel = panel;
    m_ctx->io.serial = &m_com;
    m_ctx->io.udp = &m_udp;
    connect(&m_com, &SerialPort::rxChar, this, &BoxConnection::ComPortRxChar);
    connect(&m_com, &SerialPort::lineError, this, [this](unsigned errors) { ComPortError(ctx(), errors); });
    connect(&m_com, &SerialPort::note, this, [this](const QString &text) { kxtest_log(m_panel, 1, text, true); });
    connect(&m_udp, &UdpSocket::dataAvailable, this, [this] { udpfdDataAvailable(ctx()); });
    connect(&m_udp, &UdpSocket::error, this, [this](const QString &) { udpfdError(ctx()); });
    connect(&m_udp, &UdpSocket::sendFailed, this, [this] { udpfdSendFailed(ctx()); });
}

BoxConnection::~BoxConnection() = default;

void BoxConnection::Bt_StartStopClick()
{
    if (m_tag == 0)
        connectBox();
    else
        disconnectBox();
}

BoxConnection::ConnectResult BoxConnection::connectBox()
{
    m_com.setPortName(m_panel->comPortName());
    if (!m_com.open()) {
        // The operator text, then why the port could not be used (missing, in
        // use, no permission), so the operator knows what to change.
        m_panel->messageBox(Panel::MsgKind::Error, LangText(48, QStringLiteral("Unable to open COM-Port, Aborting"))
                                                       + QLatin1String("\n\n") + m_com.errorText());
        return ConnectResult::PortFailed;
    }
    const bool useNet = m_panel->useNetChecked();
    if (useNet && !m_panel->localAddresses().contains(m_panel->pcIpText())) {
        m_panel->messageBox(Panel::MsgKind::Error, LangText(64, QStringLiteral("Invalid PC-IP, please select a valid one.")));
        return ConnectResult::BadPcIp;
    }
    // The box address goes into the attach frame and every datagram: refuse a
    // text that is not an address before anything is prepared.
    if (useNet && !parseDottedQuad(m_panel->boxIpText())) {
        m_panel->messageBox(Panel::MsgKind::Error, LangText(74, QStringLiteral("Invalid Box-IP, please enter a valid one.")));
        return ConnectResult::BadBoxIp;
    }

    m_tag = 1;
    m_panel->connectionChanged(true);
    m_panel->EnableButtons(false);

    m_bootStep = AWAIT_BANNER;
    m_uploadFailed = false;
    m_panel->clearLog();
    m_received.clear();
    m_panel->setPanelText(0, LangText(49, QStringLiteral("Boxtype:")) + QLatin1Char(' '));
    m_ctx->io.modelName.clear();
    m_panel->setProgressPos(0);
    kxtest_zero(m_ctx.get());

    m_panel->SetStatusText(LangText(3, QStringLiteral("probing box IP...")));
    m_panel->doEvents();

    if (useNet) {
        const QString boxIp = m_panel->boxIpText();
        try {
            if (doPing(m_panel, boxIp, kProbeTimeoutMs) && arpTableAvailable()) {
                const QString mac = LookupMac(boxIp);
                kxtest_log(m_panel, 1, QStringLiteral("Found MAC ") + mac, true);
                if (mac.left(8) != QLatin1String(kMorvaboxMacPrefix)) {
                    const QByteArray ip = boxIp.toLocal8Bit();
                    m_panel->messageBox(Panel::MsgKind::Warning,
                                        QString::asprintf(LangText(4, QStringLiteral(
                                            "There is something alive with the ip %s\r\nin your network which is not a Morvabox.\r\nMorvaUP may not work properly."))
                                                              .toUtf8().constData(), ip.constData()));
                }
                kxtest_log(m_panel, 1, QStringLiteral("Found MAC %1 for IP %2").arg(mac, boxIp), true);
            }
        } catch (const ProbeError &e) {
            // The connection stays prepared; the operator learns why the box
            // address could not be probed.
            m_panel->messageBox(Panel::MsgKind::Error, QString::fromUtf8(e.what()));
            return ConnectResult::Connected;
        }
    }
    m_panel->SetStatusText(LangText(7, QStringLiteral("Connection prepared, now switch on the morvabox!")));
    return ConnectResult::Connected;
}

void BoxConnection::disconnectBox()
{
    kxtest_init(m_ctx.get());
    m_ctx->link_state = -1;
    clearLoader(m_loader.get());
    m_udp.setBound(false);
    m_udp.setLocalHost(QString());
    m_udp.setLocalPort(QString());
    m_tag = 0;
    m_panel->connectionChanged(false);
    m_com.close();
    m_panel->setProgressPos(0);
    m_panel->EnableButtons(true);
    m_panel->SetStatusText(QString());
}

void BoxConnection::ComPortRxChar(int count)
{
    if (m_tag == 0) {
        // Open but not connected (a Connect refused its network settings):
        // the boot dialogue runs only while connected.
        m_com.read(count);
        return;
    }
    if (m_bootStep >= PROTOCOL) {
        kxtest_serial_receive(m_ctx.get(), count);
    } else {
        const QByteArray bytes = m_com.read(count);
        m_received += bytes;
        echoToLog(bytes);
        try {
            switch (m_bootStep) {
            case AWAIT_BANNER: awaitBanner(); break;
            case KEYWORD_SENT: sendUploadHeader(); break;
            case HEADER_SENT: uploadLoader(); break;
            }
        } catch (const SerialError &e) {
            // The keyword or the header could not be written: the port failed.
            m_panel->messageBox(Panel::MsgKind::Error, QString::fromLocal8Bit(e.what()));
        }
        if (m_bootStep < PROTOCOL && m_received.size() > kReceivedKeep)
            m_received = m_received.right(kReceivedKeep);
    }
    // Qt announces no bytes that arrived while this handler ran; hand them on
    // once it has returned.
    if (!m_redeliveryQueued && m_com.isOpen() && m_com.bytesAvailable() > 0) {
        m_redeliveryQueued = true;
        QTimer::singleShot(0, this, &BoxConnection::deliverWaitingBytes);
    }
}

void BoxConnection::deliverWaitingBytes()
{
    m_redeliveryQueued = false;
    if (m_com.isOpen() && m_com.bytesAvailable() > 0)
        ComPortRxChar(int(m_com.bytesAvailable()));
}

// The boot output in the protocol log: printable bytes as they are, NUL as
// "~", a carriage return as "\n" with a line end, other bytes not at all; "#"
// marks the end of one event's bytes.
void BoxConnection::echoToLog(const QByteArray &bytes)
{
    if (DebugLevel < 3)
        return;
    QString piece;
    for (const char c : bytes) {
        const auto b = uint8_t(c);
        if (b == 0x0D) {
            kxtest_log(m_panel, 3, piece + QLatin1String("\\n"), true);
            piece.clear();
        } else if (b == 0) {
            piece += QLatin1Char('~');
        } else if (b >= 0x20) {
            piece += QChar(QLatin1Char(c));
        }
    }
    kxtest_log(m_panel, 3, piece + QLatin1Char('#'), false);
}

void BoxConnection::awaitBanner()
{
    QString model;
    for (const BannerRow &row : kBanners)
        if (m_received.contains(row.pattern))
            model = QLatin1String(row.model);
    if (model.isEmpty())
        return;
    m_received.clear();
    m_bootStep = KEYWORD_SENT;
    m_ctx->io.modelName = model;
    const QString boxtype = LangText(49, QStringLiteral("Boxtype:"));
    m_panel->AddLogLine(boxtype + QLatin1Char(' ') + model);
    m_panel->setPanelText(0, m_panel->panelText(0) + QLatin1Char(' ') + model);
    m_panel->repaint();
    kxtest_log(m_panel, 1, QString(), true);
    m_com.writeText(QByteArray(kKeyword));
    GetLoader(m_loader.get(), model);
}

void BoxConnection::sendUploadHeader()
{
    if (m_received.contains(kKeywordAck))
        m_received.clear();
    m_panel->setProgressPos(0);
    m_panel->SetStatusText(LangText(8, QStringLiteral("initiating flash-loader upload...")));
    const int total = m_loader->length + 4;
    m_panel->setProgressMax(total);
    m_bootStep = HEADER_SENT;
    kxtest_log(m_panel, 1, QString(), true);
    m_com.writeText(uploadHeader(total));
}

// Writes all `count` bytes, the rest again after a short write (the box fell
// behind reading). False when no byte has left for kStalledPortMs: the port
// has failed.
bool BoxConnection::writeAll(const uint8_t *data, int count)
{
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    int sent = 0;
    while (sent < count) {
        const int n = m_com.write(data + sent, count - sent);
        if (n < count - sent)
            kxtest_log(m_panel, 1, QStringLiteral("ERROR IN Write"), true);
        if (n > 0) {
            sent += n;
            sinceProgress.restart();
        } else if (sinceProgress.elapsed() >= kStalledPortMs) {
            return false;
        }
    }
    return true;
}

void BoxConnection::uploadLoader()
{
    if (!m_received.contains(kUploadPrompt))
        return;
    QThread::msleep(m_loader->promptSettleMs);
    m_panel->SetStatusText(LangText(9, QStringLiteral("uploading flash-loader...")));
    m_received.clear();
    const int total = m_loader->length + 4;
    for (int offset = 0; offset < total;) {
        const int block = qMin(kUploadBlock, total - offset);
        bool written = false;
        try {
            written = writeAll(m_loader->upload + offset, block);
        } catch (const SerialError &) {
            // The port failed or the operator disconnected meanwhile.
        }
        if (!written) {
            m_uploadFailed = true;
            m_panel->messageBox(Panel::MsgKind::Error, LangText(62, QStringLiteral("Aborted by User, Exiting")));
            m_panel->terminateApplication();
            return;
        }
        m_panel->stepProgress(block);
        offset += block;
        QThread::msleep(kBlockPauseMs);
        m_panel->doEvents();
    }
    m_panel->setProgressPos(m_panel->progressMax());
    m_bootStep = PROTOCOL;
    m_panel->SetStatusText(LangText(10, QStringLiteral("upload completed, waiting for acknowledge...")));
    kxtest_init(m_ctx.get());
    QThread::msleep(kLoaderStartMs);
    emit protocolStarted();
}
