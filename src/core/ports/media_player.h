#pragma once

#include <functional>
#include <string>

namespace vennadar {

enum class PlaybackState { kStopped, kPlaying, kPaused };

// The article window's audio player. Positions are milliseconds; levels 0-100.
class MediaPlayer {
  public:
    virtual ~MediaPlayer() = default;
    virtual void Open(const std::string& source) = 0;  // http or https address
    virtual void SetVolume(int left, int right) = 0;
    // Plays from a position; -1 continues from where the player stands (the start for a new
    // source). Positions below 0 start from 0.
    virtual void Play(int position) = 0;
    virtual void Pause() = 0;
    // True while paused, so a second pause key can resume; false when stopped or playing.
    virtual bool IsPaused() const = 0;
    virtual void Stop() = 0;
    virtual int Position() const = 0;

    // Moves to a position (below 0: the start) and keeps playing, paused or stopped as it was;
    // stopped, the next play starts there.
    virtual void Seek(int position) = 0;
    // Playing also while playback waits, silent, to reach a position asked for.
    virtual PlaybackState State() const = 0;
    // The source's length once the stream has told it, else 0.
    virtual int Length() const = 0;
    // Called when the state or the length may have changed, often by the player's own doing
    // (the stream loaded, ended, failed). Empty: nobody listens.
    virtual void SetChangeHandler(std::function<void()> handler) = 0;
};

}  // namespace vennadar
