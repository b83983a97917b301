// Batches of reads: one at a time through the read operations at depth 1
// (every frame and trace line those operations have), several requests in
// flight through the protocol client's pipeline above it, stepping down to
// one at a time for good once the module shows it cannot take them.
#include <cstdint>
#include <vector>

#include "front/BatchRead.h"
#include "front/CTCPModbus.h"
#include "modbus/ModbusFrame.h"
#include "trace/PrintTrace.h"

namespace tcpmodbus {

namespace {

constexpr char kBatch[] = "CTCPModbus::ReadBatch";

// Whether `read` names a table and has the array its values go to, and a
// bit read a quantity its read operation sends.
bool Readable(const tcpmodbus_read& read) {
  switch (read.table) {
    case TCPMODBUS_TABLE_HOLDING:
    case TCPMODBUS_TABLE_INPUT:
      return read.registers != nullptr;
    case TCPMODBUS_TABLE_COIL:
    case TCPMODBUS_TABLE_DISCRETE:
      return read.bits != nullptr && read.count >= 1 &&
             read.count <= TCPMODBUS_MAX_READ_BITS;
    default:
      return false;
  }
}

}  // namespace

int CTCPModbus::SetMaxInFlight(unsigned int depth) {
  static constexpr char kName[] = "CTCPModbus::SetMaxInFlight";
  if (CalledFromSink(kName)) return 0;
  if (depth < 1 || depth > TCPMODBUS_MAX_IN_FLIGHT) {
    Refuse(Failure::Of(tcpmodbus::ErrorCode::kInvalidArgument),
           "%s: Depth %u refused; 1 to %d requests may be in flight", kName,
           depth, TCPMODBUS_MAX_IN_FLIGHT);
    return 0;
  }
  Settings.maxInFlight = depth;
  return 1;
}

unsigned int CTCPModbus::StepDowns() { return StepDownCount; }

int CTCPModbus::ReadBatch(tcpmodbus_read* reads, unsigned int count) {
  if (CalledFromSink(kBatch)) return 0;
  const SeveralOperations batch(this);
  if (reads == nullptr && count > 0) {
    Refuse(Failure::Of(tcpmodbus::ErrorCode::kInvalidArgument),
           "%s: Null read array", kBatch);
    return 0;
  }
  if (Settings.maxInFlight <= 1 || SteppedDown || count <= 1) {
    return ReadInTurn(*this, reads, count);
  }
  if (!Settings.transactionIds) {
    Refuse(Failure::Of(tcpmodbus::ErrorCode::kInvalidArgument),
           "%s: %u requests in flight need transaction identifiers (SetTransactionIds(true)), which alone tell their answers apart; nothing was sent",
           kBatch, Settings.maxInFlight);
    for (unsigned int i = 0; i < count; ++i) RecordOutcome(*this, reads[i], 0);
    return 0;
  }
  return ReadPipelined(reads, count);
}

int CTCPModbus::ReadPipelined(tcpmodbus_read* reads, unsigned int count) {
  // The reads that can go into the pipeline; the others fail as their read
  // operation would.
  std::vector<CMBusTCP::PipelinedRead> pipelined;
  std::vector<unsigned int> batchIndex;
  int all = 1;
  for (unsigned int i = 0; i < count; ++i) {
    if (!Readable(reads[i])) {
      // Refused as its read operation refuses it, with nothing sent.
      all &= ReadOne(*this, reads[i]);
      continue;
    }
    pipelined.push_back({static_cast<std::uint8_t>(reads[i].table),
                         reads[i].address, reads[i].count, reads[i].registers,
                         reads[i].bits});
    batchIndex.push_back(i);
  }
  if (pipelined.empty()) return all;
  const Operation& leading = OperationOf(pipelined[0].functionCode);
  if (!ReadyToRun(leading)) {
    for (unsigned int i : batchIndex) RecordOutcome(*this, reads[i], 0);
    return 0;
  }

  // Each read's outcome, traced and recorded as it is judged.
  struct Outcomes final : CMBusTCP::PipelineSink {
    CTCPModbus& object;
    tcpmodbus_read* reads;
    const std::vector<CMBusTCP::PipelinedRead>& pipelined;
    const std::vector<unsigned int>& batchIndex;
    std::vector<bool> judged;
    int all = 1;
    Outcomes(CTCPModbus& owner, tcpmodbus_read* batch,
             const std::vector<CMBusTCP::PipelinedRead>& inFlight,
             const std::vector<unsigned int>& indices)
        : object(owner),
          reads(batch),
          pipelined(inFlight),
          batchIndex(indices),
          judged(inFlight.size(), false) {}
    void Judged(int read, const Status& status) override {
      const CMBusTCP::PipelinedRead& request = pipelined[read];
      judged[read] = true;
      const int result = object.TraceOutcome(
          OperationOf(request.functionCode), status,
          {request.registers, request.bits, request.count});
      all &= RecordOutcome(object, reads[batchIndex[read]], result);
    }
    void NotSent(int read) override {
      judged[read] = true;
      all = 0;
      tcpmodbus::NotSent(reads[batchIndex[read]]);
    }
  } outcomes(*this, reads, pipelined, batchIndex);

  CMBusTCP::StepDown stepDown = CMBusTCP::StepDown::kNone;
  const int size = static_cast<int>(pipelined.size());
  const int depth = static_cast<int>(Settings.maxInFlight);
  Status status = ModbusClient.ReadPipelined(pipelined.data(), size, depth,
                                             outcomes, &stepDown);
  if (status.lostBeforeSend()) {
    // Found gone before the first request: renewed, then the batch runs.
    status = Reconnect() ? ModbusClient.ReadPipelined(pipelined.data(), size,
                                                      depth, outcomes,
                                                      &stepDown)
                         : Status::ConnectionLost();
  }
  if (status.connectionLost()) {
    Link.recoveryDue = true;
    Link.notConnectedBecause = "the connection was lost";
  }
  if (stepDown != CMBusTCP::StepDown::kNone) {
    ++StepDownCount;
    SteppedDown = true;
    PrintTrace(Trace, "%s\n", ModbusClient.LastFailure.text);
  }
  // What was not judged goes again, one read at a time, as the read
  // operations send it (reconnecting first where recovery says so), until
  // one loses the connection.
  bool lost = false;
  for (std::size_t i = 0; i < pipelined.size(); ++i) {
    if (outcomes.judged[i]) continue;
    tcpmodbus_read& read = reads[batchIndex[i]];
    if (lost) {
      tcpmodbus::NotSent(read);
      all = 0;
    } else if (ReadOne(*this, read) == 0) {
      all = 0;
      lost = LosesConnection(read.error_code);
    }
  }
  return all & outcomes.all;
}

}  // namespace tcpmodbus
