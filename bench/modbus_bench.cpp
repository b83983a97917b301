// Microseconds per Modbus/TCP exchange on loopback, for the clients of one
// simulated module, measured in one process and interleaved:
//
//   ours             the library through TCPModbusIntf, its full console
//                    trace going to standard output;
//   ours-off         the same with its trace off (SetTraceSink(nullptr,
//                    nullptr)), so nothing is formatted for it;
//   libmodbus-trace  the libmodbus client with its debug trace on
//                    (modbus_set_debug), which it prints to standard output;
//   libmodbus        the libmodbus client without its trace
//                    (modbus_new_tcp, modbus_read_registers,
//                    modbus_write_register, modbus_write_registers);
//   raw              the floor: one send of the request, receive until the
//                    whole answer is in, decode the values.
//
// Standard output (descriptor 1, for the whole run) is, by --stdout:
//   file  a file, fully buffered, as for a host that keeps its trace;
//   line  the same file, line-buffered, as on a terminal or a console;
//   null  /dev/null, fully buffered;
//   off   /dev/null, and no client traces: ours-off, libmodbus and raw run
//         (the other modes run ours, libmodbus-trace, libmodbus and raw).
//
// A round runs one batch of every client for every case, the clients in a
// rotating order; the figure of a client and case is the median over the
// rounds of the batch mean. The report goes to the original standard output.
//
// Usage: tcpmodbus-bench [--rounds N] [--batch N] [--quick] [--address A]
//                        [--sim PATH] [--stdout file|line|null|off]
//                        [--trace FILE] [--cpu N]
//        tcpmodbus-bench [--stdout ...] --profile CLIENT CASE COUNT
// CLIENT is ours, ours-off, libmodbus-trace, libmodbus or raw. The second form
// runs COUNT exchanges of one client and case and nothing else, for callgrind
// and strace (run it twice with different counts and take the difference).
#include <arpa/inet.h>
#include <fcntl.h>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench_server.h"
#include "child_process.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace {

constexpr int kRegisters = 1000;

[[noreturn]] void Fail(const std::string& what) { BenchFail(what); }

// ---------------------------------------------------------------- cases

enum class CaseKind { Read, WriteSingle, WriteMultiple };

struct Case {
  const char* name;
  CaseKind kind;
  std::uint16_t address;
  std::uint16_t count;
};

const Case kCases[] = {
    {"read2", CaseKind::Read, 0, 2},
    {"read125", CaseKind::Read, 0, 125},
    {"write1", CaseKind::WriteSingle, 300, 1},
    {"write100", CaseKind::WriteMultiple, 400, 100},
};
constexpr int kCaseCount = sizeof(kCases) / sizeof(kCases[0]);

const Case* FindCase(const std::string& name) {
  for (const Case& c : kCases) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

// ---------------------------------------------------------------- clients

class Client {
 public:
  virtual ~Client() = default;
  virtual const char* Name() const = 0;
  // One exchange; false when it failed.
  virtual bool Read(std::uint16_t address, std::uint16_t count,
                    std::uint16_t* values) = 0;
  virtual bool WriteSingle(std::uint16_t address, std::uint16_t value) = 0;
  virtual bool WriteMultiple(std::uint16_t address, std::uint16_t count,
                             const std::uint16_t* values) = 0;
};

class OursClient : public Client {
 public:
  // Without `trace`, the object's trace is off: no sink, nothing formatted.
  OursClient(const std::string& address, int port, bool trace)
      : modbus_(TCPModbusIntf::GetInstance()), trace_(trace) {
    if (!trace) modbus_->SetTraceSink(nullptr, nullptr);
    modbus_->SetServerPort(static_cast<unsigned short>(port));
    if (modbus_->Initialize(1, address, 0, address) != 1) {
      Fail("our library could not connect to the module");
    }
  }
  const char* Name() const override { return trace_ ? "ours" : "ours-off"; }
  bool Read(std::uint16_t address, std::uint16_t count,
            std::uint16_t* values) override {
    return modbus_->ReadHoldRegs(address, values, count) == 1;
  }
  bool WriteSingle(std::uint16_t address, std::uint16_t value) override {
    return modbus_->WriteSingleHoldReg(address, value) == 1;
  }
  bool WriteMultiple(std::uint16_t address, std::uint16_t count,
                     const std::uint16_t* values) override {
    return modbus_->WriteMultiHoldRegs(
               address, const_cast<std::uint16_t*>(values), count) == 1;
  }

 private:
  std::unique_ptr<TCPModbusIntf> modbus_;
  bool trace_;
};

class LibmodbusClient : public Client {
 public:
  // With `trace`, libmodbus prints every frame and step to standard output.
  LibmodbusClient(const std::string& address, int port, bool trace)
      : context_(modbus_new_tcp(address.c_str(), port)), trace_(trace) {
    if (context_ == nullptr || modbus_set_debug(context_, trace) != 0 ||
        modbus_connect(context_) != 0) {
      Fail("the libmodbus client could not connect to the module");
    }
  }
  ~LibmodbusClient() override {
    modbus_close(context_);
    modbus_free(context_);
  }
  const char* Name() const override {
    return trace_ ? "libmodbus-trace" : "libmodbus";
  }
  bool Read(std::uint16_t address, std::uint16_t count,
            std::uint16_t* values) override {
    return modbus_read_registers(context_, address, count, values) == count;
  }
  bool WriteSingle(std::uint16_t address, std::uint16_t value) override {
    return modbus_write_register(context_, address, value) == 1;
  }
  bool WriteMultiple(std::uint16_t address, std::uint16_t count,
                     const std::uint16_t* values) override {
    return modbus_write_registers(context_, address, count, values) == count;
  }

 private:
  modbus_t* context_;
  bool trace_;
};

// The least a client can do: build the frame, one send, receive until the
// MBAP header's length is in, decode. No trace, no checks beyond the size.
class RawClient : public Client {
 public:
  RawClient(const std::string& address, int port)
      : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in server = {};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(port));
    if (fd_ < 0 || inet_pton(AF_INET, address.c_str(), &server.sin_addr) != 1 ||
        connect(fd_, reinterpret_cast<sockaddr*>(&server), sizeof(server)) !=
            0) {
      Fail("the raw client could not connect to the module");
    }
  }
  ~RawClient() override { close(fd_); }
  const char* Name() const override { return "raw"; }
  bool Read(std::uint16_t address, std::uint16_t count,
            std::uint16_t* values) override {
    std::uint8_t frame[12];
    Header(frame, 6, 3);
    Put16(frame + 8, address);
    Put16(frame + 10, count);
    const int size = Exchange(frame, sizeof(frame));
    if (size != 9 + 2 * count) return false;
    for (int i = 0; i < count; ++i) {
      values[i] = static_cast<std::uint16_t>((answer_[9 + 2 * i] << 8) |
                                             answer_[10 + 2 * i]);
    }
    return true;
  }
  bool WriteSingle(std::uint16_t address, std::uint16_t value) override {
    std::uint8_t frame[12];
    Header(frame, 6, 6);
    Put16(frame + 8, address);
    Put16(frame + 10, value);
    return Exchange(frame, sizeof(frame)) == 12;
  }
  bool WriteMultiple(std::uint16_t address, std::uint16_t count,
                     const std::uint16_t* values) override {
    std::uint8_t frame[260];
    Header(frame, static_cast<std::uint16_t>(7 + 2 * count), 16);
    Put16(frame + 8, address);
    Put16(frame + 10, count);
    frame[12] = static_cast<std::uint8_t>(2 * count);
    for (int i = 0; i < count; ++i) Put16(frame + 13 + 2 * i, values[i]);
    return Exchange(frame, 13 + 2 * count) == 12;
  }

 private:
  static void Put16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 8);
    at[1] = static_cast<std::uint8_t>(value);
  }
  static void Header(std::uint8_t* frame, std::uint16_t length,
                     std::uint8_t function) {
    Put16(frame, 0);
    Put16(frame + 2, 0);
    Put16(frame + 4, length);
    frame[6] = 1;
    frame[7] = function;
  }
  // The answer's size, or -1.
  int Exchange(const std::uint8_t* frame, int size) {
    if (send(fd_, frame, static_cast<size_t>(size), MSG_NOSIGNAL) != size) {
      return -1;
    }
    int have = 0;
    int want = 7;
    while (have < want) {
      const ssize_t got = recv(fd_, answer_ + have,
                               sizeof(answer_) - static_cast<size_t>(have), 0);
      if (got <= 0) return -1;
      have += static_cast<int>(got);
      if (have >= 6) want = 6 + ((answer_[4] << 8) | answer_[5]);
    }
    return have;
  }

  int fd_;
  std::uint8_t answer_[261];
};

bool RunOne(Client& client, const Case& c, std::uint16_t* values,
            std::uint16_t serial) {
  switch (c.kind) {
    case CaseKind::Read:
      return client.Read(c.address, c.count, values);
    case CaseKind::WriteSingle:
      return client.WriteSingle(c.address, serial);
    case CaseKind::WriteMultiple:
      values[0] = serial;
      return client.WriteMultiple(c.address, c.count, values);
  }
  return false;
}

// Mean microseconds per exchange over `count` exchanges.
double RunBatch(Client& client, const Case& c, int count) {
  std::uint16_t values[125];
  for (int i = 0; i < 125; ++i) values[i] = static_cast<std::uint16_t>(i * 7);
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    if (!RunOne(client, c, values, static_cast<std::uint16_t>(i))) {
      std::fprintf(stderr, "tcpmodbus-bench: %s failed an exchange (%s)\n",
                   client.Name(), c.name);
      std::exit(1);
    }
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  return std::chrono::duration<double, std::micro>(elapsed).count() / count;
}

// ---------------------------------------------------------------- server

// The simulated module, or the built-in server (this program with --serve)
// when the module is not built. Either reports "listening on" on its
// standard error. The built-in one runs as a program of its own too, so that
// profilers that follow no exec see the client alone.
class Server {
 public:
  Server(const std::string& sim, const std::string& address)
      : process_(sim.empty()
                     ? std::vector<std::string>{OwnPath(), "--serve", address}
                     : std::vector<std::string>{sim, "--address", address,
                                                "--port", "0", "--registers",
                                                std::to_string(kRegisters),
                                                "--quiet"},
                 2, false),
        port_(process_.NumberAfter("listening on " + address + ":")) {}
  // The port the module listens on, of the system's choosing.
  int Port() const { return port_; }
  // Drops what the module wrote since, so that it never blocks on a full
  // pipe.
  void Drain() { process_.Drain(); }

 private:
  ChildProcess process_;
  int port_;
};

std::string DefaultSim() {
  if (const char* sim = std::getenv("TCPMODBUS_SIM")) return sim;
#ifdef TCPMODBUS_BENCH_SIM
  struct stat info;
  if (stat(TCPMODBUS_BENCH_SIM, &info) == 0) return TCPMODBUS_BENCH_SIM;
#endif
  return "";
}

// ---------------------------------------------------------------- main

struct Options {
  int rounds = 31;
  int batch = 200;
  std::string address = "127.0.70.1";
  std::string sim = DefaultSim();
  std::string stdoutMode = "file";
  std::string trace;
  int cpu = -1;
  std::string profileClient;
  std::string profileCase;
  long profileCount = 0;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) Fail("missing value after " + arg);
      return argv[++i];
    };
    if (arg == "--rounds") {
      options.rounds = std::atoi(next().c_str());
    } else if (arg == "--batch") {
      options.batch = std::atoi(next().c_str());
    } else if (arg == "--quick") {
      options.rounds = 3;
      options.batch = 5;
    } else if (arg == "--address") {
      options.address = next();
    } else if (arg == "--sim") {
      options.sim = next();
    } else if (arg == "--builtin-server") {
      options.sim.clear();
    } else if (arg == "--cpu") {
      options.cpu = std::atoi(next().c_str());
    } else if (arg == "--stdout") {
      options.stdoutMode = next();
    } else if (arg == "--trace") {
      options.trace = next();
    } else if (arg == "--profile") {
      options.profileClient = next();
      options.profileCase = next();
      options.profileCount = std::atol(next().c_str());
    } else {
      Fail("unknown argument " + arg);
    }
  }
  if (options.rounds < 1 || options.batch < 1) Fail("bad --rounds or --batch");
  if (options.stdoutMode != "file" && options.stdoutMode != "line" &&
      options.stdoutMode != "null" && options.stdoutMode != "off") {
    Fail("--stdout takes file, line, null or off");
  }
  return options;
}

std::unique_ptr<Client> MakeClient(const std::string& name,
                                   const std::string& address, int port) {
  if (name == "ours") return std::make_unique<OursClient>(address, port, true);
  if (name == "ours-off") {
    return std::make_unique<OursClient>(address, port, false);
  }
  if (name == "libmodbus-trace") {
    return std::make_unique<LibmodbusClient>(address, port, true);
  }
  if (name == "libmodbus") {
    return std::make_unique<LibmodbusClient>(address, port, false);
  }
  if (name == "raw") return std::make_unique<RawClient>(address, port);
  Fail("unknown client " + name);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Where descriptor 1 went, for the report.
struct TraceDestination {
  std::string path;
  bool remove = false;  // a temporary file of our own
};

// Points descriptor 1 at the trace destination for the whole run and sets
// how standard output is buffered; stdout has not been used yet, so setvbuf
// may still be called.
TraceDestination RedirectStdout(const Options& options) {
  TraceDestination destination;
  int fd;
  if (options.stdoutMode == "null" || options.stdoutMode == "off") {
    destination.path = "/dev/null";
    fd = open("/dev/null", O_WRONLY);
  } else if (options.trace.empty()) {
    char name[] = "/tmp/tcpmodbus-bench-trace-XXXXXX";
    fd = mkstemp(name);
    destination.path = name;
    destination.remove = true;
  } else {
    destination.path = options.trace;
    fd = open(options.trace.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  if (fd < 0 || dup2(fd, 1) < 0) Fail("cannot open the trace destination");
  close(fd);
  const int buffering = options.stdoutMode == "line" ? _IOLBF : _IOFBF;
  if (std::setvbuf(stdout, nullptr, buffering, BUFSIZ) != 0) {
    Fail("cannot set the buffering of standard output");
  }
  return destination;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--serve") == 0) {
    return RunBenchServer(argv[2], kRegisters, 2);
  }
  const Options options = ParseOptions(argc, argv);

  // The report keeps the original standard output; descriptor 1 becomes the
  // trace destination.
  FILE* report = fdopen(dup(1), "w");
  if (report == nullptr) Fail("cannot keep standard output");
  const TraceDestination trace = RedirectStdout(options);

  // Pinned, the client and the module share one core (the module inherits
  // the mask): a round trip is then two context switches, and what each
  // client costs on its own side shows. Unpinned, cross-core wake-ups of
  // this virtual machine dominate every round trip alike.
  if (options.cpu >= 0) {
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    CPU_SET(options.cpu, &cpus);
    if (sched_setaffinity(0, sizeof(cpus), &cpus) != 0) Fail("bad --cpu");
  }
  Server server(options.sim, options.address);

  if (!options.profileClient.empty()) {
    const Case* c = FindCase(options.profileCase);
    if (c == nullptr) Fail("unknown case");
    std::unique_ptr<Client> client =
        MakeClient(options.profileClient, options.address, server.Port());
    RunBatch(*client, *c, static_cast<int>(options.profileCount));
    std::fflush(stdout);
    if (trace.remove) unlink(trace.path.c_str());
    return 0;
  }

  // The clients of the mode, in the order of the report's columns; ours
  // comes first, and the report divides it by each of the others.
  const std::vector<std::string> names =
      options.stdoutMode == "off"
          ? std::vector<std::string>{"ours-off", "libmodbus", "raw"}
          : std::vector<std::string>{"ours", "libmodbus-trace", "libmodbus",
                                     "raw"};
  const int clientCount = static_cast<int>(names.size());
  std::vector<std::unique_ptr<Client>> clients;
  for (const std::string& name : names) {
    clients.push_back(MakeClient(name, options.address, server.Port()));
  }

  // Warm-up: connections, caches, the trace file's first pages.
  for (const Case& c : kCases) {
    for (auto& client : clients) RunBatch(*client, c, options.batch / 4 + 1);
  }

  std::vector<std::vector<double>> samples[kCaseCount];
  for (auto& caseSamples : samples) caseSamples.resize(names.size());
  for (int round = 0; round < options.rounds; ++round) {
    for (int ci = 0; ci < kCaseCount; ++ci) {
      for (int step = 0; step < clientCount; ++step) {
        const int k = (round + step) % clientCount;
        samples[ci][static_cast<size_t>(k)].push_back(RunBatch(
            *clients[static_cast<size_t>(k)], kCases[ci], options.batch));
      }
    }
    server.Drain();
  }
  std::fflush(stdout);

  struct stat traceInfo = {};
  fstat(1, &traceInfo);
  const std::string pinning =
      options.cpu >= 0
          ? "client and module pinned to cpu " + std::to_string(options.cpu)
          : std::string("not pinned");
  std::fprintf(
      report,
      "server: %s on %s:%d; %d rounds x %d exchanges per client and case, interleaved; %s\n",
      options.sim.empty() ? "built-in libmodbus server" : options.sim.c_str(),
      options.address.c_str(), server.Port(), options.rounds, options.batch,
      pinning.c_str());
  if (options.stdoutMode == "off") {
    std::fprintf(report, "standard output: %s; no client traces\n\n",
                 trace.path.c_str());
  } else if (S_ISREG(traceInfo.st_mode)) {
    std::fprintf(
        report,
        "standard output: %s, %s; %lld bytes of trace from ours and libmodbus-trace%s\n\n",
        trace.path.c_str(),
        options.stdoutMode == "line" ? "line-buffered" : "fully buffered",
        static_cast<long long>(traceInfo.st_size),
        trace.remove ? ", file removed" : "");
  } else {
    std::fprintf(report, "standard output: %s, fully buffered\n\n",
                 trace.path.c_str());
  }
  // Each column as wide as its heading, at least 7.
  auto width = [](const std::string& heading) {
    return std::max(7, static_cast<int>(heading.size()));
  };
  std::fprintf(report, "%-18s", "median us/exchange");
  for (const std::string& name : names) {
    std::fprintf(report, " %*s", width(name), name.c_str());
  }
  std::fprintf(report, "  ");
  for (size_t k = 1; k < names.size(); ++k) {
    const std::string ratio = names[0] + "/" + names[k];
    std::fprintf(report, " %*s", width(ratio), ratio.c_str());
  }
  std::fprintf(report, "\n");
  for (int ci = 0; ci < kCaseCount; ++ci) {
    std::vector<double> medians;
    for (const auto& clientSamples : samples[ci]) {
      medians.push_back(Median(clientSamples));
    }
    std::fprintf(report, "%-18s", kCases[ci].name);
    for (size_t k = 0; k < names.size(); ++k) {
      std::fprintf(report, " %*.2f", width(names[k]), medians[k]);
    }
    std::fprintf(report, "  ");
    for (size_t k = 1; k < names.size(); ++k) {
      std::fprintf(report, " %*.2f", width(names[0] + "/" + names[k]),
                   medians[0] / medians[k]);
    }
    std::fprintf(report, "\n");
  }
  std::fclose(report);
  for (auto& client : clients) client.reset();
  if (trace.remove) unlink(trace.path.c_str());
  return 0;
}
