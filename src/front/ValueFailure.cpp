#include "front/ValueFailure.h"

#include <cstdarg>

#include "common/ErrorText.h"
#include "front/CTCPModbus.h"

namespace tcpmodbus {

int RecordValueFailure(TCPModbusIntf& module, ErrorCode code,
                       const char* format, ...) {
  auto* object = dynamic_cast<CTCPModbus*>(&module);
  if (object == nullptr) return 0;
  char text[errortext::kSize];
  std::va_list args;
  va_start(args, format);
  errortext::FormatV(text, format, args);
  va_end(args);
  object->Refuse(Failure::Of(code), "%s", text);
  return 0;
}

}  // namespace tcpmodbus
