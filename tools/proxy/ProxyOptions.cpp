#include "ProxyOptions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace tcpmodbus::proxy {

namespace {

constexpr long kLongestDelayMs = 60 * 1000;

void PrintUsage(std::FILE* out) {
  std::fprintf(
      out,
      "Usage: tcpmodbus-delay-proxy --target HOST:PORT [--listen A] [--port P]\n"
      "                             [--delay MS] [--jitter MS] [--seed N] [--quiet]\n"
      "Accepts TCP connections and forwards each to HOST:PORT, both ways, with\n"
      "a one-way delay: every piece received is sent on MS milliseconds later,\n"
      "in the order received. A close or a reset of one side reaches the other\n"
      "after the data it sent before. A round trip of 10 ms is --delay 5.\n"
      "\n"
      "  --target HOST:PORT  where to forward: a dotted IPv4 address, [IPv6]\n"
      "                      or a host name (its first address), and a port\n"
      "  --listen A          where to listen: an address or a host name, on\n"
      "                      every address it resolves to (default 127.0.0.1)\n"
      "  --port P            TCP port to listen on (default 0: the system\n"
      "                      chooses one); printed alone on the first line of\n"
      "                      standard output once listening\n"
      "  --delay MS          one-way delay, 0 to 60000 ms (default 0)\n"
      "  --jitter MS         up to MS ms more for each piece, drawn evenly\n"
      "                      (default 0); never reorders the bytes\n"
      "  --seed N            seed of the jitter, for a run that repeats\n"
      "                      (default: a random one, told in the log)\n"
      "  --quiet             no log line per connection\n"
      "  --help              this text\n"
      "\n"
      "Logs to stderr. SIGINT or SIGTERM stops it (exit 0).\n");
}

bool ParseNumber(const char* text, long min, long max, long* out) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < min || value > max) return false;
  *out = value;
  return true;
}

// HOST:PORT, HOST in brackets when it is an IPv6 address.
bool ParseTarget(const std::string& text, ProxyOptions* options) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  std::string host = text.substr(0, colon);
  if (host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  long port = 0;
  if (host.empty() || !ParseNumber(text.c_str() + colon + 1, 1, 65535, &port)) {
    return false;
  }
  options->targetHost = host;
  options->targetPort = std::to_string(port);
  return true;
}

bool Apply(const std::string& option, const char* value,
           ProxyOptions* options) {
  long number = 0;
  if (option == "--target") {
    if (value != nullptr && ParseTarget(value, options)) return true;
    std::fprintf(
        stderr,
        "tcpmodbus-delay-proxy: --target needs HOST:PORT ([HOST]:PORT for an IPv6 address), PORT from 1 to 65535\n");
  } else if (option == "--listen") {
    if (value != nullptr && *value != '\0') {
      options->listen = value;
      return true;
    }
    std::fprintf(
        stderr,
        "tcpmodbus-delay-proxy: --listen needs an address or a host name\n");
  } else if (option == "--port") {
    if (ParseNumber(value, 0, 65535, &number)) {
      options->port = static_cast<int>(number);
      return true;
    }
    std::fprintf(
        stderr,
        "tcpmodbus-delay-proxy: --port needs a number from 0 to 65535\n");
  } else if (option == "--delay" || option == "--jitter") {
    if (ParseNumber(value, 0, kLongestDelayMs, &number)) {
      (option == "--delay" ? options->delayMs : options->jitterMs) =
          static_cast<int>(number);
      return true;
    }
    std::fprintf(
        stderr,
        "tcpmodbus-delay-proxy: %s needs a number of milliseconds from 0 to 60000\n",
        option.c_str());
  } else if (option == "--seed") {
    if (ParseNumber(value, 0, 4294967295L, &number)) {
      options->seed = static_cast<unsigned>(number);
      options->seedGiven = true;
      return true;
    }
    std::fprintf(
        stderr,
        "tcpmodbus-delay-proxy: --seed needs a number from 0 to 4294967295\n");
  } else {
    std::fprintf(stderr, "tcpmodbus-delay-proxy: unknown argument '%s'\n",
                 option.c_str());
    PrintUsage(stderr);
  }
  return false;
}

}  // namespace

int ParseProxyOptions(int argc, char** argv, ProxyOptions* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      return 1;
    }
    if (arg == "--quiet") {
      options->quiet = true;
      continue;
    }
    const bool takesValue = arg == "--target" || arg == "--listen" ||
                            arg == "--port" || arg == "--delay" ||
                            arg == "--jitter" || arg == "--seed";
    const char* value = takesValue && i + 1 < argc ? argv[++i] : nullptr;
    if (!Apply(arg, value, options)) return 2;
  }
  if (options->targetHost.empty()) {
    std::fprintf(stderr,
                 "tcpmodbus-delay-proxy: --target HOST:PORT is needed\n");
    return 2;
  }
  return 0;
}

}  // namespace tcpmodbus::proxy
