#include "FailureText.h"

#include "SystemError.h"

namespace cli {

std::string FailureText(TCPModbusIntf& module) {
  std::string text = module.LastFailureText();
  if (text.empty()) text = TCPModbusIntf::ErrorName(module.LastErrorCode());
  // The library's text gives the system's number only ("Error(111)").
  const int number = module.LastSystemError();
  const std::string described = number != 0 ? SystemErrorText(number) : "";
  return described.empty() ? text : text + ": " + described;
}

}  // namespace cli
