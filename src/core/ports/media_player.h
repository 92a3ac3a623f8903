#pragma once

#include <string>

namespace vennadar {

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
};

}  // namespace vennadar
