#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "adapters/curl/curl_http.h"
#include "core/commands/startup.h"
#include "core/update/update_check.h"
#include "core/update/version_compare.h"
#include "core/update/version_record.h"
#include "support/fakes.h"
#include "support/local_server.h"
#include "support/test_support.h"

namespace vennadar {
namespace {

using test::ShownMessage;

TEST(VersionRecordFile, BuiltExecutableCarriesTheRecord) {
    const VersionRecord record = ReadVersionRecord(VENNADAR_EXECUTABLE);
    EXPECT_EQ(record[kFileVersion], "1.0.0.8");
    EXPECT_EQ(record[kProductVersion], "1.0.0.8");
    EXPECT_EQ(record[kFileDescription], "Vennadar");
    EXPECT_EQ(record[kProductName], "Vennadar");
}

TEST(VersionRecordFile, FilesWithoutARecordGiveEmptyFields) {
    for (const std::string& path :
         {std::string(VENNADAR_FIXTURE_DIR "/not_an_executable.txt"), OwnExecutablePath(),
          std::string("/nonexistent/file"), std::string()}) {
        EXPECT_EQ(ReadVersionRecord(path), VersionRecord{}) << path;
    }
    EXPECT_EQ(ParseVersionRecord(std::string("VNDRVER1a\0b\0", 12)), VersionRecord{});  // cut short
    EXPECT_EQ(ParseVersionRecord("XXXXXXXX"), VersionRecord{});
}

struct CompareCase {
    const char* name;
    const char* running;
    const char* remote;
    bool newer;
};

class VersionComparison : public ::testing::TestWithParam<CompareCase> {};

TEST_P(VersionComparison, NewerOnlyWhenRemoteIsAhead) {
    EXPECT_EQ(IsNewerVersion(GetParam().running, GetParam().remote), GetParam().newer);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, VersionComparison,
    ::testing::Values(CompareCase{"Equal", "1.0.0.8", "1.0.0.8", false},
                      CompareCase{"NextBuild", "1.0.0.8", "1.0.0.9", true},
                      CompareCase{"TwoDigitBuildIsNewer", "1.0.0.8", "1.0.0.10", true},
                      CompareCase{"Older", "1.0.0.8", "1.0.0.7", false},
                      CompareCase{"OlderMinorWithBiggerBuild", "1.1.0.0", "1.0.9.9", false},
                      CompareCase{"TrailingSpaceIsNotNewer", "1.0.0.8", "1.0.0.8 ", false},
                      CompareCase{"MissingFieldsAreZero", "1.0", "1.0.0.0", false},
                      CompareCase{"EmptyRemote", "1.0.0.8", "", false},
                      CompareCase{"BlankRemote", "1.0.0.8", "  ", false},
                      CompareCase{"EmptyRunning", "", "0.1", true},
                      CompareCase{"NonNumericFieldsAsBytes", "1.0.0.8", "1.0.0.8b", true},
                      CompareCase{"NonNumericOlder", "1.0.b", "1.0.a", false},
                      CompareCase{"LeadingZeros", "1.0.0.08", "1.0.0.8", false},
                      CompareCase{"HugeNumbers", "1.99999999999999999999",
                                  "1.100000000000000000000", true}),
    test::CaseName());

class UpdateFlow : public ::testing::Test {
  protected:
    UpdateFlow() {
        state_->version_record[kFileVersion] = "1.0.0.8";
        desktop_.executable = VENNADAR_EXECUTABLE;
        desktop_.directory = "/opt/vennadar";
    }

    void Announce(const std::string& version) {
        http_.pages[kManifest] =
            Utf8ToGbk("<?xml version=\"1.0\" encoding=\"gbk\"?>\n<更新>\n<版本号>" + version +
                      "</版本号>\n</更新>\n");
    }

    static BuildSettings Settings() {
        BuildSettings settings;
        settings.site_base = "http://site";
        settings.update_manifest_url = kManifest;
        settings.author_credit = ",Vennadar team";
        return settings;
    }

    static constexpr char kManifest[] = "https://updates/qmzt/update.xml";
    std::unique_ptr<AppState> state_ = InitializeGlobals();
    test::FakeMainView view_;
    test::FakeHttp http_;
    test::FakeSounds sounds_;
    test::FakeDialogs dialogs_;
    test::FakeDesktop desktop_;
    Services services_{http_, sounds_, dialogs_, desktop_, Settings()};
};

TEST_F(UpdateFlow, StartUpWithNoManifestShowsVersionedTitleAndNoMessage) {
    MainWindowCreated(*state_, view_, services_);
    EXPECT_EQ(view_.title, "Vennadar - 1.0.0.8");
    EXPECT_TRUE(dialogs_.shown.empty());
    EXPECT_TRUE(view_.shown);
    EXPECT_EQ(view_.rows.size(), 9U);
    CheckForUpdatesCommand(*state_, view_, services_);
    EXPECT_EQ(dialogs_.shown,
              (std::vector<ShownMessage>{{"你使用的1.0.0.8是最新版", "提示", 0x30}}));
    EXPECT_EQ(http_.requests.size(), 1U);  // the Help command did not download again
}

TEST_F(UpdateFlow, OnlyTheFirstVersionElementCounts) {
    http_.pages[kManifest] = Utf8ToGbk("<版本号>1.0.0.9</版本号><版本号>2.0</版本号>");
    dialogs_.answer = kAnswerNo;
    UpdateCheck(*state_, view_, services_);
    EXPECT_EQ(state_->remote_version, "1.0.0.9");
    EXPECT_EQ(dialogs_.shown,
              (std::vector<ShownMessage>{{"发现新版本1.0.0.9，是否立即更新", "更新", 0x24}}));
}

TEST_F(UpdateFlow, Utf8OrEmptyManifestGivesNoVersion) {
    http_.pages[kManifest] = "<版本号>9.9</版本号>";  // UTF-8 bytes: the GBK tags do not match
    UpdateCheck(*state_, view_, services_);
    EXPECT_EQ(state_->remote_version, "");
    http_.pages[kManifest] = "";
    UpdateCheck(*state_, view_, services_);
    EXPECT_EQ(state_->remote_version, "");
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(UpdateFlow, DeclinedOfferThenHelpRunsTheWholeCheckAgain) {
    Announce("1.0.0.10");
    dialogs_.answer = kAnswerNo;
    MainWindowCreated(*state_, view_, services_);
    EXPECT_EQ(view_.rows.size(), 9U);
    CheckForUpdatesCommand(*state_, view_, services_);
    EXPECT_FALSE(view_.closed);
    EXPECT_EQ(http_.requests.size(), 2U);
    ASSERT_EQ(dialogs_.shown.size(), 2U);
    EXPECT_EQ(dialogs_.shown[1].text, "发现新版本1.0.0.10，是否立即更新");
}

TEST_F(UpdateFlow, ManifestBackToOlderVersionEndsQuietlyWithListFocused) {
    Announce("1.0.0.9");
    dialogs_.answer = kAnswerNo;
    UpdateCheck(*state_, view_, services_);
    Announce("1.0.0.7");
    view_.focus.clear();
    CheckForUpdatesCommand(*state_, view_, services_);
    EXPECT_EQ(dialogs_.shown.size(), 1U);
    EXPECT_EQ(view_.focus, "list");
    EXPECT_EQ(state_->remote_version, "1.0.0.7");
}

TEST_F(UpdateFlow, AcceptedUpdateStartsTheUpdaterAndEndsTheProgram) {
    Announce("1.0.0.9");
    dialogs_.answer = kAnswerYes;
    MainWindowCreated(*state_, view_, services_);
    EXPECT_EQ(desktop_.started,
              (std::vector<test::StartedProgram>{{"/opt/vennadar/更新程序", {}}}));
    // The window was there first; the offer, answered Yes, closes it.
    EXPECT_EQ(view_.title, "Vennadar - 1.0.0.8");
    EXPECT_EQ(view_.rows.size(), 9U);
    EXPECT_TRUE(view_.closed);
}

TEST_F(UpdateFlow, MissingUpdaterIsReportedAndStartUpGoesOn) {
    Announce("1.0.0.9");
    dialogs_.answer = kAnswerYes;
    desktop_.start_succeeds = false;
    MainWindowCreated(*state_, view_, services_);
    EXPECT_FALSE(view_.closed);
    ASSERT_EQ(dialogs_.shown.size(), 2U);
    EXPECT_EQ(dialogs_.shown[1], (ShownMessage{"无法启动更新程序", "更新", 0x30}));
    EXPECT_EQ(view_.rows.size(), 9U);
}

TEST_F(UpdateFlow, WithoutTheCheckNothingIsDownloaded) {
    services_.settings.update_check = false;
    Announce("9.9");
    MainWindowCreated(*state_, view_, services_);
    CheckForUpdatesCommand(*state_, view_, services_);
    EXPECT_TRUE(http_.requests.empty());
    EXPECT_EQ(dialogs_.shown,
              (std::vector<ShownMessage>{{"你使用的1.0.0.8是最新版", "提示", 0x30}}));
}

TEST_F(UpdateFlow, AboutShowsVersionAndCredit) {
    state_->version_record = VersionRecord{};
    AboutCommand(*state_, services_);
    EXPECT_EQ(dialogs_.shown,
              (std::vector<ShownMessage>{{"程序版本1.0.0.8,Vennadar team", "关于,", 0x40}}));
}

// The manifest over real TLS: trusted only through the download service's settings.
class HttpsManifest : public ::testing::Test {
  protected:
    void SetUp() override {
        server_ = std::make_unique<httplib::SSLServer>(VENNADAR_FIXTURE_DIR "/tls_cert.pem",
                                                       VENNADAR_FIXTURE_DIR "/tls_key.pem");
        ASSERT_TRUE(server_->is_valid());
        server_->Get("/qmzt/update.xml", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(Utf8ToGbk("<版本号>1.0.0.9</版本号>"), "text/xml");
        });
        port_ = server_->bind_to_any_port("127.0.0.1");
        ASSERT_GT(port_, 0);
        thread_ = std::thread([this] { server_->listen_after_bind(); });
        while (!server_->is_running()) {
            std::this_thread::yield();
        }
    }
    void TearDown() override {
        server_->stop();
        thread_.join();
    }
    std::string Url() const {
        return "https://127.0.0.1:" + std::to_string(port_) + "/qmzt/update.xml";
    }
    std::unique_ptr<httplib::SSLServer> server_;
    std::thread thread_;
    int port_ = 0;
};

TEST_F(HttpsManifest, TrustedCertificateGivesTheManifest) {
    HttpLimits limits;
    limits.ca_file = VENNADAR_FIXTURE_DIR "/tls_cert.pem";
    CurlHttp http(limits);
    EXPECT_EQ(http.Download(Url()), Utf8ToGbk("<版本号>1.0.0.9</版本号>"));
}

TEST_F(HttpsManifest, UntrustedCertificateCountsAsFailedDownload) {
    CurlHttp system_store;
    EXPECT_EQ(system_store.Download(Url()), std::nullopt);
    HttpLimits limits;
    limits.ca_file = VENNADAR_FIXTURE_DIR "/other_cert.pem";
    CurlHttp other(limits);
    EXPECT_EQ(other.Download(Url()), std::nullopt);
}

}  // namespace
}  // namespace vennadar
