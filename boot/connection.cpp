// Placeholder so the front ends link while Connect, Disconnect and the boot
// dialogue are being written.
#include "boot/connection.h"

BoxConnection::BoxConnection(Panel *panel, QObject *parent)
    : QObject(parent), m_panel(panel), m_ctx(std::make_unique<kx_context>()),
      m_loader(std::make_unique<LoaderRecord>())
{
    m_ctx->io.panel = panel;
    m_ctx->io.serial = &m_com;
    m_ctx->io.udp = &m_udp;
}

BoxConnection::~BoxConnection() = default;
void BoxConnection::Bt_StartStopClick() {}
BoxConnection::ConnectResult BoxConnection::connectBox() { return ConnectResult::PortFailed; }
void BoxConnection::disconnectBox() {}
void BoxConnection::ComPortRxChar(int) {}
void BoxConnection::bootReceive(int) {}
