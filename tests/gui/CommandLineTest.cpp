// The window program's own command line: help and version without a display, unknown options
// refused before any window, Qt's options and the file to open passed on.
#include "gui/StartCommandLine.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace kestrix;

namespace {

struct ChildRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string readAll(int fd) {
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    ::close(fd);
    return text;
}

// Runs the built program with no display of any kind, as on a server or in a build script.
ChildRun runWithoutDisplay(std::vector<std::string> args) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            unsetenv(name);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(KESTRIX_GUI_PROGRAM)};
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(KESTRIX_GUI_PROGRAM, argv.data());
        _exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    ChildRun run;
    // The answers are short: one pipe can be read to its end before the other.
    run.out = readAll(out[0]);
    run.err = readAll(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::optional<int> answer(std::vector<const char*> args, std::string* out = nullptr,
                          std::string* err = nullptr) {
    args.insert(args.begin(), "kestrix");
    std::ostringstream o, e;
    const std::optional<int> code =
        gui::answerCommandLine(static_cast<int>(args.size()), args.data(), o, e);
    if (out)
        *out = o.str();
    if (err)
        *err = e.str();
    return code;
}

} // namespace

TEST(CommandLine, HelpAndVersionAnswerWithoutADisplay) {
    const ChildRun version = runWithoutDisplay({"--version"});
    EXPECT_EQ(version.exitCode, 0) << version.err;
    EXPECT_TRUE(std::regex_match(version.out, std::regex("kestrix [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << version.out;
    EXPECT_EQ(version.err, "");

    for (const char* help : {"--help", "-h"}) {
        const ChildRun run = runWithoutDisplay({"links.klnx", help});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out.rfind("Usage: kestrix [OPTIONS] [FILE]\n", 0), 0u) << run.out;
        for (const char* named : {".klnx", ".ifrm", "--help", "--version"})
            EXPECT_NE(run.out.find(named), std::string::npos) << named;
    }

    const ChildRun unknown = runWithoutDisplay({"--fullscreen"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_EQ(unknown.err, "kestrix: unknown option --fullscreen (see 'kestrix --help')\n");
}

// Qt takes its own options out of the command line (a session manager restarts the program with
// -session); they and the file to open lead to the window. Anything else with a dash does not.
TEST(CommandLine, QtsOptionsAndTheFileLeadToTheWindow) {
    EXPECT_EQ(answer({}), std::nullopt);
    EXPECT_EQ(answer({"links.klnx"}), std::nullopt);
    EXPECT_EQ(answer({"-style", "fusion", "shots.ifrm"}), std::nullopt);
    EXPECT_EQ(answer({"--platform", "offscreen", "-reverse", "-stylesheet=a.qss"}), std::nullopt);
    EXPECT_EQ(answer({"-session", "10d3a1f2", "-qwindowtitle", "--help"}), std::nullopt);
    std::string out, err;
    EXPECT_EQ(answer({"-style", "fusion", "-x"}, &out, &err), 2);
    EXPECT_EQ(err, "kestrix: unknown option -x (see 'kestrix --help')\n");
    EXPECT_EQ(answer({"links.klnx", "--version"}, &out, &err), 0);
    EXPECT_EQ(out.rfind("kestrix ", 0), 0u);
}
