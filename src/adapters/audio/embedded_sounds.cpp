#include "adapters/audio/embedded_sounds.h"

#include <QFile>

namespace vennadar {

QString EmbeddedSoundFileName(EmbeddedSound sound) {
    switch (sound) {
        case EmbeddedSound::Startup:
            return QStringLiteral("startup.wav");
        case EmbeddedSound::Select:
            return QStringLiteral("select.wav");
        case EmbeddedSound::Listing:
            return QStringLiteral("listing.wav");
    }
    return {};
}

QByteArray EmbeddedSoundBytes(EmbeddedSound sound) {
    QFile file(QStringLiteral(":/sounds/") + EmbeddedSoundFileName(sound));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

}  // namespace vennadar
