// The clients of the batch benchmark, each on its own connection to the
// module (or to the delaying proxy in front of it):
//
//   ours-d1          the library's ReadBatch at depth 1 (each read after the
//                    previous answer, through the read operations), or for
//                    a case of a device map its ReadMap (which runs the
//                    plan as the object's batch and decodes every point);
//   ours-dN          the same with SetMaxInFlight(N), e.g. ours-d8;
//   ours-single      the library's read operations (ReadHoldRegs, ...) one
//                    after another, as a host without batches does; runs on
//                    libraries before batches too;
//   ours-dN-nodelay  ours-dN with TCP_NODELAY set on its socket from outside
//                    the library once connected: what a library that sets
//                    no option for a batch would gain by it (this one sets
//                    it for each batch and clears it after);
//   ours-dN-quickack ours-dN with TCP_QUICKACK after each receive, from
//                    outside likewise; -nodelay-quickack both;
//   raw-dN           the floor: raw_batch_client.h;
//   libmodbus        the libmodbus client, its reads one after another;
//   pymodbus         pymodbus's synchronous client, likewise, in a Python
//                    co-process that times its own calls.
// Every one of ours runs with its trace off, transaction identifiers on and
// a 3000 ms response time-out.
#ifndef TCPMODBUS_BENCH_BATCH_CLIENTS_H_
#define TCPMODBUS_BENCH_BATCH_CLIENTS_H_

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "batch_cases.h"

struct Endpoint {
  std::string address;
  int port;
};

class BatchClient {
 public:
  virtual ~BatchClient() = default;
  const std::string& Name() const { return name_; }
  // The mean microseconds of one call of `c` over `calls` calls; a read
  // that fails ends the benchmark.
  virtual double Run(const BatchCase& c, int calls) = 0;
  // What one call of `c` reads: one list per read, bits as 0 or 1.
  virtual std::vector<std::vector<int>> Values(const BatchCase& c) = 0;
  // TCP_NODELAY of its socket (1, 0; -1 unknown).
  virtual int NoDelay() = 0;
  // The process whose time on a core is the client's (0: this thread).
  virtual pid_t CpuOwner() const { return 0; }

 protected:
  explicit BatchClient(std::string name) : name_(std::move(name)) {}

 private:
  std::string name_;
};

struct ClientPaths {
  std::string python;  // the interpreter that has pymodbus
  std::string helper;  // pymodbus_batch.py
};

// One of the clients above, connected; the benchmark fails for a name it
// does not know or a connection that fails.
std::unique_ptr<BatchClient> MakeBatchClient(const std::string& name,
                                             const Endpoint& module,
                                             const ClientPaths& paths);

#endif  // TCPMODBUS_BENCH_BATCH_CLIENTS_H_
