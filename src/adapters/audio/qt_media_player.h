#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/ports/media_player.h"

class QAudioOutput;
class QMediaPlayer;
class QTimer;

namespace vennadar {

// The article's audio through Qt Multimedia, streamed over HTTP. The Qt player is made on
// first use, since loading the multimedia back end takes a while. Nothing here waits for the
// stream: playback starts when it has loaded, and a position asked for before the stream can
// seek (it must know its duration) is applied as soon as it can, playback held silent until
// then so that nothing before the position is heard. A source that cannot be opened, or a
// machine without an audio device, leaves the player silent and the program running.
class QtMediaPlayer final : public MediaPlayer {
  public:
    QtMediaPlayer();
    ~QtMediaPlayer() override;
    QtMediaPlayer(const QtMediaPlayer&) = delete;
    QtMediaPlayer& operator=(const QtMediaPlayer&) = delete;

    void Open(const std::string& source) override;
    void SetVolume(int left, int right) override;
    void Play(int position) override;
    void Pause() override;
    // Not while playback only waits, silent, for a position to be applied.
    bool IsPaused() const override;
    void Stop() override;
    // While a position asked for waits to be applied, that position.
    int Position() const override;

    // The Qt player (made if need be), so tests can watch it. Opening a source after a failed
    // one replaces it.
    QMediaPlayer* Native();

  private:
    void Create();
    void SeekIfPending();
    // Keeps the output silent while playback waits for a position to be applied.
    void Hold(bool hold);

    // Order matters: the player goes before the output it plays to, and the timer before the
    // player its connection belongs to.
    std::unique_ptr<QAudioOutput> output_;
    std::unique_ptr<QMediaPlayer> player_;
    std::unique_ptr<QTimer> hold_limit_;
    float volume_ = 1.0f;
    std::optional<int> pending_position_;  // to seek to once the stream can
    bool holding_ = false;  // playback asked for, silent until the position is applied
};

}  // namespace vennadar
