// A fresh folder under the system's temporary folder, removed with everything in it at the end.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kestrix::test {

class TempDir {
public:
    explicit TempDir(const std::string& tag = "t") {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / ("kestrix-" + tag + "-XXXXXX")).string();
        path_ = mkdtemp(tmpl.data()) ? tmpl : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The regular files under `root`, as paths relative to it, sorted; none for a missing folder.
inline std::vector<std::string> filesUnder(const std::string& root) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(root, ec), end; !ec && it != end;
         it.increment(ec))
        if (it->is_regular_file())
            names.push_back(std::filesystem::relative(it->path(), root).string());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs a shell command and answers its exit status and standard output.
struct CommandResult {
    int status = -1;
    std::string out;
};

inline CommandResult runCommand(const std::string& command) {
    CommandResult r;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

} // namespace kestrix::test
