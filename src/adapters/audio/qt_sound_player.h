#pragma once

#include <QObject>
#include <QPointer>
#include <array>
#include <vector>

#include "core/ports/sound_player.h"

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

    // Loading the multimedia back end delays a window's first paint noticeably: sounds asked
    // for before `window` has painted wait until it has (or half a second has passed).
    void HoldUntilPainted(QObject* window);

    // The player of `sound` once it has been played, else nullptr; lets tests watch it.
    QMediaPlayer* PlayerFor(EmbeddedSound sound) const;

  private:
    struct Voice {
        QBuffer* buffer = nullptr;
        QAudioOutput* output = nullptr;
        QMediaPlayer* player = nullptr;
    };

    Voice& VoiceFor(EmbeddedSound sound);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void ReleaseHeld();

    std::array<Voice, 3> voices_;
    bool holding_ = false;
    QPointer<QObject> held_window_;
    std::vector<EmbeddedSound> held_;
};

}  // namespace vennadar
