// Ctrl-C and SIGTERM while polling: the first asks the poll loop to stop
// after the poll in progress (the summary is then printed); a second ends the
// process at once, also while the library waits for a silent module, with
// status 128 + the signal's number (130 for Ctrl-C, as shells expect).
#ifndef TCPMODBUS_TOOLS_CLI_STOPSIGNAL_H_
#define TCPMODBUS_TOOLS_CLI_STOPSIGNAL_H_

namespace cli {

void InstallStopHandlers();
bool StopRequested();

}  // namespace cli

#endif  // TCPMODBUS_TOOLS_CLI_STOPSIGNAL_H_
