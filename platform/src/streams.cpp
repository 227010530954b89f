// Stream files: the name parser, the slot table, dispatch between C library files and
// network streams, and the network streams over POSIX sockets with their server tasks.
#include "platform/streams.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <thread>

ETH_FILE eth_file[ETH_FILES];
HOST_TAB host_tab[HOST_TABS];
char NAME[XF_NAME_SIZE];
std::atomic<uint32_t> FMODE{XF_FILE};

std::atomic<uint32_t> xf_bind_address{INADDR_ANY};

namespace {

void discard_trace(const char*) {}

}  // namespace

std::atomic<trace_hook> rep{discard_trace};

std::mutex& sem_find() {
    static std::mutex* m = new std::mutex;  // never destroyed: tasks may outlive exit
    return *m;
}

namespace {

// ---------------------------------------------------------------------------------------
// Trace lines

std::mutex& trace_mutex() {
    static std::mutex* m = new std::mutex;
    return *m;
}
// The last trace line; written under trace_mutex so that lines of concurrent tasks never
// mix.
char rp[XF_NAME_SIZE];

__attribute__((format(printf, 1, 2))) void trace(const char* format, ...) {
    std::lock_guard<std::mutex> guard(trace_mutex());
    va_list args;
    va_start(args, format);
    std::vsnprintf(rp, sizeof rp, format, args);
    va_end(args);
    if (trace_hook hook = rep.load()) hook(rp);
}

// The handle value as the trace lines show it (its low 32 bits).
int handle_value(const void* p) { return int(uint32_t(reinterpret_cast<uintptr_t>(p))); }

const char* kind_text(uint32_t kind) {
    switch (kind) {
    case XF_TCP_CLIENT: return "TCP CLIENT";
    case XF_UDP_CLIENT: return "UDP CLIENT";
    case XF_TCP_SERVER: return "TCP SERVER";
    default: return "UDP SERVER";
    }
}

// ---------------------------------------------------------------------------------------
// Names

struct Marker {
    std::string_view text;
    uint32_t kind;
};

// Tested in this order: each server marker before the client marker it begins with.
constexpr Marker MARKERS[] = {
    {"TCP-PORT:", XF_TCP_SERVER},   {"UDP-PORT:", XF_UDP_SERVER},
    {"TCP_PORT:", XF_TCP_SERVER},   {"UDP_PORT:", XF_UDP_SERVER},
    {"TCP-SERVER:", XF_TCP_SERVER}, {"UDP-SERVER:", XF_UDP_SERVER},
    {"TCP:SERVER", XF_TCP_SERVER},  {"UDP:SERVER", XF_UDP_SERVER},
    {"TCP:", XF_TCP_CLIENT},        {"UDP:", XF_UDP_CLIENT},
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// A port number from 0 to 65535 between optional blanks; -1 for an empty text, -2 for
// anything else.
int parse_port(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && is_blank(s[i])) i++;
    if (i == s.size()) return -1;
    long value = 0;
    size_t digits = 0;
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); i++, digits++) {
        value = value * 10 + (s[i] - '0');
        if (value > 65535) return -2;
    }
    while (i < s.size() && is_blank(s[i])) i++;
    if (digits == 0 || i != s.size()) return -2;
    return int(value);
}

// Copies at most XF_NAME_SIZE - 1 characters and terminates.
void copy_name(char (&to)[XF_NAME_SIZE], std::string_view from) {
    size_t n = std::min(from.size(), size_t(XF_NAME_SIZE - 1));
    std::memcpy(to, from.data(), n);
    to[n] = 0;
}

// ---------------------------------------------------------------------------------------
// Slots

// The placeholder host of a slot that is being opened.
FILEHOST NullFileHost;

bool is_real_host(const FILEHOST* h) { return h && h != &NullFileHost; }

// True when p is the address of a slot of eth_file.
bool is_slot(const void* p) {
    auto a = reinterpret_cast<uintptr_t>(p);
    auto first = reinterpret_cast<uintptr_t>(&eth_file[0]);
    auto end = reinterpret_cast<uintptr_t>(&eth_file[ETH_FILES]);
    return a >= first && a < end && (a - first) % sizeof(ETH_FILE) == 0;
}

void close_socket(int fd) {
    if (fd >= 0) ::close(fd);
}

// Takes the first free slot and marks it reserved; null when all are taken.
ETH_FILE* reserve_slot() {
    std::lock_guard<std::mutex> guard(sem_find());
    for (int i = 0; i < ETH_FILES; i++) {
        ETH_FILE& f = eth_file[i];
        if (f.host.load() != nullptr) continue;
        f.id.store(0);
        f.port.store(0);
        f.callback = XF_HANDLER{};
        f.is_a_callback.store(0);
        f.rxbuf = nullptr;
        f.txbuf = nullptr;
        f.rxlen.store(0);
        f.txlen.store(0);
        f.flags.store(0);
        f.num = i;
        f.filename[0] = 0;
        f.blocking = false;
        f.listener = nullptr;
        f.closing.store(false);
        f.host.store(&NullFileHost);
        return &f;
    }
    return nullptr;
}

void register_host(FILEHOST* h) {
    std::lock_guard<std::mutex> guard(sem_find());
    for (HOST_TAB& e : host_tab) {
        if (e.host) continue;
        e.host = h;
        e.port = h->port;
        return;
    }
}

// Stops the serving task, closes the sockets, frees host and buffers, and frees the slot.
void release_slot(ETH_FILE* f) {
    // The serving task goes first: it may be using the sockets and buffers. A task that
    // releases its own slot is only asked to stop.
    if (int task = f->is_a_callback.exchange(0)) remove_task_hidden(unsigned(task));
    FILEHOST* h = f->host.load();
    if (is_real_host(h)) {
        if (h->ss >= 0) {
            trace("close  hh port=%d %d \n", ntohs(h->si_me.sin_port), ntohs(h->si_other.sin_port));
            close_socket(h->ss);
        }
        // The listening socket of a multi-connection server is not the connection's.
        if (!(f->flags.load() & XF_ACCEPTED)) close_socket(h->s);
    }
    delete[] f->rxbuf;
    delete[] f->txbuf;
    f->rxbuf = nullptr;
    f->txbuf = nullptr;
    std::lock_guard<std::mutex> guard(sem_find());
    if (is_real_host(h)) {
        for (HOST_TAB& e : host_tab)
            if (e.host == h) e = HOST_TAB{};
        delete h;
    }
    f->host.store(nullptr);
}

// Releases a reserved slot on every way out of an open that does not hand it over.
struct SlotGuard {
    ETH_FILE* f;
    ~SlotGuard() {
        if (f) release_slot(f);
    }
};

// Owns a host (and its sockets) until it is handed to a slot.
struct HostDeleter {
    void operator()(FILEHOST* h) const {
        close_socket(h->ss);
        close_socket(h->s);
        delete h;
    }
};
using HostPtr = std::unique_ptr<FILEHOST, HostDeleter>;

HostPtr new_host() {
    HostPtr h(new FILEHOST);
    h->si_me.sin_family = AF_INET;
    h->si_other.sin_family = AF_INET;
    return h;
}

// ---------------------------------------------------------------------------------------
// Sockets. Every socket is non-blocking; a blocking stream waits in wait_socket.

constexpr int LISTEN_BACKLOG = 50;
constexpr int BIND_RETRIES = 10;     // a port still in use is tried for about a second
constexpr int BIND_RETRY_MS = 100;
constexpr int SLOT_RETRY_MS = 10;    // a server waiting for a free slot
constexpr int ACCEPT_RETRY_MS = 10;  // after accept failed for lack of resources

bool would_block(int err) { return err == EAGAIN || err == EWOULDBLOCK; }

int new_socket(int type) { return socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0); }

// Waits until fd is ready for events, in slices of POLL_SLICE_MS with a stop point after
// each; returns the events that poll reported.
short wait_socket(int fd, short events) {
    if (fd < 0) return POLLNVAL;
    for (;;) {
        pollfd p{fd, events, 0};
        int r = poll(&p, 1, POLL_SLICE_MS);
        task_stop_point();
        if (r > 0) return p.revents;
        if (r < 0 && errno != EINTR) return POLLERR;
    }
}

void local_address(int fd, sockaddr_in& to) {
    socklen_t len = sizeof to;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&to), &len) != 0) to.sin_port = 0;
}

// Binds fd to xf_bind_address and port and reads back the local address. errno is that
// of bind when it fails.
bool bind_socket(int fd, int port, sockaddr_in& me) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(xf_bind_address.load());
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
    local_address(fd, me);
    return true;
}

bool connect_socket(int fd, const sockaddr_in& to) {
    if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) return true;
    if (errno != EINPROGRESS && errno != EINTR) return false;
    wait_socket(fd, POLLOUT);
    int err = 0;
    socklen_t len = sizeof err;
    return getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
}

// Accepts one connection, waiting as long as none arrives. -1 when the listening socket
// cannot accept at all.
int accept_connection(int listen_fd, sockaddr_in& peer) {
    for (;;) {
        wait_socket(listen_fd, POLLIN);
        socklen_t len = sizeof peer;
        int fd = accept4(listen_fd, reinterpret_cast<sockaddr*>(&peer), &len,
                         SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) return fd;
        int err = errno;
        if (err == EBADF || err == EINVAL || err == ENOTSOCK || err == EOPNOTSUPP) return -1;
        // Out of descriptors or memory: the connection stays queued; try again later.
        if (err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM)
            task_sleep_ms(ACCEPT_RETRY_MS);
    }
}

HostPtr open_tcp_client(const char* name, int port) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (!name[0] || getaddrinfo(name, nullptr, &hints, &list) != 0) return nullptr;
    std::unique_ptr<addrinfo, void (*)(addrinfo*)> addresses(list, freeaddrinfo);
    for (const addrinfo* a = list; a; a = a->ai_next) {
        if (a->ai_family != AF_INET || a->ai_addrlen < sizeof(sockaddr_in)) continue;
        HostPtr h = new_host();
        h->s = new_socket(SOCK_STREAM);
        if (h->s < 0) return nullptr;
        std::memcpy(&h->si_other, a->ai_addr, sizeof h->si_other);
        h->si_other.sin_port = htons(uint16_t(port));
        if (!connect_socket(h->s, h->si_other)) continue;
        local_address(h->s, h->si_me);
        h->port = uint16_t(port);
        return h;
    }
    return nullptr;
}

HostPtr open_udp_client(const char* address, int port) {
    HostPtr h = new_host();
    if (inet_pton(AF_INET, address, &h->si_other.sin_addr) != 1) return nullptr;
    h->si_other.sin_port = htons(uint16_t(port));
    h->s = new_socket(SOCK_DGRAM);
    if (h->s < 0 || !bind_socket(h->s, 0, h->si_me)) return nullptr;
    h->port = uint16_t(port);
    return h;
}

HostPtr open_tcp_listener(int port) {
    HostPtr h = new_host();
    h->s = new_socket(SOCK_STREAM);
    if (h->s < 0) return nullptr;
    int one = 1;
    setsockopt(h->s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    for (int attempt = 1; !bind_socket(h->s, port, h->si_me); attempt++) {
        if (errno != EADDRINUSE || attempt >= BIND_RETRIES) return nullptr;
        task_sleep_ms(BIND_RETRY_MS);
    }
    if (listen(h->s, LISTEN_BACKLOG) != 0) return nullptr;
    h->port = ntohs(h->si_me.sin_port);
    return h;
}

HostPtr open_udp_socket(int port) {
    HostPtr h = new_host();
    h->s = new_socket(SOCK_DGRAM);
    if (h->s < 0 || !bind_socket(h->s, port, h->si_me)) return nullptr;
    h->port = ntohs(h->si_me.sin_port);
    return h;
}

// ---------------------------------------------------------------------------------------
// Server tasks

// Closes a stream when the owning task leaves, by return or by being stopped.
struct StreamCloser {
    ETH_FILE* f;
    ~StreamCloser() { xfclose(f); }
};

// Runs the handler of one accepted connection and closes the connection if the handler
// left it open.
void connection_task(void* arg) {
    auto* f = static_cast<ETH_FILE*>(arg);
    // The server stores this task's number right after starting it; it is needed to
    // release the task when the connection is closed from here.
    while (f->is_a_callback.load() == 0) {
        std::this_thread::yield();
        task_stop_point();
    }
    f->callback.tcp(f);
    // A handler that closed its stream has asked this task to stop: it ends here.
    task_stop_point();
    xfclose(f);
}

// Accepts connections on the server's listening stream for as long as the server is open.
// When every slot is taken it waits for one to become free instead of ending, so peers
// that hold many connections cannot end the service for good.
void tcp_server_task(void* arg) {
    auto* server = static_cast<ETH_FILE*>(arg);
    StreamCloser listening{server->listener};
    const int listen_fd = server->listener->host.load()->s;
    for (;;) {
        SlotGuard next{reserve_slot()};
        while (!next.f) {
            task_sleep_ms(SLOT_RETRY_MS);
            next.f = reserve_slot();
        }
        sockaddr_in peer{};
        int fd = accept_connection(listen_fd, peer);
        if (fd < 0) {
            task_sleep_ms(ACCEPT_RETRY_MS);
            continue;
        }
        auto* h = new FILEHOST;
        h->ss = fd;
        h->si_other = peer;
        local_address(fd, h->si_me);
        h->port = ntohs(h->si_me.sin_port);
        ETH_FILE* f = next.f;
        next.f = nullptr;
        f->id.store(XF_TCP_SERVER);
        f->port.store(server->port.load());
        f->callback = server->callback;
        f->flags.store(XF_ACCEPTED);
        f->blocking = true;
        std::memcpy(f->filename, server->filename, sizeof f->filename);
        f->host.store(h);
        trace("accept hh port=%d %d \n", h->port, ntohs(peer.sin_port));
        unsigned task = exec_task_hidden(connection_task, f, 2);
        if (task == 0)
            xfclose(f);
        else
            f->is_a_callback.store(int(task));
        wait(1);
    }
}

// Receives datagrams and answers each with what the handler put into txbuf.
void udp_server_task(void* arg) {
    auto* f = static_cast<ETH_FILE*>(arg);
    FILEHOST* h = f->host.load();
    for (;;) {
        wait_socket(h->s, POLLIN);
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = recvfrom(h->s, f->rxbuf, UDP_BUFFER_SIZE, MSG_DONTWAIT,
                             reinterpret_cast<sockaddr*>(&from), &len);
        if (n <= 0) continue;
        h->si_other = from;
        f->rxlen.store(int32_t(n));
        int reply = f->callback.udp(f->rxbuf, f->txbuf, 4, int(f->port.load()), int(n));
        reply = std::clamp(reply, 0, UDP_BUFFER_SIZE);
        f->txlen.store(reply);
        if (reply > 0)
            sendto(h->s, f->txbuf, size_t(reply), MSG_DONTWAIT | MSG_NOSIGNAL,
                   reinterpret_cast<const sockaddr*>(&from), sizeof from);
    }
}

// ---------------------------------------------------------------------------------------
// Opening

// The second argument of xfopen.
struct OpenMode {
    enum Kind { TEXT, NUMBER, TCP_HANDLER, UDP_HANDLER } kind;
    int number = 0;
    hidden_task_fn tcp = nullptr;
    udp_handler_fn udp = nullptr;

    bool is_port(int low) const { return kind == NUMBER && number >= low && number <= 65535; }
    bool is_zero() const { return kind == NUMBER && number == 0; }
};

void* fail(uint32_t kind, const char* name) {
    trace("fails to open %s %s\n", kind_text(kind), name);
    return nullptr;
}

// Hands a host to a reserved slot: the slot is open from here on.
void publish(ETH_FILE* f, HostPtr h) {
    f->port.store(f->id.load() == XF_TCP_SERVER || f->id.load() == XF_UDP_SERVER ? h->port : 0);
    f->host.store(h.release());
}

void* open_client(const XF_NAME& n, const OpenMode& mode) {
    const bool tcp = n.kind == XF_TCP_CLIENT;
    trace(tcp ? "open  TCP CLIENT %s  port=%d\n" : "open  UDP CLIENT %s  port=%d\n", n.name,
          mode.kind == OpenMode::NUMBER ? mode.number : 0);
    if (!mode.is_port(tcp ? 1 : 0)) return fail(n.kind, n.name);
    SlotGuard guard{reserve_slot()};
    if (!guard.f) return fail(n.kind, n.name);
    ETH_FILE* f = guard.f;
    f->id.store(n.kind);
    std::memcpy(f->filename, n.name, sizeof f->filename);
    f->blocking = n.block == 1;
    HostPtr h = tcp ? open_tcp_client(f->filename, mode.number)
                    : open_udp_client(f->filename, mode.number);
    if (!h) return fail(n.kind, n.name);
    FILEHOST* host = h.get();
    publish(f, std::move(h));
    if (!tcp) register_host(host);
    guard.f = nullptr;
    return f;
}

void* open_tcp_server(const XF_NAME& n, const OpenMode& mode) {
    // Three forms: a port and a handler (multi-connection server), a port and 0 (a
    // listening stream), no port and the port as mode (one accepted connection).
    enum { MULTI, LISTEN, ONE } form;
    int port = n.port;
    if (n.port >= 0 && mode.kind == OpenMode::TCP_HANDLER && mode.tcp)
        form = MULTI;
    else if (n.port >= 0 && mode.is_zero())
        form = LISTEN;
    else if (n.port == -1 && mode.is_port(0)) {
        form = ONE;
        port = mode.number;
    } else
        return fail(n.kind, n.name);
    char filename[XF_NAME_SIZE];
    copy_name(filename, form == MULTI ? n.name : form == LISTEN ? "callback 0" : "callback 1");
    trace("open  TCP SERVER %s  addr=%d\n", filename, port);

    SlotGuard guard{reserve_slot()};
    if (!guard.f) return fail(n.kind, filename);
    ETH_FILE* f = guard.f;
    f->id.store(XF_TCP_SERVER);
    std::memcpy(f->filename, filename, sizeof f->filename);
    f->blocking = true;
    if (form == MULTI) {
        char listen_name[32];
        std::snprintf(listen_name, sizeof listen_name, "TCP-SERVER:%d", port);
        auto* listener = static_cast<ETH_FILE*>(xfopen(listen_name, 0));
        if (!listener) return fail(n.kind, filename);
        StreamCloser close_listener{listener};
        HostPtr h = new_host();
        h->si_me = listener->host.load()->si_me;
        h->port = uint16_t(listener->port.load());
        f->callback.tcp = mode.tcp;
        f->listener = listener;
        publish(f, std::move(h));
        unsigned task = exec_task_hidden(tcp_server_task, f, 2);
        if (task == 0) return fail(n.kind, filename);
        // The task owns the listening stream now.
        close_listener.f = nullptr;
        f->is_a_callback.store(int(task));
        guard.f = nullptr;
        return f;
    }
    HostPtr h = open_tcp_listener(port);
    if (!h) return fail(n.kind, filename);
    if (form == ONE) {
        h->ss = accept_connection(h->s, h->si_other);
        if (h->ss < 0) return fail(n.kind, filename);
        local_address(h->ss, h->si_me);
    }
    publish(f, std::move(h));
    guard.f = nullptr;
    return f;
}

void* open_udp_server(const XF_NAME& n, const OpenMode& mode) {
    const bool handler = mode.kind == OpenMode::UDP_HANDLER && mode.udp;
    const int port = n.port == -1 ? 0 : n.port;
    trace("open  UDP SERVER %s  addr=%d\n", n.name, port);
    if (port < 0 || !(handler || mode.is_zero())) return fail(n.kind, n.name);
    SlotGuard guard{reserve_slot()};
    if (!guard.f) return fail(n.kind, n.name);
    ETH_FILE* f = guard.f;
    f->id.store(XF_UDP_SERVER);
    std::memcpy(f->filename, n.name, sizeof f->filename);
    f->blocking = n.block != 0;
    HostPtr h = open_udp_socket(port);
    if (!h) return fail(n.kind, n.name);
    f->rxbuf = new uint8_t[UDP_BUFFER_SIZE]();
    f->txbuf = new uint8_t[UDP_BUFFER_SIZE]();
    FILEHOST* host = h.get();
    publish(f, std::move(h));
    register_host(host);
    if (handler) {
        f->callback.udp = mode.udp;
        unsigned task = exec_task_hidden(udp_server_task, f, 1);
        if (task == 0) return fail(n.kind, n.name);
        f->is_a_callback.store(int(task));
    }
    guard.f = nullptr;
    return f;
}

void* open_network(const XF_NAME& n, const OpenMode& mode) {
    switch (n.kind) {
    case XF_TCP_CLIENT:
    case XF_UDP_CLIENT: return open_client(n, mode);
    case XF_TCP_SERVER: return open_tcp_server(n, mode);
    case XF_UDP_SERVER: return open_udp_server(n, mode);
    default: return nullptr;  // a plain file needs a mode string
    }
}

// ---------------------------------------------------------------------------------------
// Transfers

// The socket a TCP stream reads and writes: the accepted connection, else its own.
int tcp_socket(const FILEHOST* h) { return h->ss >= 0 ? h->ss : h->s; }

size_t tcp_read(ETH_FILE* f, void* buffer, size_t bytes) {
    FILEHOST* h = f->host.load();
    if ((f->flags.load() & XF_END) || !is_real_host(h) || bytes == 0) return 0;
    const int fd = tcp_socket(h);
    for (;;) {
        ssize_t n = recv(fd, buffer, bytes, MSG_DONTWAIT);
        if (n > 0) return size_t(n);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && would_block(errno)) {
            // Nothing has arrived yet: not an end of stream.
            if (!f->blocking) return 0;
            wait_socket(fd, POLLIN);
            continue;
        }
        f->flags.fetch_or(XF_END);
        return 0;
    }
}

size_t tcp_write(ETH_FILE* f, const void* buffer, size_t bytes) {
    FILEHOST* h = f->host.load();
    if ((f->flags.load() & XF_END) || !is_real_host(h) || bytes == 0) return 0;
    const int fd = tcp_socket(h);
    const auto* p = static_cast<const uint8_t*>(buffer);
    size_t sent = 0;
    while (sent < bytes) {
        ssize_t n = send(fd, p + sent, bytes - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            sent += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && would_block(errno)) {
            if (!f->blocking) return sent;
            wait_socket(fd, POLLOUT);
            continue;
        }
        f->flags.fetch_or(XF_END);
        return 0;
    }
    return sent;
}

size_t udp_read(ETH_FILE* f, void* buffer, size_t bytes) {
    FILEHOST* h = f->host.load();
    if (!is_real_host(h) || bytes == 0) return 0;
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = recvfrom(h->s, buffer, bytes, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                             &len);
        if (n >= 0) {
            if (len == sizeof from && from.sin_family == AF_INET) h->si_other = from;
            return size_t(n);
        }
        if (errno == EINTR) continue;
        if (!would_block(errno) || !f->blocking) return 0;
        wait_socket(h->s, POLLIN);
    }
}

size_t udp_write(ETH_FILE* f, const void* buffer, size_t bytes) {
    FILEHOST* h = f->host.load();
    if (!is_real_host(h) || bytes == 0 || h->si_other.sin_port == 0) return 0;
    for (;;) {
        ssize_t n = sendto(h->s, buffer, bytes, MSG_DONTWAIT | MSG_NOSIGNAL,
                           reinterpret_cast<const sockaddr*>(&h->si_other), sizeof h->si_other);
        if (n >= 0) return size_t(n);
        if (errno == EINTR) continue;
        if (!would_block(errno) || !f->blocking) return 0;
        wait_socket(h->s, POLLOUT);
    }
}

bool is_udp(const ETH_FILE* f) {
    uint32_t id = f->id.load();
    return id == XF_UDP_CLIENT || id == XF_UDP_SERVER;
}

size_t read_network(ETH_FILE* f, void* buffer, size_t count, size_t num) {
    if (is_udp(f)) return udp_read(f, buffer, num);
    size_t bytes = 0;
    if (__builtin_mul_overflow(count, num, &bytes)) return 0;
    return tcp_read(f, buffer, bytes);
}

size_t write_network(ETH_FILE* f, const void* buffer, size_t count, size_t num) {
    if (is_udp(f)) return udp_write(f, buffer, num);
    size_t bytes = 0;
    if (__builtin_mul_overflow(count, num, &bytes)) return 0;
    return tcp_write(f, buffer, bytes);
}

int close_network(ETH_FILE* f) {
    FILEHOST* h = f->host.load();
    // A free slot, or one that its opener still holds, is not closed from here; of two
    // concurrent closes only the first goes on.
    if (!is_real_host(h) || f->closing.exchange(true)) return 0;
    const uint32_t id = f->id.load();
    trace("close %s %s\n", kind_text(id), f->filename);
    if (int task = f->is_a_callback.exchange(0)) remove_task_hidden(unsigned(task));
    if (!is_udp(f) && !(f->flags.load() & XF_ACCEPTED)) {
        // The zero byte tells the peer that the stream ends here.
        const int fd = tcp_socket(h);
        const char zero = 0;
        if (fd >= 0 && send(fd, &zero, 1, MSG_DONTWAIT | MSG_NOSIGNAL) == 1)
            shutdown(fd, SHUT_RDWR);
    }
    release_slot(f);
    return 1;
}

// Parses the name of an xfopen call and keeps it as the last name opened.
XF_NAME take_name(const char* name) {
    XF_NAME n = xf_parse_name(name);
    std::lock_guard<std::mutex> guard(sem_find());
    copy_name(NAME, name ? name : "");
    FMODE.store(n.kind);
    return n;
}

}  // namespace

XF_NAME xf_parse_name(const char* name) {
    XF_NAME out;
    std::string_view s = name ? name : "";
    size_t start = 0;
    for (const Marker& m : MARKERS) {
        if (s.starts_with(m.text)) {
            out.kind = m.kind;
            start = m.text.size();
            break;
        }
    }
    std::string_view part = s.substr(start);
    if (out.kind == XF_FILE) {
        copy_name(out.name, part);
        return out;
    }
    size_t cut = part.find('<');
    if (cut != std::string_view::npos) {
        std::string_view suffix = part.substr(cut);
        if (suffix.starts_with("<noblock"))
            out.block = 0;
        else if (suffix.starts_with("<block"))
            out.block = 1;
        part = part.substr(0, cut);
    }
    if (out.kind == XF_TCP_CLIENT || out.kind == XF_UDP_CLIENT) {
        if (!part.empty() && (part[0] == '/' || part[0] == '\\')) part.remove_prefix(1);
    } else {
        out.port = parse_port(part);
        while (!part.empty() && is_blank(part[0])) part.remove_prefix(1);
    }
    copy_name(out.name, part);
    return out;
}

void* xfopen(const char* name, const char* mode) {
    XF_NAME n = take_name(name);
    if (n.kind != XF_FILE) return open_network(n, OpenMode{OpenMode::TEXT});
    if (!name || !mode) return nullptr;
    FILE* file = std::fopen(name, mode);
    trace("open  FILE %s (%d) mode=%s\n", name, handle_value(file), mode);
    return file;
}

void* xfopen(const char* name, int port) {
    return open_network(take_name(name), OpenMode{OpenMode::NUMBER, port});
}

void* xfopen(const char* name, hidden_task_fn tcp_handler) {
    return open_network(take_name(name), OpenMode{OpenMode::TCP_HANDLER, 0, tcp_handler});
}

void* xfopen(const char* name, udp_handler_fn udp_handler) {
    return open_network(take_name(name),
                        OpenMode{OpenMode::UDP_HANDLER, 0, nullptr, udp_handler});
}

size_t xfread(void* buffer, size_t count, size_t num, void* file) {
    if (!file) return 0;
    if (is_slot(file)) return read_network(static_cast<ETH_FILE*>(file), buffer, count, num);
    return std::fread(buffer, count, num, static_cast<FILE*>(file));
}

size_t xfwrite(const void* buffer, size_t count, size_t num, void* file) {
    if (!file) return 0;
    if (is_slot(file))
        return write_network(static_cast<ETH_FILE*>(file), buffer, count, num);
    return std::fwrite(buffer, count, num, static_cast<FILE*>(file));
}

int xfclose(void* file) {
    if (!file) return 0;
    if (is_slot(file)) return close_network(static_cast<ETH_FILE*>(file));
    trace("close FILE %d\n", handle_value(file));
    return std::fclose(static_cast<FILE*>(file));
}

int xeof(void* file) {
    if (!file) return 0;
    if (!is_slot(file)) return std::feof(static_cast<FILE*>(file)) ? 1 : 0;
    auto* f = static_cast<ETH_FILE*>(file);
    uint32_t id = f->id.load();
    if (id == XF_UDP_CLIENT || id == XF_UDP_SERVER) return f->host.load() == nullptr ? 1 : 0;
    return (f->flags.load() & XF_END) ? 1 : 0;
}
