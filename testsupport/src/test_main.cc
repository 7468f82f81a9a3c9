// The main of every test program. With CI set (to anything but "" or
// "false") a test that skips fails instead: CI runs as root with network
// namespaces, so a skip there means it lost what the tests need, and would
// otherwise stay green while testing less. Elsewhere a skip stays a skip,
// with its reason in the output.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

namespace {

bool in_ci() {
    const char* ci = getenv("CI");
    return ci && *ci && strcmp(ci, "false") != 0 && strcmp(ci, "0") != 0;
}

// Wraps the result printer: a test that ended skipped gets a failure
// before the printer hears of its end, so it is reported (and counted) as
// failed, with the skip's reason above.
class SkipFailsInCi : public testing::EmptyTestEventListener {
public:
    explicit SkipFailsInCi(testing::TestEventListener* printer) : printer_(printer) {}

    void OnTestProgramStart(const testing::UnitTest& u) override { printer_->OnTestProgramStart(u); }
    void OnTestIterationStart(const testing::UnitTest& u, int i) override { printer_->OnTestIterationStart(u, i); }
    void OnEnvironmentsSetUpStart(const testing::UnitTest& u) override { printer_->OnEnvironmentsSetUpStart(u); }
    void OnEnvironmentsSetUpEnd(const testing::UnitTest& u) override { printer_->OnEnvironmentsSetUpEnd(u); }
    void OnTestSuiteStart(const testing::TestSuite& s) override { printer_->OnTestSuiteStart(s); }
    void OnTestStart(const testing::TestInfo& t) override { printer_->OnTestStart(t); }
    void OnTestDisabled(const testing::TestInfo& t) override { printer_->OnTestDisabled(t); }
    void OnTestPartResult(const testing::TestPartResult& r) override { printer_->OnTestPartResult(r); }
    void OnTestEnd(const testing::TestInfo& t) override {
        if (t.result()->Skipped()) ADD_FAILURE() << "skipped in CI (CI is set): the test needs what CI must give it";
        printer_->OnTestEnd(t);
    }
    void OnTestSuiteEnd(const testing::TestSuite& s) override { printer_->OnTestSuiteEnd(s); }
    void OnEnvironmentsTearDownStart(const testing::UnitTest& u) override { printer_->OnEnvironmentsTearDownStart(u); }
    void OnEnvironmentsTearDownEnd(const testing::UnitTest& u) override { printer_->OnEnvironmentsTearDownEnd(u); }
    void OnTestIterationEnd(const testing::UnitTest& u, int i) override { printer_->OnTestIterationEnd(u, i); }
    void OnTestProgramEnd(const testing::UnitTest& u) override { printer_->OnTestProgramEnd(u); }

private:
    std::unique_ptr<testing::TestEventListener> printer_;
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (in_ci()) {
        auto& listeners = testing::UnitTest::GetInstance()->listeners();
        if (testing::TestEventListener* printer = listeners.Release(listeners.default_result_printer()))
            listeners.Append(new SkipFailsInCi(printer));
    }
    return RUN_ALL_TESTS();
}
