#include "bench_server.h"

#include <modbus/modbus.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

int RunBenchServer(const char* address, int registers, int readyFd) {
  modbus_t* context = modbus_new_tcp(address, 0);
  modbus_mapping_t* mapping = modbus_mapping_new(0, 0, registers, registers);
  if (context == nullptr || mapping == nullptr) return 1;
  const int listener = modbus_tcp_listen(context, 16);
  if (listener < 0) {
    std::fprintf(stderr, "bench server: cannot listen on %s: %s\n", address,
                 modbus_strerror(errno));
    return 1;
  }
  sockaddr_in bound = {};
  socklen_t boundLength = sizeof(bound);
  getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &boundLength);
  char ready[96];
  const int length = std::snprintf(ready, sizeof(ready), "listening on %s:%d\n",
                                   address, ntohs(bound.sin_port));
  if (write(readyFd, ready, static_cast<size_t>(length)) != length) return 1;

  fd_set clients;
  FD_ZERO(&clients);
  FD_SET(listener, &clients);
  int highest = listener;
  std::uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
  for (;;) {
    fd_set readable = clients;
    if (select(highest + 1, &readable, nullptr, nullptr, nullptr) < 0) {
      if (errno == EINTR) continue;
      return 1;
    }
    for (int fd = 0; fd <= highest; ++fd) {
      if (!FD_ISSET(fd, &readable)) continue;
      if (fd == listener) {
        int listening = listener;
        const int client = modbus_tcp_accept(context, &listening);
        if (client >= 0 && client < FD_SETSIZE) {
          FD_SET(client, &clients);
          if (client > highest) highest = client;
        }
        continue;
      }
      modbus_set_socket(context, fd);
      const int size = modbus_receive(context, query);
      if (size > 0) {
        modbus_reply(context, query, size, mapping);
      } else if (size < 0) {
        close(fd);
        FD_CLR(fd, &clients);
      }
    }
  }
}
