/*
 * A C99 host of the C interface:  host SERVER PORT LOCAL REFUSING
 * SERVER:PORT is the simulated module (1000 registers), LOCAL the address to
 * bind, REFUSING one where nothing listens. Prints a line per check and
 * "N passed, N failed"; exits 0 when every check held.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tcpmodbus/tcpmodbus.h"

#ifdef _WIN32
#include <winsock2.h>
#define REFUSED "WSASocket failed. connect Error(10061)"
#define REFUSED_NUMBER 10061
#define INVALID "WSASocket failed. connect Error(10022)"
#define INVALID_NUMBER 10022
#else
#define REFUSED "WSASocket failed. connect Error(111)"
#define REFUSED_NUMBER 111
#define INVALID "WSASocket failed. connect Error(22)"
#define INVALID_NUMBER 22
#endif
#define PAST_THE_TABLE \
  "CMBusTCP::MbReadHoldingRegs: MODBUS exception response on DIO Module 7 - Code=2, \"Unallowable or invalid data address received in the query for the slave\""
#define TOO_MANY \
  "CMBusTCP::MbPresetMultipleRegs: Too many registers for one request on DIO Module 7: 125 (at most 124)"

static int passed, failed;

static void check(int held, const char* what, const char* error) {
  held ? ++passed : ++failed;
  printf("%s: %s%s%s\n", held ? "ok" : "FAIL", what, held ? "" : ": ",
         held ? "" : error);
}

/* A trace sink that counts the texts it gets and their newlines. */
struct counted {
  int texts, lines;
};

static void count_trace(void* context, const char* text, size_t length) {
  struct counted* counted = (struct counted*)context;
  size_t i;
  ++counted->texts;
  for (i = 0; i < length; ++i) counted->lines += text[i] == '\n';
}

enum operation { WRITE, WRITE_MULTI, READ_HOLDING, READ_INPUT };

/* Run in order on one connection; error NULL means success, and a read's
 * values must then be `values` (input registers: address + one tick). A
 * failure records `code` and the Modbus exception code `exception`. */
static const struct {
  const char* what;
  enum operation operation;
  unsigned short address, count, values[3];
  const char* error;
  int code, exception;
} rows[] = {
    {"write one", WRITE, 10, 1, {0x1234}, NULL, 0, 0},
    {"write three", WRITE_MULTI, 20, 3, {1, 2, 0xffff}, NULL, 0, 0},
    {"read the one back", READ_HOLDING, 10, 1, {0x1234}, NULL, 0, 0},
    {"read the three back", READ_HOLDING, 20, 3, {1, 2, 0xffff}, NULL, 0, 0},
    {"read inputs", READ_INPUT, 5, 3, {0}, NULL, 0, 0},
    {"read past the table",
     READ_HOLDING,
     999,
     2,
     {0},
     PAST_THE_TABLE,
     TCPMODBUS_ERROR_MODBUS_EXCEPTION,
     2},
    {"write 125: refused",
     WRITE_MULTI,
     0,
     125,
     {0},
     TOO_MANY,
     TCPMODBUS_ERROR_INVALID_ARGUMENT,
     0},
};

/* Typed values: each of these in each order, written to holding registers
 * from 100 on and read back (the codecs are Python's to check). */
static const struct {
  const char* type;
  tcpmodbus_int64 signed_value;
  tcpmodbus_uint64 unsigned_value;
  double number; /* f32 and f64; 1/3 does not fit f32 exactly */
} typed[] = {
    {"u16", 0, 0xFFFE, 0},
    {"i16", -32768, 0, 0},
    {"u32", 0, 0xFFFFFFFEu, 0},
    {"i32", -123456789, 0, 0},
    {"u64", 0, ~(tcpmodbus_uint64)0, 0},
    {"i64", -0x7FFFFFFFFFFFFFFFLL - 1, 0, 0},
    {"f32", 0, 0, 1.0 / 3},
    {"f64", 0, 0, -1.0 / 3},
    {"string:3", 0, 0, 0},
};

static int typed_round_trip(tcpmodbus_module* module, size_t row, int order) {
  const char* name = typed[row].type;
  tcpmodbus_int64 i = 0;
  tcpmodbus_uint64 u = 0;
  float f = 0, f_written = (float)typed[row].number;
  double d = 0;
  char text[7] = "";
  size_t length = 0;
  unsigned short width = 0;
  int type = 0;
  if (!tcpmodbus_parse_type(name, &type, &width)) return 0;
  switch (name[0] == 'i' ? 'i' : name[0] == 'u' ? 'u' : type) {
    case 'i':
      return tcpmodbus_write_signed(module, 100, type, order,
                                    typed[row].signed_value) &&
             tcpmodbus_read_signed(module, TCPMODBUS_TABLE_HOLDING, 100, type,
                                   order, &i) &&
             i == typed[row].signed_value;
    case 'u':
      return tcpmodbus_write_unsigned(module, 100, type, order,
                                      typed[row].unsigned_value) &&
             tcpmodbus_read_unsigned(module, TCPMODBUS_TABLE_HOLDING, 100, type,
                                     order, &u) &&
             u == typed[row].unsigned_value;
    case TCPMODBUS_TYPE_F32:
      return tcpmodbus_write_f32(module, 100, order, f_written) &&
             tcpmodbus_read_f32(module, TCPMODBUS_TABLE_HOLDING, 100, order,
                                &f) &&
             memcmp(&f, &f_written, sizeof f) == 0;
    case TCPMODBUS_TYPE_F64:
      return tcpmodbus_write_f64(module, 100, order, typed[row].number) &&
             tcpmodbus_read_f64(module, TCPMODBUS_TABLE_HOLDING, 100, order,
                                &d) &&
             d == typed[row].number;
  }
  return tcpmodbus_write_string(module, 100, order, width, "PUMP1") &&
         tcpmodbus_read_string(module, TCPMODBUS_TABLE_HOLDING, 100, order,
                               width, text, &length) &&
         strcmp(text, "PUMP1") == 0 && length == 5;
}

static void typed_values(tcpmodbus_module* module) {
  static const char* const orders[] = {"ABCD", "CDAB", "BADC", "DCBA"};
  unsigned short width = 0;
  char what[64];
  size_t row, i;
  tcpmodbus_uint64 input = 0;
  int order = -1, type = 0;
  for (row = 0; row < sizeof typed / sizeof typed[0]; ++row) {
    for (i = 0; i < 4; ++i) {
      sprintf(what, "typed %s in %s", typed[row].type, orders[i]);
      check(tcpmodbus_parse_type(typed[row].type, &type, &width) &&
                tcpmodbus_parse_order(orders[i], type, &order) &&
                typed_round_trip(module, row, order),
            what, tcpmodbus_last_error(module));
    }
  }
  check(tcpmodbus_read_unsigned(module, TCPMODBUS_TABLE_INPUT, 5,
                                TCPMODBUS_TYPE_U16, TCPMODBUS_ORDER_ABCD,
                                &input) &&
            input > 5,
        "a typed read of an input register", tcpmodbus_last_error(module));
}

/* A device map written by name, then read twice: the point past the table
 * is refused and learned as a hole, then skipped. */
static void device_map(tcpmodbus_module* module) {
  static const char* const names[] = {"level", "count", "name", "run"};
  static const char* const values[] = {"123456", "21", "AB", "1"};
  tcpmodbus_map* map = tcpmodbus_map_create();
  tcpmodbus_snapshot* snapshot;
  const char* table = "";
  unsigned short start = 0, count = 0;
  int cycle, held;
  held =
      map != NULL &&
      tcpmodbus_map_add(map, "level", "holding", 200, "f32", "CDAB", 0, "m") &&
      tcpmodbus_map_add(map, "count", "holding", 202, NULL, NULL, 0.5, NULL) &&
      tcpmodbus_map_add(map, "name", "holding", 203, "string:2", NULL, 0,
                        NULL) &&
      tcpmodbus_map_add(map, "run", "coil", 40, NULL, NULL, 0, NULL) &&
      tcpmodbus_map_add(map, "past", "holding", 999, "u32", NULL, 0, NULL) &&
      !tcpmodbus_map_add(map, "run", "input", 1, NULL, NULL, 0, NULL) &&
      tcpmodbus_map_size(map) == 5 &&
      tcpmodbus_map_write(module, map, 4, names, values) == 1;
  check(held, "a map built and written by name",
        map != NULL ? tcpmodbus_map_error(map) : "no map");
  for (cycle = 1; cycle <= 2; ++cycle) {
    snapshot = tcpmodbus_map_read(module, map, 0, 40, 2000);
    held = snapshot != NULL && tcpmodbus_snapshot_size(snapshot) == 5 &&
           tcpmodbus_snapshot_value(snapshot, 0) == 123456.0 &&
           tcpmodbus_snapshot_value(snapshot, 1) == 21.0 &&
           strcmp(tcpmodbus_snapshot_text(snapshot, 2), "AB") == 0 &&
           tcpmodbus_snapshot_value(snapshot, 3) == 1.0 &&
           tcpmodbus_snapshot_status(snapshot, 3) == TCPMODBUS_READING_OK &&
           tcpmodbus_snapshot_time(snapshot, 3) > 1.6e9 &&
           tcpmodbus_snapshot_request(snapshot, 3) == 1 &&
           tcpmodbus_snapshot_status(snapshot, 4) ==
               (cycle == 1 ? TCPMODBUS_READING_EXCEPTION
                           : TCPMODBUS_READING_HOLE) &&
           tcpmodbus_snapshot_exception_code(snapshot, 4) == 2 &&
           tcpmodbus_snapshot_requests(snapshot) == (cycle == 1 ? 3u : 2u) &&
           tcpmodbus_holes(module) == 1 &&
           tcpmodbus_hole(module, 0, &table, &start, &count, NULL) &&
           start == 999 && count == 2;
    check(held,
          cycle == 1 ? "a map read: the hole refused"
                     : "read again: the hole skipped",
          tcpmodbus_last_error(module));
    tcpmodbus_snapshot_destroy(snapshot);
  }
  check(tcpmodbus_clear_holes(module) && tcpmodbus_holes(module) == 0,
        "holes cleared", "");
  tcpmodbus_map_destroy(map);
}

static int run(tcpmodbus_module* module, size_t row, unsigned short* values) {
  const unsigned short address = rows[row].address, count = rows[row].count;
  switch (rows[row].operation) {
    case WRITE:
      return tcpmodbus_write_single_hold_reg(module, address, values[0]);
    case WRITE_MULTI:
      return tcpmodbus_write_multi_hold_regs(module, address, values, count);
    case READ_HOLDING:
      return tcpmodbus_read_hold_regs(module, address, values, count);
    case READ_INPUT:
      return tcpmodbus_read_input_regs(module, address, values, count);
  }
  return -1;
}

int main(int argc, char** argv) {
  tcpmodbus_module* module;
  unsigned short value = 0;
  size_t row, i;
#ifdef _WIN32
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
#endif
  if (argc != 5) return 2;
  check(strcmp(tcpmodbus_version(), TCPMODBUS_EXPECTED_VERSION) == 0, "version",
        tcpmodbus_version());
  check(tcpmodbus_read_hold_regs(NULL, 0, &value, 1) == 0 &&
            tcpmodbus_set_unit_id(NULL, 1) == 0 &&
            strcmp(tcpmodbus_last_error(NULL), "") == 0 &&
            tcpmodbus_last_error_code(NULL) == 0 &&
            tcpmodbus_last_exception_code(NULL) == 0 &&
            tcpmodbus_last_system_error(NULL) == 0,
        "a null handle is refused", "");

  module = tcpmodbus_create();
  check(module != NULL && tcpmodbus_set_server_port(module, 0) == 0 &&
            tcpmodbus_set_server_port(module, atoi(argv[2])) == 1 &&
            tcpmodbus_set_unit_id(module, 3) == 1 &&
            tcpmodbus_set_connect_timeout(module, 5000) == 1 &&
            tcpmodbus_set_response_timeout(module, 5000) == 1 &&
            tcpmodbus_set_recovery(module, 1) == 1 &&
            tcpmodbus_set_transaction_ids(module, 1) == 1 &&
            tcpmodbus_set_transaction_ids(NULL, 1) == 0,
        "create and set the options (server port 0 refused)", "");
  check(tcpmodbus_initialize(module, 7, argv[3], 0, argv[1]) == 1, "initialize",
        tcpmodbus_last_error(module));
  typed_values(module);
  device_map(module);
  for (row = 0; row < sizeof rows / sizeof rows[0]; ++row) {
    const int reads = rows[row].operation >= READ_HOLDING;
    unsigned short values[125] = {0};
    int held;
    if (!reads) memcpy(values, rows[row].values, sizeof rows[row].values);
    held = run(module, row, values) == (rows[row].error == NULL);
    for (i = 0; reads && rows[row].error == NULL && i < rows[row].count; ++i) {
      held &= values[i] == (rows[row].operation == READ_INPUT
                                ? (unsigned short)(values[0] + i)
                                : rows[row].values[i]);
    }
    if (rows[row].error != NULL) {
      held &= strcmp(tcpmodbus_last_error(module), rows[row].error) == 0 &&
              tcpmodbus_last_error_code(module) == rows[row].code &&
              tcpmodbus_last_exception_code(module) == rows[row].exception &&
              tcpmodbus_last_system_error(module) == 0;
    }
    check(held, rows[row].what, tcpmodbus_last_error(module));
  }
  {
    /* The point functions: coils written and read back, discrete inputs,
     * a mask write read back, a read/write. */
    unsigned char coils[3] = {1, 0, 9}, back[3] = {0, 0, 0};
    unsigned short written[2] = {5, 6}, read[2] = {0, 0}, masked = 0;
    check(tcpmodbus_write_multi_coils(module, 30, coils, 3) == 1 &&
              tcpmodbus_write_single_coil(module, 31, 1) == 1 &&
              tcpmodbus_read_coils(module, 30, back, 3) == 1 && back[0] == 1 &&
              back[1] == 1 && back[2] == 1 &&
              tcpmodbus_read_discrete_inputs(module, 0, back, 3) == 1 &&
              tcpmodbus_write_single_hold_reg(module, 60, 0x1234) == 1 &&
              tcpmodbus_mask_write_hold_reg(module, 60, 0x00f2, 0x0025) == 1 &&
              tcpmodbus_read_hold_regs(module, 60, &masked, 1) == 1 &&
              masked == 0x35 &&
              tcpmodbus_read_write_multi_hold_regs(module, 70, read, 2, 70,
                                                   written, 2) == 1 &&
              read[0] == 5 && read[1] == 6,
          "coils, discrete inputs, mask write, read/write",
          tcpmodbus_last_error(module));
  }
  check(tcpmodbus_reconnects(module) == 0, "no reconnect", "");
  {
    /* A read is three trace points of 7 lines; off, nothing arrives. */
    struct counted counted = {0, 0};
    check(tcpmodbus_set_trace(module, count_trace, &counted) == 1 &&
              tcpmodbus_read_hold_regs(module, 10, &value, 1) == 1 &&
              counted.texts == 3 && counted.lines == 7 &&
              tcpmodbus_set_trace(module, NULL, NULL) == 1 &&
              tcpmodbus_read_hold_regs(module, 10, &value, 1) == 1 &&
              counted.texts == 3 &&
              tcpmodbus_set_trace(module, tcpmodbus_trace_stdout, NULL) == 1 &&
              tcpmodbus_set_trace(NULL, NULL, NULL) == 0,
          "trace to a sink, off, and back to standard output", "");
  }
  tcpmodbus_close(module);
  check(
      tcpmodbus_read_hold_regs(module, 10, &value, 1) == 0 &&
          tcpmodbus_last_error_code(module) == TCPMODBUS_ERROR_NOT_CONNECTED &&
          strcmp(tcpmodbus_last_error(module), TOO_MANY) == 0,
      "closed", tcpmodbus_last_error(module));
  check(tcpmodbus_initialize(module, 7, argv[3], 0, argv[4]) == 0 &&
            strcmp(tcpmodbus_last_error(module), REFUSED) == 0 &&
            tcpmodbus_last_error_code(module) == TCPMODBUS_ERROR_CONNECT &&
            strcmp(tcpmodbus_error_name(tcpmodbus_last_error_code(module)),
                   "CONNECT") == 0 &&
            tcpmodbus_last_system_error(module) == REFUSED_NUMBER &&
            tcpmodbus_last_exception_code(module) == 0,
        "refused connect", tcpmodbus_last_error(module));
  check(tcpmodbus_initialize(module, 7, argv[3], 0, NULL) == 0 &&
            strcmp(tcpmodbus_last_error(module), INVALID) == 0 &&
            tcpmodbus_last_error_code(module) == TCPMODBUS_ERROR_CONNECT &&
            tcpmodbus_last_system_error(module) == INVALID_NUMBER,
        "a null server address is an empty one", tcpmodbus_last_error(module));
  tcpmodbus_destroy(module);
#ifdef _WIN32
  WSACleanup();
#endif
  printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
