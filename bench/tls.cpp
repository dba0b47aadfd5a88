// https fetches: an 8 MiB body over TLS on loopback, kestrix-cli fetch against curl on the same
// server and body (whole commands, best of several runs, in one run), and the CPU a stalled TLS
// handshake costs while it waits.
//   cpu_share   CPU used while waiting on a server that accepts and never speaks, in cores
#include "BenchSupport.h"
#include "core/net/HttpClient.h"
#include "core/util/Error.h"
#include "support/ScriptedServer.h"
#include "support/TlsTestServer.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>

using namespace kestrix;

namespace {

test::TlsTestServer& servers() {
    static test::TlsTestServer instance;
    return instance;
}

void BM_KestrixCliTls8MiB(benchmark::State& state) {
    const std::string command = std::string(KESTRIX_CLI_PATH) + " fetch --https --ca-file " +
                                servers().rootFile() + " -o /dev/null " +
                                servers().url("good", "/big");
    bench::timeCommandIterations(state, command, 5);
    state.SetBytesProcessed(state.iterations() * (int64_t{8} << 20));
}

void BM_CurlTls8MiB(benchmark::State& state) {
    const std::string command = "curl -s -f --cacert " + servers().rootFile() + " -o /dev/null " +
                                servers().url("good", "/big");
    bench::timeCommandIterations(state, command, 5);
    state.SetBytesProcessed(state.iterations() * (int64_t{8} << 20));
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void BM_StalledHandshakeCpu(benchmark::State& state) {
    test::SilentPort silent;
    HttpClient client;
    applyImageFetchSettings(client);
    TlsOptions tls;
    tls.allowHttps = true;
    client.setTlsOptions(tls);
    const auto waitFor = std::chrono::milliseconds(state.range(0));
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        client.setPump([&] {
            if (std::chrono::steady_clock::now() - start >= waitFor)
                client.cancel();
        });
        const double cpuBefore = threadCpuSeconds();
        try {
            client.get("https://127.0.0.1:" + std::to_string(silent.port()) + "/");
        } catch (const Error&) {
        }
        cpu += threadCpuSeconds() - cpuBefore;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["cpu_share"] = cpu / wall;
}

} // namespace

BENCHMARK(BM_KestrixCliTls8MiB)->Iterations(1)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_CurlTls8MiB)->Iterations(1)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_StalledHandshakeCpu)
    ->Arg(1000)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_MAIN();
