#include "platform/serial_port.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSerialPort>

#ifdef Q_OS_WIN
#else
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>
#endif

namespace {
constexpr qint32 kBaud = 115200;   // the flash-loader's line speed
}

SerialPort::SerialPort(QObject *parent)
    : QObject(parent), m_port(new QSerialPort(this))
{
    m_port->setPortName(m_name);
    connect(m_port, &QSerialPort::readyRead, this, &SerialPort::onReadyRead);
    connect(m_port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { onError(int(e)); });
}

SerialPort::~SerialPort() = default;

void SerialPort::setPortName(const QString &name)
{
    // Compared with the name as given: Qt shortens "/dev/ttyS0" to "ttyS0".
    if (name == m_name)
        return;
    m_name = name;
    const bool reopen = m_port->isOpen();
    if (reopen)
        close();
    // A name starting with "/" is a device path; Qt uses such a name as given.
    m_port->setPortName(name);
    if (reopen)
        open();
}

QString SerialPort::portName() const { return m_name; }

bool SerialPort::isOpen() const { return m_port->isOpen(); }

bool SerialPort::open()
{
    if (m_port->isOpen())
        return true;
    m_failure = OpenFailure::None;
    m_errorText.clear();
    // A machine without serial ports offers none to choose.
    if (m_name.isEmpty()) {
        m_failure = OpenFailure::NotFound;
        m_errorText = QStringLiteral("no serial port chosen: connect a serial adapter, or give the port's device path");
        return false;
    }
    m_port->setBaudRate(kBaud);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);

    m_opening = true;
    const bool ok = m_port->open(QIODevice::ReadWrite);
    if (!ok) {
        const auto err = m_port->error();
        const QString path = m_name.startsWith(QLatin1Char('/'))
                                 ? m_name
                                 : QStringLiteral("/dev/") + m_name;
        switch (err) {
        case QSerialPort::DeviceNotFoundError:
            m_failure = OpenFailure::NotFound;
            m_errorText = QStringLiteral("serial port %1 does not exist").arg(m_name);
            break;
        case QSerialPort::PermissionError:
#ifndef Q_OS_WIN
            // Qt's lock file reports a port opened elsewhere as a permission
            // error: when we may open the device ourselves, it is in use.
            if (QFileInfo::exists(path) && ::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0) {
                m_failure = OpenFailure::PermissionDenied;
                m_errorText = QStringLiteral("no permission to open serial port %1").arg(m_name);
                break;
            }
#endif
            m_failure = OpenFailure::InUse;
            m_errorText = QStringLiteral("serial port %1 is in use by another program").arg(m_name);
            break;
        default:
            m_failure = OpenFailure::Other;
            m_errorText = QStringLiteral("cannot open serial port %1: %2").arg(m_name, m_port->errorString());
            break;
        }
        Q_UNUSED(path);
        m_port->clearError();
        m_opening = false;
        return false;
    }
    // DTR is the handshake line and stays on; RTS stays off. A pseudo-terminal
    // has neither: that is a note, the port works without them.
    if (!m_port->setDataTerminalReady(true) || !m_port->setRequestToSend(false)) {
        emit note(QStringLiteral("COM: %1 does not support DTR/RTS (%2)")
                      .arg(m_name, m_port->errorString()));
        m_port->clearError();
    }
    m_opening = false;
    return true;
}

void SerialPort::close()
{
    if (!m_port->isOpen())
        return;
    m_port->clear(QSerialPort::AllDirections);
    m_port->close();
    m_port->clearError();
}

int SerialPort::write(const void *data, int count)
{
    if (!m_port->isOpen())
        throw SerialError("serial port is not open");
    if (count <= 0)
        return 0;
    const int timeoutMs = writeTimeoutMs(count);
#ifdef Q_OS_WIN
    // Qt only queues: wait for the bytes, then drop whatever is still queued so
    // that the count returned is exactly what left.
    const qint64 queuedBefore = m_port->bytesToWrite();
    if (m_port->write(static_cast<const char *>(data), count) != count)
        throw SerialError(m_port->errorString().toStdString());
    m_port->waitForBytesWritten(timeoutMs);
    const qint64 left = m_port->bytesToWrite() - queuedBefore;
    if (left > 0)
        m_port->clear(QSerialPort::Output);
    if (m_port->error() == QSerialPort::WriteError || m_port->error() == QSerialPort::ResourceError)
        throw SerialError(m_port->errorString().toStdString());
    return count - int(qMax<qint64>(left, 0));
#else
    // Write through the native descriptor (non-blocking, as Qt opened it) with
    // our own deadline: what the kernel took has left, nothing else is queued.
    const int fd = int(m_port->handle());
    const auto *p = static_cast<const char *>(data);
    QElapsedTimer clock;
    clock.start();
    int sent = 0;
    while (sent < count) {
        const ssize_t n = ::write(fd, p + sent, size_t(count - sent));
        if (n > 0) {
            sent += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            throw SerialError(std::string("serial write failed: ") + std::strerror(errno));
        const qint64 remaining = timeoutMs - clock.elapsed();
        if (remaining <= 0)
            break;
        pollfd pfd{fd, POLLOUT, 0};
        ::poll(&pfd, 1, int(remaining));
    }
    return sent;
#endif
}

QByteArray SerialPort::read(qint64 max) { return m_port->read(max); }

int SerialPort::read(void *buffer, int max)
{
    const qint64 n = m_port->read(static_cast<char *>(buffer), max);
    return n < 0 ? 0 : int(n);
}

qint64 SerialPort::bytesAvailable() const
{
    return m_port->isOpen() ? m_port->bytesAvailable() : 0;
}

void SerialPort::onReadyRead()
{
    const qint64 n = m_port->bytesAvailable();
    if (n > 0)
        emit rxChar(int(n));
}

unsigned SerialPort::lineErrorBits(int qtError)
{
    // Qt 6 reports no framing, parity, break or overrun errors; what it does
    // report maps onto the I/O and mode bits of the line-error set.
    switch (QSerialPort::SerialPortError(qtError)) {
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
    case QSerialPort::UnknownError:
        return IoError;
    case QSerialPort::UnsupportedOperationError:
        return ModeNotSupported;
    default:
        return 0;
    }
}

void SerialPort::onError(int error)
{
    if (m_opening || error == QSerialPort::NoError)
        return;
    if (error == QSerialPort::UnsupportedOperationError) {
        emit note(QStringLiteral("COM: %1").arg(m_port->errorString()));
        m_port->clearError();
        return;
    }
    const unsigned bits = lineErrorBits(error);
    m_port->clearError();
    if (bits)
        emit lineError(bits);
}
