#pragma once
// The serial line to the box: our own small class over QSerialPort with the
// settings the box needs (115200 8N1, DTR on, RTS off, no flow control) and a
// write that reports exactly the bytes that left the PC.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <stdexcept>

class QSerialPort;

// Raised by write() when the port fails or was closed.
class SerialError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SerialPort : public QObject {
    Q_OBJECT
public:
    // Line-error bits, in the order of the box protocol's error table.
    enum LineError : unsigned {
        Framing = 1u << 0, Parity = 1u << 1, Overrun = 1u << 2, Break = 1u << 3,
        IoError = 1u << 4, ModeNotSupported = 1u << 5, InputOverflow = 1u << 6,
        OutputFull = 1u << 7,
    };
    // Why open() failed, so the operator can be told what to do.
    enum class OpenFailure { None, NotFound, InUse, PermissionDenied, Other };

    explicit SerialPort(QObject *parent = nullptr);
    ~SerialPort() override;

    // A name such as "ttyS0" or "COM1", or a full device path starting with "/".
    // When the port is open under another name it is closed and reopened.
    void setPortName(const QString &name);
    QString portName() const;

    // Opens with the box's settings; does nothing when already open.
    // Returns false on failure; failure() and errorText() say why.
    bool open();
    bool isOpen() const;
    OpenFailure failure() const { return m_failure; }
    QString errorText() const { return m_errorText; }

    // Abort pending transfers, purge input and output, close.
    void close();

    // Blocking write with the port's write time-out (10 ms + 1 ms per byte).
    // Returns the number of bytes that left; nothing stays queued behind it.
    // Throws SerialError when the port is closed or fails.
    int write(const void *data, int count);
    int writeText(const QByteArray &bytes) { return write(bytes.constData(), bytes.size()); }

    // Reads up to `max` bytes of what has arrived; returns at once.
    QByteArray read(qint64 max);
    int read(void *buffer, int max);
    qint64 bytesAvailable() const;

    static int writeTimeoutMs(int count) { return 10 + count; }
    // The line-error bits for an error that Qt reports (QSerialPort::SerialPortError).
    static unsigned lineErrorBits(int qtError);

signals:
    // Bytes arrived; `count` is the number waiting.
    void rxChar(int count);
    // Line errors as a set of LineError bits.
    void lineError(unsigned errors);
    // A note for the protocol log (DTR/RTS refused on a pseudo-terminal and the like).
    void note(const QString &text);

private:
    void onReadyRead();
    void onError(int error);

    QSerialPort *m_port;
    QString m_name = QStringLiteral("COM1");
    OpenFailure m_failure = OpenFailure::None;
    bool m_opening = false;   // errors while opening are reported by open() itself
    QString m_errorText;
};
