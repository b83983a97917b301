// A libmodbus server for the benchmark when the simulated module is not built.
#ifndef TCPMODBUS_BENCH_BENCH_SERVER_H_
#define TCPMODBUS_BENCH_BENCH_SERVER_H_

// Serves holding and input registers on `address`, on a port of the system's
// choosing, to any number of clients at once. Writes "listening on
// <address>:<port>\n" to `readyFd` once it accepts connections, then serves
// until it is killed. Returns non-zero when it could not listen.
int RunBenchServer(const char* address, int registers, int readyFd);

#endif  // TCPMODBUS_BENCH_BENCH_SERVER_H_
