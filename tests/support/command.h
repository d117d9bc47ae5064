// Runs a shell command for a test and collects what it printed and how it ended.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace som::test {

struct Outcome {
    int status = -1;  // exit status, or 128 + signal
    std::string out, err;
};

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline Outcome run_shell(const std::string& command) {
    char dir[] = "/tmp/som-command-XXXXXX";
    Outcome o;
    if (mkdtemp(dir) == nullptr) return o;
    const std::string out = std::string(dir) + "/out", err = std::string(dir) + "/err";
    const int status = std::system((command + " >" + out + " 2>" + err + " </dev/null").c_str());
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    o.out = read_file(out);
    o.err = read_file(err);
    unlink(out.c_str());
    unlink(err.c_str());
    rmdir(dir);
    return o;
}

// A fresh directory under /tmp, removed with everything in it at the end of the scope.
struct ScratchDir {
    std::string path;
    ScratchDir() {
        char name[] = "/tmp/som-test-XXXXXX";
        if (mkdtemp(name) != nullptr) path = name;
    }
    ~ScratchDir() {
        if (!path.empty()) std::system(("rm -rf '" + path + "'").c_str());
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

}  // namespace som::test
