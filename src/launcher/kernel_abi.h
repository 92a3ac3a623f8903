#pragma once

// The interface between the program (the launcher) and the kernel library that holds the whole
// application. Both sides include this header; it needs nothing but <cstdint>, because the
// launcher links no C++ runtime.

#include <cstdint>

namespace vennadar {

// What the launcher hands the kernel: the description of the program to run.
struct ApplicationImage {
    std::uint32_t magic;           // kApplicationImageMagic
    std::uint32_t format_version;  // kApplicationImageFormat
    std::int32_t argc;
    char** argv;  // argc entries and a null pointer, as main() received them
};

inline constexpr std::uint32_t kApplicationImageMagic = 0x49444e56;  // "VNDI" in memory order
inline constexpr std::uint32_t kApplicationImageFormat = 1;

// The request the launcher makes of the kernel's entry; any other value yields no loader, so a
// kernel built for another interface refuses plainly instead of misreading the image.
inline constexpr std::int32_t kImageLoaderRequest = 1000;

// The loader's answer when it refuses the image (unknown magic or format, no arguments): nothing
// has run. The launcher takes any negative answer as a refusal; otherwise the answer is the
// status the application ended with (0 to 255).
inline constexpr std::int32_t kImageRefused = -1;

// Runs the application described by the image to its end.
using ImageLoader = std::int32_t (*)(const ApplicationImage* image);
using GetImageLoaderFunction = ImageLoader (*)(std::int32_t request);

inline constexpr const char kKernelLibraryName[] = "libvennadar-kernel.so";
inline constexpr const char kKernelEntryName[] = "GetImageLoader";

}  // namespace vennadar

// The kernel's one exported symbol.
extern "C" vennadar::ImageLoader GetImageLoader(std::int32_t request);
