// The floor for start-up: a bare Qt Widgets window with a tree and a few buttons that starts one
// in-memory WAV through Qt Multimedia, timed to its first painted frame like startup_probe.
// Usage: startup_baseline [--settle-ms N]
#include <QAudioOutput>
#include <QBuffer>
#include <QByteArray>
#include <QMainWindow>
#include <QMediaPlayer>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "first_paint.h"

namespace {

// 16-bit stereo PCM at 44.1 kHz, as long as the program's start-up sound (about 2.4 s).
QByteArray MakeWav() {
    constexpr int kRate = 44100;
    constexpr int kChannels = 2;
    constexpr int kFrames = kRate * 243 / 100;
    constexpr std::uint32_t kDataBytes = kFrames * kChannels * 2;
    QByteArray wav;
    wav.reserve(44 + static_cast<int>(kDataBytes));
    auto put32 = [&wav](std::uint32_t value) {
        char bytes[4];
        qToLittleEndian(value, bytes);
        wav.append(bytes, 4);
    };
    auto put16 = [&wav](std::uint16_t value) {
        char bytes[2];
        qToLittleEndian(value, bytes);
        wav.append(bytes, 2);
    };
    wav.append("RIFF", 4);
    put32(36 + kDataBytes);
    wav.append("WAVEfmt ", 8);
    put32(16);
    put16(1);  // PCM
    put16(kChannels);
    put32(kRate);
    put32(kRate * kChannels * 2);
    put16(kChannels * 2);
    put16(16);
    wav.append("data", 4);
    put32(kDataBytes);
    // One period of a 441 Hz tone, repeated: the real program only copies its sound from the
    // resources, so making this one must cost next to nothing.
    constexpr int kPeriod = kRate / 441;
    QByteArray period;
    for (int i = 0; i < kPeriod; ++i) {
        const auto sample =
            static_cast<std::int16_t>(6000.0 * std::sin(2.0 * std::numbers::pi * i / kPeriod));
        char bytes[2];
        qToLittleEndian(static_cast<std::uint16_t>(sample), bytes);
        for (int c = 0; c < kChannels; ++c) {
            period.append(bytes, 2);
        }
    }
    while (wav.size() < 44 + static_cast<qsizetype>(kDataBytes)) {
        wav.append(period.constData(),
                   std::min(period.size(), 44 + static_cast<qsizetype>(kDataBytes) - wav.size()));
    }
    return wav;
}

}  // namespace

int main(int argc, char** argv) {
    const auto main_start = startup_timing::Clock::now();
    QApplication application(argc, argv);
    const int settle_ms = startup_timing::SettleMilliseconds(argc, argv);

    QMainWindow window;
    auto* client = new QWidget(&window);
    window.setCentralWidget(client);
    auto* tree = new QTreeWidget(client);
    tree->setGeometry(32, 32, 600, 200);
    tree->setHeaderLabels({QStringLiteral("Items")});
    tree->setRootIsDecorated(false);
    const char* captions[] = {"Previous", "First page", "Next", "Search"};
    for (int i = 0; i < 4; ++i) {
        auto* button = new QPushButton(QString::fromLatin1(captions[i]), client);
        button->setGeometry(32 + i * 110, 314, 100, 32);
    }
    window.resize(640, 600);

    startup_timing::FirstPaintWatcher watcher(&window, main_start, settle_ms);
    window.show();

    // One sound from memory, started right after the window is shown.
    QBuffer buffer;
    buffer.setData(MakeWav());
    buffer.open(QIODevice::ReadOnly);
    QAudioOutput output;
    QMediaPlayer player;
    player.setAudioOutput(&output);
    player.setSourceDevice(&buffer, QUrl(QStringLiteral("startup.wav")));
    player.play();

    for (int i = 0; i < 9; ++i) {
        new QTreeWidgetItem(tree, {QStringLiteral("Category %1").arg(i + 1)});
    }
    tree->setCurrentItem(tree->topLevelItem(0));

    watcher.Arm();
    return QApplication::exec();
}
