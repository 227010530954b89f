// Buffered, non-blocking serial ports.
//
// Each port is one of fifteen fixed COM records. com_open opens the host port (a
// terminal device, through termios), allocates a 32768-byte receive ring and transmit
// ring, and starts two numbered tasks for record n: the receive pump (task 2n+24) moves
// bytes from the device into the receive ring, the transmit pump (task 2n+25) moves bytes
// from the transmit ring to the device. The application only touches the rings, so it
// never blocks on the device. Task numbers end at 31, so only records 1 to 3 can be
// opened.
//
// Threads. The rings are single-producer, single-consumer: only the receive pump writes
// rx1 and only the reader writes rx0; only the writer of bytes writes tx1 and only the
// transmit pump writes tx0. Indices and flags that the threads share are atomics; the
// ring bytes are published by the release store of the index that follows them.
//
// Waiting. The pumps wait on events, not fixed sleeps: the receive pump blocks in poll()
// on the device and moves bytes as soon as they arrive; the transmit pump blocks on an
// eventfd (ow) that com_txsl signals, and on the device while it refuses more bytes.
// Enabling and closing the record signal both pumps' events.
//
// Stopping. Each poll() wait of a pump is followed by task_stop_point(): those are the
// pumps' stop points. A wait lasts at most 1 ms while the record is closed or disabled,
// and at most 4 ms while it is open and idle. com_close marks the record closed and
// wakes both pumps before it removes them (remove_task), so each is stopped and joined
// within about a millisecond; only then are the device closed and the buffers freed.
//
// A device that vanishes (unplugged: hang-up, EIO, end of file) is counted in errors
// and waited for 4 ms per failure, so it costs no more than an idle port.
//
// Names. A record's NameCom ("COMn", or a path beginning with "/") is turned into a
// device path at open by port_device_path() (platform/port_names.h).
#pragma once

#include <termios.h>

#include <atomic>
#include <cstdint>

struct COM;

using com_hook = void (*)(COM*);
// Per-byte receive hook: called by the receive pump for each byte instead of the ring.
using com_protocol_hook = void (*)(COM*, uint8_t);

inline constexpr int COM_RECORDS = 15;
inline constexpr uint16_t COM_RING_SIZE = 32768;
// Size of the staging buffers: one host read, one host write (of at most 2047 bytes).
inline constexpr uint16_t COM_STAGE_SIZE = 2048;

// Read timeouts as applied at open: VMIN 0 and VTIME 0 make a read return at once with
// what is waiting; the receive pump waits for data in poll() for at most poll_ms at a
// time.
struct COM_TIMEOUTS {
    cc_t vmin = 0;
    cc_t vtime = 0;
    int poll_ms = 0;
};

struct COM {
    std::atomic<uint8_t> open{0};  // 0 when closed, else the record's number 1..15
    uint8_t mode = 0;              // receive mode; 0: raw bytes into the receive ring
    int32_t baud = 0;              // baud rate given to com_open
    com_hook subrx = nullptr;      // receive and transmit hooks: cleared, never called
    com_hook subtx = nullptr;
    std::atomic<uint16_t> rx0{0};  // receive ring read index
    std::atomic<uint16_t> rx1{0};  // receive ring write index
    std::atomic<uint16_t> tx0{0};  // transmit ring read index
    std::atomic<uint16_t> tx1{0};  // transmit ring write index
    uint8_t* rxbuff = nullptr;     // receive ring
    uint8_t* txbuff = nullptr;     // transmit ring
    uint8_t* rbuff = nullptr;      // receive staging buffer (one host read)
    std::atomic<uint16_t> rbufn{0};  // bytes of the last host read not yet moved on
    std::atomic<uint16_t> rbufp{0};  // read position in rbuff
    std::atomic<uint16_t> rx_sleep{0};
    int orx = -1;                  // eventfd that wakes the receive pump (enable, close)
    uint8_t* tbuff = nullptr;      // transmit staging buffer (one host write)
    std::atomic<uint16_t> tbufn{0};  // bytes in tbuff not yet accepted by the device
    std::atomic<uint16_t> tbufp{0};  // write position in tbuff
    std::atomic<uint16_t> tx_sleep{0};
    int ow = -1;                   // eventfd that wakes the transmit pump (bytes queued)
    std::atomic<uint8_t> rxstatus{0};  // receive frame state
    std::atomic<uint8_t> txstatus{0};  // transmit status, 1 after com_enable
    std::atomic<uint8_t> rxchk{0};
    std::atomic<uint8_t> txchk{0};     // 8-bit sum of every byte queued for sending
    std::atomic<uint16_t> rxsize{0};   // ring sizes, COM_RING_SIZE while open
    std::atomic<uint16_t> txsize{0};
    uint8_t centr = 0;
    uint8_t perif = 0;
    uint8_t echo = 0;
    std::atomic<uint8_t> txrun{0};    // 1 once a transmission was started; 0 after close
    std::atomic<uint8_t> enabled{0};  // 1 while the pumps may move data
    uint8_t parity = 0;               // 0 none, 1 even, 2 odd, 3 mark, 4 space
    uint8_t stops = 0;                // 0 one stop bit, else two
    std::atomic<uint32_t> errors{0};  // host read and write failures since open
    char NameCom[16] = {};            // port name, at most 15 characters
    std::atomic<com_protocol_hook> protocol{nullptr};
    int hCom = -1;                    // the open device, -1 when closed
    int open_errno = 0;               // why com_open last failed to open the port (see there)
    COM_TIMEOUTS ctmoNew{};           // read timeouts set at open
    termios ctmoOld{};                // the device's settings found at open, restored at close
    termios dcb{};                    // line settings applied at open

    // Bookkeeping that keeps the threads apart:
    std::atomic<int> users{0};         // com_txsl and com_rx calls inside the buffers
    std::atomic<uint8_t> rxactive{0};  // 1 while the receive pump moves data
    std::atomic<uint8_t> txactive{0};  // 1 while the transmit pump moves data
};

extern COM com1, com2, com3, com4, com5, com6, com7, com8, com9, com10, com11, com12, com13,
    com14, com15;
// Record number to record; entry 0 is null.
extern COM* const Com[COM_RECORDS + 1];

// Non-zero: com_open opens no host port, and the pumps then move nothing. This program
// never sets it.
extern int COM_REMOTE;

// Names the record's port (at most 15 characters are kept). -1 if the record is open.
int assign_com(COM* com, const char* name);
// Opens the named port at baud (8 data bits, parity and stops from the record, no flow
// control, DTR and RTS raised), exclusively, and starts the pumps. 0, or -1 when the
// record is not one of the fifteen, is already open, the port cannot be opened or held
// exclusively, the baud rate is not a standard one, or the pumps cannot be started
// (records 4 to 15); on failure the record is left closed. Each call that gets as far as
// the port sets open_errno: 0 when it opened, else the errno of the step that failed, e.g.
// EACCES (no permission), EWOULDBLOCK (locked by another opener), EBUSY (a terminal held
// exclusively by another opener), ENOENT (no such path, or a dangling link), ENODEV (the
// name resolves to no device), EINVAL (the baud rate).
int com_open(COM* com, int baud);
// Stops and joins the pumps, discards both host queues, restores the port's settings,
// releases and closes it, then frees the buffers and clears the indices. -1 for a null
// or closed record.
int com_close(COM* com);
// Let the pumps move data (enable also sets txstatus to 1) or stop them. -1 unless the
// record's open value is 1 to 4.
int com_enable(COM* com);
int com_disable(COM* com);
// Disables the record and resets it to receive mode `mode`: hooks, ring indices, status,
// sums and the pending receive bytes are cleared. When it returns the pumps move nothing
// until com_enable or the next start of a transmission. -1 when the record cannot be
// disabled.
int protocol_mode(COM* com, uint8_t mode);

// 1 when the receive ring is empty. com_rx: next byte 0..255, or -1 when empty.
int com_rx_empty(COM* com);
int com_rx(COM* com);
// Waits until the receive ring holds `need` bytes (1 to COM_RING_SIZE - 1; clamped), the
// record is closed, the calling task is asked to stop or timeout_ms (real time) have
// passed, then passes the calling task's stop point. 1 when the record is open and the
// ring holds `need` bytes, else 0; a closed record returns 0 at once. The receive pump
// wakes the waiter once the ring holds what it needs, not for every chunk before, so a
// reader of a long answer wakes about once for it. One reader per record.
int com_rx_wait_for(COM* com, int need, int timeout_ms);
// com_rx_wait_for(com, 1, timeout_ms): 1 when the ring is not empty.
int com_rx_wait(COM* com, int timeout_ms);
// Transmit ring tests; com_tx_size is the number of bytes waiting.
int com_tx_empty(COM* com);
int com_tx_full(COM* com);
int com_tx_size(COM* com);
// Queues n bytes in order; -1 if the record is not open, else 0. Waits while the
// transmit ring is full (a stop point of a calling task); when the record is closed
// meanwhile, the remaining bytes are dropped and the call still returns 0.
int com_txsl(COM* com, const uint8_t* bytes, int n);
// Starts the transmission unless it runs: txrun = 1 when bytes are waiting, and the
// record is enabled in any case.
void com_tx_start(COM* com);
