#include "reader/qt_media_player.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QtDebug>
#include <algorithm>

namespace vennadar {
namespace {

// Statuses in which the stream has been opened and seeking works.
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
    pending_play_ = false;
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
    pending_play_ = true;
    // Until the source has loaded the status change brings the rest.
    if (IsLoaded(player_->mediaStatus())) {
        ApplyPending();
    }
}

void QtMediaPlayer::Pause() {
    pending_play_ = false;
    if (player_ != nullptr && player_->playbackState() == QMediaPlayer::PlayingState) {
        player_->pause();
    }
}

void QtMediaPlayer::Stop() {
    pending_play_ = false;
    pending_position_.reset();
    if (player_ != nullptr) {
        player_->stop();
    }
}

int QtMediaPlayer::Position() const {
    if (pending_position_.has_value()) {
        return *pending_position_;
    }
    return player_ != nullptr ? static_cast<int>(player_->position()) : 0;
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
    // The connections end with the player, which this object owns.
    QObject::connect(player_.get(), &QMediaPlayer::mediaStatusChanged, player_.get(),
                     [this] { MediaStatusChanged(); });
    QObject::connect(player_.get(), &QMediaPlayer::durationChanged, player_.get(), [this] {
        if (IsLoaded(player_->mediaStatus())) {
            ApplyPending();
        }
    });
    QObject::connect(player_.get(), &QMediaPlayer::errorOccurred, player_.get(),
                     [this](QMediaPlayer::Error, const QString& text) {
                         qWarning("audio: %s: %s", qUtf8Printable(player_->source().toString()),
                                  qUtf8Printable(text));
                     });
}

void QtMediaPlayer::MediaStatusChanged() {
    const QMediaPlayer::MediaStatus status = player_->mediaStatus();
    if (status == QMediaPlayer::InvalidMedia) {
        // Nothing will play; the program goes on without the audio.
        pending_play_ = false;
        pending_position_.reset();
    } else if (status == QMediaPlayer::EndOfMedia && !applying_) {
        // Ended before a position could be applied: there is nothing left to seek in.
        pending_position_.reset();
    } else if (IsLoaded(status)) {
        ApplyPending();
    }
}

void QtMediaPlayer::ApplyPending() {
    // play() and setPosition() report status changes from inside themselves.
    if (applying_) {
        return;
    }
    applying_ = true;
    // Play first: play() on a stopped or just-opened stream starts it from the beginning,
    // which would undo a seek made before it.
    if (pending_play_) {
        pending_play_ = false;
        player_->play();
    }
    // The back end seeks to a range ending at the duration, which a stream only reports after
    // it has played a moment; until then the position waits. Past the end means the end.
    const qint64 duration = player_->duration();
    if (pending_position_.has_value() && duration > 0) {
        const qint64 position = std::min<qint64>(*pending_position_, duration);
        pending_position_.reset();
        player_->setPosition(position);
    }
    applying_ = false;
}

}  // namespace vennadar
