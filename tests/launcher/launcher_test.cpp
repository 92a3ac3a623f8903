// The real launcher, copied into scratch directories beside (or without) stand-in kernels, with a
// private key store, and no graphical session unless a case asks for one.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "process_runner.h"

namespace vennadar {
namespace {

namespace fs = std::filesystem;
using testing_support::ChangedEnvironment;
using testing_support::ReadFileText;
using testing_support::RunProgram;
using testing_support::RunResult;

const std::string kFailureOutput =
    "Not found the kernel library or the kernel library is invalid!\n";
constexpr char kKernelName[] = "libvennadar-kernel.so";
constexpr char kKeyLine[] = "[Software\\Vennadar\\Kernel\\Install]";

enum class Kernel { None, Good, NoEntry, NullEntry, Refusing, Garbage };
enum class Store { None, File, Directory };
enum class ConfigVia { XdgConfigHome, Home, RelativeXdgConfigHome };
enum class Outcome { RanBeside, RanInstalled, Refused, Failed };

fs::path KernelFile(Kernel kernel) {
    switch (kernel) {
        case Kernel::Good:
            return VENNADAR_TEST_KERNEL_GOOD;
        case Kernel::NoEntry:
            return VENNADAR_TEST_KERNEL_NO_ENTRY;
        case Kernel::NullEntry:
            return VENNADAR_TEST_KERNEL_NULL_ENTRY;
        case Kernel::Refusing:
            return VENNADAR_TEST_KERNEL_REFUSING;
        case Kernel::None:
        case Kernel::Garbage:
            break;
    }
    return {};
}

void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << text;
    ASSERT_TRUE(out.good()) << path;
}

void PlaceKernel(Kernel kernel, const fs::path& directory) {
    fs::create_directories(directory);
    if (kernel == Kernel::Garbage) {
        WriteFile(directory / kKernelName,
                  "\x7f"
                  "ELF but not really\n");
    } else if (kernel != Kernel::None) {
        fs::copy_file(KernelFile(kernel), directory / kKernelName);
    }
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// A scratch directory tree removed afterwards: program/, installed/, config/, home/.
class LauncherTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vennadar-launcher-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = fs::canonical(pattern);
        program_dir_ = root_ / "program";
        installed_dir_ = root_ / "installed";
        fs::create_directories(program_dir_);
        fs::create_directories(root_ / "scratch");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    fs::path PlaceLauncher() {
        const fs::path launcher = program_dir_ / "vennadar";
        fs::copy_file(VENNADAR_LAUNCHER, launcher);
        return launcher;
    }

    RunResult Run(const fs::path& program, std::vector<std::string> arguments,
                  std::map<std::string, std::optional<std::string>> environment) {
        environment.emplace("DISPLAY", std::nullopt);
        environment.emplace("WAYLAND_DISPLAY", std::nullopt);
        environment.emplace("XDG_CONFIG_HOME", (root_ / "config").string());
        environment.emplace("XDG_DATA_HOME", (root_ / "data").string());
        environment.emplace("HOME", (root_ / "home").string());
        environment.emplace("VENNADAR_TEST_KERNEL_RECORD", RecordPath().string());
        environment.emplace("VENNADAR_TEST_KERNEL_STATUS", std::nullopt);
        arguments.insert(arguments.begin(), program.string());
        return RunProgram(program, arguments, ChangedEnvironment(environment), root_ / "scratch",
                          root_);
    }

    fs::path RecordPath() const { return root_ / "record"; }

    fs::path root_;
    fs::path program_dir_;
    fs::path installed_dir_;
};

struct Scenario {
    const char* name;
    Kernel beside;
    Kernel installed;
    Store store;
    std::string store_text;  // @INSTALLED@ stands for the installed directory
    Outcome expected;
    const char* kernel_status = nullptr;
    ConfigVia config_via = ConfigVia::XdgConfigHome;
    bool deep_program_dir = false;
    bool through_symlink = false;
};

const std::string kStoreKey = std::string(kKeyLine) + "\nPath=@INSTALLED@\n";

class LauncherScenarioTest : public LauncherTest, public testing::WithParamInterface<Scenario> {};

TEST_P(LauncherScenarioTest, FindsAndRunsTheKernel) {
    const Scenario& scenario = GetParam();
    if (scenario.deep_program_dir) {
        // Longer than any small fixed buffer for the program's own path.
        for (int level = 0; level < 7; ++level) {
            program_dir_ /= std::string(200, static_cast<char>('a' + level));
        }
        fs::create_directories(program_dir_);
    }
    fs::path launcher = PlaceLauncher();
    if (scenario.through_symlink) {
        fs::create_directories(root_ / "bin");
        fs::create_symlink(fs::relative(launcher, root_ / "bin"), root_ / "bin" / "vennadar");
        launcher = root_ / "bin" / "vennadar";
    }
    PlaceKernel(scenario.beside, program_dir_);
    PlaceKernel(scenario.installed, installed_dir_);

    const fs::path config_home =
        scenario.config_via == ConfigVia::XdgConfigHome ? root_ / "config" : root_ / "home/.config";
    const fs::path store = config_home / "vennadar/registry";
    if (scenario.store == Store::File) {
        WriteFile(store, ReplaceAll(scenario.store_text, "@INSTALLED@", installed_dir_.string()));
    } else if (scenario.store == Store::Directory) {
        fs::create_directories(store);
    }
    std::map<std::string, std::optional<std::string>> environment;
    if (scenario.config_via == ConfigVia::Home) {
        environment["XDG_CONFIG_HOME"] = std::nullopt;
    } else if (scenario.config_via == ConfigVia::RelativeXdgConfigHome) {
        // Relative to the working directory (root_), where a store also lies: to be ignored.
        environment["XDG_CONFIG_HOME"] = "config";
        WriteFile(root_ / "config/vennadar/registry", std::string(kKeyLine) + "\nPath=/nowhere\n");
    }
    if (scenario.kernel_status != nullptr) {
        environment["VENNADAR_TEST_KERNEL_STATUS"] = scenario.kernel_status;
    }

    const std::vector<std::string> arguments = {"--flag", "two words", "", "阅读器"};
    const RunResult result = Run(launcher, arguments, environment);

    const bool ran =
        scenario.expected == Outcome::RanBeside || scenario.expected == Outcome::RanInstalled;
    EXPECT_EQ(result.exit_code, ran ? 0 : 255);
    EXPECT_EQ(result.err, ran ? "" : kFailureOutput);
    EXPECT_EQ(result.out, "");
    const bool recorded = fs::exists(RecordPath());
    if (!ran) {
        if (scenario.expected == Outcome::Refused) {
            EXPECT_EQ(ReadFileText(RecordPath()), "refused\n");
        } else {
            EXPECT_FALSE(recorded) << ReadFileText(RecordPath());
        }
        return;
    }
    ASSERT_TRUE(recorded);
    const std::vector<std::string> record = Lines(ReadFileText(RecordPath()));
    ASSERT_EQ(record.size(), 2 + 1 + arguments.size());
    const fs::path expected_kernel =
        (scenario.expected == Outcome::RanBeside ? program_dir_ : installed_dir_) / kKernelName;
    EXPECT_TRUE(fs::equivalent(record[0], expected_kernel)) << record[0];
    EXPECT_EQ(record[1], std::to_string(1 + arguments.size()));
    EXPECT_EQ(record[2], launcher.string());
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        EXPECT_EQ(record[3 + i], arguments[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LauncherScenarioTest,
    testing::Values(
        // The kernel beside the program, whatever the key store says (it is not read).
        Scenario{"Beside", Kernel::Good, Kernel::None, Store::None, "", Outcome::RanBeside},
        Scenario{"BesideBeforeKey", Kernel::Good, Kernel::Good, Store::File, kStoreKey,
                 Outcome::RanBeside},
        Scenario{"BesideBeforeGarbageStore", Kernel::Good, Kernel::Good, Store::File,
                 std::string("\0\xff[[\n=\n", 7) + kStoreKey, Outcome::RanBeside},
        Scenario{"BesideBeforeUnreadableStore", Kernel::Good, Kernel::None, Store::Directory, "",
                 Outcome::RanBeside},
        Scenario{"BesideThroughSymlink", Kernel::Good, Kernel::None, Store::None, "",
                 Outcome::RanBeside, nullptr, ConfigVia::XdgConfigHome, false, true},
        Scenario{"BesideInLongPath", Kernel::Good, Kernel::None, Store::None, "",
                 Outcome::RanBeside, nullptr, ConfigVia::XdgConfigHome, true},
        // The application's own status does not become the program's.
        Scenario{"StatusOneIgnored", Kernel::Good, Kernel::None, Store::None, "",
                 Outcome::RanBeside, "1"},
        Scenario{"Status7Ignored", Kernel::Good, Kernel::None, Store::None, "", Outcome::RanBeside,
                 "7"},
        Scenario{"Status255Ignored", Kernel::Good, Kernel::None, Store::None, "",
                 Outcome::RanBeside, "255"},
        // The kernel where the key store says.
        Scenario{"KeyWithoutSlash", Kernel::None, Kernel::Good, Store::File, kStoreKey,
                 Outcome::RanInstalled},
        Scenario{"KeyWithSlash", Kernel::None, Kernel::Good, Store::File,
                 std::string(kKeyLine) + "\nPath=@INSTALLED@/\n", Outcome::RanInstalled},
        Scenario{"KeyAmongCommentsCrLf", Kernel::None, Kernel::Good, Store::File,
                 "\xEF\xBB\xBF# written by hand\r\n[Other]\r\nPath=/nowhere\r\n" +
                     std::string(kKeyLine) + "\r\n  Path  =  @INSTALLED@  \r\n",
                 Outcome::RanInstalled},
        Scenario{"UnloadableBesideThenKey", Kernel::Garbage, Kernel::Good, Store::File, kStoreKey,
                 Outcome::RanInstalled},
        Scenario{"StoreUnderHome", Kernel::None, Kernel::Good, Store::File, kStoreKey,
                 Outcome::RanInstalled, nullptr, ConfigVia::Home},
        Scenario{"RelativeConfigHomeIgnored", Kernel::None, Kernel::Good, Store::File, kStoreKey,
                 Outcome::RanInstalled, nullptr, ConfigVia::RelativeXdgConfigHome},
        // No usable kernel anywhere.
        Scenario{"NothingAtAll", Kernel::None, Kernel::None, Store::None, "", Outcome::Failed},
        Scenario{"NoKey", Kernel::None, Kernel::Good, Store::File,
                 "[Software\\Vennadar\\Kernel]\nPath=@INSTALLED@\n", Outcome::Failed},
        Scenario{"KeyWithoutValue", Kernel::None, Kernel::Good, Store::File,
                 std::string(kKeyLine) + "\nVersion=1.0.0.8\n", Outcome::Failed},
        Scenario{"EmptyValue", Kernel::None, Kernel::Good, Store::File,
                 std::string(kKeyLine) + "\nPath=\n", Outcome::Failed},
        Scenario{"RelativeValue", Kernel::None, Kernel::Good, Store::File,
                 std::string(kKeyLine) + "\nPath=installed\n", Outcome::Failed},
        Scenario{"PathToNothing", Kernel::None, Kernel::None, Store::File, kStoreKey,
                 Outcome::Failed},
        Scenario{"PathToUnloadable", Kernel::None, Kernel::Garbage, Store::File, kStoreKey,
                 Outcome::Failed},
        Scenario{"UnreadableStore", Kernel::None, Kernel::Good, Store::Directory, "",
                 Outcome::Failed},
        Scenario{"UnloadableBesideNoStore", Kernel::Garbage, Kernel::None, Store::None, "",
                 Outcome::Failed},
        // A kernel that loads but is not usable; the key store is not tried after it.
        Scenario{"BesideWithoutEntry", Kernel::NoEntry, Kernel::Good, Store::File, kStoreKey,
                 Outcome::Failed},
        Scenario{"BesideEntryGivesNoLoader", Kernel::NullEntry, Kernel::Good, Store::File,
                 kStoreKey, Outcome::Failed},
        Scenario{"BesideLoaderRefuses", Kernel::Refusing, Kernel::Good, Store::File, kStoreKey,
                 Outcome::Refused},
        Scenario{"KeyKernelWithoutEntry", Kernel::None, Kernel::NoEntry, Store::File, kStoreKey,
                 Outcome::Failed},
        Scenario{"KeyKernelGivesNoLoader", Kernel::None, Kernel::NullEntry, Store::File, kStoreKey,
                 Outcome::Failed},
        Scenario{"KeyLoaderRefuses", Kernel::None, Kernel::Refusing, Store::File, kStoreKey,
                 Outcome::Refused}),
    [](const testing::TestParamInfo<Scenario>& case_info) {
        return std::string(case_info.param.name);
    });

// The error dialog: the first tool found on PATH, an argument list, waited for.
struct DialogCase {
    const char* name;
    std::vector<std::string> tools;  // present on PATH
    std::optional<std::string> display;
    std::optional<std::string> wayland_display;
    std::string expected;  // the started tool's arguments, one a line; empty: none started
};

class LauncherDialogTest : public LauncherTest, public testing::WithParamInterface<DialogCase> {};

TEST_P(LauncherDialogTest, ShowsTheFailure) {
    const DialogCase& dialog = GetParam();
    const fs::path tools_dir = root_ / "tools";
    const fs::path dialog_record = root_ / "dialog";
    fs::create_directories(tools_dir);
    for (const std::string& tool : dialog.tools) {
        // Chatter on both outputs, and a pause before the record: the launcher must wait.
        WriteFile(tools_dir / tool,
                  "#!/bin/sh\necho chatter; echo chatter >&2\n/bin/sleep 0.2\n"
                  "printf '%s\\n' \"${0##*/}\" \"$@\" > \"$VENNADAR_TEST_DIALOG_RECORD\"\n");
        fs::permissions(tools_dir / tool, fs::perms::owner_all);
    }
    const RunResult result = Run(PlaceLauncher(), {},
                                 {{"DISPLAY", dialog.display},
                                  {"WAYLAND_DISPLAY", dialog.wayland_display},
                                  {"PATH", tools_dir.string()},
                                  {"VENNADAR_TEST_DIALOG_RECORD", dialog_record.string()}});
    EXPECT_EQ(result.exit_code, 255);
    EXPECT_EQ(result.err, kFailureOutput);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(fs::exists(dialog_record) ? ReadFileText(dialog_record) : "", dialog.expected);
}

const std::string kMessage = "Not found the kernel library or the kernel library is invalid!";
const std::string kZenity = "zenity\n--error\n--title=Error\n--text=" + kMessage + "\n";
const std::string kKdialog = "kdialog\n--title\nError\n--error\n" + kMessage + "\n";
const std::string kXmessage = "xmessage\n-center\n-title\nError\n" + kMessage + "\n";
const std::vector<std::string> kAllTools = {"zenity", "kdialog", "xmessage"};

INSTANTIATE_TEST_SUITE_P(
    Cases, LauncherDialogTest,
    testing::Values(DialogCase{"Zenity", kAllTools, ":97", std::nullopt, kZenity},
                    DialogCase{"Kdialog", {"kdialog", "xmessage"}, ":97", std::nullopt, kKdialog},
                    DialogCase{"Xmessage", {"xmessage"}, ":97", std::nullopt, kXmessage},
                    DialogCase{"Wayland", kAllTools, std::nullopt, "wayland-0", kZenity},
                    DialogCase{"NoSession", kAllTools, std::nullopt, std::nullopt, ""},
                    DialogCase{"EmptyDisplay", kAllTools, "", "", ""},
                    DialogCase{"NoTool", {}, ":97", "wayland-0", ""}),
    [](const testing::TestParamInfo<DialogCase>& case_info) {
        return std::string(case_info.param.name);
    });

}  // namespace
}  // namespace vennadar
