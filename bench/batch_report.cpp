#include "batch_report.h"

#include <algorithm>
#include <cmath>

namespace {

const ClientSamples* Find(const std::vector<ClientSamples>& clients,
                          const std::string& name) {
  for (const ClientSamples& client : clients) {
    if (client.name == name) return &client;
  }
  return nullptr;
}

double MedianMs(const ClientSamples& client) {
  return Quantile(client.microseconds, 0.5) / 1000;
}

}  // namespace

double Quantile(std::vector<double> values, double q) {
  if (values.empty()) return NAN;
  std::sort(values.begin(), values.end());
  const double at = q * static_cast<double>(values.size() - 1);
  const size_t below = static_cast<size_t>(std::floor(at));
  const size_t above = std::min(below + 1, values.size() - 1);
  return values[below] +
         (values[above] - values[below]) * (at - static_cast<double>(below));
}

void PrintCaseTable(std::FILE* out, const BatchCase& c,
                    const std::vector<ClientSamples>& clients,
                    double roundTripMs) {
  const double reads = static_cast<double>(c.reads.size());
  std::fprintf(out, "%s: %s\n", c.name.c_str(), c.what.c_str());
  std::fprintf(out, "%-26s %9s %9s %9s %10s", "client", "ms/call", "p10", "p90",
               "reads/s");
  if (roundTripMs > 0) std::fprintf(out, " %11s", "round trips");
  const ClientSamples* libmodbus = Find(clients, "libmodbus");
  const ClientSamples* pymodbus = Find(clients, "pymodbus");
  if (libmodbus != nullptr) std::fprintf(out, " %12s", "/libmodbus");
  if (pymodbus != nullptr) std::fprintf(out, " %11s", "/pymodbus");
  std::fprintf(out, " %11s %11s %11s\n", "module cpu", "client cpu",
               "TCP_NODELAY");
  for (const ClientSamples& client : clients) {
    const double ms = MedianMs(client);
    std::fprintf(out, "%-26s %9.3f %9.3f %9.3f %10.0f", client.name.c_str(), ms,
                 Quantile(client.microseconds, 0.1) / 1000,
                 Quantile(client.microseconds, 0.9) / 1000,
                 reads / (ms / 1000));
    if (roundTripMs > 0) std::fprintf(out, " %11.2f", ms / roundTripMs);
    if (libmodbus != nullptr) {
      std::fprintf(out, " %12.3f", ms / MedianMs(*libmodbus));
    }
    if (pymodbus != nullptr) {
      std::fprintf(out, " %11.3f", ms / MedianMs(*pymodbus));
    }
    const double served = static_cast<double>(client.reads);
    const char* noDelay = client.noDelay < 0    ? "?"
                          : client.noDelay != 0 ? "on"
                                                : "off";
    std::fprintf(out, " %11.2f %11.2f %11s\n",
                 served > 0 ? client.moduleCpuNs / served / 1000 : NAN,
                 served > 0 ? client.clientCpuNs / served / 1000 : NAN,
                 noDelay);
  }
  const ClientSamples* depth1 = Find(clients, "ours-d1");
  if (depth1 == nullptr) return;
  for (const ClientSamples& client : clients) {
    if (client.name.rfind("ours-d", 0) != 0 || &client == depth1) continue;
    std::fprintf(out, "reads per second, %s over ours-d1: %.2f\n",
                 client.name.c_str(), MedianMs(*depth1) / MedianMs(client));
  }
}
