// A scratch directory per test, and whole-file helpers for tests that check
// what a program wrote.
#ifndef SCRATCH_H
#define SCRATCH_H

#include <string>

namespace scratch {

std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &text);
bool exists(const std::string &path);
// Expects text to equal the file at path; with KV_UPDATE_GOLDEN set in the
// environment, writes text there instead.
void expect_golden(const std::string &path, const std::string &text);

// Makes a fresh directory under /tmp (ctest runs tests in parallel) and, when
// enter is set, works in it until destroyed; removed at the end.
class Dir {
public:
    explicit Dir(bool enter);
    ~Dir();
    Dir(const Dir &) = delete;
    Dir &operator=(const Dir &) = delete;
    const std::string &path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

}  // namespace scratch

#endif
