#pragma once
// The UDP socket to the box: our own small class over QUdpSocket. Bound on
// demand to the PC's address and port 19288; one data-available event per
// datagram, with the sender's address.

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <stdexcept>

class QUdpSocket;

// Raised by sendTo() when the datagram cannot be sent.
class SocketError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class UdpSocket : public QObject {
    Q_OBJECT
public:
    explicit UdpSocket(QObject *parent = nullptr);
    ~UdpSocket() override;

    void setLocalHost(const QString &host) { m_localHost = host; }
    void setLocalPort(const QString &port) { m_localPort = port; }
    QString localHost() const { return m_localHost; }
    QString localPort() const { return m_localPort; }

    // Bound := true binds to LocalHost:LocalPort (returns false and sets
    // errorText() on failure); Bound := false releases the socket.
    bool setBound(bool bound);
    bool isBound() const;
    QString errorText() const { return m_errorText; }

    // Sends one datagram to host text + port text at once. On failure emits
    // sendFailed() and error(), then throws SocketError.
    void sendTo(const QString &host, const QString &port, const void *data, int count);

    bool hasPendingDatagram() const;
    // Size of the next datagram, -1 when none.
    qint64 pendingDatagramSize() const;
    // Reads the next datagram into `buffer` (at most `max` bytes; a longer one is
    // cut). Returns the bytes stored, -1 when none; `sender` gets its address.
    int readDatagram(void *buffer, int max, QHostAddress *sender);

signals:
    // One signal per waiting datagram.
    void dataAvailable();
    void error(const QString &text);
    void sendFailed();

private:
    void onReadyRead();

    QUdpSocket *m_socket = nullptr;
    QString m_localHost;
    QString m_localPort;
    QString m_errorText;
    bool m_sending = false;   // inside writeDatagram: its error is reported by sendTo
    quint64 m_reads = 0;
    QString m_lastHost;          // the host text of the last send and its parsed address
    QHostAddress m_lastAddress;      // datagrams read, to spot a handler that reads none
};
