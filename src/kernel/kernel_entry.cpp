// The kernel library's side of the launcher interface: its one exported symbol.

#include "kernel/application.h"
#include "launcher/kernel_abi.h"

namespace vennadar {
namespace {

bool IsKnownImage(const ApplicationImage* image) {
    // Qt needs a program name in argv[0].
    return image != nullptr && image->magic == kApplicationImageMagic &&
           image->format_version == kApplicationImageFormat && image->argc > 0 &&
           image->argv != nullptr && image->argv[0] != nullptr;
}

std::int32_t LoadImage(const ApplicationImage* image) {
    if (!IsKnownImage(image)) {
        return kImageRefused;
    }
    // As an exit status: never negative, so never mistaken for a refusal.
    return RunApplication(image->argc, image->argv) & 0xff;
}

}  // namespace
}  // namespace vennadar

extern "C" [[gnu::visibility("default")]] vennadar::ImageLoader GetImageLoader(
    std::int32_t request) {
    return request == vennadar::kImageLoaderRequest ? &vennadar::LoadImage : nullptr;
}
