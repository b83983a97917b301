// Milliseconds per batch of reads, for the clients of one simulated module,
// on loopback or through the delaying proxy (a round trip of twice
// --delay), measured in one process and interleaved: the library with
// several requests in flight and one at a time, the libmodbus client and
// pymodbus's synchronous client (both one read after another, as they
// are). batch_clients.h names the clients, batch_cases.h the cases.
//
// The benchmark starts the module (and the proxy) itself, writes a pattern
// into the module's holding registers and coils, checks that every client
// reads it, then runs its rounds: a round runs one batch of calls of every
// client for every case, the clients in a rotating order. A client's figure
// for a case is the median over the rounds of the batch means; beside it,
// the time the module and the client spent on a core per read, over all
// rounds (from /proc/PID/schedstat), tell where a call's time goes.
//
// Usage: tcpmodbus-batch-bench [--delay MS] [--rounds N] [--calls N]
//            [--cases read1000,map50,read64] [--clients NAME,...]
//            [--module-nodelay] [--cpu N [--module-cpu M]] [--quick]
//            [--address A]
//            [--sim PATH] [--proxy PATH] [--python PATH] [--helper PATH]
#include <modbus/modbus.h>
#include <sched.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "batch_cases.h"
#include "batch_clients.h"
#include "batch_report.h"
#include "child_process.h"

namespace {

constexpr int kRegisters = 1000;

struct Options {
  int delayMs = 0;
  int rounds = 21;
  int calls = 0;  // 0: by the link, see main
  std::vector<std::string> cases = {"read1000", "map50"};
  std::vector<std::string> clients = {"ours-d1", "ours-d8", "libmodbus",
                                      "pymodbus"};
  bool moduleNoDelay = false;
  int cpu = -1;
  int moduleCpu = -1;  // -1: the client's
  std::string address = "127.0.72.1";
  std::string sim = TCPMODBUS_BENCH_SIM;
  std::string proxy = TCPMODBUS_BENCH_PROXY;
  ClientPaths paths = {TCPMODBUS_BENCH_PYTHON, TCPMODBUS_BENCH_HELPER};
};

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = text.find(',', start);
    const size_t end = comma == std::string::npos ? text.size() : comma;
    if (end > start) items.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

int Number(const std::string& option, const std::string& text, int min) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < min || value > 1000000) {
    BenchFail(option + " needs a number from " + std::to_string(min));
  }
  return static_cast<int>(value);
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) BenchFail("missing value after " + arg);
      return argv[++i];
    };
    if (arg == "--delay") {
      options.delayMs = Number(arg, next(), 0);
    } else if (arg == "--rounds") {
      options.rounds = Number(arg, next(), 1);
    } else if (arg == "--calls") {
      options.calls = Number(arg, next(), 1);
    } else if (arg == "--cases") {
      options.cases = SplitList(next());
    } else if (arg == "--clients") {
      options.clients = SplitList(next());
    } else if (arg == "--module-nodelay") {
      options.moduleNoDelay = true;
    } else if (arg == "--cpu") {
      options.cpu = Number(arg, next(), 0);
    } else if (arg == "--module-cpu") {
      options.moduleCpu = Number(arg, next(), 0);
    } else if (arg == "--quick") {
      options.rounds = 2;
      options.calls = 1;
    } else if (arg == "--address") {
      options.address = next();
    } else if (arg == "--sim") {
      options.sim = next();
    } else if (arg == "--proxy") {
      options.proxy = next();
    } else if (arg == "--python") {
      options.paths.python = next();
    } else if (arg == "--helper") {
      options.paths.helper = next();
    } else {
      BenchFail("unknown argument " + arg);
    }
  }
  for (const std::string& name : options.cases) {
    if (FindBatchCase(name) == nullptr) BenchFail("unknown case " + name);
  }
  if (options.clients.empty()) BenchFail("--clients names no client");
  if (options.moduleCpu >= 0 && options.cpu < 0) {
    BenchFail("--module-cpu goes with --cpu");
  }
  return options;
}

// The pattern of batch_cases.h, written straight to the module.
void WritePattern(const Endpoint& module) {
  modbus_t* context = modbus_new_tcp(module.address.c_str(), module.port);
  if (context == nullptr || modbus_connect(context) != 0) {
    BenchFail("cannot connect to the module to write its pattern");
  }
  for (int first = 0; first < kRegisters; first += 100) {
    std::uint16_t registers[100];
    std::uint8_t coils[100];
    for (int i = 0; i < 100; ++i) {
      registers[i] = RegisterPattern(first + i);
      coils[i] = CoilPattern(first + i) ? 1 : 0;
    }
    if (modbus_write_registers(context, first, 100, registers) != 100 ||
        modbus_write_bits(context, first, 100, coils) != 100) {
      BenchFail("cannot write the pattern into the module");
    }
  }
  modbus_close(context);
  modbus_free(context);
}

// Each read of holding registers and coils must hold the pattern, and
// every read its count of values; input registers and discrete inputs move
// with every request.
void CheckValues(BatchClient& client, const BatchCase& c) {
  const std::vector<std::vector<int>> values = client.Values(c);
  bool right = values.size() == c.reads.size();
  for (size_t i = 0; right && i < values.size(); ++i) {
    const BatchRead& read = c.reads[i];
    right = values[i].size() == read.count;
    for (int k = 0; right && k < read.count; ++k) {
      const int address = read.address + k;
      if (read.table == TCPMODBUS_TABLE_HOLDING) {
        right = values[i][static_cast<size_t>(k)] == RegisterPattern(address);
      } else if (read.table == TCPMODBUS_TABLE_COIL) {
        right =
            values[i][static_cast<size_t>(k)] == (CoilPattern(address) ? 1 : 0);
      }
    }
  }
  if (!right) BenchFail(client.Name() + " read wrong values in " + c.name);
}

std::string Placement(const Options& options) {
  if (options.cpu < 0) return "not pinned";
  if (options.moduleCpu < 0 || options.moduleCpu == options.cpu) {
    return "all pinned to cpu " + std::to_string(options.cpu);
  }
  return "clients pinned to cpu " + std::to_string(options.cpu) +
         ", module and proxy to cpu " + std::to_string(options.moduleCpu);
}

void PinTo(int cpu) {
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  CPU_SET(cpu, &cpus);
  if (sched_setaffinity(0, sizeof(cpus), &cpus) != 0) {
    BenchFail("cannot pin to cpu " + std::to_string(cpu));
  }
}

}  // namespace

int main(int argc, char** argv) {
  SetBenchName("tcpmodbus-batch-bench");
  signal(SIGPIPE, SIG_IGN);
  const Options options = ParseOptions(argc, argv);
  // Each call through the proxy costs round trips; on loopback
  // microseconds.
  const int calls = options.calls > 0     ? options.calls
                    : options.delayMs > 0 ? 2
                                          : 50;
  // Pinned, every program of the run shares one core, or the module and the
  // proxy have one and the clients the other (children inherit the mask
  // they are started with).
  const int moduleCpu =
      options.moduleCpu >= 0 ? options.moduleCpu : options.cpu;
  if (moduleCpu >= 0) PinTo(moduleCpu);

  std::vector<std::string> simArgs = {options.sim,
                                      "--address",
                                      options.address,
                                      "--port",
                                      "0",
                                      "--registers",
                                      std::to_string(kRegisters),
                                      "--quiet"};
  if (options.moduleNoDelay) simArgs.push_back("--nodelay");
  ChildProcess sim(simArgs, 2, false);
  const Endpoint module = {
      options.address,
      sim.NumberAfter("listening on " + options.address + ":")};
  WritePattern(module);
  std::unique_ptr<ChildProcess> proxy;
  Endpoint endpoint = module;
  if (options.delayMs > 0) {
    proxy = std::make_unique<ChildProcess>(
        std::vector<std::string>{
            options.proxy, "--listen", options.address, "--port", "0",
            "--target", options.address + ":" + std::to_string(module.port),
            "--delay", std::to_string(options.delayMs), "--seed", "1",
            "--quiet"},
        1, false);
    endpoint.port = proxy->NumberAfter("");
  }

  if (options.cpu >= 0) PinTo(options.cpu);
  std::vector<std::unique_ptr<BatchClient>> clients;
  for (const std::string& name : options.clients) {
    clients.push_back(MakeBatchClient(name, endpoint, options.paths));
  }
  std::vector<const BatchCase*> cases;
  for (const std::string& name : options.cases) {
    cases.push_back(FindBatchCase(name));
  }
  // Warm-up, and the check that every client reads what the module holds.
  for (const BatchCase* c : cases) {
    for (auto& client : clients) {
      CheckValues(*client, *c);
      client->Run(*c, 1);
    }
  }

  const size_t clientCount = clients.size();
  std::vector<std::vector<ClientSamples>> samples(cases.size());
  for (auto& caseSamples : samples) {
    for (auto& client : clients) {
      caseSamples.push_back({client->Name(), client->NoDelay(), {}});
    }
  }
  for (int round = 0; round < options.rounds; ++round) {
    for (size_t ci = 0; ci < cases.size(); ++ci) {
      for (size_t step = 0; step < clientCount; ++step) {
        const size_t k = (static_cast<size_t>(round) + step) % clientCount;
        ClientSamples& sample = samples[ci][k];
        const pid_t owner = clients[k]->CpuOwner();
        const long long module0 = CpuNanoseconds(sim.Pid());
        const long long client0 = CpuNanoseconds(owner);
        sample.microseconds.push_back(clients[k]->Run(*cases[ci], calls));
        sample.moduleCpuNs += CpuNanoseconds(sim.Pid()) - module0;
        sample.clientCpuNs += CpuNanoseconds(owner) - client0;
        sample.reads += static_cast<long long>(calls) *
                        static_cast<long long>(cases[ci]->reads.size());
      }
    }
  }

  const std::string link =
      options.delayMs > 0
          ? "through the delaying proxy, " + std::to_string(options.delayMs) +
                " ms each way (a " + std::to_string(2 * options.delayMs) +
                " ms round trip)"
          : std::string("on loopback");
  std::printf(
      "module: %s on %s:%d, %s; clients %s\n", options.sim.c_str(),
      module.address.c_str(), module.port,
      options.moduleNoDelay
          ? "answers sent at once (--nodelay)"
          : "answers held behind unacknowledged ones (Nagle's algorithm on)",
      link.c_str());
  std::printf("%d rounds x %d calls per client and case, interleaved; %s\n\n",
              options.rounds, calls, Placement(options).c_str());
  for (size_t ci = 0; ci < cases.size(); ++ci) {
    PrintCaseTable(stdout, *cases[ci], samples[ci], 2.0 * options.delayMs);
    std::printf("\n");
  }
  clients.clear();
  return 0;
}
