// kestrix-cli fetch, run as a user runs it: against the scripted server and against a real web
// server (Python's http.server), whose files must arrive byte for byte.
#include "support/NginxServer.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"
#include "support/TlsTestServer.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>

using namespace kestrix::test;

namespace {

std::string cli() {
    return KESTRIX_CLI;
}

// /usr/bin/python3 -m http.server on an ephemeral loopback port, serving one folder.
class PythonWebServer {
public:
    explicit PythonWebServer(const std::string& folder) {
        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> args = {"/usr/bin/python3", "-u",          "-m",
                                         "http.server",      "0",           "--bind",
                                         "127.0.0.1",        "--directory", folder};
        std::vector<char*> argv;
        argv.reserve(args.size() + 1);
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        output_ = pipeFds[0];
        if (rc != 0)
            throw std::runtime_error("cannot start /usr/bin/python3");
        port_ = readPort();
    }
    ~PythonWebServer() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        ::close(output_);
    }
    PythonWebServer(const PythonWebServer&) = delete;
    PythonWebServer& operator=(const PythonWebServer&) = delete;

    std::string url(const std::string& name) const {
        return "http://127.0.0.1:" + std::to_string(port_) + "/" + name;
    }

private:
    // From "Serving HTTP on 127.0.0.1 port 41235 (...)"; 0 when it never says.
    int readPort() {
        std::string text;
        char buffer[256];
        while (text.find(") ...") == std::string::npos) {
            pollfd p{output_, POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0)
                return 0;
            ssize_t n = ::read(output_, buffer, sizeof buffer);
            if (n <= 0)
                return 0;
            text.append(buffer, static_cast<size_t>(n));
        }
        size_t at = text.find(" port ");
        return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + 6);
    }

    pid_t pid_ = -1;
    int output_ = -1;
    int port_ = 0;
};

std::string randomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (auto& b : bytes)
        b = static_cast<char>(random() & 0xFF);
    return bytes;
}

} // namespace

TEST(FetchCommand, WritesTheBodyAndReportsFailures) {
    TempDir dir("fetch");
    const std::string body = randomBytes(100000, 1);
    ScriptedServer server;
    server.queue(httpResponse("200 OK", body, {"Content-Type: image/jpeg"}));
    server.queue(httpResponse("404 Not Found", "<html>no camera</html>"));
    const std::string out = dir.file("out.jpg");
    const std::string err = dir.file("err.txt");
    const std::string refused = "http://127.0.0.1:" + std::to_string(closedPort()) + "/";
    struct Case {
        std::string args;
        int status;
        std::string stdoutText, stderrText, file;
    } cases[] = {
        {"fetch " + server.url("/cam.jpg") + " -o " + out + " --header", 0, "",
         "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n\r\n", body},
        {"fetch " + server.url("/missing"), 0, "<html>no camera</html>", "", body},
        {"fetch " + refused + " -o " + out, 1, "", "10061:Connection refused\n", body},
        {"fetch https://127.0.0.1/", 1, "",
         "Secure (https) addresses are off: add --https to fetch them\n", body},
        {"fetch", 2, "", "kestrix-cli fetch: URL is required (see 'kestrix-cli fetch --help')\n",
         body},
        {"fetch a b", 2, "",
         "kestrix-cli fetch: The following argument was not expected: b (see 'kestrix-cli fetch "
         "--help')\n",
         body},
    };
    for (const auto& c : cases) {
        CommandResult r = runCommand(cli() + " " + c.args + " 2>" + err);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_EQ(r.out, c.stdoutText) << c.args;
        EXPECT_EQ(readFile(err), c.stderrText) << c.args;
        EXPECT_EQ(readFile(out), c.file) << c.args;
    }
}

TEST(FetchCommand, MatchesAPythonWebServerByteForByte) {
    TempDir served("served");
    TempDir fetched("fetched");
    struct File {
        std::string name, bytes;
    } files[] = {
        {"empty.bin", ""},
        {"one.txt", "x"},
        {"lines.txt", std::string("a\r\nb\nc\r\n\r\n\0end", 14)},
        {"camera.jpg", randomBytes(3 << 20, 7)},
    };
    for (const auto& f : files)
        writeFile(served.file(f.name), f.bytes);
    PythonWebServer web(served.path());
    for (const auto& f : files) {
        CommandResult r =
            runCommand(cli() + " fetch " + web.url(f.name) + " -o " + fetched.file(f.name));
        ASSERT_EQ(r.status, 0) << f.name;
        EXPECT_TRUE(readFile(fetched.file(f.name)) == f.bytes) << f.name;
    }
}

// The connection options of fetch: https only with --https, trust by --ca-file or --pin, a
// chosen user agent, and --timeout for a server that never answers.
TEST(FetchCommand, ConnectionOptions) {
    TlsTestServer servers;
    TempDir dir;
    const std::string fetch = cli() + " fetch ";
    const std::string good = servers.url("good");
    CommandResult r = runCommand(fetch + good + " 2>&1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Secure (https) addresses are off: add --https to fetch them\n");
    r = runCommand(fetch + "--https " + good + " 2>&1");
    EXPECT_EQ(r.out, "Certificate not trusted: unable to get local issuer certificate\n");
    r = runCommand(fetch + "--https --ca-file " + servers.rootFile() + " " + good);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "secure good");
    r = runCommand(fetch + "--https --pin " + servers.selfSignedPin() + " " +
                   servers.url("selfsigned"));
    EXPECT_EQ(r.out, "secure selfsigned");
    r = runCommand(fetch + "--https --pin nonsense " + good + " 2>&1");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "kestrix-cli fetch: --pin: Invalid certificate fingerprint: nonsense (see "
                     "'kestrix-cli fetch --help')\n");
    // The line openssl prints for a certificate is a pin as it stands.
    r = runCommand(fetch + "--https --pin 'sha256 Fingerprint=" + servers.selfSignedPin() + "' " +
                   servers.url("selfsigned"));
    EXPECT_EQ(r.out, "secure selfsigned");

    ScriptedServer server;
    server.queue(httpResponse("200 OK", "hello"));
    r = runCommand(fetch + "--user-agent 'Archive/1.0' " + server.url("/"));
    EXPECT_EQ(r.out, "hello");
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_NE(server.requests()[0].find("\r\nUser-Agent: Archive/1.0\r\n"), std::string::npos);

    SilentPort silent;
    const auto started = std::chrono::steady_clock::now();
    r = runCommand(fetch + "--timeout 1 http://127.0.0.1:" + std::to_string(silent.port()) +
                   "/ 2>&1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Socket readln aborted\n");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

// An error status is a failure with --fail (the body is not written), and a header value with a
// line break is a usage error before anything is sent.
TEST(FetchCommand, FailOnErrorStatusesAndRefuseLineBreaks) {
    TempDir dir("fetch");
    const std::string out = dir.file("out.jpg");
    writeFile(out, "kept");
    ScriptedServer server;
    server.queue(httpResponse("404 Not Found", "<html>gone</html>"));
    server.queue(httpResponse("503 Service Unavailable", "busy"));
    CommandResult r =
        runCommand(cli() + " fetch --fail " + server.url("/a.jpg") + " -o " + out + " 2>&1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "HTTP 404 Not Found\n");
    EXPECT_EQ(readFile(out), "kept");
    r = runCommand(cli() + " fetch " + server.url("/b.jpg") + " -o " + out);
    EXPECT_EQ(r.status, 0) << "without --fail an error page is a body like any other";
    EXPECT_EQ(readFile(out), "busy");

    r = runCommand(cli() + " fetch --user-agent \"$(printf 'x\\r\\nX-Injected: 1')\" " +
                   server.url("/c.jpg") + " 2>&1");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("The User-Agent contains a control character"), std::string::npos)
        << r.out;
    EXPECT_EQ(server.requests().size(), 2u);
}

// -o on a device or a FIFO writes into it; it is never replaced by a regular file.
TEST(FetchCommand, OutputThatIsNotAFileIsWrittenThrough) {
    TempDir dir("fetch");
    ScriptedServer server;
    server.queue(httpResponse("200 OK", "to the device"));
    server.queue(httpResponse("200 OK", "to the reader"));
    const std::string null = dir.file("null");
    struct stat st {};
    if (::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
        EXPECT_EQ(runCommand(cli() + " fetch " + server.url("/") + " -o " + null).status, 0);
        ASSERT_EQ(::lstat(null.c_str(), &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
    } else {
        server.queue(httpResponse("200 OK", "unused"));
        runCommand(cli() + " fetch " + server.url("/") + " -o " + dir.file("plain"));
    }
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = readFile(fifo); });
    EXPECT_EQ(runCommand(cli() + " fetch " + server.url("/") + " -o " + fifo).status, 0);
    // A fetch that never opened the FIFO must not leave the reader waiting for a writer.
    const int release = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (release >= 0)
        ::close(release);
    reader.join();
    EXPECT_EQ(received, "to the reader");
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// nginx with "absolute_redirect off" sends relative Locations: the picture fetched is the one
// curl fetches.
TEST(FetchCommand, RelativeRedirectsOfARealServerArriveAsWithCurl) {
    NginxServer nginx("    absolute_redirect off;\n"
                      "    location = /dir/rel { return 302 cam2.jpg; }\n"
                      "    location = /dir/up { return 302 ../pics/cam3.jpg; }\n");
    std::filesystem::create_directories(nginx.file("dir"));
    std::filesystem::create_directories(nginx.file("pics"));
    writeFile(nginx.file("dir/cam2.jpg"), randomBytes(30000, 2));
    writeFile(nginx.file("pics/cam3.jpg"), randomBytes(20000, 3));
    writeFile(nginx.file("pics/index.html"), "folder index");
    for (const std::string path : {"/dir/rel", "/dir/up", "/pics"}) {
        const CommandResult ours = runCommand(cli() + " fetch " + nginx.url(path));
        const CommandResult curl = runCommand("curl -sL " + nginx.url(path));
        EXPECT_EQ(ours.status, 0) << path;
        EXPECT_EQ(curl.status, 0) << path;
        EXPECT_EQ(ours.out.size(), curl.out.size()) << path;
        EXPECT_TRUE(ours.out == curl.out) << path;
    }
}
