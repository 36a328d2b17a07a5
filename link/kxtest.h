#pragma once
// The link engine: frames, the session record, the receive rings, the frame
// assembler and dispatcher, the request engine, the command builders and the
// attach sequence. Every routine takes the session record it works on.

#include <QString>
#include <cstdint>
#include <vector>

class Panel;
class SerialPort;
class UdpSocket;

// --- frame layout and opcodes ------------------------------------------------
enum : int {
    KX_FRAME_MAX = 2048,        // longest frame a receiver accepts
    KX_RXBUF_SIZE = 2049,       // assembly buffer and UDP slot size
    KX_UDP_SLOTS = 10,          // UDP ring: 9 unread datagrams at most
    KX_SER_RING_SIZE = 20481,   // serial ring: 20480 unread bytes at most
    KX_PORT = 19288,            // UDP port of both sides
    KX_MAX_TRANSMISSIONS = 7,   // one request is sent at most this often
    KX_SMALL_FRAME = 256,       // buffer for every fixed-size request
};

enum : uint8_t {
    KX_OP_DISCOVER = 0, KX_OP_ATTACH = 1, KX_OP_DETACH = 2, KX_OP_ACK = 3,
    KX_OP_NOP = 4, KX_OP_UPLOAD = 5, KX_OP_DOWNLOAD = 6, KX_OP_CALCCRC32 = 7,
    KX_OP_FLASHERASE = 8, KX_OP_FLASHCOPY = 9, KX_OP_FLASHLOCK = 10,
    KX_OP_PROGRESS = 14,
};

// The answer of a box to the server's NOP, and the server's to the box's.
constexpr int32_t KX_NOP_ANSWER = 31337;

// What the engine is wired to: not part of the protocol state, so zeroing the
// record (Connect) keeps it.
struct kx_io {
    Panel *panel = nullptr;
    SerialPort *serial = nullptr;
    UdpSocket *udp = nullptr;
    // The recognised model name ("KX210", ...); the attach sequence reads it.
    QString modelName;
};

// The link session record. Field order and starting values as kxtest_init sets them.
struct kx_context {
    uint8_t box_ip[4];
    uint8_t server_ip[4];
    int32_t transport;          // 0 serial, anything else UDP
    int32_t baud;
    int32_t rx_pos;
    uint8_t rx_buf[KX_RXBUF_SIZE];
    int64_t rx_start;           // ms, steady clock
    uint8_t use_net;
    uint8_t hwaddr[6];
    uint8_t seq_out;
    uint8_t seq_in;
    uint8_t seq_acked;
    int32_t link_state;         // -1 stopped, 0 not attached, 1 attached
    int32_t result;
    int32_t dl_base;
    std::vector<uint8_t> dl_buffer;
    int32_t dl_size;
    int64_t last_activity;      // ms, steady clock
    int32_t retries;
    int32_t reply_timeout;      // whole seconds
    int32_t busy;
    int32_t auto_attach;
    int32_t net_ready;
    uint8_t yield_1ms;
    uint8_t udp_slot[KX_UDP_SLOTS][KX_RXBUF_SIZE];
    int32_t udp_len[KX_UDP_SLOTS];
    int32_t udp_head;
    int32_t udp_tail;
    uint8_t udp_pending;
    uint8_t ser_ring[KX_SER_RING_SIZE];
    int32_t ser_head;
    int32_t ser_tail;
    uint8_t ser_pending;

    kx_io io;
};

// --- time -------------------------------------------------------------------
int64_t kxtest_now_ms();   // steady clock, milliseconds

// --- frame (checksum, byte extraction) ---------------------------------------
uint8_t kxtest_checksum(const uint8_t *frame);
uint8_t kxtest_byte(int32_t value, int n);
int32_t kxtest_get32(const uint8_t *p);   // big-endian signed 32-bit
int kxtest_length(const uint8_t *frame);  // the length field

// --- session and transports ---------------------------------------------------
// Every protocol field to zero (Connect); the wiring in `io` is kept.
void kxtest_zero(kx_context *ctx);
void kxtest_init(kx_context *ctx);
bool kxtest_take_byte(kx_context *ctx, uint8_t *out);
bool kxtest_take_datagram(kx_context *ctx, uint8_t *out, int *len = nullptr);
void kxtest_flush(kx_context *ctx);
// Serial received-bytes: moves `count` bytes from the port into the serial ring.
void ser_readin(kx_context *ctx, int count);
// UDP data-available: one datagram from the socket into the UDP ring.
void udpfdDataAvailable(kx_context *ctx);
void udpfdError(kx_context *ctx);
void udpfdSendFailed(kx_context *ctx);
void ComPortError(kx_context *ctx, unsigned errors);
// transport: 0 serial, 1 UDP, -1 the one named by ctx->transport.
void kxtest_send_packet(kx_context *ctx, const uint8_t *frame, int transport);

// --- receiver and dispatcher ------------------------------------------------
int kxtest_rx_byte(kx_context *ctx, uint8_t byte);
void kxtest_rx_frame(kx_context *ctx, uint8_t *frame, int size, int marker);
void kxtest_dispatch(kx_context *ctx, uint8_t *frame, int size, int marker);
void kxtest_touch(kx_context *ctx);
int32_t kxtest_process_nop(kx_context *ctx);
int32_t kxtest_process_upload(kx_context *ctx, const uint8_t *frame, int marker);
int32_t kxtest_process_progress(kx_context *ctx, const uint8_t *frame);
// The serial receive path once the protocol runs: ser_readin, then assemble.
void kxtest_serial_receive(kx_context *ctx, int count);

// --- request engine ----------------------------------------------------------
int32_t kxtest_request(kx_context *ctx, uint8_t *frame, int size, int transport);
int kxtest_wait_ack(kx_context *ctx);
void kxtest_poll(kx_context *ctx);

// --- command builders (return the frame length) -------------------------------
int kxtest_build_attach(kx_context *ctx, uint8_t *frame, int size);
int kxtest_build_ack(kx_context *ctx, uint8_t *frame, int size, uint8_t seq, int32_t value);
int kxtest_build_nop(kx_context *ctx, uint8_t *frame, int size);
int kxtest_build_upload(kx_context *ctx, uint8_t *frame, int size, int32_t address,
                        const uint8_t *data, int32_t count);
int kxtest_build_download(kx_context *ctx, uint8_t *frame, int size, int32_t address, int32_t length);
int kxtest_build_calccrc32(kx_context *ctx, uint8_t *frame, int size, int32_t address, int32_t length);
int kxtest_build_flasherase(kx_context *ctx, uint8_t *frame, int size, int32_t address, int32_t length);
int kxtest_build_flashcopy(kx_context *ctx, uint8_t *frame, int size, int32_t flash_address,
                           int32_t ram_address, int32_t length);
int kxtest_build_flashlock(kx_context *ctx, uint8_t *frame, int size, uint8_t mode,
                           int32_t address, int32_t count);

// --- discovery and attach -----------------------------------------------------
int32_t kxtest_process_discover(kx_context *ctx, const uint8_t *frame);
int kxtest_attach(kx_context *ctx);
int kxtest_setup_addresses(kx_context *ctx);
int kxtest_parse_ip(const QString &text, uint8_t out[4]);
