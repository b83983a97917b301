// Writes three holding registers of a module and reads them back from C#,
// through the C interface:  ReadRegisters.exe SERVER PORT
using System;
using System.Runtime.InteropServices;

static class TcpModbus {
  // tcpmodbus.dll on Windows, libtcpmodbus.so on Linux (Mono).
  const string Library = "tcpmodbus";

  [DllImport(Library)] public static extern IntPtr tcpmodbus_create();
  [DllImport(Library)] public static extern void tcpmodbus_destroy(IntPtr module);
  [DllImport(Library)] public static extern int tcpmodbus_set_server_port(IntPtr module, ushort port);
  [DllImport(Library)] public static extern int tcpmodbus_set_response_timeout(IntPtr module, uint milliseconds);
  [DllImport(Library)] public static extern int tcpmodbus_initialize(IntPtr module, ushort moduleId, string localIp, ushort localPort, string serverIp);
  [DllImport(Library)] public static extern int tcpmodbus_write_multi_hold_regs(IntPtr module, ushort address, ushort[] values, ushort count);
  [DllImport(Library)] public static extern int tcpmodbus_read_hold_regs(IntPtr module, ushort address, [Out] ushort[] values, ushort count);
  // Typed values (library 1.3): the numbers of names, and one float written
  // and read in one request each.
  [DllImport(Library)] public static extern int tcpmodbus_parse_type(string name, out int type, out ushort registers);
  [DllImport(Library)] public static extern int tcpmodbus_parse_order(string name, int type, out int order);
  [DllImport(Library)] public static extern int tcpmodbus_parse_table(string name, out int table);
  [DllImport(Library)] public static extern int tcpmodbus_write_f32(IntPtr module, ushort address, int order, float value);
  [DllImport(Library)] public static extern int tcpmodbus_read_f32(IntPtr module, int table, ushort address, int order, out float value);
  // The text belongs to the module: declared as IntPtr and copied, never as
  // string, for which the runtime would free memory it does not own.
  [DllImport(Library)] static extern IntPtr tcpmodbus_last_error(IntPtr module);

  public static string LastError(IntPtr module) {
    return Marshal.PtrToStringAnsi(tcpmodbus_last_error(module));
  }
}

static class ReadRegisters {
  static int Main(string[] args) {
    if (args.Length != 2) {
      Console.Error.WriteLine("usage: ReadRegisters.exe SERVER PORT");
      return 2;
    }
    IntPtr module = TcpModbus.tcpmodbus_create();
    if (module == IntPtr.Zero) return 1;
    try {
      TcpModbus.tcpmodbus_set_server_port(module, ushort.Parse(args[1]));
      TcpModbus.tcpmodbus_set_response_timeout(module, 1000);
      ushort[] written = { 3500, 3501, 3502 };
      ushort[] values = new ushort[3];
      // Module 1, bound to 127.0.0.1 (any free port).
      if (TcpModbus.tcpmodbus_initialize(module, 1, "127.0.0.1", 0, args[0]) == 0 ||
          TcpModbus.tcpmodbus_write_multi_hold_regs(module, 100, written, 3) == 0 ||
          TcpModbus.tcpmodbus_read_hold_regs(module, 100, values, 3) == 0) {
        Console.Error.WriteLine("failed: " + TcpModbus.LastError(module));
        return 1;
      }
      Console.WriteLine("registers 100 to 102 hold {0} {1} {2}", values[0], values[1], values[2]);
      // A float in registers 200 and 201, the low word first (CDAB).
      int f32, cdab, holding;
      ushort width;
      float level;
      if (TcpModbus.tcpmodbus_parse_type("f32", out f32, out width) == 0 ||
          TcpModbus.tcpmodbus_parse_order("CDAB", f32, out cdab) == 0 ||
          TcpModbus.tcpmodbus_parse_table("holding", out holding) == 0 ||
          TcpModbus.tcpmodbus_write_f32(module, 200, cdab, 123456.0f) == 0 ||
          TcpModbus.tcpmodbus_read_f32(module, holding, 200, cdab, out level) == 0 ||
          TcpModbus.tcpmodbus_read_hold_regs(module, 200, values, width) == 0) {
        Console.Error.WriteLine("failed: " + TcpModbus.LastError(module));
        return 1;
      }
      Console.WriteLine("f32 {0} in CDAB: registers 200 and 201 hold 0x{1:x4} 0x{2:x4}", level, values[0], values[1]);
      // Past the simulated module's registers: the module's exception text.
      if (TcpModbus.tcpmodbus_read_hold_regs(module, 5000, values, 1) == 0) {
        Console.WriteLine("register 5000: " + TcpModbus.LastError(module));
      }
      return 0;
    } finally {
      TcpModbus.tcpmodbus_destroy(module);
    }
  }
}
