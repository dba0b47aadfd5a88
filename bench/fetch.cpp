// Fetch throughput and waiting cost of the HTTP client, with curl fetching the same bodies from
// the same local server in the same run for comparison.
//   bytes_per_second  throughput of one whole fetch (connect, request, header, body, close)
//   cpu_s_per_fetch   CPU seconds the fetching side spent per fetch (curl: the whole process)
//   curl_transfer_bytes_per_second  curl's throughput by its own clock, without its start-up
//   cpu_share         CPU used while waiting on a server that never answers, in cores
#include "core/net/HttpClient.h"
#include "core/util/Error.h"

#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace kestrix;

namespace {

// Serves one prepared answer to every connection on 127.0.0.1, one connection at a time. A
// server that stalls reads the request and then says nothing until the client closes.
class BenchServer {
public:
    explicit BenchServer(std::string answer, bool stall = false)
        : answer_(std::move(answer)), stall_(stall) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(listener_, 16) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length) != 0)
            throw std::runtime_error("cannot listen");
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~BenchServer() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    BenchServer(const BenchServer&) = delete;
    BenchServer& operator=(const BenchServer&) = delete;

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/body"; }

private:
    void run() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0)
                continue;
            int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0)
                continue;
            serve(fd);
            ::close(fd);
        }
    }

    void serve(int fd) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            request.append(buffer, static_cast<size_t>(n));
        }
        if (stall_) {
            // Wait for the client to go, without spending CPU here either.
            while (!stop_) {
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, 50) > 0 && ::recv(fd, buffer, sizeof buffer, 0) <= 0)
                    return;
            }
            return;
        }
        for (size_t sent = 0; sent < answer_.size();) {
            ssize_t n = ::send(fd, answer_.data() + sent, answer_.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += static_cast<size_t>(n);
        }
    }

    std::string answer_;
    bool stall_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

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
