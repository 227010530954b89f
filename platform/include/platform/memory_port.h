// An in-memory serial port: a COM record attached to one opens no device and starts no
// pumps. What the program writes (com_txsl) is collected in `written` and handed to the
// answer hook, which plays the device and queues its answer with memory_port_answer; the
// program reads that answer from the record's receive ring exactly as from a real port.
//
//   MemoryPort port;
//   port.on_write = [](MemoryPort& p, const uint8_t* b, int n) { memory_port_answer(p, ...); };
//   memory_port_attach(&com3, &port);
//   com_open(&com3, 115200);        // opens the memory port
//
// Waiting. No pump stores bytes behind the reader's back, so com_rx_wait on an empty memory
// port sleeps its whole timeout on the runtime clock (platform/clock.h): with a ManualClock
// a timeout costs no real time.
//
// Threads. The record and its port are used from one thread: the writer is the reader, and
// the hook runs inside com_txsl on that thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

struct COM;

struct MemoryPort {
    // Every byte queued for sending since the record was opened, in order.
    std::vector<uint8_t> written;
    // Called with the bytes of each com_txsl call, after they were added to `written`.
    std::function<void(MemoryPort&, const uint8_t* bytes, int n)> on_write;
    // Answer bytes that did not fit the receive ring yet; moved in as the reader makes room.
    std::deque<uint8_t> pending;
    COM* com = nullptr;  // the record it is attached to
};

// Attaches port to the record (null detaches): the next com_open opens it instead of a
// device. -1 when the record is not one of the fifteen or is open.
int memory_port_attach(COM* com, MemoryPort* port);

// Queues bytes for the reader, as if the device had sent them. Dropped while the record
// is closed.
void memory_port_answer(MemoryPort& port, const uint8_t* bytes, size_t n);
