// kestrix-cli's command line: help for every subcommand, exit codes, the command lines scripts
// already use, pictures in the format their name asks for, and the progress line.
#include "core/decode/ImageDecoder.h"
#include "core/image/BmpCodec.h"
#include "support/ImageBuilders.h"
#include "support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

using namespace kestrix;
using namespace kestrix::test;

namespace {

CommandResult cli(const std::string& args) {
    return runCommand(std::string(KESTRIX_CLI) + " " + args + " 2>&1");
}

// The names listed under "Subcommands:" in a help text.
std::vector<std::string> subcommandsIn(const std::string& help) {
    std::vector<std::string> names;
    std::istringstream lines(help);
    std::string line;
    bool inList = false;
    while (std::getline(lines, line)) {
        if (line == "Subcommands:")
            inList = true;
        else if (inList && line.rfind("  ", 0) == 0)
            names.push_back(line.substr(2, line.find(' ', 2) - 2));
        else
            inList = false;
    }
    return names;
}

std::string bmpOf(const Bitmap& b) {
    return writeBmp(b);
}

} // namespace

TEST(CommandLine, VersionAndHelp) {
    const CommandResult version = runCommand(std::string(KESTRIX_CLI) + " --version");
    EXPECT_EQ(version.status, 0);
    const std::string prefix = "kestrix-cli ";
    ASSERT_EQ(version.out.rfind(prefix, 0), 0u) << version.out;
    const std::string number = version.out.substr(prefix.size());
    EXPECT_EQ(std::count(number.begin(), number.end(), '.'), 2) << number;
    EXPECT_EQ(number.find_first_not_of("0123456789.\n"), std::string::npos) << number;
    EXPECT_EQ(number.back(), '\n');
    const CommandResult help = cli("--help");
    EXPECT_EQ(help.status, 0);
    const std::vector<std::string> expected = {
        "adjust",   "avi",   "compare", "decode", "expand", "fetch", "frames",    "gif",
        "identify", "links", "motion",  "movie",  "resize", "serve", "timelapse", "watch"};
    EXPECT_EQ(subcommandsIn(help.out), expected);
}

// Every subcommand and every subcommand of one says what it does, what each option means and
// gives an example.
TEST(CommandLine, EverySubcommandExplainsItself) {
    std::vector<std::string> commands = subcommandsIn(cli("--help").out);
    ASSERT_FALSE(commands.empty());
    for (size_t i = 0; i < commands.size(); ++i) {
        SCOPED_TRACE(commands[i]);
        const CommandResult r = cli(commands[i] + " --help");
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find("Usage: kestrix-cli " + commands[i]), std::string::npos) << r.out;
        EXPECT_NE(
            r.out.find("Example:\n  kestrix-cli " + commands[i].substr(0, commands[i].find(' '))),
            std::string::npos)
            << r.out;
        // Each option's line holds its meaning: two blanks or more after its name.
        std::istringstream lines(r.out);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.rfind("  -", 0) == 0 && line.find("  ", 3) == std::string::npos) {
                EXPECT_TRUE(std::getline(lines, line) && line.rfind("      ", 0) == 0) << line;
            }
        }
        for (const std::string& sub : subcommandsIn(r.out))
            commands.push_back(commands[i] + " " + sub);
    }
    EXPECT_GT(commands.size(), 20u) << "frames and links have subcommands of their own";
}

TEST(CommandLine, UsageErrorsExitWithTwoAndWorkFailuresWithOne) {
    TempDir dir("exits");
    writeFile(dir.file("in.bmp"), bmpOf(detailedFrame(6, 4, 1)));
    const struct {
        std::string args;
        int status;
        std::string output;
    } cases[] = {
        {"", 2, "kestrix-cli: A subcommand is required (see 'kestrix-cli --help')\n"},
        {"crop a b", 2, "Unknown command: crop (see 'kestrix-cli --help')\n"},
        {"crop --help", 2, "Unknown command: crop (see 'kestrix-cli --help')\n"},
        {"resize --sharpen in.bmp out.bmp 2 2", 2,
         "kestrix-cli resize: The following argument was not expected: --sharpen (see "
         "'kestrix-cli resize --help')\n"},
        {"resize in.bmp out.bmp 2", 2,
         "kestrix-cli resize: HEIGHT is required (see 'kestrix-cli resize --help')\n"},
        {"resize in.bmp out.bmp 2 2 --filter sharp", 2,
         "kestrix-cli resize: --filter: Check sharp value in {bell->3,box->0,bspline->4,"
         "hermite->2,lanczos3->6,mitchell->5,triangle->1} OR {3,0,4,2,6,5,1} FAILED (see "
         "'kestrix-cli resize --help')\n"},
        {"frames unpack", 2,
         "kestrix-cli frames unpack: IN is required (see 'kestrix-cli frames unpack --help')\n"},
        {"resize in.bmp out.png 2 2 --quality 0", 2,
         "kestrix-cli resize: --quality: Value 0 not in range 1 to 100 (see 'kestrix-cli resize "
         "--help')\n"},
        {"resize missing.bmp out.png 2 2", 1,
         "Cannot open file \"missing.bmp\". No such file or directory\n"},
        {"resize in.bmp out.tif 2 2", 1,
         "Unknown image file type: .tif (use .bmp, .png or .jpg)\n"},
        {"decode in.bmp out.gif", 1, "Unknown image file type: .gif (use .bmp, .png or .jpg)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const CommandResult r =
            runCommand("cd " + dir.path() + " && " + KESTRIX_CLI + " " + c.args + " 2>&1");
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.output);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.tif")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.gif")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.png")));
}

// The command lines the README has shown from the start, each once.
TEST(CommandLine, EarlierCommandLinesStillWork) {
    TempDir dir("readme");
    const std::string d = dir.path() + "/";
    writeFile(d + "a.bmp", bmpOf(detailedFrame(16, 12, 1)));
    writeFile(d + "b.bmp", bmpOf(detailedFrame(16, 12, 2)));
    writeFile(d + "links.klnx",
              "<ImageAddressXML KSX=\"1.0\">\r\n  <FolderItem FolderName=\"Cams\">\r\n    <URLItem "
              "URLName=\"One\" URLAddress=\"http://cam.example/a.jpg\" URLDelay=\"60\"/>\r\n  "
              "</FolderItem>\r\n</ImageAddressXML>\r\n");
    const std::string lines[] = {
        "frames pack " + d + "f.ifrm " + d + "a.bmp " + d + "b.bmp " + d + "b.bmp",
        "frames unpack " + d + "f.ifrm " + d + "unpacked",
        "frames info " + d + "f.ifrm",
        "frames flaws " + d + "f.ifrm --threshold 0.07 --no-black --delete " + d + "g.ifrm",
        "frames dups " + d + "f.ifrm --delete " + d + "h.ifrm",
        "frames average " + d + "f.ifrm " + d + "mean.bmp",
        "decode " + d + "a.bmp " + d + "decoded.bmp --frames " + d + "fr --address cam.bmp",
        "identify --check " + d + "a.bmp " + d + "b.bmp",
        "adjust " + d + "a.bmp " + d + "adjusted.bmp --brightness 60 --contrast 40 --gamma 55",
        "compare " + d + "a.bmp " + d + "b.bmp",
        "motion " + d + "a.bmp " + d + "b.bmp " + d + "motion.bmp",
        "resize " + d + "a.bmp " + d + "resized.bmp 8 6 --filter mitchell",
        "movie " + d + "m.avi --fps 2 --quality 9000 " + d + "f.ifrm " + d + "a.bmp",
        "avi " + d + "n.avi --fps 2 " + d + "a.bmp " + d + "b.bmp",
        "gif " + d + "g.gif --fps 5 " + d + "a.bmp " + d + "f.ifrm",
        "expand --at 2026-12-08T14:05:09.250Z 'img<date>0,yyyymmdd_hhnn</date>.jpg'",
        "links save " + d + "links.klnx " + d + "saved.klnx",
        "links print " + d + "saved.klnx",
    };
    for (const std::string& line : lines) {
        const CommandResult r = cli(line);
        EXPECT_EQ(r.status, 0) << line << "\n" << r.out;
    }
    EXPECT_EQ(cli("frames info " + d + "h.ifrm").out, "2\n16 x 12 24\n16 x 12 24\n");
    EXPECT_EQ(readFile(d + "unpacked/frame-0002.bmp"), readFile(d + "b.bmp"));
    EXPECT_EQ(cli("expand --at 2026-12-08T14:05:09.250Z 'img<date>0,yyyymmdd_hhnn</date>.jpg'").out,
              "img20261208_1405.jpg\n");
    EXPECT_EQ(cli("links print " + d + "saved.klnx").out,
              "Image Links *\n  [F] Cams\n    [L] One | http://cam.example/a.jpg | 60\n");
}

TEST(CommandLine, PicturesAreWrittenInTheFormatTheNameAsksFor) {
    TempDir dir("formats");
    const std::string d = dir.path() + "/";
    const Bitmap a = detailedFrame(20, 10, 1);
    writeFile(d + "a.bmp", bmpOf(a));
    writeFile(d + "b.bmp", bmpOf(detailedFrame(20, 10, 2)));
    ASSERT_EQ(cli("frames pack " + d + "f.ifrm " + d + "a.bmp " + d + "b.bmp").status, 0);
    for (const std::string& line :
         {"decode " + d + "a.bmp " + d + "decoded.png",
          "adjust " + d + "a.bmp " + d + "adjusted.jpg",
          "resize " + d + "a.bmp " + d + "resized.jpeg 10 5 --quality 50",
          "motion " + d + "a.bmp " + d + "b.bmp " + d + "motion.PNG",
          "frames average " + d + "f.ifrm " + d + "mean.png",
          "frames unpack " + d + "f.ifrm " + d + "png --format png",
          "frames unpack " + d + "f.ifrm " + d + "jpg --format jpg --quality 70"})
        EXPECT_EQ(cli(line).status, 0) << line;
    const std::pair<std::string, std::string> kinds[] = {
        {"decoded.png", "Png 20x10 1\n"},        {"adjusted.jpg", "Jpeg 20x10 1\n"},
        {"resized.jpeg", "Jpeg 10x5 1\n"},       {"motion.PNG", "Png 20x10 1\n"},
        {"mean.png", "Png 20x10 1\n"},           {"png/frame-0001.png", "Png 20x10 1\n"},
        {"jpg/frame-0000.jpg", "Jpeg 20x10 1\n"}};
    for (const auto& [file, kind] : kinds)
        EXPECT_EQ(cli("identify " + d + file).out, kind) << file;
    // The PNG holds the very pixels.
    Bitmap decoded;
    decodeImage(readFile(d + "decoded.png"), "decoded.png", decoded, nullptr);
    EXPECT_EQ(writeBmp(decoded), bmpOf(a));
}

// A progress line appears on a terminal only, and --quiet silences it there too.
TEST(CommandLine, ProgressOnlyOnATerminal) {
    TempDir dir("progress");
    const std::string d = dir.path() + "/";
    std::string inputs;
    for (int i = 0; i < 4; ++i) {
        writeFile(d + std::to_string(i) + ".bmp", bmpOf(detailedFrame(16, 12, i)));
        inputs += " " + d + std::to_string(i) + ".bmp";
    }
    const std::string gif = std::string(KESTRIX_CLI) + " gif " + d + "g.gif" + inputs;
    // `script` runs the command with a terminal for its output.
    const CommandResult onTerminal = runCommand("script -qec '" + gif + "' /dev/null");
    EXPECT_EQ(onTerminal.status, 0);
    EXPECT_NE(onTerminal.out.find("Writing GIF  100%  4/4 frames"), std::string::npos)
        << onTerminal.out;
    EXPECT_EQ(runCommand("script -qec '" + gif + " --quiet' /dev/null").out, "");
    EXPECT_EQ(cli("gif " + d + "g.gif" + inputs).out, "");
}
