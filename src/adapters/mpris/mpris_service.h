#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <memory>

#include "core/ports/media_player.h"

namespace vennadar {

// How the desktop's media controls steer the audio: the article window routes each to the same
// operation its hot keys use. Positions and offsets in milliseconds, volume 0-100.
struct MprisControls {
    std::function<void()> raise;
    std::function<void()> play_pause;
    std::function<void()> play;
    std::function<void()> pause;
    std::function<void()> stop;
    std::function<void(int offset)> seek;
    std::function<void(int position)> set_position;
    std::function<void(int level)> set_volume;
    std::function<int()> volume;
};

struct MprisTrack {
    QString title;
    QString url;
};

// The article's audio as an MPRIS 2 media player on the session bus, so that media keys, the
// desktop's media controls and headset buttons reach it (key grabs do not, under Wayland). The
// bus name and object live exactly as long as this object.
class MprisService final : public QObject {
    Q_OBJECT

  public:
    static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.vennadar";
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
    static constexpr const char* kTrackId = "/org/vennadar/track/1";

    // Null without a session bus or when neither name can be had: the program plays on without.
    static std::unique_ptr<MprisService> Publish(const MediaPlayer& player, MprisTrack track,
                                                 MprisControls controls);
    ~MprisService() override;
    MprisService(const MprisService&) = delete;
    MprisService& operator=(const MprisService&) = delete;

    // Tells the bus what changed since it was last told: status, length, volume.
    void Changed();
    // Tells the bus the position jumped.
    void Seeked();
    QString ServiceName() const { return service_name_; }

    // For the bus interfaces.
    const MprisControls& Controls() const { return controls_; }
    QString PlaybackStatus() const;
    QVariantMap Metadata() const;
    qint64 PositionUs() const;
    double Volume() const;

  private:
    MprisService(const MediaPlayer& player, MprisTrack track, MprisControls controls);

    const MediaPlayer& player_;
    MprisTrack track_;
    MprisControls controls_;
    QString service_name_;                 // empty until the name is ours
    bool exported_ = false;                // the object is registered
    QObject* player_interface_ = nullptr;  // the Player adaptor, for its Seeked signal
    // What the bus was last told.
    QString told_status_;
    QVariantMap told_metadata_;
    double told_volume_ = -1.0;
};

}  // namespace vennadar
