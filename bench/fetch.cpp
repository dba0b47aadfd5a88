// Fetch throughput and waiting cost of the HTTP client, with curl fetching the same bodies from
// the same local server in the same run for comparison.
//   bytes_per_second  throughput of one whole fetch (connect, request, header, body, close)
//   cpu_s_per_fetch   CPU seconds the fetching side spent per fetch (curl: the whole process)
//   curl_transfer_bytes_per_second  curl's throughput by its own clock, without its start-up
//   cpu_share         CPU used while waiting on a server that never answers, in cores
#include "BenchServer.h"
#include "core/net/HttpClient.h"
#include "core/util/Error.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/resource.h>

using namespace kestrix;
using kestrix::bench::BenchServer;

namespace {

std::string answerOf(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i)
        body[i] = static_cast<char>((i * 2654435761u) >> 24);
    return "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " +
           std::to_string(size) + "\r\n\r\n" + body;
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double childrenCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

void BM_KestrixFetch(benchmark::State& state) {
    const auto size = static_cast<size_t>(state.range(0)) << 20;
    BenchServer server(answerOf(size));
    HttpClient client;
    applyImageFetchSettings(client);
    double cpuBefore = threadCpuSeconds();
    for (auto _ : state) {
        client.get(server.url());
        if (client.body().size() != size)
            state.SkipWithError("short body");
    }
    double cpu = threadCpuSeconds() - cpuBefore;
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
    state.counters["cpu_s_per_fetch"] = cpu / static_cast<double>(state.iterations());
}

// The run time includes starting the curl process; curl's own transfer time (connect to last
// byte) is reported beside it as curl_transfer_bytes_per_second.
void BM_CurlFetch(benchmark::State& state) {
    const auto size = static_cast<size_t>(state.range(0)) << 20;
    BenchServer server(answerOf(size));
    const std::string command = "curl -s -f -o /dev/null -w '%{time_total}' " + server.url();
    double cpuBefore = childrenCpuSeconds();
    double transferSeconds = 0;
    for (auto _ : state) {
        FILE* curl = popen(command.c_str(), "r");
        char output[64] = {};
        size_t n = curl ? std::fread(output, 1, sizeof output - 1, curl) : 0;
        if (!curl || pclose(curl) != 0 || n == 0) {
            state.SkipWithError("curl failed (is it installed?)");
            break;
        }
        transferSeconds += std::strtod(output, nullptr);
    }
    double cpu = childrenCpuSeconds() - cpuBefore;
    auto fetched = static_cast<double>(state.iterations()) * static_cast<double>(size);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
    state.counters["cpu_s_per_fetch"] = cpu / static_cast<double>(state.iterations());
    state.counters["curl_transfer_bytes_per_second"] = benchmark::Counter(
        fetched / transferSeconds, benchmark::Counter::kDefaults, benchmark::Counter::kIs1024);
}

// A fetch from a server that never answers, canceled from the pump after a while, as the clock's
// stall rule would.
void BM_StalledWaitCpu(benchmark::State& state) {
    BenchServer server("", true);
    HttpClient client;
    applyImageFetchSettings(client);
    const auto waitFor = std::chrono::milliseconds(state.range(0));
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        client.setPump([&] {
            if (std::chrono::steady_clock::now() - start >= waitFor)
                client.cancel();
        });
        double cpuBefore = threadCpuSeconds();
        try {
            client.get(server.url());
        } catch (const Error&) {
        }
        cpu += threadCpuSeconds() - cpuBefore;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["cpu_share"] = cpu / wall;
}

} // namespace

BENCHMARK(BM_KestrixFetch)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CurlFetch)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StalledWaitCpu)
    ->Arg(1000)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_MAIN();
