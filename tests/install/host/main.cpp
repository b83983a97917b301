// A host program built against the installed library: it creates two
// objects through the exported factory, checks them and deletes them.
// Prints "host ok" and exits 0, or says what went wrong and exits 1.
#include <cstdio>

#include "tcpmodbus/TCPModbusIntf.h"

int main() {
  TCPModbusIntf* first = TCPModbusIntf::GetInstance();
  TCPModbusIntf* second = TCPModbusIntf::GetInstance();
  if (first == nullptr || second == nullptr || first == second) {
    std::printf("GetInstance did not give two objects\n");
    return 1;
  }
  const char* text = first->LastErrorString();
  if (text == nullptr || text[0] != '\0') {
    std::printf("LastErrorString of a new object is not empty\n");
    return 1;
  }
  delete first;
  // The second object outlives the first and still answers.
  const char* secondText = second->LastErrorString();
  if (secondText == nullptr || secondText[0] != '\0') {
    std::printf("the second object changed when the first was deleted\n");
    return 1;
  }
  delete second;
  std::printf("host ok\n");
  return 0;
}
