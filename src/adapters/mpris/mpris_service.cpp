#include "adapters/mpris/mpris_service.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace vennadar {
namespace {

const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

// The bus counts microseconds, the player milliseconds.
int UsToMs(qlonglong us) {
    const qlonglong ms = us / 1000;
    return static_cast<int>(std::clamp<qlonglong>(ms, std::numeric_limits<int>::min(),
                                                  std::numeric_limits<int>::max()));
}

}  // namespace

// org.mpris.MediaPlayer2: who we are.
class MprisRootAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(bool CanRaise READ yes)
    Q_PROPERTY(bool CanQuit READ no)
    Q_PROPERTY(bool HasTrackList READ no)
    Q_PROPERTY(QStringList SupportedUriSchemes READ uriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ mimeTypes)

  public:
    explicit MprisRootAdaptor(MprisService* service)
        : QDBusAbstractAdaptor(service), service_(service) {}
    QString identity() const { return QStringLiteral("Vennadar"); }
    QString desktopEntry() const { return QStringLiteral("vennadar"); }
    bool yes() const { return true; }
    bool no() const { return false; }
    QStringList uriSchemes() const { return {QStringLiteral("http"), QStringLiteral("https")}; }
    QStringList mimeTypes() const { return {QStringLiteral("audio/mpeg")}; }

  public Q_SLOTS:
    void Raise() { service_->Controls().raise(); }
    void Quit() {}  // CanQuit is false: the article window is closed by its own keys

  private:
    MprisService* service_;
};

// org.mpris.MediaPlayer2.Player: the article's audio, one track.
class MprisPlayerAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(double Rate READ one)
    Q_PROPERTY(double MinimumRate READ one)
    Q_PROPERTY(double MaximumRate READ one)
    Q_PROPERTY(bool CanGoNext READ no)
    Q_PROPERTY(bool CanGoPrevious READ no)
    Q_PROPERTY(bool CanPlay READ yes)
    Q_PROPERTY(bool CanPause READ yes)
    Q_PROPERTY(bool CanSeek READ yes)
    Q_PROPERTY(bool CanControl READ yes)

  public:
    explicit MprisPlayerAdaptor(MprisService* service)
        : QDBusAbstractAdaptor(service), service_(service) {}
    QString playbackStatus() const { return service_->PlaybackStatus(); }
    QVariantMap metadata() const { return service_->Metadata(); }
    qlonglong position() const { return service_->PositionUs(); }
    double volume() const { return service_->Volume(); }
    void setVolume(double volume) {
        // NaN and out-of-range values as the nearest end.
        const double level = std::isnan(volume) ? 0.0 : std::clamp(volume, 0.0, 1.0) * 100.0;
        service_->Controls().set_volume(static_cast<int>(std::lround(level)));
        service_->Changed();
    }
    double one() const { return 1.0; }
    bool yes() const { return true; }
    bool no() const { return false; }

  public Q_SLOTS:
    void Next() {}
    void Previous() {}
    void Play() { Steer(service_->Controls().play); }
    void Pause() { Steer(service_->Controls().pause); }
    void PlayPause() { Steer(service_->Controls().play_pause); }
    void Stop() { Steer(service_->Controls().stop); }
    void Seek(qlonglong Offset) {
        service_->Controls().seek(UsToMs(Offset));
        service_->Changed();
        service_->Seeked();
    }
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
        // A position meant for another track is stale.
        if (TrackId.path() != QLatin1String(MprisService::kTrackId)) {
            return;
        }
        service_->Controls().set_position(UsToMs(Position));
        service_->Changed();
        service_->Seeked();
    }
    void OpenUri(const QString&) {}  // plays only the article's own audio

  Q_SIGNALS:
    void Seeked(qlonglong Position);

  private:
    void Steer(const std::function<void()>& control) {
        control();
        service_->Changed();
    }

    MprisService* service_;
};

std::unique_ptr<MprisService> MprisService::Publish(const MediaPlayer& player, MprisTrack track,
                                                    MprisControls controls) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return nullptr;
    }
    std::unique_ptr<MprisService> service(
        new MprisService(player, std::move(track), std::move(controls)));
    new MprisRootAdaptor(service.get());
    service->player_interface_ = new MprisPlayerAdaptor(service.get());
    // The object first, so that whoever sees the name appear finds it.
    if (!bus.registerObject(QLatin1String(kObjectPath), service.get(),
                            QDBusConnection::ExportAdaptors)) {
        return nullptr;
    }
    service->exported_ = true;
    QString name = QLatin1String(kServiceName);
    if (!bus.registerService(name)) {
        // Another copy of the program plays already.
        name += QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
        if (!bus.registerService(name)) {
            return nullptr;
        }
    }
    service->service_name_ = name;
    service->told_status_ = service->PlaybackStatus();
    service->told_metadata_ = service->Metadata();
    service->told_volume_ = service->Volume();
    return service;
}

MprisService::MprisService(const MediaPlayer& player, MprisTrack track, MprisControls controls)
    : player_(player), track_(std::move(track)), controls_(std::move(controls)) {}

MprisService::~MprisService() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!service_name_.isEmpty()) {
        bus.unregisterService(service_name_);
    }
    if (exported_) {
        bus.unregisterObject(QLatin1String(kObjectPath));
    }
}

void MprisService::Changed() {
    if (service_name_.isEmpty()) {
        return;
    }
    QVariantMap changed;
    const QString status = PlaybackStatus();
    if (status != told_status_) {
        told_status_ = status;
        changed.insert(QStringLiteral("PlaybackStatus"), status);
    }
    const QVariantMap metadata = Metadata();
    if (metadata != told_metadata_) {
        told_metadata_ = metadata;
        changed.insert(QStringLiteral("Metadata"), metadata);
    }
    const double volume = Volume();
    if (volume != told_volume_) {
        told_volume_ = volume;
        changed.insert(QStringLiteral("Volume"), volume);
    }
    if (changed.isEmpty()) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(
        QLatin1String(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

void MprisService::Seeked() {
    if (!service_name_.isEmpty()) {
        emit static_cast<MprisPlayerAdaptor*>(player_interface_)->Seeked(PositionUs());
    }
}

QString MprisService::PlaybackStatus() const {
    switch (player_.State()) {
        case PlaybackState::kPlaying:
            return QStringLiteral("Playing");
        case PlaybackState::kPaused:
            return QStringLiteral("Paused");
        case PlaybackState::kStopped:
            return QStringLiteral("Stopped");
    }
    return QStringLiteral("Stopped");
}

QVariantMap MprisService::Metadata() const {
    QVariantMap metadata{
        {QStringLiteral("mpris:trackid"),
         QVariant::fromValue(QDBusObjectPath(QLatin1String(kTrackId)))},
        {QStringLiteral("xesam:title"), track_.title},
        {QStringLiteral("xesam:url"), track_.url},
    };
    if (const int length = player_.Length(); length > 0) {
        metadata.insert(QStringLiteral("mpris:length"), qlonglong{length} * 1000);
    }
    return metadata;
}

qint64 MprisService::PositionUs() const {
    return qint64{std::max(0, player_.Position())} * 1000;
}

double MprisService::Volume() const {
    return controls_.volume() / 100.0;
}

}  // namespace vennadar

#include "mpris_service.moc"
