#include "scratch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

namespace scratch {

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_file(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

bool exists(const std::string &path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

void expect_golden(const std::string &path, const std::string &text)
{
    if (std::getenv("KV_UPDATE_GOLDEN")) {
        write_file(path, text);
        return;
    }
    ASSERT_TRUE(exists(path)) << "no golden file " << path;
    EXPECT_EQ(text, read_file(path)) << "differs from " << path;
}

Dir::Dir(bool enter)
{
    char tmpl[] = "/tmp/kvtest.XXXXXX";
    if (!mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
    if (enter) {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd) || chdir(path_.c_str()) != 0)
            throw std::runtime_error("cannot enter scratch directory");
        previous_ = cwd;
    }
}

Dir::~Dir()
{
    if (!previous_.empty())
        (void)!chdir(previous_.c_str());
    (void)!std::system(("rm -rf '" + path_ + "'").c_str());
}

}  // namespace scratch
