#include "batch_clients.h"

#include <modbus/modbus.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <iterator>
#include <set>

#include "child_process.h"
#include "raw_batch_client.h"
#include "socket_hooks.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace {

constexpr unsigned kResponseTimeoutMs = 3000;

// Every read's values, in arrays that live as long as the call.
struct Buffers {
  std::vector<std::vector<unsigned short>> registers;
  std::vector<std::vector<unsigned char>> bits;

  explicit Buffers(const BatchCase& c) {
    for (const BatchRead& read : c.reads) {
      registers.emplace_back(IsRegisterTable(read.table) ? read.count : 0);
      bits.emplace_back(IsRegisterTable(read.table) ? 0 : read.count);
    }
  }
  std::vector<std::vector<int>> Values() const {
    std::vector<std::vector<int>> values;
    for (size_t i = 0; i < registers.size(); ++i) {
      values.emplace_back(registers[i].begin(), registers[i].end());
      values.back().insert(values.back().end(), bits[i].begin(), bits[i].end());
    }
    return values;
  }
};

// A C++ client: calls timed here.
class TimedClient : public BatchClient {
 public:
  double Run(const BatchCase& c, int calls) override {
    Buffers buffers(c);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) Call(c, buffers);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return std::chrono::duration<double, std::micro>(elapsed).count() / calls;
  }
  std::vector<std::vector<int>> Values(const BatchCase& c) override {
    Buffers buffers(c);
    Call(c, buffers);
    return buffers.Values();
  }

 protected:
  using BatchClient::BatchClient;
  // One call of the case; fails the benchmark when a read failed.
  virtual void Call(const BatchCase& c, Buffers& buffers) = 0;
};

class OursClient : public TimedClient {
 public:
  // depth 0: the read operations one after another, no batch.
  OursClient(const std::string& name, const Endpoint& module, unsigned depth,
             bool noDelay, bool quickAck)
      : TimedClient(name),
        modbus_(TCPModbusIntf::GetInstance()),
        depth_(depth) {
    modbus_->SetTraceSink(nullptr, nullptr);
    modbus_->SetServerPort(static_cast<unsigned short>(module.port));
    modbus_->SetTransactionIds(true);
    modbus_->SetResponseTimeout(kResponseTimeoutMs);
    if (depth > 1 && modbus_->SetMaxInFlight(depth) != 1) {
      BenchFail(name + ": " + modbus_->LastFailureText());
    }
    const std::set<int> before = OpenSockets();
    if (modbus_->Initialize(1, module.address, 0, module.address) != 1) {
      BenchFail(name + " could not connect: " + modbus_->LastErrorString());
    }
    for (int fd : OpenSockets()) {
      if (before.count(fd) == 0) fd_ = fd;
    }
    if (fd_ < 0 && (noDelay || quickAck)) {
      BenchFail(name + ": cannot find the library's socket");
    }
    if (noDelay) SetNoDelay(fd_);
    if (quickAck) QuickAckAfterEachReceive(fd_);
  }
  int NoDelay() override { return fd_ < 0 ? -1 : NoDelayOf(fd_); }
  std::vector<std::vector<int>> Values(const BatchCase& c) override {
    checking_ = true;
    std::vector<std::vector<int>> values = TimedClient::Values(c);
    checking_ = false;
    return values;
  }

 private:
  void Call(const BatchCase& c, Buffers& buffers) override {
    if (depth_ == 0) {
      for (size_t i = 0; i < c.reads.size(); ++i) {
        ReadOne(c.reads[i], buffers, i);
      }
      return;
    }
    if (c.map != nullptr && !checking_) {
      ReadMap(c);
      return;
    }
    tcpmodbus_read reads[64];
    const size_t count = c.reads.size();
    if (count > std::size(reads)) BenchFail("a case of more than 64 reads");
    for (size_t i = 0; i < count; ++i) {
      reads[i] = {c.reads[i].table,
                  c.reads[i].address,
                  c.reads[i].count,
                  buffers.registers[i].data(),
                  buffers.bits[i].data(),
                  0,
                  0,
                  0};
    }
    if (modbus_->ReadBatch(reads, static_cast<unsigned>(count)) != 1) {
      BenchFail(Name() + " failed a batch: " + modbus_->LastFailureText());
    }
    if (modbus_->StepDowns() != 0) {
      BenchFail(Name() + " stepped down to one request in flight: " +
                modbus_->LastFailureText());
    }
  }
  // The map read: its plan run as the object's batch, every point decoded.
  void ReadMap(const BatchCase& c) {
    tcpmodbus::Snapshot snapshot;
    std::string error;
    if (!tcpmodbus::ReadMap(*modbus_, *c.map, tcpmodbus::PlanLimits(),
                            &snapshot, &error)) {
      BenchFail(Name() + " could not read the map: " + error);
    }
    if (snapshot.requests.size() != c.reads.size()) {
      BenchFail(Name() + " read the map in other requests than its plan's");
    }
    for (const tcpmodbus::Reading& reading : snapshot.readings) {
      if (reading.status != tcpmodbus::ReadingStatus::kOk) {
        BenchFail(Name() +
                  " failed a point of the map: " + modbus_->LastFailureText());
      }
    }
    if (modbus_->StepDowns() != 0) {
      BenchFail(Name() + " stepped down to one request in flight: " +
                modbus_->LastFailureText());
    }
  }
  void ReadOne(const BatchRead& read, Buffers& buffers, size_t i) {
    unsigned short* registers = buffers.registers[i].data();
    unsigned char* bits = buffers.bits[i].data();
    int done = 0;
    switch (read.table) {
      case TCPMODBUS_TABLE_HOLDING:
        done = modbus_->ReadHoldRegs(read.address, registers, read.count);
        break;
      case TCPMODBUS_TABLE_INPUT:
        done = modbus_->ReadInputRegs(read.address, registers, read.count);
        break;
      case TCPMODBUS_TABLE_COIL:
        done = modbus_->ReadCoils(read.address, bits, read.count);
        break;
      case TCPMODBUS_TABLE_DISCRETE:
        done = modbus_->ReadDiscreteInputs(read.address, bits, read.count);
        break;
    }
    if (done != 1) {
      BenchFail(Name() + " failed a read: " + modbus_->LastErrorString());
    }
  }

  std::unique_ptr<TCPModbusIntf> modbus_;
  unsigned depth_;
  int fd_ = -1;
  bool checking_ = false;  // values asked for: the plan's reads as a batch
};

class LibmodbusClient : public TimedClient {
 public:
  explicit LibmodbusClient(const Endpoint& module)
      : TimedClient("libmodbus"),
        context_(modbus_new_tcp(module.address.c_str(), module.port)) {
    if (context_ == nullptr ||
        modbus_set_response_timeout(context_, kResponseTimeoutMs / 1000, 0) !=
            0 ||
        modbus_connect(context_) != 0) {
      BenchFail("the libmodbus client could not connect to the module");
    }
  }
  ~LibmodbusClient() override {
    modbus_close(context_);
    modbus_free(context_);
  }
  int NoDelay() override { return NoDelayOf(modbus_get_socket(context_)); }

 private:
  void Call(const BatchCase& c, Buffers& buffers) override {
    for (size_t i = 0; i < c.reads.size(); ++i) {
      const BatchRead& read = c.reads[i];
      std::uint16_t* registers = buffers.registers[i].data();
      std::uint8_t* bits = buffers.bits[i].data();
      int got = -1;
      switch (read.table) {
        case TCPMODBUS_TABLE_HOLDING:
          got = modbus_read_registers(context_, read.address, read.count,
                                      registers);
          break;
        case TCPMODBUS_TABLE_INPUT:
          got = modbus_read_input_registers(context_, read.address, read.count,
                                            registers);
          break;
        case TCPMODBUS_TABLE_COIL:
          got = modbus_read_bits(context_, read.address, read.count, bits);
          break;
        case TCPMODBUS_TABLE_DISCRETE:
          got =
              modbus_read_input_bits(context_, read.address, read.count, bits);
          break;
      }
      if (got != read.count) {
        BenchFail(std::string("libmodbus failed a read: ") +
                  modbus_strerror(errno));
      }
    }
  }

  modbus_t* context_;
};

class PymodbusClient : public BatchClient {
 public:
  PymodbusClient(const Endpoint& module, const ClientPaths& paths)
      : BatchClient("pymodbus"),
        helper_({paths.python, paths.helper, module.address,
                 std::to_string(module.port)},
                1, true) {}
  double Run(const BatchCase& c, int calls) override {
    Define(c);
    const std::string answer =
        Ask("run " + c.name + " " + std::to_string(calls) + "\n");
    if (answer.rfind("us ", 0) != 0) BenchFail("pymodbus: " + answer);
    return std::atof(answer.c_str() + 3);
  }
  std::vector<std::vector<int>> Values(const BatchCase& c) override {
    Define(c);
    std::vector<std::vector<int>> values;
    helper_.Write("values " + c.name + "\n");
    for (;;) {
      const std::string line = helper_.ReadLine(60000);
      if (line == "end") return values;
      if (line.rfind("error", 0) == 0) BenchFail("pymodbus: " + line);
      values.emplace_back();
      const char* at = line.c_str();
      char* end = nullptr;
      for (long v = std::strtol(at, &end, 10); end != at;
           v = std::strtol(at, &end, 10)) {
        values.back().push_back(static_cast<int>(v));
        at = end;
      }
    }
  }
  int NoDelay() override {
    const std::string answer = Ask("nodelay\n");
    return answer == "nodelay 1" ? 1 : answer == "nodelay 0" ? 0 : -1;
  }
  pid_t CpuOwner() const override { return helper_.Pid(); }

 private:
  std::string Ask(const std::string& command) {
    helper_.Write(command);
    return helper_.ReadLine(600000);
  }
  void Define(const BatchCase& c) {
    if (defined_.count(c.name) != 0) return;
    std::string command = "case " + c.name;
    for (const BatchRead& read : c.reads) {
      command += std::string(" ") + TableName(read.table) + ":" +
                 std::to_string(read.address) + ":" +
                 std::to_string(read.count);
    }
    const std::string answer = Ask(command + "\n");
    if (answer != "ok") BenchFail("pymodbus: " + answer);
    defined_.insert(c.name);
  }

  ChildProcess helper_;
  std::set<std::string> defined_;
};

// "ours-d8-nodelay-quickack" and the like: the depth and the experiments.
bool ParseOurs(const std::string& name, unsigned* depth, bool* noDelay,
               bool* quickAck) {
  if (name == "ours-single") {
    *depth = 0;
    return true;
  }
  if (name.rfind("ours-d", 0) != 0) return false;
  char* end = nullptr;
  const long value = std::strtol(name.c_str() + 6, &end, 10);
  if (end == name.c_str() + 6 || value < 1 || value > 64) return false;
  std::string rest = end;
  *depth = static_cast<unsigned>(value);
  *noDelay = rest.rfind("-nodelay", 0) == 0;
  if (*noDelay) rest.erase(0, 8);
  *quickAck = rest == "-quickack";
  return rest.empty() || *quickAck;
}

}  // namespace

std::unique_ptr<BatchClient> MakeBatchClient(const std::string& name,
                                             const Endpoint& module,
                                             const ClientPaths& paths) {
  unsigned depth = 0;
  bool noDelay = false;
  bool quickAck = false;
  if (ParseOurs(name, &depth, &noDelay, &quickAck)) {
    return std::make_unique<OursClient>(name, module, depth, noDelay, quickAck);
  }
  if (auto raw = MakeRawBatchClient(name, module)) return raw;
  if (name == "libmodbus") return std::make_unique<LibmodbusClient>(module);
  if (name == "pymodbus")
    return std::make_unique<PymodbusClient>(module, paths);
  BenchFail("unknown client " + name);
}
