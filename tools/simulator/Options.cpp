#include "Options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace tcpmodbus::sim {

namespace {

void PrintUsage(std::FILE* out) {
  std::fprintf(
      out,
      "Usage: tcpmodbus-sim [--address A] [--port P] [--registers N] [--quiet]\n"
      "                     [--undeclared TABLE:FIRST-LAST,...] [--max-registers N]\n"
      "                     [--max-bits N] [--ident NAME=VALUE]...\n"
      "                     [--ident-per-answer N] [--ident-conformity L] [--nodelay]\n"
      "A simulated DIO module: a Modbus/TCP server with N holding registers,\n"
      "N input registers, N coils and N discrete inputs (functions 1 to 6, 15,\n"
      "16, 22 and 23, 43/14 read device identification, 8/0 echo). Input\n"
      "registers read as address + a tick that advances with every request;\n"
      "discrete inputs 16k to 16k+15 show the bits of input register k, least\n"
      "significant first.\n"
      "\n"
      "  --address A    where to listen: a dotted IPv4 address, an IPv6 address\n"
      "                 (::1) or a host name, on every address it resolves to\n"
      "                 (default 127.0.0.1)\n"
      "  --port P       TCP port (default 502; 0 picks a free one)\n"
      "  --registers N  entries in each of the four tables, 1 to 65536\n"
      "                 (default 1000)\n"
      "  --undeclared TABLE:FIRST-LAST[,...]\n"
      "                 addresses FIRST to LAST of TABLE (coil, discrete, input\n"
      "                 or holding; TABLE:ADDR for one) are undeclared: a\n"
      "                 request touching any of them is answered with exception\n"
      "                 2; may be given several times\n"
      "  --max-registers N\n"
      "                 a request of more than N registers (1 to 125) is\n"
      "                 answered with exception 3\n"
      "  --max-bits N   a request of more than N coils or discrete inputs\n"
      "                 (1 to 2000) is answered with exception 3\n"
      "  --ident NAME=VALUE\n"
      "                 a device identification object: NAME is VendorName,\n"
      "                 ProductCode, MajorMinorRevision (basic; default\n"
      "                 tcpmodbus, tcpmodbus-sim, the version), VendorUrl,\n"
      "                 ProductName, ModelName, UserApplicationName (regular),\n"
      "                 or an id, 0x80 to 0xFF (extended); VALUE at most 244\n"
      "                 bytes; may be given several times\n"
      "  --ident-per-answer N\n"
      "                 at most N objects (1 to 255) in one answer; the rest\n"
      "                 follow on request (\"more follows\")\n"
      "  --ident-conformity L\n"
      "                 conformity level: 0x01, 0x02, 0x03 (stream access only)\n"
      "                 or 0x81, 0x82, 0x83 (default: 0x81 to 0x83, the highest\n"
      "                 category that has an object)\n"
      "  --nodelay      send each answer at once (TCP_NODELAY): without it the\n"
      "                 system holds an answer back while an earlier one is not\n"
      "                 yet acknowledged (Nagle's algorithm)\n"
      "  --quiet        no log line per request\n"
      "  --help         this text\n"
      "\n"
      "Logs to stderr; prints \"listening on A:P\" once ready. SIGINT or\n"
      "SIGTERM stops it (exit 0).\n");
}

bool ParseInt(const char* text, long min, long max, int* out) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 0);
  if (errno != 0 || *end != '\0' || value < min || value > max) return false;
  *out = static_cast<int>(value);
  return true;
}

// Applies an option that takes a value; false (told on stderr) when the
// value does not fit it.
bool Apply(const std::string& option, const char* value, Options* options) {
  int number = 0;
  std::string bad;
  if (option == "--address") {
    if (value != nullptr && *value != '\0') {
      options->address = value;
      return true;
    }
    std::fprintf(
        stderr,
        "tcpmodbus-sim: --address needs an IPv4 or IPv6 address or a host name\n");
  } else if (option == "--port") {
    if (ParseInt(value, 0, 65535, &options->port)) return true;
    std::fprintf(stderr,
                 "tcpmodbus-sim: --port needs a number from 0 to 65535\n");
  } else if (option == "--registers") {
    if (ParseInt(value, 1, 65536, &options->registers)) return true;
    std::fprintf(stderr,
                 "tcpmodbus-sim: --registers needs a number from 1 to 65536\n");
  } else if (option == "--undeclared") {
    if (value != nullptr && options->rules.AddUndeclared(value, &bad)) {
      return true;
    }
    std::fprintf(
        stderr,
        "tcpmodbus-sim: --undeclared needs TABLE:FIRST-LAST[,...] (TABLE coil, discrete, input or holding; FIRST <= LAST <= 65535), not '%s'\n",
        value == nullptr ? "" : bad.c_str());
  } else if (option == "--max-registers") {
    if (ParseInt(value, 1, 125, &number)) {
      options->rules.SetMaxRegisters(number);
      return true;
    }
    std::fprintf(
        stderr,
        "tcpmodbus-sim: --max-registers needs a number from 1 to 125\n");
  } else if (option == "--max-bits") {
    if (ParseInt(value, 1, 2000, &number)) {
      options->rules.SetMaxBits(number);
      return true;
    }
    std::fprintf(stderr,
                 "tcpmodbus-sim: --max-bits needs a number from 1 to 2000\n");
  } else if (option == "--ident") {
    if (value != nullptr && options->identification.Set(value)) return true;
    std::fprintf(
        stderr,
        "tcpmodbus-sim: --ident needs NAME=VALUE (NAME an object's name or id, 0 to 6 or 0x80 to 0xFF; VALUE at most 244 bytes), not '%s'\n",
        value == nullptr ? "" : value);
  } else if (option == "--ident-per-answer") {
    if (ParseInt(value, 1, 255, &number)) {
      options->identification.SetObjectsPerAnswer(number);
      return true;
    }
    std::fprintf(
        stderr,
        "tcpmodbus-sim: --ident-per-answer needs a number from 1 to 255\n");
  } else if (option == "--ident-conformity") {
    if (ParseInt(value, 0, 255, &number) &&
        options->identification.SetConformity(number)) {
      return true;
    }
    std::fprintf(
        stderr,
        "tcpmodbus-sim: --ident-conformity needs 0x01, 0x02, 0x03, 0x81, 0x82 or 0x83\n");
  }
  return false;
}

bool TakesValue(const std::string& option) {
  for (const char* name :
       {"--address", "--port", "--registers", "--undeclared", "--max-registers",
        "--max-bits", "--ident", "--ident-per-answer", "--ident-conformity"}) {
    if (option == name) return true;
  }
  return false;
}

}  // namespace

int ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      return 1;
    } else if (arg == "--quiet") {
      options->quiet = true;
    } else if (arg == "--nodelay") {
      options->noDelay = true;
    } else if (TakesValue(arg)) {
      const char* value = i + 1 < argc ? argv[++i] : nullptr;
      if (!Apply(arg, value, options)) return 2;
    } else {
      std::fprintf(stderr, "tcpmodbus-sim: unknown argument '%s'\n",
                   arg.c_str());
      PrintUsage(stderr);
      return 2;
    }
  }
  return 0;
}

}  // namespace tcpmodbus::sim
