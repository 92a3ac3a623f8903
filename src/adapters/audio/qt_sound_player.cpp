#include "adapters/audio/qt_sound_player.h"

#include <QAudioOutput>
#include <QBuffer>
#include <QEvent>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>
#include <cstddef>

#include "adapters/audio/embedded_sounds.h"

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
    if (holding_) {
        held_.push_back(sound);
        return;
    }
    Voice& voice = VoiceFor(sound);
    // No stop() first: on GStreamer it can block the window for a second when a sound is
    // replayed right away. Seeking to the start restarts it just as well.
    voice.player->setPosition(0);
    voice.player->play();
}

void QtSoundPlayer::HoldUntilPainted(QObject* window) {
    holding_ = true;
    held_window_ = window;
    window->installEventFilter(this);
    // Should the window never paint (hidden, minimised), the sounds still come.
    QTimer::singleShot(500, this, [this] { ReleaseHeld(); });
}

bool QtSoundPlayer::eventFilter(QObject* watched, QEvent* event) {
    if (holding_ && watched == held_window_ && event->type() == QEvent::Paint) {
        // After the paint has been handled, not inside it.
        QTimer::singleShot(0, this, [this] { ReleaseHeld(); });
    }
    return QObject::eventFilter(watched, event);
}

void QtSoundPlayer::ReleaseHeld() {
    if (!holding_) {
        return;
    }
    holding_ = false;
    if (held_window_ != nullptr) {
        held_window_->removeEventFilter(this);
    }
    const std::vector<EmbeddedSound> held = std::move(held_);
    held_.clear();
    for (const EmbeddedSound sound : held) {
        Play(sound);
    }
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
