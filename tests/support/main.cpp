// main() of every test program: after each test the process-wide settings go
// back to what they were before it, so the order the tests run in, and whether
// they run in one process or one each, changes nothing.
#include <memory>

#include <gtest/gtest.h>

#include "process_settings.h"

namespace {

class RestoreSettings : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo &) override
    {
        saved_ = std::make_unique<support::ProcessSettings>();
    }
    void OnTestEnd(const ::testing::TestInfo &) override
    {
        if (saved_)
            saved_->restore();
        saved_.reset();
    }
    std::unique_ptr<support::ProcessSettings> saved_;
};

}  // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new RestoreSettings);
    return RUN_ALL_TESTS();
}
