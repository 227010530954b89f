// Stream files: one interface in the manner of fopen/fread/fwrite/fclose over plain files
// and over TCP and UDP clients and servers.
//
// xfopen picks the kind of stream from a marker at the very start of the name:
//
//   "TCP-PORT:", "TCP_PORT:", "TCP-SERVER:", "TCP:SERVER"   TCP server, then the port
//   "UDP-PORT:", "UDP_PORT:", "UDP-SERVER:", "UDP:SERVER"   UDP server, then the port
//   "TCP:"   TCP client; one '/' or '\' may follow, then the host name
//   "UDP:"   UDP client; one '/' or '\' may follow, then a dotted IPv4 address
//   none     a plain file, opened with fopen (a marker later in the name means nothing)
//
// Blanks before a server's port are skipped. Everything from the first '<' of the name
// part is not part of the name: "<block" makes a client blocking (clients are
// non-blocking otherwise), "<noblock" makes a UDP server non-blocking (UDP servers block
// otherwise). TCP server connections always block.
//
// Handles. A handle is either a FILE* of the C library or the address of a slot of the
// table eth_file; the two are told apart by the address (a slot's kind tag then says
// which network kind it is), so a FILE* is never read as a slot.
//
// The second argument of xfopen depends on the kind:
//   file                             the fopen mode string ("rb", "wb", ...)
//   TCP or UDP client                the port number (int)
//   TCP server with a port           a connection handler, or 0: a listening stream
//   TCP server without a port        the port number (int): xfopen waits until one
//                                    connection is accepted and the stream reads and
//                                    writes that connection
//   UDP server                       a datagram handler, or 0: the caller reads datagrams
//                                    and xfwrite answers the sender of the latest one
// Any other combination returns null. Port 0 in a server name lets the system choose;
// the chosen port is then in the slot's `port`.
//
// Servers with a handler. A TCP server runs a hidden task (priority 2) that accepts
// connections on its listening stream; each connection gets a slot of its own and a
// hidden task (priority 2) that calls handler(connection handle). When the handler
// returns, a connection it left open is closed for it. A UDP server runs a hidden task
// (priority 1) that receives each datagram into rxbuf, calls
// handler(rxbuf, txbuf, 4, port, length) and sends the returned number of reply bytes
// from txbuf back to the sender; the reply length is clamped to 0..UDP_BUFFER_SIZE.
// A TCP server whose listening port is still in use retries the bind for about a second,
// then fails. While every slot is taken it leaves new connections queued and takes them
// once a slot is free; it ends only when it is closed.
//
// Stopping. Every wait of this layer (connect, accept, a blocking receive or send) is a
// poll() of at most POLL_SLICE_MS followed by task_stop_point(), so a task blocked in a
// stream stops within a few milliseconds when it is removed. xfclose stops a stream's
// serving task (and waits for it) before it closes the sockets and frees the buffers, so
// no task ever uses a closed descriptor or a freed buffer; a handler may close its own
// stream (it then stops at its next stop point). xfclose itself has no stop point.
//
// Threads. The slot search and host_tab are guarded by sem_find(). A stream is used by
// one task at a time; xfclose may come from another task (it stops the serving task
// first) and only one of two concurrent closes releases the slot.
//
// Trace. Each open, close, accept and failure formats one line and hands it to the hook
// `rep`, which discards it unless replaced.
//
// Names from the caller and bytes from the network are not trusted: a name part is cut
// to 255 characters, ports must be numbers from 0 to 65535, and every copy into a fixed
// buffer is bounded. A file name is given to fopen whole (cutting it would open another
// file). Sends never raise SIGPIPE.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/tasks.h"

// Kind tags, the first word of a slot.
inline constexpr uint32_t XF_TCP_CLIENT = 0x33435310;
inline constexpr uint32_t XF_UDP_CLIENT = 0x33435311;
inline constexpr uint32_t XF_TCP_SERVER = 0x33435312;  // listening or accepted connection
inline constexpr uint32_t XF_UDP_SERVER = 0x33435313;
// The kind of a plain file where a kind is reported.
inline constexpr uint32_t XF_FILE = 0;

inline constexpr int ETH_FILES = 256;
inline constexpr int HOST_TABS = 40;
inline constexpr int XF_NAME_SIZE = 256;       // a name part holds at most 255 characters
inline constexpr int UDP_BUFFER_SIZE = 1440;   // receive and reply buffer of a UDP server
inline constexpr int POLL_SLICE_MS = 4;        // longest wait between two stop points

// flags bits
inline constexpr int32_t XF_ACCEPTED = 1;   // accepted by a multi-connection server
inline constexpr int32_t XF_END = 16;       // end of stream: a send or receive failed

// A UDP server's datagram handler: data and length of the datagram, the reply buffer of
// UDP_BUFFER_SIZE bytes, the constant 4 and the server's port. Returns the number of reply
// bytes (0 or less: no reply).
using udp_handler_fn = int (*)(const uint8_t* data, uint8_t* reply, int sub_address, int port,
                               int length);

// One socket pair. Descriptors are -1 when absent.
struct FILEHOST {
    int32_t s = -1;       // client socket, UDP socket or listening socket
    int32_t ss = -1;      // accepted connection of a TCP server
    sockaddr_in si_me{};  // local address
    // Peer: for UDP the destination, replaced by the sender of each received datagram.
    sockaddr_in si_other{};
    uint16_t port = 0;
};

// A server's handler: connections for TCP, datagrams for UDP.
struct XF_HANDLER {
    hidden_task_fn tcp = nullptr;
    udp_handler_fn udp = nullptr;
};

// One network stream.
struct ETH_FILE {
    std::atomic<uint32_t> id{0};             // kind tag
    std::atomic<uint32_t> port{0};           // port of a server (the bound one)
    std::atomic<FILEHOST*> host{nullptr};    // null while the slot is free
    XF_HANDLER callback;
    std::atomic<int32_t> is_a_callback{0};   // hidden task serving this stream, 0 if none
    uint8_t* rxbuf = nullptr;                // UDP server buffers of UDP_BUFFER_SIZE bytes
    uint8_t* txbuf = nullptr;
    std::atomic<int32_t> rxlen{0};           // length of the last datagram
    std::atomic<int32_t> txlen{0};           // length of the last reply
    std::atomic<int32_t> flags{0};
    int32_t num = 0;                         // index of the slot
    char filename[XF_NAME_SIZE] = {};        // the name part, cut at the first '<'
    bool blocking = false;
    ETH_FILE* listener = nullptr;            // listening stream of a multi-connection server
    std::atomic<bool> closing{false};        // set by the one xfclose that releases it
};

// A registered UDP host.
struct HOST_TAB {
    FILEHOST* host = nullptr;
    uint16_t port = 0;
    int task = 0;
    int sub_address = 0;
};

extern ETH_FILE eth_file[ETH_FILES];
// Every open UDP host has an entry while there is a free one; released hosts leave it.
// Guarded by sem_find().
extern HOST_TAB host_tab[HOST_TABS];
// Guards the slot search, slot release, host_tab and NAME.
std::mutex& sem_find();
// The last name given to xfopen, cut to 255 characters (guarded by sem_find()), and its
// kind (XF_FILE or a kind tag).
extern char NAME[XF_NAME_SIZE];
extern std::atomic<uint32_t> FMODE;

// Receives each trace line (with its newline). The default discards it; null is allowed.
using trace_hook = void (*)(const char* line);
extern std::atomic<trace_hook> rep;

// Address that servers and UDP clients bind to, in host byte order: any address by
// default; tests set INADDR_LOOPBACK.
extern std::atomic<uint32_t> xf_bind_address;

// A stream name taken apart.
struct XF_NAME {
    uint32_t kind = XF_FILE;       // kind tag, or XF_FILE
    char name[XF_NAME_SIZE] = {};  // name part, cut at the first '<' and to 255 characters
    int block = -1;                // 1 for "<block", 0 for "<noblock", -1 for neither
    int port = -1;                 // servers: the port; -1 when the name part is empty,
                                   // -2 when it is not a number from 0 to 65535
};
// Parses a stream name (null counts as an empty file name).
XF_NAME xf_parse_name(const char* name);

void* xfopen(const char* name, const char* mode);
void* xfopen(const char* name, int port);
void* xfopen(const char* name, hidden_task_fn tcp_handler);
void* xfopen(const char* name, udp_handler_fn udp_handler);

// Files: elements read or written. TCP: count*num bytes in one receive (what arrived, at
// least one byte when blocking) or one send of them all; 0 at end of stream, on failure
// (which sets XF_END) and when a non-blocking stream has nothing to give or take. UDP:
// num bytes (count is not used): one datagram of at most num bytes, whose sender becomes
// the destination, or one datagram sent to the destination (0 while it has no port).
// A null handle gives 0.
size_t xfread(void* buffer, size_t count, size_t num, void* file);
size_t xfwrite(const void* buffer, size_t count, size_t num, void* file);
// Files: fclose's result. Network streams: 1 when this call released the slot, else 0.
// A TCP client or a connection not accepted by a multi-connection server first sends one
// zero byte and, if that went out, shuts the connection down.
int xfclose(void* file);
// Files: feof. TCP: 1 after a failed transfer. UDP: 1 when the stream has no host.
int xeof(void* file);
