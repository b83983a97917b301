// The C interface when memory runs out: a null handle, or result 0 with a
// text and the object closed; never an exception into the C caller.
// Allocations fail on demand, on the test's own thread only.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "FakeModbusServer.h"
#include "SkipUnlessListening.h"
#include "tcpmodbus/tcpmodbus.h"

namespace {
thread_local bool failAllocations = false;
}  // namespace

void* operator new(std::size_t size) {
  void* memory = failAllocations ? nullptr : std::malloc(size ? size : 1);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}
// Its own, not the runtime's: a sanitizer's runtime brings one that does not
// call the one above.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return failAllocations ? nullptr : std::malloc(size ? size : 1);
}
// Not inlined: gcc would then take the free() for a mismatch with new.
__attribute__((noinline)) void operator delete(void* memory) noexcept {
  std::free(memory);
}
__attribute__((noinline)) void operator delete(void* memory,
                                               std::size_t) noexcept {
  std::free(memory);
}

namespace {

TEST(CInterfaceAllocationTest, NullHandleOrResultZeroWithTheObjectClosed) {
  testsupport::FakeModbusServer server(
      "127.0.0.1", {testsupport::Step::WaitForClientClose()});
  SKIP_UNLESS_LISTENING(server);
  tcpmodbus_module* module = tcpmodbus_create();
  ASSERT_NE(module, nullptr);
  testing::internal::CaptureStdout();
  tcpmodbus_set_recovery(module, 1);
  ASSERT_EQ(tcpmodbus_set_server_port(module, server.Port()), 1);
  ASSERT_EQ(tcpmodbus_initialize(module, 1, "127.0.0.1", 0, "127.0.0.1"), 1);

  failAllocations = true;
  tcpmodbus_module* none = tcpmodbus_create();
  // Too long to be kept inside std::string itself: copying it allocates.
  const int result = tcpmodbus_initialize(
      module, 1, "a-host-name-too-long-for-inline", 0, "127.0.0.1");
  failAllocations = false;

  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(result, 0);
  EXPECT_STREQ(tcpmodbus_last_error(module),
               "tcpmodbus_initialize: Out of memory");
  EXPECT_EQ(tcpmodbus_last_error_code(module), TCPMODBUS_ERROR_NO_MEMORY);
  EXPECT_EQ(tcpmodbus_last_system_error(module), 0);
  EXPECT_EQ(server.Join(), "");  // it saw the close
  unsigned short value = 0;
  EXPECT_EQ(tcpmodbus_read_hold_regs(module, 0, &value, 1), 0);
  // Not connected: the code says so, the text stays.
  EXPECT_EQ(tcpmodbus_last_error_code(module), TCPMODBUS_ERROR_NOT_CONNECTED);
  EXPECT_STREQ(tcpmodbus_last_error(module),
               "tcpmodbus_initialize: Out of memory");
  EXPECT_EQ(
      testing::internal::GetCapturedStdout(),
      "CTCPModbus::Initialize: Succeed to open TCP socket. LocalIpAddr=127.0.0.1, LocalPort=0\n"
      "CTCPModbus::Initialize: Succeed to connect to Modbus/TCP Server\n"
      "CTCPModbus::ReadHoldRegs: Not connected to Modbus Server yet.\n");
  tcpmodbus_destroy(module);
}

}  // namespace
