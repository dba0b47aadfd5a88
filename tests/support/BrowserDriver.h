// Pages tried in a real browser: steps for headless Chromium, run by cdp.py beside this header
// (Chromium's DevTools protocol over a pipe). Each eval or wait step gives one value, as JSON.
#pragma once

#include "core/util/JsonText.h"
#include "support/TempDir.h"

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace kestrix::test {

struct BrowserStep {
    std::string json;
};

inline BrowserStep viewport(int width, int height) {
    return {"{\"viewport\":[" + std::to_string(width) + "," + std::to_string(height) + "]}"};
}
inline BrowserStep go(const std::string& url) {
    return {"{\"go\":" + jsonString(url) + "}"};
}
inline BrowserStep evaluate(const std::string& script) {
    return {"{\"eval\":" + jsonString(script) + "}"};
}
// Until `script` is truthy, at most `seconds`.
inline BrowserStep waitUntil(const std::string& script, double seconds = 10) {
    return {"{\"wait\":" + jsonString(script) + ",\"timeout\":" + std::to_string(seconds) + "}"};
}
inline BrowserStep press(const std::string& key) {
    return {"{\"key\":" + jsonString(key) + "}"};
}
inline BrowserStep screenshot(const std::string& path) {
    return {"{\"shot\":" + jsonString(path) + "}"};
}

struct BrowserRun {
    int status = -1;
    std::vector<std::string> values; // one JSON text per eval and wait step
    std::string errors;
};

// Runs the steps in a fresh headless Chromium.
inline BrowserRun runInBrowser(const std::vector<BrowserStep>& steps) {
    const TempDir dir("browser");
    std::string list = "[";
    for (size_t i = 0; i < steps.size(); ++i)
        list += (i ? "," : "") + steps[i].json;
    writeFile(dir.file("steps.json"), list + "]");
    const std::string driver = (std::filesystem::path(__FILE__).parent_path() / "cdp.py").string();
    const CommandResult r = runCommand("/usr/bin/python3 '" + driver + "' " +
                                       dir.file("steps.json") + " 2> " + dir.file("errors"));
    BrowserRun run;
    run.status = r.status;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        run.values.push_back(line);
    run.errors = readFile(dir.file("errors"));
    return run;
}

} // namespace kestrix::test
