#pragma once

namespace vennadar {

// The three sounds built into the program.
enum class EmbeddedSound { Startup, Select, Listing };

// Starts one embedded sound from its beginning and returns at once; never waits or reports.
class SoundPlayer {
  public:
    virtual ~SoundPlayer() = default;
    virtual void Play(EmbeddedSound sound) = 0;
};

}  // namespace vennadar
