// insmod, rmmod and lsmod: parameters, fresh globals, exported symbols,
// use counts, and kmalloc's accounting and injected failures.
#include <algorithm>
#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "kplat/kernel.h"
#include "hostns/tempdir.h"
#include "modules/kptest.h"

namespace {

class Modules : public ::testing::Test {
protected:
    bool loaded(const std::string& name) {
        for (auto& m : kernel_.lsmod())
            if (m.name == name) return true;
        return false;
    }

    kplat::Kernel kernel_{kplat::Options{{KPLAT_TEST_MODULES}}};
};

TEST_F(Modules, ParametersOfEveryType) {
    struct Case {
        const char* args;
        const char* line;
    };
    const Case cases[] = {
        {"", "i=7 b=1 h=2 l=3 s=none c=abc arr=10,20,30,40"},
        {"ival=-5 bval=255 hval=0xffff lval=123456789 sval=hello cval=xyz arr=1,,3",
         "i=-5 b=255 h=65535 l=123456789 s=hello c=xyz arr=1,20,3,40"},
        {"ival=010 hval=-1 bval=-128 arr=0x10,017", "i=8 b=128 h=65535 l=3 s=none c=abc arr=16,15,30,40"},
        {"ival=4294967295 lval=-9", "i=-1 b=1 h=2 l=-9 s=none c=abc arr=10,20,30,40"},
        {"ival=1 ival=2 cval=1234567", "i=2 b=1 h=2 l=3 s=none c=1234567 arr=10,20,30,40"},
    };
    for (const Case& c : cases) {
        kernel_.clear_log();
        ASSERT_EQ(0, kernel_.insmod("kptest_params", c.args)) << c.args << ": " << kernel_.last_error();
        EXPECT_EQ(std::string("kptest_params: ") + c.line + " loads=1\n", kernel_.log()) << c.args;
        ASSERT_EQ(0, kernel_.rmmod("kptest_params"));
    }
}

TEST_F(Modules, BadParametersRefuseTheLoad) {
    struct Case {
        const char* args;
        const char* error;
    };
    const Case cases[] = {
        {"nosuch=1", "insmod: kptest_params: unknown parameter 'nosuch'"},
        {"=1", "insmod: kptest_params: unknown parameter ''"},
        {"ival", "insmod: kptest_params: parameter ival has no value"},
        {"ival=", "insmod: kptest_params: parameter ival has no value"},
        {"ival=abc", "insmod: kptest_params: bad value 'abc' for parameter ival"},
        {"ival=1x", "insmod: kptest_params: bad value '1x' for parameter ival"},
        {"ival=0x", "insmod: kptest_params: bad value '0x' for parameter ival"},
        {"ival=4294967296", "insmod: kptest_params: bad value '4294967296' for parameter ival"},
        {"ival=+1", "insmod: kptest_params: bad value '+1' for parameter ival"},
        {"bval=256", "insmod: kptest_params: bad value '256' for parameter bval"},
        {"hval=65536", "insmod: kptest_params: bad value '65536' for parameter hval"},
        {"hval=-32769", "insmod: kptest_params: bad value '-32769' for parameter hval"},
        {"ival=1,2", "insmod: kptest_params: too many values for parameter ival (at most 1)"},
        {"arr=1", "insmod: kptest_params: too few values for parameter arr (at least 2)"},
        {"arr=1,2,3,4,5", "insmod: kptest_params: too many values for parameter arr (at most 4)"},
        {"cval=12345678", "insmod: kptest_params: value '12345678' too long for parameter cval"},
        {"arr=1,x", "insmod: kptest_params: bad value 'x' for parameter arr"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(-EINVAL, kernel_.insmod("kptest_params", c.args)) << c.args;
        EXPECT_EQ(c.error, kernel_.last_error());
        EXPECT_FALSE(loaded("kptest_params"));
    }
    EXPECT_EQ("", kernel_.log());  // init never ran
}

TEST_F(Modules, EachLoadHasFreshGlobals) {
    for (int i = 0; i < 3; i++) {
        kernel_.clear_log();
        ASSERT_EQ(0, kernel_.insmod("kptest_params", i ? "ival=99" : ""));
        EXPECT_NE(std::string::npos, kernel_.log().find("loads=1\n"));
        ASSERT_EQ(0, kernel_.rmmod("kptest_params"));
        EXPECT_EQ("kptest_params: exit\n", kernel_.log().substr(kernel_.log().rfind("kptest_params: exit")));
    }
    ASSERT_EQ(0, kernel_.insmod("kptest_params"));
    EXPECT_NE(std::string::npos, kernel_.log().find("i=7 "));  // not 99 from the last load
}

TEST_F(Modules, LoaderErrors) {
    EXPECT_EQ(-ENOENT, kernel_.insmod("nosuch"));
    EXPECT_EQ("insmod: nosuch: no module by that name found", kernel_.last_error());
    EXPECT_EQ(-ENOENT, kernel_.insmod("/nowhere/kptest_params.so"));
    EXPECT_EQ(-ENOENT, kernel_.rmmod("nosuch"));
    EXPECT_EQ("rmmod: module nosuch is not loaded", kernel_.last_error());

    ASSERT_EQ(0, kernel_.insmod(std::string(KPLAT_TEST_MODULES) + "/kptest_params.so"));
    EXPECT_EQ("", kernel_.last_error());
    EXPECT_EQ(-EEXIST, kernel_.insmod("kptest_params"));
    EXPECT_EQ("insmod: a module named kptest_params already exists", kernel_.last_error());
    ASSERT_EQ(0, kernel_.rmmod("kptest_params"));

    hostns::TempDir dir;
    std::string text = dir.write("text.so", "not an object\n");
    EXPECT_EQ(-ENOEXEC, kernel_.insmod(text));
    EXPECT_EQ("insmod: " + text + ": not an ELF object", kernel_.last_error());
}

TEST_F(Modules, FailingInitLeavesNothingLoaded) {
    EXPECT_EQ(-ENODEV, kernel_.insmod("kptest_params", "fail=19"));
    EXPECT_EQ("insmod: kptest_params: init_module: No such device", kernel_.last_error());
    EXPECT_FALSE(loaded("kptest_params"));
    ASSERT_EQ(0, kernel_.insmod("kptest_params"));
    EXPECT_NE(std::string::npos, kernel_.log().rfind("loads=1\n"));
}

TEST_F(Modules, WithoutCleanupItStays) {
    ASSERT_EQ(0, kernel_.insmod("kptest_fail"));
    EXPECT_EQ(-EBUSY, kernel_.rmmod("kptest_fail"));
    EXPECT_EQ("rmmod: kptest_fail has no cleanup_module", kernel_.last_error());
    EXPECT_TRUE(loaded("kptest_fail"));
}

TEST_F(Modules, ExportedSymbolsLinkLaterModules) {
    EXPECT_EQ(-ENOEXEC, kernel_.insmod("kptest_import"));
    EXPECT_NE(std::string::npos, kernel_.last_error().find("undefined symbol: kptest_exported_value"))
        << kernel_.last_error();

    ASSERT_EQ(0, kernel_.insmod("kptest_export"));
    ASSERT_EQ(0, kernel_.insmod("kptest_import")) << kernel_.last_error();
    // Each module keeps its own global of the same name.
    EXPECT_EQ("kptest_export: common=1\nkptest_import: value=41 common=2\n", kernel_.log());

    auto mods = kernel_.lsmod();
    ASSERT_EQ(2u, mods.size());
    EXPECT_EQ("kptest_import", mods[0].name);  // the last loaded first
    EXPECT_EQ("kptest_export", mods[1].name);
    EXPECT_EQ(std::vector<std::string>{"kptest_import"}, mods[1].used_by);
    EXPECT_TRUE(mods[0].used_by.empty());
    EXPECT_NE(std::find(mods[1].info.begin(), mods[1].info.end(), "ksym=kptest_exported_value"), mods[1].info.end());

    EXPECT_EQ(-EBUSY, kernel_.rmmod("kptest_export"));
    EXPECT_EQ("rmmod: kptest_export is in use by kptest_import", kernel_.last_error());
    ASSERT_EQ(0, kernel_.rmmod("kptest_import"));
    ASSERT_EQ(0, kernel_.rmmod("kptest_export"));
}

TEST_F(Modules, UseCountsKeepAModuleLoaded) {
    ASSERT_EQ(0, kernel_.insmod("kptest_dev", "major=200"));
    kplat::Process& p = kernel_.spawn("user");
    int fd = p.open(200, 0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(1, kernel_.lsmod()[0].use_count);
    EXPECT_EQ(-EBUSY, kernel_.rmmod("kptest_dev"));
    EXPECT_EQ(0, p.ioctl(fd, KPTEST_INC_USE, 0));
    ASSERT_EQ(0, p.close(fd));
    EXPECT_EQ(1, kernel_.lsmod()[0].use_count);
    EXPECT_EQ(-EBUSY, kernel_.rmmod("kptest_dev"));
    fd = p.open(200, 0);
    EXPECT_EQ(0, p.ioctl(fd, KPTEST_DEC_USE, 0));
    ASSERT_EQ(0, p.close(fd));
    EXPECT_EQ(0, kernel_.rmmod("kptest_dev"));
}

TEST_F(Modules, KmallocFailsWhereTold) {
    ASSERT_EQ(0, kernel_.insmod("kptest_dev", "major=200"));
    kplat::Process& p = kernel_.spawn("user");
    int fd = p.open(200, 0);
    unsigned long before = kernel_.kmalloc_calls();
    kernel_.fail_kmalloc(2, 2);
    const long expected[] = {0, -ENOMEM, -ENOMEM, 0, 0};
    for (long e : expected) EXPECT_EQ(e, p.ioctl(fd, KPTEST_ALLOC, 16));
    EXPECT_EQ(before + 5, kernel_.kmalloc_calls());
    EXPECT_EQ(3u, kernel_.kmalloc_live());
    EXPECT_EQ(-ENOMEM, p.ioctl(fd, KPTEST_ALLOC, 128 * 1024 + 1));  // larger than kmalloc gives
    EXPECT_EQ(0, p.ioctl(fd, KPTEST_ALLOC, 128 * 1024));
    EXPECT_EQ(0, p.ioctl(fd, KPTEST_FREE, 0));
    EXPECT_EQ(0u, kernel_.kmalloc_live());
}

TEST_F(Modules, ShutdownUnloadsWhatIsLeft) {
    ASSERT_EQ(0, kernel_.insmod("kptest_export"));
    ASSERT_EQ(0, kernel_.insmod("kptest_import"));
    ASSERT_EQ(0, kernel_.insmod("kptest_fail"));
    ASSERT_EQ(0, kernel_.insmod("kptest_dev"));
    kplat::Process& p = kernel_.spawn("user");
    EXPECT_GE(p.open(254, 0), 0);  // left open: the shutdown closes it
}

}  // namespace
