// The real kernel library, loaded as the launcher loads it: its one export, its answer to each
// request, and its loader's refusal of every image it does not know (without starting anything:
// this process has no display, so a started application would end the test).

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "launcher/kernel_abi.h"

namespace vennadar {
namespace {

class KernelLibraryTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        library_ = dlopen(VENNADAR_KERNEL, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
    }

    static GetImageLoaderFunction Entry() {
        return reinterpret_cast<GetImageLoaderFunction>(dlsym(library_, kKernelEntryName));
    }

    static void* library_;
};

void* KernelLibraryTest::library_ = nullptr;

TEST_F(KernelLibraryTest, ExportsItsEntryAndNotTheApplication) {
    EXPECT_NE(Entry(), nullptr);
    EXPECT_EQ(dlsym(library_, "_ZN8vennadar14RunApplicationEiPPc"), nullptr);
    EXPECT_EQ(dlsym(library_, "main"), nullptr);
}

struct RequestCase {
    std::int32_t request;
    bool gives_loader;
};

class KernelRequestTest : public KernelLibraryTest,
                          public testing::WithParamInterface<RequestCase> {};

TEST_P(KernelRequestTest, GivesTheLoaderOnlyForItsRequest) {
    ASSERT_NE(Entry(), nullptr);
    EXPECT_EQ(Entry()(GetParam().request) != nullptr, GetParam().gives_loader);
}

INSTANTIATE_TEST_SUITE_P(Requests, KernelRequestTest,
                         testing::Values(RequestCase{1000, true}, RequestCase{0, false},
                                         RequestCase{999, false}, RequestCase{1001, false},
                                         RequestCase{-1000, false}, RequestCase{INT32_MIN, false},
                                         RequestCase{INT32_MAX, false}));

char program_name[] = "vennadar";
char* good_argv[] = {program_name, nullptr};
char* empty_argv[] = {nullptr};

struct ImageCase {
    const char* name;
    ApplicationImage image;
};

class KernelImageTest : public KernelLibraryTest, public testing::WithParamInterface<ImageCase> {};

TEST_P(KernelImageTest, RefusesAnUnknownImage) {
    ASSERT_NE(Entry(), nullptr);
    const ImageLoader loader = Entry()(kImageLoaderRequest);
    ASSERT_NE(loader, nullptr);
    EXPECT_EQ(loader(&GetParam().image), kImageRefused);
}

INSTANTIATE_TEST_SUITE_P(
    Images, KernelImageTest,
    testing::Values(
        ImageCase{"WrongMagic", {0x12345678, kApplicationImageFormat, 1, good_argv}},
        ImageCase{
            "SwappedMagic",
            {__builtin_bswap32(kApplicationImageMagic), kApplicationImageFormat, 1, good_argv}},
        ImageCase{"OlderFormat", {kApplicationImageMagic, 0, 1, good_argv}},
        ImageCase{"NewerFormat",
                  {kApplicationImageMagic, kApplicationImageFormat + 1, 1, good_argv}},
        ImageCase{"NoArguments", {kApplicationImageMagic, kApplicationImageFormat, 0, empty_argv}},
        ImageCase{"NegativeCount",
                  {kApplicationImageMagic, kApplicationImageFormat, -1, good_argv}},
        ImageCase{"NullArgv", {kApplicationImageMagic, kApplicationImageFormat, 1, nullptr}},
        ImageCase{"NullProgramName",
                  {kApplicationImageMagic, kApplicationImageFormat, 1, empty_argv}}),
    [](const testing::TestParamInfo<ImageCase>& case_info) {
        return std::string(case_info.param.name);
    });

TEST_F(KernelLibraryTest, RefusesNoImage) {
    ASSERT_NE(Entry(), nullptr);
    EXPECT_EQ(Entry()(kImageLoaderRequest)(nullptr), kImageRefused);
}

}  // namespace
}  // namespace vennadar
