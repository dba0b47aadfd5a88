// The watch's metrics as Prometheus sees them: /metrics passes promtool's check, and Debian's
// Prometheus, scraping three shards of one link file, answers for the whole fleet.
#include "core/image/BmpCodec.h"
#include "support/ImageBuilders.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace kestrix;
using namespace kestrix::test;

namespace {

std::string linkItem(const std::string& name, const std::string& url) {
    return "<URLItem URLName=\"" + name + "\" URLAddress=\"" + url +
           "\" URLDelay=\"1\" Selected=\"no\"/>\n";
}

} // namespace

TEST(Metrics, PrometheusScrapesEveryShardAndPromtoolAcceptsThem) {
    ScriptedServer cameras;
    cameras.respond([](int i, const std::string& request) {
        if (request.find("GET /dead") == 0)
            return Reply(httpResponse("500 Internal Server Error", "no"));
        return Reply(httpResponse("200 OK", writeBmp(greyBitmap(static_cast<uint8_t>(i), 8, 8))));
    });
    TempDir dir("metrics");
    // A folder whose name holds a quote and a backslash, which labels must escape.
    std::string xml =
        "<ImageAddressXML KSX=\"1.0\">\n<FolderItem FolderName=\"Quote &quot;and\\\">";
    for (int i = 0; i < 9; ++i)
        xml += linkItem("Cam " + std::to_string(i), cameras.url("/cam" + std::to_string(i)));
    xml += linkItem("Dead", cameras.url("/dead")) + "</FolderItem></ImageAddressXML>\n";
    writeFile(dir.file("links.klnx"), xml);
    std::vector<int> ports;
    std::string script;
    for (int shard = 0; shard < 3; ++shard) {
        ports.push_back(closedPort());
        script += std::string(KESTRIX_CLI) + " watch --links " + dir.file("links.klnx") +
                  " --save-dir " + dir.file("a" + std::to_string(shard)) + " --shard " +
                  std::to_string(shard) + "/3 --down-after 2 --serve " +
                  std::to_string(ports.back()) + " > /dev/null 2>&1 & pids=\"$pids $!\"; ";
    }
    const int prometheusPort = closedPort();
    std::ofstream config(dir.file("prometheus.yml"));
    config << "global:\n  scrape_interval: 1s\nscrape_configs:\n  - job_name: kestrix\n"
              "    static_configs:\n      - targets: [";
    for (size_t i = 0; i < ports.size(); ++i)
        config << (i ? ", " : "") << "'127.0.0.1:" << ports[i] << "'";
    config << "]\n";
    config.close();
    const std::string base = "http://127.0.0.1:" + std::to_string(prometheusPort);
    script +=
        "prometheus --config.file=" + dir.file("prometheus.yml") +
        " --storage.tsdb.path=" + dir.file("tsdb") +
        " --web.listen-address=127.0.0.1:" + std::to_string(prometheusPort) + " > " +
        dir.file("prometheus.log") +
        " 2>&1 & pids=\"$pids $!\"; sleep 8; curl -s http://127.0.0.1:" + std::to_string(ports[0]) +
        "/metrics > " + dir.file("metrics.txt") + "; " + "curl -s -G " + base +
        "/api/v1/query --data-urlencode 'query=sum(kestrix_links)' > " + dir.file("total.json") +
        "; curl -s -G " + base +
        "/api/v1/query --data-urlencode 'query=sum(kestrix_links{state=\"down\"})' > " +
        dir.file("down.json") + "; /usr/bin/python3 " + dir.file("panels.py") + " " + base + " > " +
        dir.file("panels.txt") + " 2>&1; kill -TERM $pids; wait";
    // Every query of the dashboard the project ships must answer without error.
    writeFile(dir.file("panels.py"),
              "import json, sys, urllib.parse, urllib.request\n"
              "board = json.load(open('" +
                  std::string(KESTRIX_TEST_DATA) +
                  "/../../deploy/grafana/kestrix.json'))\n"
                  "for panel in board['panels']:\n"
                  "    for target in panel['targets']:\n"
                  "        url = sys.argv[1] + '/api/v1/query?' + urllib.parse.urlencode("
                  "{'query': target['expr']})\n"
                  "        answer = json.load(urllib.request.urlopen(url))\n"
                  "        print(answer['status'], panel['title'], target['expr'])\n");
    runCommand(script);

    const CommandResult check =
        runCommand("promtool check metrics < " + dir.file("metrics.txt") + " 2>&1");
    EXPECT_EQ(check.status, 0) << check.out << readFile(dir.file("metrics.txt"));
    const std::string metrics = readFile(dir.file("metrics.txt"));
    EXPECT_NE(metrics.find("kestrix_fetches_total{link=\"Quote \\\"and\\\\/Cam "),
              std::string::npos)
        << metrics;
    EXPECT_NE(metrics.find("# TYPE kestrix_fetch_start_lag_seconds histogram"), std::string::npos);
    const auto value = [](const std::string& json) {
        const size_t at = json.find("\"value\":[");
        if (at == std::string::npos)
            return std::string("(none) ") + json;
        const size_t start = json.find(",\"", at) + 2;
        return json.substr(start, json.find('"', start) - start);
    };
    EXPECT_EQ(value(readFile(dir.file("total.json"))), "10")
        << readFile(dir.file("prometheus.log"));
    EXPECT_EQ(value(readFile(dir.file("down.json"))), "1");
    const std::string panels = readFile(dir.file("panels.txt"));
    EXPECT_NE(panels.find("success Cameras by state"), std::string::npos) << panels;
    // One line per query, each answered with success.
    std::istringstream lines(panels);
    int queries = 0;
    for (std::string line; std::getline(lines, line); ++queries)
        EXPECT_TRUE(line.starts_with("success ")) << line;
    EXPECT_GE(queries, 6) << panels;
}
