// kestrix-cli serve: an archive browsed without a watch, through the real program: the links of a
// link file or the archive's folders, the loopback address for a port alone, a token when given
// one, the command line's refusals and a clean stop.
#include "core/util/Text.h"
#include "support/ArchiveBuilder.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace kestrix;
using namespace kestrix::test;

namespace {

const std::string kCli = KESTRIX_CLI;

// Starts `kestrix-cli serve ARGS` in the background, waits until it has read the archive
// (sending `auth`), runs `commands` with $base set, then stops it with SIGTERM; the exit status is
// the last line.
std::string whileServing(const std::string& args, int port, const std::string& commands,
                         const std::string& auth = "") {
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    return runCommand(kCli + " serve " + args + " 2>/dev/null & pid=$!; base=" + base +
                      "; for i in $(seq 100); do curl -s " + auth +
                      " $base/api/links | grep -q '\"ready\":true' && break; sleep 0.05; done; " +
                      commands + "; kill -TERM $pid; wait $pid; echo $?")
        .out;
}

std::string lastLine(const std::string& text) {
    const size_t end = text.find_last_not_of('\n');
    const size_t begin = text.rfind('\n', end);
    return text.substr(begin == std::string::npos ? 0 : begin + 1, end - begin);
}

} // namespace

TEST(ServeCommand, BrowsesAnArchiveOnTheLoopbackAddress) {
    TempDir dir("serve");
    ArchiveBuilder pictures(dir.file("archive"));
    pictures.addLink("Alps/Eiger", kArchiveStart, kArchiveStart + 86400, 3600, 10);
    pictures.addLink("Harbour", kArchiveStart, kArchiveStart + 86400, 7200, 90);
    writeFile(dir.file("l.klnx"),
              "<ImageAddressXML KSX=\"1.0\"><FolderItem FolderName=\"Alps\">"
              "<URLItem URLName=\"Eiger\" URLAddress=\"http://cam/e.jpg\" URLDelay=\"60\"/>"
              "<URLItem URLName=\"Quiet\" URLAddress=\"http://cam/q.jpg\" URLDelay=\"60\"/>"
              "</FolderItem></ImageAddressXML>\n");
    const int port = closedPort();
    const std::string portHex = strPrintf(":%04X", port);

    // A port alone: 127.0.0.1 only. Every folder with pictures is a link.
    const std::string folders =
        whileServing("--save-dir " + dir.file("archive") + " " + std::to_string(port), port,
                     "awk '$4 == \"0A\" {print $2}' /proc/net/tcp /proc/net/tcp6 | grep -i '" +
                         portHex + "$'; curl -s $base/api/links | tr , '\\n' | grep '\"dir\"'");
    EXPECT_EQ(folders, "0100007F" + portHex + "\n\"dir\":\"Alps/Eiger\"\n\"dir\":\"Harbour\"\n0\n");

    // The links of a link file, with and without pictures; a day of one of them.
    const std::string links = whileServing(
        "--save-dir " + dir.file("archive") + " --links " + dir.file("l.klnx") +
            " 127.0.0.1:" + std::to_string(port),
        port,
        "curl -s $base/api/links | tr , '\\n' | grep -E '\"(dir|pictures)\"'; "
        "curl -s \"$base/api/day?link=Alps%2FEiger&day=20261102\" | tr , '\\n' | grep -c jpg; "
        "curl -s -o /dev/null -w '%{http_code}\\n' $base/api/days?link=Harbour");
    EXPECT_EQ(links, "\"dir\":\"Alps/Eiger\"\n\"pictures\":24\n\"dir\":\"Alps/Quiet\"\n"
                     "\"pictures\":0\n24\n404\n0\n");

    // A single address's archive: its pictures in the save folder itself, one link.
    ArchiveBuilder single(dir.file("frames"));
    single.addLink("", kArchiveStart, kArchiveStart + 3600, 600, 10);
    const std::string one =
        whileServing("--save-dir " + dir.file("frames") + "/ " + std::to_string(port), port,
                     "curl -s $base/api/links | grep -o '\"links\":.*'; curl -s -o /dev/null -w "
                     "'%{http_code}\\n' \"$base/link?dir=\"; curl -s \"$base/api/days?link=\"");
    EXPECT_EQ(one, "\"links\":[{\"name\":\"frames\",\"folders\":[],\"dir\":\"\",\"path\":"
                   "\"frames\",\"pictures\":6,\"latest\":\"20261102-005000.jpg\"}]}\n200\n"
                   "{\"link\":\"\",\"days\":[{\"day\":\"20261102\",\"pictures\":6,"
                   "\"timelapse\":false}]}\n0\n");
}

TEST(ServeCommand, ATokenGuardsEveryRequest) {
    TempDir dir("serve");
    ArchiveBuilder pictures(dir.file("archive"));
    pictures.addLink("Cam", kArchiveStart, kArchiveStart + 3600, 600, 10);
    const std::string token = "0123456789abcdef0123";
    writeFile(dir.file("token"), token + "\n");
    const int port = closedPort();
    const std::string out = whileServing(
        "--save-dir " + dir.file("archive") + " --serve-token-file " + dir.file("token") + " " +
            std::to_string(port),
        port,
        "for h in 'X-Nothing: 1' 'Authorization: Bearer nope' 'Authorization: Bearer " + token +
            "' 'Cookie: kestrix_token=" + token +
            "'; do curl -s -o /dev/null -w '%{http_code}\\n' -H \"$h\" $base/api/links; done; "
            "curl -s -D - -o /dev/null \"$base/?token=" +
            token + "\" | grep -i '^set-cookie' | tr -d '\\r'",
        "-H 'Authorization: Bearer " + token + "'");
    EXPECT_EQ(out, "401\n401\n200\n200\nSet-Cookie: kestrix_token=" + token +
                       "; Path=/; Max-Age=31536000; HttpOnly; SameSite=Strict\n0\n");
}

TEST(ServeCommand, RefusesWhatItCannotServe) {
    TempDir dir("serve");
    writeFile(dir.file("file"), "x");
    struct Refused {
        std::string args;
        int status;
        std::string message;
    };
    const std::vector<Refused> cases = {
        {"--save-dir " + dir.file("none") + " 8080", 1, "No archive at " + dir.file("none")},
        {"--save-dir " + dir.file("file") + " 8080", 1, "No archive at " + dir.file("file")},
        {"--save-dir " + dir.path() + " port", 1, "--serve takes [HOST:]PORT, not port"},
        {"--save-dir " + dir.path() + " 70000", 1, "--serve takes [HOST:]PORT, not 70000"},
        {"--save-dir " + dir.path() + " --serve-token short 8080", 1,
         "A serve token takes 16 to 256 letters, digits and -._~+/= (for example: openssl rand "
         "-hex 16)"},
        {"--save-dir " + dir.path() + " --links " + dir.file("none.klnx") + " 8080", 1,
         "Cannot open file \"" + dir.file("none.klnx") + "\". No such file or directory"},
        {"--save-dir " + dir.path() + " --serve-token 0123456789abcdef --serve-token-file " +
             dir.file("file") + " 8080",
         2, ""},
        {"8080", 2, ""},
    };
    for (const Refused& c : cases) {
        const CommandResult r = runCommand(kCli + " serve " + c.args + " 2>&1");
        EXPECT_EQ(r.status, c.status) << c.args;
        if (!c.message.empty()) {
            EXPECT_EQ(lastLine(r.out), c.message) << c.args;
        }
    }
    const CommandResult help = runCommand(kCli + " serve --help");
    EXPECT_NE(help.out.find("PORT alone listens on 127.0.0.1"), std::string::npos) << help.out;
}
