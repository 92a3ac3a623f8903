#include "core/update/update_check.h"

#include "core/text/code_page.h"
#include "core/update/manifest_version.h"
#include "core/update/version_compare.h"
#include "core/update/version_record.h"

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

}  // namespace

void ReadOwnVersionRecord(AppState& state, Services& services) {
    state.version_record = ReadVersionRecord(services.desktop.ExecutablePath());
}

UpdateOutcome UpdateCheck(AppState& state, MainView& view, Services& services) {
    if (services.settings.update_check) {
        // The manifest is GBK already: taken as it stands, not converted.
        const std::optional<std::string> body =
            services.http.Download(services.settings.update_manifest_url);
        const Text manifest = body ? TextFromBytes(*body) : Text();
        state.remote_version = FindManifestVersion(manifest);
    }
    if (IsNewerVersion(RunningVersion(state), state.remote_version)) {
        return OfferUpdate(state, services);
    }
    view.ShowWindow();
    view.FocusList();
    return UpdateOutcome::Continue;
}

UpdateOutcome CheckForUpdatesCommand(AppState& state, MainView& view, Services& services) {
    if (!IsNewerVersion(RunningVersion(state), state.remote_version)) {
        services.dialogs.ShowMessage(
            Utf8ToGbk("你使用的") + RunningVersion(state) + Utf8ToGbk("是最新版"),
            Utf8ToGbk("提示"), kStyleWarningIcon | kStyleOk);
        return UpdateOutcome::Continue;
    }
    return UpdateCheck(state, view, services);
}

void AboutCommand(AppState& state, Services& services) {
    ReadOwnVersionRecord(state, services);
    services.dialogs.ShowMessage(
        Utf8ToGbk("程序版本") + RunningVersion(state) + Utf8ToGbk(services.settings.author_credit),
        Utf8ToGbk("关于,"), kStyleInformationIcon | kStyleOk);
}

}  // namespace vennadar
