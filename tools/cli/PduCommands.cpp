#include "PduCommands.h"

#include "FailureText.h"
#include "TypedValues.h"

namespace cli {

bool IsPduCommand(const std::string& command) {
  return command == "identify" || command == "request";
}

PduJob CheckPduOperands(const Arguments& args) {
  const std::vector<std::string>& ops = args.operands;
  PduJob job;
  if (!args.valueType.empty() || args.oneBased) {
    throw UsageError(args.command + " takes no --type or --one-based");
  }
  if (args.command == "request") {
    if (ops.empty()) throw UsageError("request takes CODE [BYTE...]");
    job.number =
        static_cast<unsigned char>(ParseNumber("CODE", ops[0], 0, 255));
    for (std::size_t i = 1; i < ops.size(); ++i) {
      job.data.push_back(
          static_cast<unsigned char>(ParseNumber("BYTE", ops[i], 0, 255)));
    }
    return job;
  }
  job.identify = true;
  const std::string category = ops.empty() ? "basic" : ops[0];
  if (category == "object" && ops.size() == 2) {
    job.code = TCPMODBUS_IDENT_ONE_OBJECT;
    job.number = static_cast<unsigned char>(ParseNumber("ID", ops[1], 0, 255));
  } else if (ops.size() <= 1 && category == "basic") {
    job.code = TCPMODBUS_IDENT_BASIC;
  } else if (ops.size() == 1 && category == "regular") {
    job.code = TCPMODBUS_IDENT_REGULAR;
  } else if (ops.size() == 1 && category == "extended") {
    job.code = TCPMODBUS_IDENT_EXTENDED;
  } else {
    throw UsageError("identify takes basic, regular, extended or object ID");
  }
  return job;
}

bool RunPduJob(TCPModbusIntf& module, const Arguments& args, const PduJob& job,
               std::FILE* stream) {
  std::vector<unsigned char> bytes(job.identify ? TCPMODBUS_MAX_IDENT_RECORDS
                                                : TCPMODBUS_MAX_PDU_SIZE);
  std::size_t length = 0;
  const int done =
      job.identify
          ? module.ReadDeviceIdentification(job.code, job.number, bytes.data(),
                                            bytes.size(), &length, nullptr)
          : module.RawRequest(job.number, job.data.data(), job.data.size(),
                              bytes.data(), bytes.size(), &length);
  if (done != 1) {
    std::fprintf(stderr, "tcpmodbus-cli: %s failed: %s\n", args.command.c_str(),
                 FailureText(module).c_str());
    return false;
  }
  if (!job.identify) {
    for (std::size_t i = 0; i < length; ++i) {
      std::fprintf(stream, i + 1 < length ? "%02x " : "%02x\n", bytes[i]);
    }
    return true;
  }
  // The records: each object's id, its length, then its bytes.
  for (std::size_t at = 0; at + 1 < length; at += 2u + bytes[at + 1]) {
    const std::string value(reinterpret_cast<const char*>(&bytes[at + 2]),
                            bytes[at + 1]);
    const char* name = tcpmodbus_object_name(bytes[at]);
    if (*name != '\0') {
      std::fprintf(stream, "%s %s\n", name, Quoted(value).c_str());
    } else {
      std::fprintf(stream, "0x%02x %s\n", bytes[at], Quoted(value).c_str());
    }
  }
  return true;
}

}  // namespace cli
