// The launcher links nothing but the C library and the dynamic loader, so that it starts even
// when the kernel library (or anything the kernel needs) is missing, and can say so. Hence no
// C++ runtime here: no exceptions, no RTTI, no standard containers; plain malloc'd strings.

#include "launcher/launcher.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "launcher/kernel_abi.h"
#include "launcher/key_store.h"

extern char** environ;

namespace vennadar {
namespace {

constexpr char kFailureMessage[] = "Not found the kernel library or the kernel library is invalid!";
constexpr char kFailureCaption[] = "Error";
constexpr int kFailureExitCode = 255;

constexpr char kInstallKey[] = "Software\\Vennadar\\Kernel\\Install";
constexpr char kInstallPathValue[] = "Path";
// The key store is a few lines; anything bigger is not one.
constexpr std::size_t kMaxKeyStoreSize = 16u << 20;

// A malloc'd string that frees itself.
class OwnedText {
  public:
    OwnedText() = default;
    explicit OwnedText(char* text) : text_(text) {}
    OwnedText(const OwnedText&) = delete;
    OwnedText& operator=(const OwnedText&) = delete;
    ~OwnedText() { std::free(text_); }

    char* Get() const { return text_; }

  private:
    char* text_ = nullptr;
};

// Joins up to three pieces into a new malloc'd string; null when memory runs out.
char* Join(TextSpan first, const char* second, const char* third = "") {
    const std::size_t second_size = std::strlen(second);
    const std::size_t third_size = std::strlen(third);
    char* joined = static_cast<char*>(std::malloc(first.size + second_size + third_size + 1));
    if (joined == nullptr) {
        return nullptr;
    }
    std::memcpy(joined, first.data, first.size);
    std::memcpy(joined + first.size, second, second_size);
    std::memcpy(joined + first.size + second_size, third, third_size + 1);
    return joined;
}

TextSpan Span(const char* text) {
    return TextSpan{text, std::strlen(text)};
}

// The program file as the kernel will also see it: /proc/self/exe, followed to its end, so the
// directory is the real one even when started through a symbolic link. Any length.
char* OwnExecutablePath() {
    std::size_t capacity = 256;
    for (;;) {
        char* buffer = static_cast<char*>(std::malloc(capacity));
        if (buffer == nullptr) {
            return nullptr;
        }
        const ssize_t length = readlink("/proc/self/exe", buffer, capacity);
        if (length < 0) {
            std::free(buffer);
            return nullptr;
        }
        if (static_cast<std::size_t>(length) < capacity) {
            buffer[length] = '\0';
            return buffer;
        }
        std::free(buffer);
        capacity *= 2;
    }
}

void* OpenLibrary(const char* path) {
    // Everything resolved now: a kernel missing a symbol fails here, not halfway through a run.
    return path == nullptr ? nullptr : dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* OpenKernelBesideProgram() {
    const OwnedText executable(OwnExecutablePath());
    if (executable.Get() == nullptr) {
        return nullptr;
    }
    const char* last_slash = std::strrchr(executable.Get(), '/');
    if (last_slash == nullptr) {
        return nullptr;
    }
    const TextSpan directory{executable.Get(),
                             static_cast<std::size_t>(last_slash - executable.Get()) + 1};
    const OwnedText path(Join(directory, kKernelLibraryName));
    return OpenLibrary(path.Get());
}

// $XDG_CONFIG_HOME/vennadar/registry; the base directory is ~/.config when XDG_CONFIG_HOME is
// unset, empty or relative (which the base-directory convention says to ignore).
char* KeyStorePath() {
    static constexpr char kStoreFile[] = "/vennadar/registry";
    const char* config_home = std::getenv("XDG_CONFIG_HOME");
    if (config_home != nullptr && config_home[0] == '/') {
        return Join(Span(config_home), kStoreFile);
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd* user = getpwuid(getuid());
        home = user == nullptr ? nullptr : user->pw_dir;
    }
    if (home == nullptr || home[0] != '/') {
        return nullptr;
    }
    return Join(Span(home), "/.config", kStoreFile);
}

// Reads a regular file whole; null when it is missing, unreadable, not a plain file or too big.
char* ReadSmallFile(const char* path, std::size_t* size) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return nullptr;
    }
    std::size_t capacity = 4096;
    std::size_t used = 0;
    char* data = static_cast<char*>(std::malloc(capacity));
    while (data != nullptr) {
        if (used == capacity) {
            char* bigger = capacity >= kMaxKeyStoreSize
                               ? nullptr
                               : static_cast<char*>(std::realloc(data, capacity * 2));
            if (bigger == nullptr) {
                std::free(data);
                data = nullptr;
                break;
            }
            data = bigger;
            capacity *= 2;
        }
        const ssize_t got = read(fd, data + used, capacity - used);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::free(data);
            data = nullptr;
            break;
        }
        used += static_cast<std::size_t>(got);
    }
    close(fd);
    *size = used;
    return data;
}

// The kernel where the key store says it is installed: the directory in the key's value, which
// must be absolute (a relative one would load code from wherever the user happens to be).
void* OpenKernelFromKeyStore() {
    const OwnedText store_path(KeyStorePath());
    if (store_path.Get() == nullptr) {
        return nullptr;
    }
    std::size_t size = 0;
    const OwnedText store(ReadSmallFile(store_path.Get(), &size));
    if (store.Get() == nullptr) {
        return nullptr;
    }
    TextSpan directory{nullptr, 0};
    if (!FindKeyStoreValue(TextSpan{store.Get(), size}, kInstallKey, kInstallPathValue,
                           &directory) ||
        directory.size == 0 || directory.data[0] != '/') {
        return nullptr;
    }
    const bool has_slash = directory.data[directory.size - 1] == '/';
    const OwnedText path(Join(directory, has_slash ? "" : "/", kKernelLibraryName));
    return OpenLibrary(path.Get());
}

bool IsSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && value[0] != '\0';
}

// Starts the tool (found on PATH, with an argument list: no shell) and waits for the user to
// dismiss it. Its own chatter is silenced; the message is on standard error already.
bool RunDialogTool(const char* const* arguments) {
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        return false;
    }
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int started = posix_spawnp(&child, arguments[0], &actions, nullptr,
                                     const_cast<char* const*>(arguments), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) {
        return false;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

void ShowErrorDialog() {
    if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY")) {
        return;
    }
    char zenity_text[sizeof("--text=") + sizeof(kFailureMessage)];
    std::snprintf(zenity_text, sizeof(zenity_text), "--text=%s", kFailureMessage);
    const char* const zenity[] = {"zenity", "--error", "--title=Error", zenity_text, nullptr};
    const char* const kdialog[] = {"kdialog", "--title",       kFailureCaption,
                                   "--error", kFailureMessage, nullptr};
    const char* const xmessage[] = {"xmessage",      "-center",       "-title",
                                    kFailureCaption, kFailureMessage, nullptr};
    const char* const* const tools[] = {zenity, kdialog, xmessage};
    for (const char* const* tool : tools) {
        if (RunDialogTool(tool)) {
            return;
        }
    }
}

int Fail(void* library) {
    if (library != nullptr) {
        dlclose(library);
    }
    std::fprintf(stderr, "%s\n", kFailureMessage);
    ShowErrorDialog();
    return kFailureExitCode;
}

}  // namespace

int RunLauncher(int argc, char** argv) {
    void* library = OpenKernelBesideProgram();
    if (library == nullptr) {
        library = OpenKernelFromKeyStore();
    }
    if (library == nullptr) {
        return Fail(nullptr);
    }
    // The loader's symbol comes back as an object pointer; POSIX guarantees the conversion.
    const auto get_image_loader =
        reinterpret_cast<GetImageLoaderFunction>(dlsym(library, kKernelEntryName));
    if (get_image_loader == nullptr) {
        return Fail(library);
    }
    const ImageLoader loader = get_image_loader(kImageLoaderRequest);
    if (loader == nullptr) {
        return Fail(library);
    }
    // Started with an empty argument list, the application still gets its name as argv[0].
    char program_name[] = "vennadar";
    char* fallback_argv[] = {program_name, nullptr};
    const bool has_arguments = argc > 0 && argv != nullptr;
    const ApplicationImage image{kApplicationImageMagic, kApplicationImageFormat,
                                 has_arguments ? argc : 1, has_arguments ? argv : fallback_argv};
    if (loader(&image) < 0) {
        return Fail(library);
    }
    // The application's own status is its business; the program ran.
    return 0;
}

}  // namespace vennadar
