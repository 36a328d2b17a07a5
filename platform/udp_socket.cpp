#include "platform/udp_socket.h"

#include <QHostInfo>
#include <QUdpSocket>

UdpSocket::UdpSocket(QObject *parent) : QObject(parent), m_socket(new QUdpSocket(this))
{
    connect(m_socket, &QUdpSocket::readyRead, this, &UdpSocket::onReadyRead);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        // A failed send reports its own events in order (sendFailed, then error).
        if (!m_sending)
            emit error(m_socket->errorString());
    });
}

UdpSocket::~UdpSocket() = default;

bool UdpSocket::setBound(bool bound)
{
    m_errorText.clear();
    if (!bound) {
        m_socket->close();
        return true;
    }
    if (isBound())
        m_socket->close();
    bool portOk = false;
    const quint16 port = m_localPort.toUShort(&portOk);
    if (!portOk && !m_localPort.isEmpty()) {
        m_errorText = QStringLiteral("bad local port \"%1\"").arg(m_localPort);
        return false;
    }
    QHostAddress address(QHostAddress::AnyIPv4);
    if (!m_localHost.isEmpty() && !address.setAddress(m_localHost)) {
        m_errorText = QStringLiteral("bad local address \"%1\"").arg(m_localHost);
        return false;
    }
    if (!m_socket->bind(address, port)) {
        m_errorText = QStringLiteral("cannot bind %1:%2: %3")
                          .arg(m_localHost, m_localPort, m_socket->errorString());
        m_socket->close();
        return false;
    }
    return true;
}

bool UdpSocket::isBound() const { return m_socket->state() == QAbstractSocket::BoundState; }

void UdpSocket::sendTo(const QString &host, const QString &port, const void *data, int count)
{
    QString failure;
    bool portOk = false;
    const quint16 portNumber = port.toUShort(&portOk);
    // Every request goes to the same box: parse its address text once.
    if (host != m_lastHost) {
        m_lastHost = host;
        m_lastAddress = QHostAddress();
        m_lastAddress.setAddress(host);
    }
    QHostAddress address = m_lastAddress;
    if (address.isNull()) {
        // A host name: resolved here, blocking, as the send happens within the call.
        const QHostInfo info = QHostInfo::fromName(host);
        for (const QHostAddress &a : info.addresses())
            if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                address = a;
                break;
            }
        if (address.isNull())
            failure = QStringLiteral("cannot resolve host \"%1\"").arg(host);
    }
    if (failure.isEmpty() && !portOk)
        failure = QStringLiteral("bad port \"%1\"").arg(port);
    if (failure.isEmpty()) {
        m_sending = true;
        const qint64 sent = m_socket->writeDatagram(static_cast<const char *>(data), count, address, portNumber);
        m_sending = false;
        if (sent == count)
            return;
        failure = QStringLiteral("sending %1 bytes to %2:%3 failed: %4")
                      .arg(count).arg(host, port, m_socket->errorString());
    }
    emit sendFailed();
    emit error(failure);
    throw SocketError(failure.toStdString());
}

bool UdpSocket::hasPendingDatagram() const
{
    return m_socket->state() == QAbstractSocket::BoundState && m_socket->hasPendingDatagrams();
}

qint64 UdpSocket::pendingDatagramSize() const
{
    return hasPendingDatagram() ? m_socket->pendingDatagramSize() : -1;
}

int UdpSocket::readDatagram(void *buffer, int max, QHostAddress *sender)
{
    if (!hasPendingDatagram())
        return -1;
    ++m_reads;
    const qint64 size = m_socket->pendingDatagramSize();
    const qint64 n = m_socket->readDatagram(static_cast<char *>(buffer), max, sender);
    if (size > max)
        emit error(QStringLiteral("datagram of %1 bytes cut to %2").arg(size).arg(max));
    return n < 0 ? -1 : int(n);
}

void UdpSocket::onReadyRead()
{
    // One readyRead can stand for several datagrams: one event per datagram.
    // A handler that does not read would make this loop forever, so stop then.
    while (hasPendingDatagram()) {
        const quint64 readsBefore = m_reads;
        emit dataAvailable();
        if (m_reads == readsBefore)
            break;
    }
}
