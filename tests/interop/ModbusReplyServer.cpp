// A bare libmodbus Modbus/TCP server: modbus_receive and modbus_reply over a
// register map, nothing of its own. It serves the interoperability tests as
// a peer written by other people.
//
// Usage: modbus-reply-server ADDRESS PORT REGISTERS
//
// Four tables of REGISTERS entries each, at addresses 0 to REGISTERS - 1:
// holding registers and coils (all 0), input registers (input register i
// holds 1000 + i) and discrete inputs (discrete input i holds bit i mod 16 of
// input register i / 16, least significant bit first). One client at a time.
// Prints "listening on ADDRESS:PORT" to stderr once it listens, and runs until
// SIGTERM or SIGINT.
#include <errno.h>
#include <modbus.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

volatile sig_atomic_t g_stop = 0;

void OnStop(int) { g_stop = 1; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s ADDRESS PORT REGISTERS\n", argv[0]);
    return 2;
  }
  const int port = std::atoi(argv[2]);
  const int registers = std::atoi(argv[3]);
  struct sigaction stop = {};
  stop.sa_handler = OnStop;  // no SA_RESTART: a blocked accept returns
  sigaction(SIGTERM, &stop, nullptr);
  sigaction(SIGINT, &stop, nullptr);

  modbus_t* context = modbus_new_tcp(argv[1], port);
  modbus_mapping_t* map =
      modbus_mapping_new(registers, registers, registers, registers);
  if (context == nullptr || map == nullptr) {
    std::fprintf(stderr, "cannot set up: %s\n", modbus_strerror(errno));
    return 1;
  }
  for (int i = 0; i < registers; ++i) {
    map->tab_input_registers[i] = static_cast<uint16_t>(1000 + i);
    map->tab_input_bits[i] =
        static_cast<uint8_t>(((1000 + i / 16) >> (i % 16)) & 1);
  }
  int listener = modbus_tcp_listen(context, 1);
  if (listener < 0) {
    std::fprintf(stderr, "cannot listen on %s:%d: %s\n", argv[1], port,
                 modbus_strerror(errno));
    return 1;
  }
  std::fprintf(stderr, "listening on %s:%d\n", argv[1], port);

  uint8_t request[MODBUS_TCP_MAX_ADU_LENGTH];
  while (!g_stop) {
    if (modbus_tcp_accept(context, &listener) < 0) continue;
    for (;;) {
      const int length = modbus_receive(context, request);
      if (length > 0) {
        modbus_reply(context, request, length, map);
      } else if (length < 0) {
        break;  // the client left, or sent what libmodbus refuses
      }
    }
    modbus_close(context);
  }
  close(listener);
  modbus_mapping_free(map);
  modbus_free(context);
  return 0;
}
