#include "FailureText.h"

#include "SystemError.h"

namespace cli {
namespace {

// ": Connection refused" for a failure with a system error number the system
// can describe, else nothing (the library's text gives the number).
std::string SystemSuffix(TCPModbusIntf& module) {
  const int number = module.LastSystemError();
  if (number == 0) return "";
  const std::string text = SystemErrorText(number);
  return text.empty() ? "" : ": " + text;
}

// The open or bind failure of Initialize, which the library's text does not
// hold: only its trace line tells, and that may be off.
std::string OpenFailure(TCPModbusIntf& module, const Arguments& args) {
  const std::string where = (args.local.empty() ? "*" : args.local) + ":" +
                            std::to_string(args.localPort);
  const int number = module.LastSystemError();
  // Without a system call behind it: a local address that the look-up does
  // not know or that has no address of the server's family, which the
  // failure text tells; without name look-up, a text that is not dotted.
  if (number == 0 && args.nameLookup) return module.LastFailureText();
  if (number == 0) {
    return "cannot open a TCP socket on " + where + ": '" + args.local +
           "' is not a dotted IPv4 address";
  }
  const std::string text = SystemErrorText(number);
  const std::string reason = text.empty()
                                 ? "error " + std::to_string(number)
                                 : text + " (" + std::to_string(number) + ")";
  return "cannot open a TCP socket on " + where + ": " + reason;
}

}  // namespace

std::string ConnectFailure(TCPModbusIntf& module, const Arguments& args) {
  if (module.LastErrorCode() == TCPModbusIntf::ErrorOpen) {
    return OpenFailure(module, args);
  }
  // A server address that is no address (with name look-up off, any text
  // but dotted IPv4): the failure text says why.
  const bool noAddress =
      module.LastErrorCode() == TCPModbusIntf::ErrorConnect &&
      IsInvalidArgument(module.LastSystemError());
  return "cannot connect to " + args.server + ": " +
         (noAddress ? module.LastFailureText() : OperationFailure(module));
}

std::string OperationFailure(TCPModbusIntf& module) {
  const int code = module.LastErrorCode();
  // The text still tells an earlier failure then.
  if (code == TCPModbusIntf::ErrorNotConnected)
    return "not connected to the module";
  const std::string text = module.LastErrorString();
  if (text.empty())
    return TCPModbusIntf::ErrorName(code) + SystemSuffix(module);
  return text + SystemSuffix(module);
}

}  // namespace cli
