// kestrix-cli's own options: --version and the list of subcommands.
#include "support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace kestrix::test;

TEST(CommandLine, VersionAndHelp) {
    const CommandResult version = runCommand(std::string(KESTRIX_CLI) + " --version");
    EXPECT_EQ(version.status, 0);
    const std::string prefix = "kestrix-cli ";
    ASSERT_EQ(version.out.rfind(prefix, 0), 0u) << version.out;
    const std::string number = version.out.substr(prefix.size());
    EXPECT_EQ(std::count(number.begin(), number.end(), '.'), 2) << number;
    EXPECT_EQ(number.find_first_not_of("0123456789.\n"), std::string::npos) << number;
    EXPECT_EQ(number.back(), '\n');
    const CommandResult help = runCommand(std::string(KESTRIX_CLI) + " --help");
    EXPECT_EQ(help.status, 0);
    for (const char* line : {"kestrix-cli --version", "  movie OUT.avi|OUT.mp4", "  watch URL",
                             "kestrix-cli watch --links FILE.klnx --save-dir DIR"})
        EXPECT_NE(help.out.find(line), std::string::npos) << line;
}
