// The batch benchmark's report: one table per case, from the batch means
// of every client.
#ifndef TCPMODBUS_BENCH_BATCH_REPORT_H_
#define TCPMODBUS_BENCH_BATCH_REPORT_H_

#include <cstdio>
#include <string>
#include <vector>

#include "batch_cases.h"

struct ClientSamples {
  std::string name;
  int noDelay;                       // TCP_NODELAY of its socket, -1 unknown
  std::vector<double> microseconds;  // one mean per batch
  // Time on a core over all batches, in nanoseconds, of the module and of
  // the client, and the reads they served.
  long long moduleCpuNs = 0;
  long long clientCpuNs = 0;
  long long reads = 0;
};

// The q-quantile (0 to 1) of `values`, interpolated.
double Quantile(std::vector<double> values, double q);

// The table of one case: per client the median milliseconds per call, the
// 10th and 90th percentiles of the batch means, reads per second, the
// median in round trips when `roundTripMs` is above 0, the ratio to
// libmodbus and to pymodbus where they ran, the module's and the client's
// time on a core per read (microseconds), TCP_NODELAY of its socket;
// then each ours-dN's reads per second over ours-d1's.
void PrintCaseTable(std::FILE* out, const BatchCase& c,
                    const std::vector<ClientSamples>& clients,
                    double roundTripMs);

#endif  // TCPMODBUS_BENCH_BATCH_REPORT_H_
