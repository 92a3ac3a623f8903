#include "adapters/audio/qt_media_player.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QtDebug>
#include <algorithm>
#include <utility>

namespace vennadar {
namespace {

// How long playback is held silent at most for a position the stream cannot seek to yet. Far
// longer than a stream that seeks at all takes to be able to.
constexpr int kHoldLimitMs = 10000;

// Statuses in which the stream has been opened.
bool IsLoaded(QMediaPlayer::MediaStatus status) {
    switch (status) {
        case QMediaPlayer::LoadedMedia:
        case QMediaPlayer::BufferingMedia:
        case QMediaPlayer::BufferedMedia:
        case QMediaPlayer::StalledMedia:
        case QMediaPlayer::EndOfMedia:
            return true;
        case QMediaPlayer::NoMedia:
        case QMediaPlayer::LoadingMedia:
        case QMediaPlayer::InvalidMedia:
            return false;
    }
    return false;
}

}  // namespace

QtMediaPlayer::QtMediaPlayer() = default;

QtMediaPlayer::~QtMediaPlayer() = default;

void QtMediaPlayer::Open(const std::string& source) {
    // After a failure the back end's leftover error messages would fail the next source too:
    // it gets a new player.
    if (player_ != nullptr && player_->error() != QMediaPlayer::NoError) {
        player_.reset();
    }
    Create();
    pending_position_.reset();
    Hold(false);
    player_->setSource(QUrl(QString::fromStdString(source)));
}

void QtMediaPlayer::SetVolume(int left, int right) {
    // One output for both channels: the mean of the two levels.
    const int level = (std::clamp(left, 0, 100) + std::clamp(right, 0, 100)) / 2;
    volume_ = static_cast<float>(level) / 100.0f;
    if (output_ != nullptr) {
        output_->setVolume(volume_);
    }
}

void QtMediaPlayer::Play(int position) {
    Create();
    if (player_->source().isEmpty() || player_->mediaStatus() == QMediaPlayer::InvalidMedia) {
        return;
    }
    // -1 keeps a position that still waits to be applied, if any.
    if (position != -1) {
        pending_position_ = std::max(0, position);
    }
    // A stream that has loaded and told its length, yet cannot seek, never will (its server
    // serves no ranges): it plays on from where it stands.
    if (pending_position_.has_value() && IsLoaded(player_->mediaStatus()) &&
        player_->duration() > 0 && !player_->isSeekable()) {
        pending_position_.reset();
    }
    // Until a position asked for has been applied, nothing is heard: the stream may have to
    // play a moment before it can seek at all.
    if (pending_position_.has_value()) {
        Hold(true);
    }
    // At once, even while the stream loads: play() returns without waiting for it, and the
    // back end starts playback when it can. Deferred to a later status, play() can catch the
    // stream's length half-read and cut playback to a frame.
    player_->play();
    SeekIfPending();
}

void QtMediaPlayer::Pause() {
    if (player_ == nullptr) {
        return;
    }
    // Paused while a position waits: the position stands, and is applied once the stream can
    // seek; the player stays paused.
    const bool held = holding_;
    Hold(false);
    if (held || player_->playbackState() == QMediaPlayer::PlayingState) {
        player_->pause();
    }
}

bool QtMediaPlayer::IsPaused() const {
    return player_ != nullptr && !holding_ && player_->playbackState() == QMediaPlayer::PausedState;
}

void QtMediaPlayer::Stop() {
    pending_position_.reset();
    Hold(false);
    if (player_ == nullptr) {
        return;
    }
    // Before the stream has told its length, the back end's stop seeks to the start of an
    // empty range, and the stream then ends as soon as it plays again: it is loaded afresh.
    const QUrl source = player_->source();
    if (player_->duration() <= 0 && !source.isEmpty() &&
        player_->mediaStatus() != QMediaPlayer::InvalidMedia) {
        player_->setSource(QUrl());
        player_->setSource(source);
        return;
    }
    player_->stop();
}

int QtMediaPlayer::Position() const {
    if (pending_position_.has_value()) {
        return *pending_position_;
    }
    return player_ != nullptr ? static_cast<int>(player_->position()) : 0;
}

void QtMediaPlayer::Seek(int position) {
    if (player_ == nullptr || player_->source().isEmpty() ||
        player_->mediaStatus() == QMediaPlayer::InvalidMedia) {
        return;
    }
    if (State() == PlaybackState::kPlaying) {
        Play(position);
        return;
    }
    // Paused, the position is applied as soon as the stream can seek; stopped, it waits for the
    // next play (the back end forgets a position set while stopped). Past the end means the end.
    const qint64 duration = player_->duration();
    pending_position_ = duration > 0 ? static_cast<int>(std::clamp<qint64>(position, 0, duration))
                                     : std::max(0, position);
    if (player_->playbackState() == QMediaPlayer::PausedState) {
        SeekIfPending();
    }
}

PlaybackState QtMediaPlayer::State() const {
    // A source that cannot be loaded plays nothing, whatever state the back end keeps after
    // play() (it stays "playing" at position 0 for a missing file).
    if (player_ == nullptr || player_->mediaStatus() == QMediaPlayer::InvalidMedia ||
        player_->error() != QMediaPlayer::NoError) {
        return PlaybackState::kStopped;
    }
    if (holding_) {
        return PlaybackState::kPlaying;
    }
    switch (player_->playbackState()) {
        case QMediaPlayer::PlayingState:
            return PlaybackState::kPlaying;
        case QMediaPlayer::PausedState:
            return PlaybackState::kPaused;
        case QMediaPlayer::StoppedState:
            return PlaybackState::kStopped;
    }
    return PlaybackState::kStopped;
}

int QtMediaPlayer::Length() const {
    return player_ != nullptr ? static_cast<int>(std::max<qint64>(0, player_->duration())) : 0;
}

void QtMediaPlayer::SetChangeHandler(std::function<void()> handler) {
    on_change_ = std::move(handler);
}

void QtMediaPlayer::Changed() const {
    if (on_change_) {
        on_change_();
    }
}

QMediaPlayer* QtMediaPlayer::Native() {
    Create();
    return player_.get();
}

void QtMediaPlayer::Create() {
    if (player_ != nullptr) {
        return;
    }
    if (output_ == nullptr) {
        output_ = std::make_unique<QAudioOutput>();
        output_->setVolume(volume_);
    }
    player_ = std::make_unique<QMediaPlayer>();
    player_->setAudioOutput(output_.get());
    // A stream that will not seek, or never tells its length, is not held silent for good: after
    // a while it plays on without the position.
    hold_limit_ = std::make_unique<QTimer>();
    hold_limit_->setSingleShot(true);
    hold_limit_->setInterval(kHoldLimitMs);
    QObject::connect(hold_limit_.get(), &QTimer::timeout, player_.get(), [this] {
        if (holding_) {
            pending_position_.reset();
            Hold(false);
        }
    });
    // The connections end with the player, which this object owns.
    QObject::connect(
        player_.get(), &QMediaPlayer::mediaStatusChanged, player_.get(),
        [this](QMediaPlayer::MediaStatus status) {
            // Nothing more will play: a position asked for has nowhere to go.
            if (status == QMediaPlayer::InvalidMedia || status == QMediaPlayer::EndOfMedia) {
                pending_position_.reset();
                Hold(false);
            } else {
                SeekIfPending();
            }
            Changed();
        });
    QObject::connect(player_.get(), &QMediaPlayer::durationChanged, player_.get(), [this] {
        SeekIfPending();
        Changed();
    });
    QObject::connect(player_.get(), &QMediaPlayer::playbackStateChanged, player_.get(),
                     [this] { Changed(); });
    QObject::connect(player_.get(), &QMediaPlayer::seekableChanged, player_.get(),
                     [this] { SeekIfPending(); });
    QObject::connect(player_.get(), &QMediaPlayer::errorOccurred, player_.get(),
                     [this](QMediaPlayer::Error, const QString& text) {
                         qWarning("audio: %s: %s", qUtf8Printable(player_->source().toString()),
                                  qUtf8Printable(text));
                     });
}

void QtMediaPlayer::SeekIfPending() {
    // The back end seeks within a range that ends at the duration, which a stream reports only
    // once it has played a moment, and only once it says it can seek; a seek before then is
    // lost. Past the end means the end.
    const qint64 duration = player_->duration();
    if (!pending_position_.has_value() || duration <= 0 || !IsLoaded(player_->mediaStatus())) {
        return;
    }
    // Not yet: a held stream plays on, silent, meanwhile; paused, it may not find out that it
    // can seek.
    if (!player_->isSeekable()) {
        return;
    }
    const qint64 position = std::min<qint64>(*pending_position_, duration);
    pending_position_.reset();
    player_->setPosition(position);
    Hold(false);
}

void QtMediaPlayer::Hold(bool hold) {
    if (hold && !holding_ && hold_limit_ != nullptr) {
        hold_limit_->start();
    }
    holding_ = hold;
    if (output_ != nullptr) {
        output_->setMuted(hold);
    }
}

}  // namespace vennadar
