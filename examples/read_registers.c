/* Writes three holding registers of a module and reads them back through
 * the C interface:  read_registers SERVER PORT */
#include <stdio.h>
#include <stdlib.h>
#include <tcpmodbus/tcpmodbus.h>

int main(int argc, char** argv) {
  unsigned short written[3] = {1500, 1501, 1502};
  unsigned short values[3];
  tcpmodbus_module* module;
  int ok;
  if (argc != 3) {
    fprintf(stderr, "usage: %s SERVER PORT\n", argv[0]);
    return 2;
  }
  module = tcpmodbus_create();
  if (module == NULL) return 1;
  tcpmodbus_set_server_port(module, (unsigned short)atoi(argv[2]));
  tcpmodbus_set_response_timeout(module, 1000);
  /* Module 1, bound to 127.0.0.1 (any free port): the local address that
   * faces the module. */
  ok = tcpmodbus_initialize(module, 1, "127.0.0.1", 0, argv[1]) &&
       tcpmodbus_write_multi_hold_regs(module, 100, written, 3) &&
       tcpmodbus_read_hold_regs(module, 100, values, 3);
  if (ok) {
    printf("registers 100 to 102 hold %u %u %u\n", values[0], values[1],
           values[2]);
  } else {
    fprintf(stderr, "failed: %s\n", tcpmodbus_last_error(module));
  }
  tcpmodbus_destroy(module);
  return ok ? 0 : 1;
}
