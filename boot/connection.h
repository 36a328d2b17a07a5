#pragma once
// One connection to a box: the serial port and UDP socket, the link session,
// the loader record, and the boot-detection state between Connect and the
// start of the link protocol. The window and the command line each own one.

#include "boot/loader.h"
#include "link/kxtest.h"
#include "platform/serial_port.h"
#include "platform/udp_socket.h"

#include <QByteArray>
#include <QObject>
#include <memory>

class Panel;

class BoxConnection : public QObject {
    Q_OBJECT
public:
    explicit BoxConnection(Panel *panel, QObject *parent = nullptr);
    ~BoxConnection() override;

    enum class ConnectResult { Connected, PortFailed, BadPcIp, BadBoxIp };

    // Connect when not connected, Disconnect otherwise.
    void Bt_StartStopClick();
    ConnectResult connectBox();
    void disconnectBox();

    bool connected() const { return m_tag != 0; }   // the tag of Bt_StartStop
    int bootStep() const { return m_bootStep; }
    QString modelName() const { return ctx()->io.modelName; }
    // Set when a serial write failed during the loader upload (the program ends).
    bool uploadFailed() const { return m_uploadFailed; }

    kx_context *ctx() const { return m_ctx.get(); }
    LoaderRecord *loader() const { return m_loader.get(); }
    const BoxInfo &boxInfo() const { return m_loader->info; }
    SerialPort &comPort() { return m_com; }
    UdpSocket &udp() { return m_udp; }

    // The serial port's received-bytes event: boot dialogue below step 3, the
    // link protocol's receive path from then on.
    void ComPortRxChar(int count);

signals:
    // Emitted after the loader upload when the link protocol takes over.
    void protocolStarted();

private:
    void echoToLog(const QByteArray &bytes);
    void awaitBanner();
    void sendUploadHeader();
    void uploadLoader();
    bool writeAll(const uint8_t *data, int count);
    void deliverWaitingBytes();

    Panel *m_panel;
    SerialPort m_com;
    UdpSocket m_udp;
    std::unique_ptr<kx_context> m_ctx;
    std::unique_ptr<LoaderRecord> m_loader;
    QByteArray m_received;
    int m_bootStep = 0;
    int m_tag = 0;
    bool m_uploadFailed = false;
    bool m_redeliveryQueued = false;
};
