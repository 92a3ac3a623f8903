#pragma once

#include <QByteArray>
#include <QString>

#include "core/ports/sound_player.h"

namespace vennadar {

// The sound's file name inside the program's resources, e.g. "select.wav".
QString EmbeddedSoundFileName(EmbeddedSound sound);

// The complete WAV file of a built-in sound, read from the resources (":/sounds/...").
QByteArray EmbeddedSoundBytes(EmbeddedSound sound);

}  // namespace vennadar
