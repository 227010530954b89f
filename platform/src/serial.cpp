#include "platform/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/memory_port.h"
#include "platform/port_names.h"
#include "platform/tasks.h"

COM com1, com2, com3, com4, com5, com6, com7, com8, com9, com10, com11, com12, com13, com14,
    com15;
COM* const Com[COM_RECORDS + 1] = {nullptr, &com1,  &com2,  &com3,  &com4,  &com5,
                                   &com6,   &com7,  &com8,  &com9,  &com10, &com11,
                                   &com12,  &com13, &com14, &com15};
int COM_REMOTE = 0;

namespace {

constexpr int PUMP_PRIORITY = 15;
// Wait of a pump whose record is closed or disabled. com_close marks the record closed
// and wakes both pumps before it removes them, so they reach a stop point within this.
constexpr int PUMP_WAIT_MS = 1;
// Longest wait of a pump of an open, enabled record with nothing to do. Data, queued
// bytes, enabling and closing end it at once; it only bounds how late a stop request
// from elsewhere (none is made: com_close wakes the pumps first) is seen, and the retries
// of a failing port. An idle connected port costs 40 wake-ups a second.
constexpr int PUMP_IDLE_WAIT_MS = 50;
// A disabled transmit pump looks again after this many waits unless it is woken.
constexpr int TX_IDLE_WAITS = 10;

// Memory ports attached to the records, by record number (platform/memory_port.h).
std::atomic<MemoryPort*> memory_ports[COM_RECORDS + 1];
// The memory port of an open record, or null.
MemoryPort* memory_of(const COM* com) { return memory_ports[com->open.load()].load(); }

int rx_task(int n) { return 2 * n + 24; }
int tx_task(int n) { return 2 * n + 25; }

int record_number(const COM* com) {
    for (int n = 1; n <= COM_RECORDS; n++)
        if (Com[n] == com) return n;
    return 0;
}

uint16_t ring_next(uint16_t i, uint16_t size) { return uint16_t((i + 1u) % size); }
uint16_t ring_used(uint16_t r, uint16_t w, uint16_t size) {
    return uint16_t((uint32_t(w) + size - r) % size);
}

// The reader waiting in com_rx_wait_for, per record (the ring has one reader). It
// publishes how many bytes it needs in `need` (0: nobody waits) and sleeps on the futex
// word `signal`; the receive pump bumps `signal` and wakes it only once the ring holds
// that many, so a reader of a long answer sleeps through the chunks it arrives in. A close
// bumps it too; a stop request wakes it through task_wait_word.
struct RxWaiter {
    std::atomic<int> need{0};
    std::atomic<int> signal{0};
};
RxWaiter rx_waiters[COM_RECORDS + 1];

void rx_signal(RxWaiter& w) {
    w.signal.fetch_add(1);
    task_wake_word(w.signal);
}

int rx_used(const COM* com) {
    const uint16_t size = com->rxsize.load();
    return size ? ring_used(com->rx0.load(), com->rx1.load(), size) : 0;
}

// Called by the receive pump after it published bytes in the ring with a sequentially
// consistent store of rx1, which orders it before the load of `need`; the waiter stores
// `need` before its look at the ring, so one of the two sees the other. The waiter loaded
// `signal` before it stored `need`, so a bump after that ends its sleep at once. Taking
// `need` back to 0 makes the pump signal once per wait, not once per chunk after it.
void rx_notify(const COM* com) {
    RxWaiter& w = rx_waiters[record_number(com)];
    int need = w.need.load();
    if (need == 0 || rx_used(com) < need) return;
    if (w.need.compare_exchange_strong(need, 0)) rx_signal(w);
}

void wake(int event_fd) {
    if (event_fd < 0) return;
    const uint64_t one = 1;
    ssize_t r = write(event_fd, &one, sizeof one);
    (void)r;  // a full counter means a wake-up is already pending
}

// Waits up to ms for fd to report events or for the eventfd wake_fd to be signalled,
// then passes the calling pump's stop point. Returns the events reported for fd (none
// when fd is -1); a wake-up of the eventfd is consumed.
short pump_wait(int fd, short events, int wake_fd, int ms) {
    pollfd p[2] = {{fd, events, 0}, {wake_fd, POLLIN, 0}};
    int r = poll(p, 2, ms);
    if (r > 0 && (p[1].revents & POLLIN)) {
        uint64_t count;
        ssize_t got = read(wake_fd, &count, sizeof count);
        (void)got;
    }
    task_stop_point();
    return r > 0 ? p[0].revents : 0;
}

// A pause of ms that only the wake-up event shortens.
void pump_idle(int wake_fd, int ms) { pump_wait(-1, 0, wake_fd, ms); }

// A host failure: counted, treated as no bytes, and followed by a pause so that a device
// that fails at once every time (unplugged) does not keep the pump busy.
void pump_error(COM* com, int wake_fd) {
    com->errors.fetch_add(1);
    pump_idle(wake_fd, PUMP_IDLE_WAIT_MS);
}

// Holds a record's buffers, device and wake-up events for a caller outside the pumps;
// com_close closes and frees them only after every holder has left. False when the
// record is closed.
class BufferHold {
public:
    explicit BufferHold(COM* com) : com_(com) {
        com_->users.fetch_add(1);
        held_ = com_->open.load() != 0;
    }
    ~BufferHold() { com_->users.fetch_sub(1); }
    BufferHold(const BufferHold&) = delete;
    BufferHold& operator=(const BufferHold&) = delete;
    explicit operator bool() const { return held_; }

private:
    COM* com_;
    bool held_;
};

// Marks a pump as moving data for the length of one pass; false (and nothing is marked)
// when the record is disabled, so that once protocol_mode has seen both marks clear no
// pump touches the rings until the record is enabled again.
class PumpPass {
public:
    explicit PumpPass(std::atomic<uint8_t>& active, const COM* com) : active_(active) {
        active_.store(1);
        ok_ = com->enabled.load() != 0;
        if (!ok_) active_.store(0);
    }
    ~PumpPass() {
        if (ok_) active_.store(0);
    }
    PumpPass(const PumpPass&) = delete;
    PumpPass& operator=(const PumpPass&) = delete;
    explicit operator bool() const { return ok_; }

private:
    std::atomic<uint8_t>& active_;
    bool ok_;
};

bool pump_may_run(const COM* com) {
    return com->open.load() != 0 && com->enabled.load() != 0 && com->hCom >= 0;
}

// Moves pending bytes of rbuff to the protocol hook or into the receive ring, as many as
// the ring has room for; the rest stays pending.
void rx_move(COM* com) {
    uint16_t pending = com->rbufn.load();
    uint16_t pos = com->rbufp.load();
    const uint16_t size = com->rxsize.load();
    if (com_protocol_hook hook = com->protocol.load()) {
        for (; pending > 0; pending--) hook(com, com->rbuff[pos++]);
    } else {
        uint16_t w = com->rx1.load(std::memory_order_relaxed);
        const uint16_t r = com->rx0.load(std::memory_order_acquire);
        uint16_t room = uint16_t(size - 1 - ring_used(r, w, size));
        for (; pending > 0 && room > 0; pending--, room--) {
            com->rxbuff[w] = com->rbuff[pos++];
            w = ring_next(w, size);
        }
        const bool stored = w != com->rx1.load(std::memory_order_relaxed);
        com->rx1.store(w, std::memory_order_seq_cst);
        if (stored) rx_notify(com);
    }
    com->rbufp.store(pending ? pos : 0);
    com->rbufn.store(pending);
}

// Moves a memory port's pending answer into the receive ring, as far as it has room.
void memory_fill(COM* com, MemoryPort& port) {
    const uint16_t size = com->rxsize.load();
    uint16_t w = com->rx1.load(std::memory_order_relaxed);
    const uint16_t r = com->rx0.load(std::memory_order_acquire);
    for (uint16_t room = uint16_t(size - 1 - ring_used(r, w, size)); room > 0 && !port.pending.empty(); room--) {
        com->rxbuff[w] = port.pending.front();
        port.pending.pop_front();
        w = ring_next(w, size);
    }
    com->rx1.store(w, std::memory_order_release);
}

// Receive pump of record n (task 2n+24).
void rx_pump() {
    COM* com = Com[(thread__num - 24) / 2];
    for (;;) {
        task_stop_point();
        if (!pump_may_run(com)) {
            pump_idle(com->orx, PUMP_WAIT_MS);
            continue;
        }
        if (com->rbufn.load() == 0) {
            const short ev = pump_wait(com->hCom, POLLIN, com->orx, PUMP_IDLE_WAIT_MS);
            if (ev == 0) continue;
            PumpPass pass(com->rxactive, com);
            if (!pass) continue;
            ssize_t got = 0;
            if (ev & POLLIN) got = read(com->hCom, com->rbuff, COM_STAGE_SIZE);
            if (got > 0) {
                com->rbufp.store(0);
                com->rbufn.store(uint16_t(got));
            } else if (got < 0 && (errno == EAGAIN || errno == EINTR) &&
                       !(ev & (POLLHUP | POLLERR | POLLNVAL))) {
                continue;
            } else {
                // Hang-up, error, or end of file: the device is gone or failing.
                pump_error(com, com->orx);
                continue;
            }
        }
        {
            PumpPass pass(com->rxactive, com);
            if (!pass) continue;
            rx_move(com);
        }
        // Bytes left pending: the ring is full; the reader makes room meanwhile.
        if (com->rbufn.load() > 0) pump_idle(com->orx, PUMP_WAIT_MS);
    }
}

// Takes up to COM_STAGE_SIZE - 1 waiting bytes from the transmit ring into tbuff.
// False when the ring is empty.
bool tx_stage(COM* com) {
    const uint16_t size = com->txsize.load();
    uint16_t r = com->tx0.load(std::memory_order_relaxed);
    const uint16_t w = com->tx1.load(std::memory_order_acquire);
    uint16_t take = ring_used(r, w, size);
    if (take == 0) return false;
    if (take > COM_STAGE_SIZE - 1) take = COM_STAGE_SIZE - 1;
    for (uint16_t i = 0; i < take; i++) {
        com->tbuff[i] = com->txbuff[r];
        r = ring_next(r, size);
    }
    com->tx0.store(r, std::memory_order_release);
    com->tbufp.store(0);
    com->tbufn.store(take);
    return true;
}

// Transmit pump of record n (task 2n+25).
void tx_pump() {
    COM* com = Com[(thread__num - 25) / 2];
    for (;;) {
        task_stop_point();
        if (!pump_may_run(com)) {
            for (int i = 0; i < TX_IDLE_WAITS && !pump_may_run(com); i++)
                pump_idle(com->ow, PUMP_WAIT_MS);
            continue;
        }
        if (com->tbufn.load() == 0) {
            bool staged;
            {
                PumpPass pass(com->txactive, com);
                if (!pass) continue;
                staged = tx_stage(com);
            }
            if (!staged) {
                pump_idle(com->ow, PUMP_IDLE_WAIT_MS);
                continue;
            }
        }
        bool failed = false;
        {
            PumpPass pass(com->txactive, com);
            if (!pass) continue;
            const uint16_t pos = com->tbufp.load();
            const uint16_t left = com->tbufn.load();
            const ssize_t put = write(com->hCom, com->tbuff + pos, left);
            if (put > 0) {
                com->tbufp.store(uint16_t(pos + put));
                com->tbufn.store(uint16_t(left - put));
            } else if (!(put < 0 && (errno == EAGAIN || errno == EINTR))) {
                // The device refuses the bytes: they are dropped, as a failed write
                // cannot be retried into a vanished device.
                com->tbufp.store(0);
                com->tbufn.store(0);
                failed = true;
            }
        }
        if (failed)
            pump_error(com, com->ow);
        else if (com->tbufn.load() > 0)
            pump_wait(com->hCom, POLLOUT, com->ow, PUMP_IDLE_WAIT_MS);
    }
}

}  // namespace

namespace {

speed_t baud_speed(int baud) {
    static constexpr struct {
        int baud;
        speed_t speed;
    } rates[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const auto& r : rates)
        if (r.baud == baud) return r.speed;
    return B0;
}

// Raw 8-bit line settings from the record: parity, stop bits, no flow control, reads that
// return at once with what is waiting.
termios line_settings(const termios& found, speed_t speed, uint8_t parity, uint8_t stops) {
    termios t = found;
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                           IXOFF | IXANY | INPCK | IUCLC | IMAXBEL);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    switch (parity) {
        case 1: t.c_cflag |= PARENB; break;                    // even
        case 2: t.c_cflag |= PARENB | PARODD; break;           // odd
        case 3: t.c_cflag |= PARENB | PARODD | CMSPAR; break;  // mark
        case 4: t.c_cflag |= PARENB | CMSPAR; break;           // space
        default: break;
    }
    if (stops) t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return t;
}

void close_fd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// errno of a call that failed, never 0 (0 means success to open_host's caller).
int failure() { return errno != 0 ? errno : EIO; }

// Opens the record's port with its line settings and the two wake-up events: 0, or the
// errno of the step that failed.
int open_host(COM* com, int n) {
    if (!com->NameCom[0]) std::snprintf(com->NameCom, sizeof com->NameCom, "COM%d", n);
    com->NameCom[sizeof com->NameCom - 1] = 0;
    if (!COM_REMOTE) {
        const speed_t speed = baud_speed(com->baud);
        if (speed == B0) return EINVAL;
        const std::string path = port_device_path(com->NameCom);
        if (path.empty()) return ENODEV;
        int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return failure();
        termios found{};
        // Not a terminal, or held by another opener: the lock comes before TIOCEXCL so
        // that a failed open does not change the holder's terminal.
        if (tcgetattr(fd, &found) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 ||
            ioctl(fd, TIOCEXCL) != 0) {
            const int err = failure();
            close(fd);
            return err;
        }
        const termios t = line_settings(found, speed, com->parity, com->stops);
        if (tcsetattr(fd, TCSANOW, &t) != 0) {
            const int err = failure();
            ioctl(fd, TIOCNXCL);
            close(fd);
            return err;
        }
        // A pseudo-terminal has no modem lines and may refuse this.
        int lines = TIOCM_DTR | TIOCM_RTS;
        ioctl(fd, TIOCMBIS, &lines);
        com->ctmoOld = found;
        com->dcb = t;
        com->ctmoNew = COM_TIMEOUTS{0, 0, PUMP_IDLE_WAIT_MS};
        com->hCom = fd;
    }
    com->orx = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (com->orx < 0) return failure();
    com->ow = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return com->ow < 0 ? failure() : 0;
}

// Discards both queues, restores the settings found at open, gives up the port and
// closes it and the wake-up events.
void close_host(COM* com) {
    if (com->hCom >= 0) {
        tcflush(com->hCom, TCIOFLUSH);
        tcsetattr(com->hCom, TCSANOW, &com->ctmoOld);
        ioctl(com->hCom, TIOCNXCL);
        flock(com->hCom, LOCK_UN);
    }
    close_fd(com->hCom);
    close_fd(com->orx);
    close_fd(com->ow);
}

void free_buffers(COM* com) {
    delete[] com->rxbuff;
    delete[] com->txbuff;
    delete[] com->rbuff;
    delete[] com->tbuff;
    com->rxbuff = com->txbuff = com->rbuff = com->tbuff = nullptr;
    com->rxsize.store(0);
    com->txsize.store(0);
    for (auto* v : {&com->rx0, &com->rx1, &com->tx0, &com->tx1, &com->rbufn, &com->rbufp,
                    &com->tbufn, &com->tbufp})
        v->store(0);
}

void wake_pumps(COM* com) {
    wake(com->orx);
    wake(com->ow);
}

// Records that can be enabled and disabled: open, with a number of 1 to 4.
bool switchable(const COM* com) {
    const int n = com ? com->open.load() : 0;
    return n >= 1 && n <= 4;
}

bool is_pump_of(int n) { return thread__num == rx_task(n) || thread__num == tx_task(n); }

// Stops the pumps and gives everything back; the record ends closed.
void shut_down(COM* com, int n, bool rx_started, bool tx_started) {
    com->enabled.store(0);
    com->txrun.store(0);
    com->open.store(0);
    wake_pumps(com);
    rx_signal(rx_waiters[n]);
    if (rx_started) remove_task(rx_task(n));
    if (tx_started) remove_task(tx_task(n));
    // A writer waiting in com_txsl sees the record closed and leaves; nobody uses the
    // device, the events or the buffers after this.
    while (com->users.load() != 0) std::this_thread::yield();
    close_host(com);
    free_buffers(com);
    com->subrx = nullptr;
    com->subtx = nullptr;
}

void pause_writer() {
    timespec t{0, 100000};
    nanosleep(&t, nullptr);
}

}  // namespace

int assign_com(COM* com, const char* name) {
    if (!com || com->open.load() != 0) return -1;
    std::snprintf(com->NameCom, sizeof com->NameCom, "%s", name ? name : "");
    return 0;
}

int com_open(COM* com, int baud) {
    const int n = record_number(com);
    if (n == 0 || com->open.load() != 0) return -1;
    // Only records whose pump numbers exist can move data.
    if (tx_task(n) >= TASK_NUMBERS) return -1;
    com->echo = 0;
    com->txrun.store(0);
    com->enabled.store(0);
    com->baud = baud;
    MemoryPort* memory = memory_ports[n].load();
    com->open_errno = memory ? 0 : open_host(com, n);
    if (com->open_errno != 0) {
        close_host(com);
        return -1;
    }
    com->rxsize.store(COM_RING_SIZE);
    com->rxbuff = new uint8_t[COM_RING_SIZE]();
    com->rbuff = new uint8_t[COM_STAGE_SIZE]();
    com->tbuff = new uint8_t[COM_STAGE_SIZE]();
    com->rbufn.store(0);
    com->rbufp.store(0);
    com->tbufn.store(0);
    com->tbufp.store(0);
    com->errors.store(0);
    com->txsize.store(COM_RING_SIZE);
    com->txbuff = new uint8_t[COM_RING_SIZE]();
    com->open.store(uint8_t(n));
    protocol_mode(com, 0);
    com_enable(com);
    if (memory) {
        memory->written.clear();
        memory->com = com;
        return 0;
    }
    bool rx_started = false, tx_started = false;
    try {
        rx_started = exec_task(rx_pump, rx_task(n), PUMP_PRIORITY) == 0;
        tx_started = rx_started && exec_task(tx_pump, tx_task(n), PUMP_PRIORITY) == 0;
    } catch (...) {
        shut_down(com, n, rx_started, tx_started);
        throw;
    }
    if (!tx_started) {
        shut_down(com, n, rx_started, false);
        return -1;
    }
    return 0;
}

int com_close(COM* com) {
    if (!com) return -1;
    const int n = com->open.load();
    if (n == 0) return -1;
    const bool pumps = memory_ports[n].load() == nullptr;
    shut_down(com, n, pumps, pumps);
    com->enabled.store(0);
    return 0;
}

int com_enable(COM* com) {
    if (!switchable(com)) return -1;
    BufferHold hold(com);
    com->txstatus.store(1);
    com->enabled.store(1);
    if (hold) wake_pumps(com);
    return 0;
}

int com_disable(COM* com) {
    if (!switchable(com)) return -1;
    com->enabled.store(0);
    return 0;
}

int protocol_mode(COM* com, uint8_t mode) {
    if (com_disable(com) != 0) return -1;
    // A pump may be in the middle of a pass that began before the record was disabled.
    if (!is_pump_of(com->open.load()))
        while (com->rxactive.load() || com->txactive.load()) std::this_thread::yield();
    com->mode = mode;
    com->subrx = nullptr;
    com->subtx = nullptr;
    com->protocol.store(nullptr);
    for (auto* v : {&com->rx0, &com->rx1, &com->tx0, &com->tx1, &com->rbufn, &com->rbufp})
        v->store(0);
    for (auto* v : {&com->rxstatus, &com->txstatus, &com->rxchk, &com->txchk}) v->store(0);
    if (MemoryPort* memory = memory_of(com)) memory->pending.clear();
    return 0;
}

int com_rx_empty(COM* com) {
    if (!com) return 1;
    return com->rx0.load() == com->rx1.load() ? 1 : 0;
}

int com_rx(COM* com) {
    if (!com) return -1;
    BufferHold hold(com);
    if (!hold) return -1;
    const uint16_t r = com->rx0.load(std::memory_order_relaxed);
    if (r == com->rx1.load(std::memory_order_acquire)) return -1;
    const int byte = com->rxbuff[r];
    com->rx0.store(ring_next(r, com->rxsize.load()), std::memory_order_release);
    if (MemoryPort* memory = memory_of(com); memory && !memory->pending.empty()) memory_fill(com, *memory);
    return byte;
}

int com_rx_wait_for(COM* com, int need, int timeout_ms) {
    const int n = com ? record_number(com) : 0;
    if (n == 0) return 0;
    need = need < 1 ? 1 : need > COM_RING_SIZE - 1 ? COM_RING_SIZE - 1 : need;
    if (timeout_ms > 0 && com->open.load() != 0 && rx_used(com) < need && memory_of(com)) {
        // A memory port's answer is in the ring as soon as it is written: nothing more can
        // come, so the wait is the whole timeout, on the runtime clock.
        ClockSource& clock = clock_source();
        clock.sleep_until_ns(clock.now_ns() + uint64_t(timeout_ms) * 1000000u);
    } else if (timeout_ms > 0 && com->open.load() != 0 && rx_used(com) < need) {
        RxWaiter& w = rx_waiters[n];
        struct Leave {
            RxWaiter& w;
            ~Leave() { w.need.store(0); }
        } leave{w};
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            const int seen = w.signal.load();
            w.need.store(need);
            if (rx_used(com) >= need || com->open.load() == 0) break;
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            task_wait_word(w.signal, seen, int(left.count()));
        }
    }
    task_stop_point();
    return com->open.load() != 0 && rx_used(com) >= need ? 1 : 0;
}

int com_rx_wait(COM* com, int timeout_ms) { return com_rx_wait_for(com, 1, timeout_ms); }

int com_tx_empty(COM* com) {
    if (!com) return 1;
    return com->tx0.load() == com->tx1.load() ? 1 : 0;
}

int com_tx_full(COM* com) {
    if (!com) return 0;
    const uint16_t size = com->txsize.load();
    if (size == 0) return 0;
    return ring_next(com->tx1.load(), size) == com->tx0.load() ? 1 : 0;
}

int com_tx_size(COM* com) {
    if (!com) return 0;
    const uint16_t size = com->txsize.load();
    if (size == 0) return 0;
    return ring_used(com->tx0.load(), com->tx1.load(), size);
}

void com_tx_start(COM* com) {
    if (!com) return;
    BufferHold hold(com);
    if (!hold || com->txrun.load() != 0) return;
    if (!com_tx_empty(com)) com->txrun.store(1);
    if (com->enabled.exchange(1) == 0) wake_pumps(com);
}

int com_txsl(COM* com, const uint8_t* bytes, int n) {
    if (!com || (!bytes && n > 0)) return -1;
    BufferHold hold(com);
    if (!hold) return -1;
    if (MemoryPort* memory = memory_of(com)) {
        memory->written.insert(memory->written.end(), bytes, bytes + n);
        for (int i = 0; i < n; i++) com->txchk.fetch_add(bytes[i]);
        if (memory->on_write) memory->on_write(*memory, bytes, n);
        return 0;
    }
    const uint16_t size = com->txsize.load();
    for (int i = 0; i < n; i++) {
        const uint16_t w = com->tx1.load(std::memory_order_relaxed);
        const uint16_t next = ring_next(w, size);
        if (next == com->tx0.load(std::memory_order_acquire)) {
            wake(com->ow);
            while (next == com->tx0.load(std::memory_order_acquire)) {
                if (com->open.load() == 0) return 0;  // closed meanwhile: the rest is dropped
                com_tx_start(com);
                task_stop_point();
                pause_writer();
            }
        }
        if (com->open.load() == 0) return 0;
        com->txbuff[w] = bytes[i];
        com->tx1.store(next, std::memory_order_release);
        com->txchk.fetch_add(bytes[i]);
    }
    com_tx_start(com);
    wake(com->ow);
    return 0;
}

int memory_port_attach(COM* com, MemoryPort* port) {
    const int n = com ? record_number(com) : 0;
    if (n == 0 || com->open.load() != 0) return -1;
    memory_ports[n].store(port);
    if (port) port->com = com;
    return 0;
}

void memory_port_answer(MemoryPort& port, const uint8_t* bytes, size_t n) {
    COM* com = port.com;
    if (!com || com->open.load() == 0 || memory_of(com) != &port) return;
    port.pending.insert(port.pending.end(), bytes, bytes + n);
    memory_fill(com, port);
}
