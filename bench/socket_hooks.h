// Experiments on the library's socket from outside the library, for the
// benchmark alone: what options would gain a library that does not set
// them, such as one before batches set their own.
#ifndef TCPMODBUS_BENCH_SOCKET_HOOKS_H_
#define TCPMODBUS_BENCH_SOCKET_HOOKS_H_

#include <set>

// The socket descriptors open in this process; the one a connect added is
// the difference of two calls.
std::set<int> OpenSockets();
// TCP_NODELAY of a socket: 1 on, 0 off, -1 when it cannot be read.
int NoDelayOf(int fd);
void SetNoDelay(int fd);
// From now on every receive on `fd` that returns bytes is followed by
// TCP_QUICKACK, so that what came is acknowledged at once instead of after
// the delayed-acknowledgement timer (this program's receive wraps the
// system's for the whole process; descriptors not named pass untouched).
void QuickAckAfterEachReceive(int fd);

#endif  // TCPMODBUS_BENCH_SOCKET_HOOKS_H_
