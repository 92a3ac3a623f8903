// Stand-in kernels for the launcher tests, one per TEST_KERNEL_KIND:
//   1 records its run (its own file, argc, argv) to $VENNADAR_TEST_KERNEL_RECORD and answers
//     $VENNADAR_TEST_KERNEL_STATUS (default 0); it refuses an image the launcher built wrongly;
//   2 has no entry; 3 has an entry that gives no loader; 4 has a loader that records
//   "refused" and refuses every image.

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "launcher/kernel_abi.h"

namespace {

using vennadar::ApplicationImage;

void Record(const ApplicationImage* image, bool refused) {
    const char* record_path = std::getenv("VENNADAR_TEST_KERNEL_RECORD");
    if (record_path == nullptr) {
        return;
    }
    FILE* record = std::fopen(record_path, "w");
    if (record == nullptr) {
        return;
    }
    if (refused) {
        std::fputs("refused\n", record);
    } else {
        Dl_info info{};
        dladdr(reinterpret_cast<void*>(&Record), &info);
        std::fprintf(record, "%s\n%d\n", info.dli_fname, image->argc);
        for (int i = 0; i < image->argc; ++i) {
            std::fprintf(record, "%s\n", image->argv[i]);
        }
    }
    std::fclose(record);
}

[[maybe_unused]] std::int32_t RecordingLoader(const ApplicationImage* image) {
    if (image == nullptr || image->magic != vennadar::kApplicationImageMagic ||
        image->format_version != vennadar::kApplicationImageFormat || image->argc < 1 ||
        image->argv == nullptr || image->argv[image->argc] != nullptr) {
        return vennadar::kImageRefused;
    }
    Record(image, false);
    const char* status = std::getenv("VENNADAR_TEST_KERNEL_STATUS");
    return status == nullptr ? 0 : std::atoi(status);
}

[[maybe_unused]] std::int32_t RefusingLoader(const ApplicationImage* image) {
    Record(image, true);
    return vennadar::kImageRefused;
}

}  // namespace

#if TEST_KERNEL_KIND == 2
extern "C" [[gnu::visibility("default")]] int GetImageLoaderNot(int request) {
    return request;
}
#else
extern "C" [[gnu::visibility("default")]] vennadar::ImageLoader GetImageLoader(
    std::int32_t request) {
    if (request != vennadar::kImageLoaderRequest) {
        return nullptr;
    }
#if TEST_KERNEL_KIND == 1
    return &RecordingLoader;
#elif TEST_KERNEL_KIND == 3
    return nullptr;
#else
    return &RefusingLoader;
#endif
}
#endif
