#include "adapters/audio/embedded_sounds.h"

#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>
#include <QMediaPlayer>
#include <QtEndian>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "adapters/audio/qt_sound_player.h"

namespace vennadar {
namespace {

std::uint32_t Le(const QByteArray& bytes, qsizetype at, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = value << 8 | static_cast<std::uint8_t>(bytes.at(at + i));
    }
    return value;
}

struct Chunk {
    std::string id;
    std::uint32_t size;
    qsizetype body;  // offset of the chunk's body in the file
};

// The chunks after "RIFF" size "WAVE"; empty if one runs past the end of the file.
std::vector<Chunk> Chunks(const QByteArray& file) {
    std::vector<Chunk> chunks;
    qsizetype at = 12;
    while (at + 8 <= file.size()) {
        Chunk chunk{file.mid(at, 4).toStdString(), Le(file, at + 4, 4), at + 8};
        at = chunk.body + chunk.size + chunk.size % 2;
        if (at > file.size()) {
            return {};
        }
        chunks.push_back(chunk);
    }
    return chunks;
}

Chunk Find(const std::vector<Chunk>& chunks, const std::string& id) {
    for (const Chunk& chunk : chunks) {
        if (chunk.id == id) {
            return chunk;
        }
    }
    ADD_FAILURE() << "no " << id << " chunk";
    return {id, 0, 0};
}

struct Field {
    const char* name;
    int width;
    std::uint32_t value;
};

struct Layout {
    const char* name;
    EmbeddedSound sound;
    qsizetype file_size;
    std::vector<std::pair<std::string, std::uint32_t>> chunks;
    std::vector<Field> format;  // the "fmt " chunk, field by field
};

// clang-format off
const std::vector<Layout> kLayouts = {
    {"Startup", EmbeddedSound::Startup, 428'588, {{"fmt ", 16}, {"data", 428'544}},
     {{"tag", 2, 1}, {"channels", 2, 2}, {"rate", 4, 44'100}, {"bytes/s", 4, 176'400},
      {"block align", 2, 4}, {"bits", 2, 16}}},
    {"Select", EmbeddedSound::Select, 26'192, {{"fmt ", 30}, {"fact", 4}, {"data", 26'122}},
     {{"tag", 2, 0x55}, {"channels", 2, 2}, {"rate", 4, 44'100}, {"bytes/s", 4, 20'000},
      {"block align", 2, 1}, {"bits", 2, 0}, {"cbSize", 2, 12}, {"wID", 2, 1}, {"flags", 4, 2},
      {"block size", 2, 522}, {"frames/block", 2, 1}, {"codec delay", 2, 1393}}},
    {"Listing", EmbeddedSound::Listing, 35'978, {{"fmt ", 16}, {"data", 35'860}, {"LIST", 66}},
     {{"tag", 2, 1}, {"channels", 2, 2}, {"rate", 4, 22'050}, {"bytes/s", 4, 88'200},
      {"block align", 2, 4}, {"bits", 2, 16}}},
};
// clang-format on

class SoundFiles : public ::testing::TestWithParam<Layout> {};

TEST_P(SoundFiles, HaveTheExactChunksAndFormat) {
    const QByteArray file = EmbeddedSoundBytes(GetParam().sound);
    ASSERT_EQ(file.size(), GetParam().file_size);
    EXPECT_EQ(file.left(4), "RIFF");
    EXPECT_EQ(Le(file, 4, 4), file.size() - 8);
    EXPECT_EQ(file.mid(8, 4), "WAVE");

    const std::vector<Chunk> chunks = Chunks(file);
    std::vector<std::pair<std::string, std::uint32_t>> ids_and_sizes;
    for (const Chunk& chunk : chunks) {
        ids_and_sizes.emplace_back(chunk.id, chunk.size);
    }
    ASSERT_EQ(ids_and_sizes, GetParam().chunks);
    EXPECT_EQ(chunks.back().body + chunks.back().size, file.size()) << "bytes after the chunks";

    qsizetype at = chunks.front().body;  // "fmt " comes first
    for (const Field& field : GetParam().format) {
        EXPECT_EQ(Le(file, at, field.width), field.value) << field.name;
        at += field.width;
    }
    EXPECT_EQ(at, chunks.front().body + chunks.front().size) << "unchecked format bytes";
}

struct LayoutName {
    std::string operator()(const ::testing::TestParamInfo<Layout>& info) const {
        return info.param.name;
    }
};

// "startup" for startup.wav and so on.
struct SoundName {
    std::string operator()(const ::testing::TestParamInfo<EmbeddedSound>& info) const {
        return EmbeddedSoundFileName(info.param).section('.', 0, 0).toStdString();
    }
};

INSTANTIATE_TEST_SUITE_P(Embedded, SoundFiles, ::testing::ValuesIn(kLayouts), LayoutName());

TEST(SelectSound, IsFiftyWholeMp3FramesWithoutATagFrame) {
    const QByteArray file = EmbeddedSoundBytes(EmbeddedSound::Select);
    const std::vector<Chunk> chunks = Chunks(file);
    const Chunk data = Find(chunks, "data");
    int frames = 0;
    qsizetype at = data.body;
    while (at + 4 <= data.body + data.size) {
        const std::uint32_t header = qFromBigEndian<std::uint32_t>(file.constData() + at);
        ASSERT_EQ(header >> 21, 0x7FFu) << "frame " << frames << " has no sync";
        EXPECT_EQ(header >> 17 & 0xF, 0xDu) << "MPEG-1 Layer III";
        EXPECT_EQ(header >> 12 & 0xF, 10u) << "160 kbit/s";
        EXPECT_EQ(header >> 10 & 0x3, 0u) << "44.1 kHz";
        EXPECT_EQ(header >> 6 & 0x3, 0u) << "stereo";
        const QByteArray tag = file.mid(at + 36, 4);  // where a Xing/Info frame says so
        EXPECT_NE(tag, "Xing") << frames;
        EXPECT_NE(tag, "Info") << frames;
        at += 522 + (header >> 9 & 1);
        ++frames;
    }
    EXPECT_EQ(at, data.body + data.size) << "stream ends inside a frame";
    EXPECT_EQ(frames, 50);
    const Chunk fact = Find(chunks, "fact");
    EXPECT_EQ(Le(file, fact.body, 4), 44'100u);
    EXPECT_LE(Le(file, fact.body, 4), frames * 1152u) << "more samples than the frames hold";
}

TEST(ListingSound, NamesItsSoftwareInAnInfoList) {
    const QByteArray file = EmbeddedSoundBytes(EmbeddedSound::Listing);
    const Chunk list = Find(Chunks(file), "LIST");
    ASSERT_EQ(list.size, 66u);
    EXPECT_EQ(file.mid(list.body, 4), "INFO");
    EXPECT_EQ(file.mid(list.body + 4, 4), "ISFT");
    ASSERT_EQ(Le(file, list.body + 8, 4), 54u);
    const QByteArray text = file.mid(list.body + 12, 54);
    const qsizetype end = text.indexOf('\0');
    ASSERT_GT(end, 0) << "not NUL-terminated";
    EXPECT_TRUE(text.startsWith("Vennadar ")) << text.constData();
    EXPECT_EQ(text.mid(end).count('\0'), text.size() - end) << "text after the terminator";
}

// The player tests use Qt Multimedia's real back end; they run without an audio device.
class QtApplication : public ::testing::Environment {
  public:
    void SetUp() override { app_ = std::make_unique<QCoreApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

  private:
    int argc_ = 1;
    char name_[21] = "embedded_sounds_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QCoreApplication> app_;
};

[[maybe_unused]] const auto* const kQtApplication =
    ::testing::AddGlobalTestEnvironment(new QtApplication);

// Waits up to `seconds` for the end of the sound; false on an error or timeout.
bool PlaysToTheEnd(QMediaPlayer* player, int seconds) {
    const bool ended = QTest::qWaitFor(
        [player] {
            return player->mediaStatus() == QMediaPlayer::EndOfMedia ||
                   player->error() != QMediaPlayer::NoError;
        },
        seconds * 1000);
    EXPECT_EQ(player->error(), QMediaPlayer::NoError) << player->errorString().toStdString();
    return ended && player->error() == QMediaPlayer::NoError;
}

class PlayedSounds : public ::testing::TestWithParam<EmbeddedSound> {};

TEST_P(PlayedSounds, PlayToTheirEndAndAgain) {
    QtSoundPlayer sounds;
    EXPECT_EQ(sounds.PlayerFor(GetParam()), nullptr) << "players are made on first use";
    sounds.Play(GetParam());
    QMediaPlayer* player = sounds.PlayerFor(GetParam());
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(PlaysToTheEnd(player, 10));

    sounds.Play(GetParam());
    EXPECT_EQ(sounds.PlayerFor(GetParam()), player);
    EXPECT_TRUE(QTest::qWaitFor(
        [player] { return player->mediaStatus() != QMediaPlayer::EndOfMedia; }, 5000));
    EXPECT_TRUE(PlaysToTheEnd(player, 10)) << "a finished sound plays again";
}

// The MPEG Layer-3 sound and a PCM one.
INSTANTIATE_TEST_SUITE_P(Embedded, PlayedSounds,
                         ::testing::Values(EmbeddedSound::Select, EmbeddedSound::Listing),
                         SoundName());

class HeldSounds : public ::testing::TestWithParam<bool> {};

// Sounds asked for before the window's first paint wait for it; a window that never paints still
// gets them, after the time limit.
TEST_P(HeldSounds, AreHeldThenAllPlayed) {
    const bool paints = GetParam();
    QtSoundPlayer sounds;
    QObject window;
    sounds.HoldUntilPainted(&window);
    sounds.Play(EmbeddedSound::Startup);
    sounds.Play(EmbeddedSound::Select);
    QTest::qWait(100);
    EXPECT_EQ(sounds.PlayerFor(EmbeddedSound::Startup), nullptr) << "played before the paint";
    if (paints) {
        QEvent paint(QEvent::Paint);
        QCoreApplication::sendEvent(&window, &paint);
    }
    for (const EmbeddedSound sound : {EmbeddedSound::Startup, EmbeddedSound::Select}) {
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                const QMediaPlayer* player = sounds.PlayerFor(sound);
                return player != nullptr && player->playbackState() == QMediaPlayer::PlayingState;
            },
            5000));
    }
}

INSTANTIATE_TEST_SUITE_P(Window, HeldSounds, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& window) {
                             return window.param ? "Paints" : "NeverPaints";
                         });

TEST(QtSoundPlayer, RestartsASoundStillPlaying) {
    QtSoundPlayer sounds;
    sounds.Play(EmbeddedSound::Startup);
    QMediaPlayer* player = sounds.PlayerFor(EmbeddedSound::Startup);
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([player] { return player->position() >= 1000; }, 10'000));

    sounds.Play(EmbeddedSound::Startup);
    EXPECT_TRUE(QTest::qWaitFor([player] { return player->position() < 1000; }, 300));
    EXPECT_NE(player->mediaStatus(), QMediaPlayer::EndOfMedia);
    EXPECT_TRUE(PlaysToTheEnd(player, 10));
}

}  // namespace
}  // namespace vennadar
