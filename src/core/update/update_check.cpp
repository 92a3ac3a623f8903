#include "core/update/update_check.h"

#include "core/text/code_page.h"
#include "core/update/manifest_version.h"
#include "core/update/version_compare.h"
#include "core/update/version_record.h"
#include "core/wait/wait.h"

namespace vennadar {
namespace {

const Text& RunningVersion(const AppState& state) {
    return state.version_record[kFileVersion];
}

UpdateOutcome OfferUpdate(AppState& state, Services& services) {
    const int answer = services.dialogs.ShowMessage(
        Utf8ToGbk("发现新版本") + state.remote_version + Utf8ToGbk("，是否立即更新"),
        Utf8ToGbk("更新"), kStyleQuestionIcon | kStyleYesNo);
    if (answer != kAnswerYes) {
        return UpdateOutcome::Continue;
    }
    const std::string updater = services.desktop.ProgramDirectory() + "/更新程序";
    if (!services.desktop.StartProgram(updater, {})) {
        // Ending now would look as if the update had begun.
        services.dialogs.ShowMessage(Utf8ToGbk("无法启动更新程序"), Utf8ToGbk("更新"),
                                     kStyleWarningIcon | kStyleOk);
        return UpdateOutcome::Continue;
    }
    return UpdateOutcome::ProgramEnds;
}

// The manifest is GBK already: taken as it stands, not converted.
void KeepManifestVersion(AppState& state, const std::optional<std::string>& body) {
    const Text manifest = body ? TextFromBytes(*body) : Text();
    state.remote_version = FindManifestVersion(manifest);
}

// True when the updater has started and the program is ending.
bool OfferWhenNewer(AppState& state, MainView& view, Services& services) {
    if (!IsNewerVersion(RunningVersion(state), state.remote_version)) {
        return false;
    }
    if (OfferUpdate(state, services) == UpdateOutcome::ProgramEnds) {
        view.CloseWindow();
    }
    return true;
}

void AfterManifest(AppState& state, MainView& view, Services& services) {
    if (!OfferWhenNewer(state, view, services)) {
        view.ShowWindow();
        view.FocusList();
    }
}

}  // namespace

void ReadOwnVersionRecord(AppState& state, Services& services) {
    state.version_record = ReadVersionRecord(services.desktop.ExecutablePath());
}

void UpdateCheck(AppState& state, MainView& view, Services& services) {
    if (!services.settings.update_check) {
        AfterManifest(state, view, services);
        return;
    }
    RememberListing(state, view);
    WaitForDownload(state, view, services, services.settings.update_manifest_url,
                    [&state, &view, &services](std::optional<std::string> body) {
                        KeepManifestVersion(state, body);
                        AfterManifest(state, view, services);
                    });
}

void StartBackgroundUpdateCheck(AppState& state, MainView& view, Services& services) {
    if (!services.settings.update_check || state.update_check_running) {
        return;
    }
    state.update_check_running = true;
    const DownloadId id =
        services.http.StartDownload(services.settings.update_manifest_url,
                                    [&state, &view, &services](std::optional<std::string> body) {
                                        state.update_check_running = false;
                                        state.update_download = 0;
                                        KeepManifestVersion(state, body);
                                        OfferWhenNewer(state, view, services);
                                    });
    if (state.update_check_running) {
        state.update_download = id;
    }
}

void CheckForUpdatesCommand(AppState& state, MainView& view, Services& services) {
    if (IsWaiting(state) || state.update_check_running) {
        return;
    }
    if (!IsNewerVersion(RunningVersion(state), state.remote_version)) {
        services.dialogs.ShowMessage(
            Utf8ToGbk("你使用的") + RunningVersion(state) + Utf8ToGbk("是最新版"),
            Utf8ToGbk("提示"), kStyleWarningIcon | kStyleOk);
        return;
    }
    UpdateCheck(state, view, services);
}

void AboutCommand(AppState& state, Services& services) {
    ReadOwnVersionRecord(state, services);
    services.dialogs.ShowMessage(
        Utf8ToGbk("程序版本") + RunningVersion(state) + Utf8ToGbk(services.settings.author_credit),
        Utf8ToGbk("关于,"), kStyleInformationIcon | kStyleOk);
}

}  // namespace vennadar
