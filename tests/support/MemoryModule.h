// A module held in memory behind the operations of TCPModbusIntf, for the
// device map's tests: 65536 holding registers and coils, addresses it lacks
// (answered with exception 2), a most per read (more: exception 3), and a
// failure of every request from a given one on. Every request is recorded.
#ifndef TCPMODBUS_TESTS_SUPPORT_MEMORYMODULE_H_
#define TCPMODBUS_TESTS_SUPPORT_MEMORYMODULE_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "tcpmodbus/DeviceMap.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace testsupport {

class MemoryModule : public TCPModbusIntf {
 public:
  using Table = tcpmodbus::PointTable;
  struct Request {
    int functionCode;
    std::uint32_t start, count;
    int exceptionCode;  // what it was answered with; 0: values
    std::chrono::system_clock::time_point time;  // when it was served
  };

  std::vector<std::uint16_t> holding = std::vector<std::uint16_t>(65536);
  std::vector<unsigned char> coils = std::vector<unsigned char>(65536);
  std::set<std::pair<Table, std::uint32_t>> missing;
  unsigned maxRegisters = 125;
  unsigned maxBits = 2000;
  // Requests from this number on (1 up) fail with `failCode`.
  std::size_t failFrom = 0;
  int failCode = ErrorTimeout;
  int exceptionCode = 0;  // when not 0, every request is refused with it
  std::vector<Request> requests;

  int ReadHoldRegs(unsigned short start, unsigned short* values,
                   unsigned short count) override {
    return Serve(Table::kHolding, 3, start, count, holding, values, false);
  }
  int ReadCoils(unsigned short start, unsigned char* bits,
                unsigned short count) override {
    return Serve(Table::kCoil, 1, start, count, coils, bits, false);
  }
  int WriteSingleHoldReg(unsigned short address,
                         unsigned short& value) override {
    return Serve(Table::kHolding, 6, address, 1, holding, &value, true);
  }
  int WriteMultiHoldRegs(unsigned short start, unsigned short* values,
                         unsigned short count) override {
    return Serve(Table::kHolding, 16, start, count, holding, values, true);
  }
  int WriteSingleCoil(unsigned short address, bool on) override {
    unsigned char bit = on ? 1 : 0;
    return Serve(Table::kCoil, 5, address, 1, coils, &bit, true);
  }
  int WriteMultiCoils(unsigned short start, const unsigned char* bits,
                      unsigned short count) override {
    std::vector<unsigned char> given(bits, bits + count);
    return Serve(Table::kCoil, 15, start, count, coils, given.data(), true);
  }
  int LastErrorCode() override { return errorCode_; }
  int LastExceptionCode() override { return lastException_; }

 private:
  // Records the request and answers it: `values` read from the table, or
  // written to it.
  template <typename Value>
  int Serve(Table table, int functionCode, std::uint32_t start,
            std::uint32_t count, std::vector<Value>& entries, Value* values,
            bool write) {
    const bool bits = table == Table::kCoil;
    int refusal = exceptionCode;
    if (!write && count > (bits ? maxBits : maxRegisters)) refusal = 3;
    for (std::uint32_t i = 0; i < count && refusal == 0; ++i) {
      if (missing.count({table, start + i}) != 0) refusal = 2;
    }
    requests.push_back({functionCode, start, count, refusal,
                        std::chrono::system_clock::now()});
    errorCode_ = ErrorNone;
    lastException_ = 0;
    if (failFrom != 0 && requests.size() >= failFrom) {
      errorCode_ = failCode;
    } else if (refusal != 0) {
      errorCode_ = ErrorModbusException;
      lastException_ = refusal;
    } else {
      for (std::uint32_t i = 0; i < count; ++i) {
        if (write) entries[start + i] = bits ? values[i] != 0 : values[i];
        if (!write) values[i] = entries[start + i];
      }
      return 1;
    }
    return 0;
  }

  int errorCode_ = ErrorNone;
  int lastException_ = 0;
};

}  // namespace testsupport

#endif  // TCPMODBUS_TESTS_SUPPORT_MEMORYMODULE_H_
