// The programs a benchmark starts beside itself (the simulated module, the
// delaying proxy, a Python client), each stopped with the benchmark.
#ifndef TCPMODBUS_BENCH_CHILD_PROCESS_H_
#define TCPMODBUS_BENCH_CHILD_PROCESS_H_

#include <sys/types.h>

#include <string>
#include <vector>

class ChildProcess {
 public:
  // Starts `argv` (argv[0] the program's path). The child's descriptor
  // `watched` (1 or 2) comes back through a pipe, read by the calls below;
  // with `writable`, its standard input is a pipe that Write feeds. The
  // child is sent SIGTERM if the benchmark dies first.
  ChildProcess(const std::vector<std::string>& argv, int watched,
               bool writable);
  ~ChildProcess();  // SIGTERM, then waits for it
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads the watched output until `prefix` is followed by digits and
  // something else, and returns that number (the benchmark fails after 10 s
  // without it). An empty prefix takes the first line's number.
  int NumberAfter(const std::string& prefix);
  // One line of the watched output, without its newline; waits at most
  // `milliseconds` for it (the benchmark fails without it).
  std::string ReadLine(int milliseconds);
  void Write(const std::string& text);
  // Drops what the child wrote since, so that it never blocks on a full
  // pipe; only for output nobody reads.
  void Drain();
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int from_ = -1;
  int to_ = -1;
  std::string pending_;  // read, not yet handed out
};

// The time a process (or, for 0, the calling thread) has run on a core, in
// nanoseconds, from /proc/PID/schedstat; -1 when the system does not tell.
long long CpuNanoseconds(pid_t pid);
// Where this program itself is, to find what was built beside it.
std::string OwnPath();
// Ends the benchmark with "PROGRAM: what" on standard error.
[[noreturn]] void BenchFail(const std::string& what);
// The name BenchFail puts before its message.
void SetBenchName(const char* name);

#endif  // TCPMODBUS_BENCH_CHILD_PROCESS_H_
