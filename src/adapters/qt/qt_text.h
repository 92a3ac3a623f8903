#pragma once

#include <QString>

#include "core/text/text.h"

namespace vennadar {

// The windows show and return QString; the program keeps GBK. These two cross that edge.
QString GbkToQString(const Text& gbk);
Text QStringToGbk(const QString& text);

}  // namespace vennadar
