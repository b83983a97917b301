// The floor of a client with several requests in flight: raw-dN sends up to
// N requests in one send, takes every whole answer that has come, then
// sends the requests that fit the freed places in one send, as the library
// does; it checks nothing but the sizes and traces nothing.
#ifndef TCPMODBUS_BENCH_RAW_BATCH_CLIENT_H_
#define TCPMODBUS_BENCH_RAW_BATCH_CLIENT_H_

#include <memory>
#include <string>

#include "batch_clients.h"

// Null when `name` is not raw-dN.
std::unique_ptr<BatchClient> MakeRawBatchClient(const std::string& name,
                                                const Endpoint& module);

#endif  // TCPMODBUS_BENCH_RAW_BATCH_CLIENT_H_
