#pragma once

#include <QObject>
#include <array>

#include "platform/sound_player.h"

class QAudioOutput;
class QBuffer;
class QMediaPlayer;

namespace vennadar {

// Plays the built-in sounds through Qt Multimedia. Each sound gets its own player, made on
// its first Play (loading the multimedia back end takes a while), so sounds can overlap and
// playing a sound again starts it over. Without an audio device the sounds play silently.
class QtSoundPlayer final : public QObject, public SoundPlayer {
    Q_OBJECT

  public:
    explicit QtSoundPlayer(QObject* parent = nullptr);
    ~QtSoundPlayer() override;

    void Play(EmbeddedSound sound) override;

    // The player of `sound` once it has been played, else nullptr; lets tests watch it.
    QMediaPlayer* PlayerFor(EmbeddedSound sound) const;

  private:
    struct Voice {
        QBuffer* buffer = nullptr;
        QAudioOutput* output = nullptr;
        QMediaPlayer* player = nullptr;
    };

    Voice& VoiceFor(EmbeddedSound sound);

    std::array<Voice, 3> voices_;
};

}  // namespace vennadar
