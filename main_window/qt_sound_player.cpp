#include "main_window/qt_sound_player.h"

#include <QAudioOutput>
#include <QBuffer>
#include <QMediaPlayer>
#include <QUrl>
#include <cstddef>

#include "main_window/embedded_sounds.h"

namespace vennadar {
namespace {

std::size_t IndexOf(EmbeddedSound sound) {
    return static_cast<std::size_t>(sound);
}

}  // namespace

QtSoundPlayer::QtSoundPlayer(QObject* parent) : QObject(parent) {}

QtSoundPlayer::~QtSoundPlayer() {
    // Players go before the buffers they read from.
    for (Voice& voice : voices_) {
        delete voice.player;
        delete voice.output;
        delete voice.buffer;
    }
}

void QtSoundPlayer::Play(EmbeddedSound sound) {
    Voice& voice = VoiceFor(sound);
    if (voice.player->playbackState() != QMediaPlayer::StoppedState) {
        voice.player->stop();
    }
    voice.player->setPosition(0);
    voice.player->play();
}

QMediaPlayer* QtSoundPlayer::PlayerFor(EmbeddedSound sound) const {
    return voices_.at(IndexOf(sound)).player;
}

QtSoundPlayer::Voice& QtSoundPlayer::VoiceFor(EmbeddedSound sound) {
    Voice& voice = voices_.at(IndexOf(sound));
    if (voice.player != nullptr) {
        return voice;
    }
    voice.buffer = new QBuffer(this);
    voice.buffer->setData(EmbeddedSoundBytes(sound));
    voice.buffer->open(QIODevice::ReadOnly);
    voice.output = new QAudioOutput(this);
    voice.player = new QMediaPlayer(this);
    voice.player->setAudioOutput(voice.output);
    // The back end picks its demuxer from the name; without one it waits forever.
    voice.player->setSourceDevice(voice.buffer, QUrl(EmbeddedSoundFileName(sound)));
    return voice;
}

}  // namespace vennadar
