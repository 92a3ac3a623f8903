#include "adapters/qt/qt_text.h"

#include "core/text/code_page.h"

namespace vennadar {

QString GbkToQString(const Text& gbk) {
    return QString::fromStdString(GbkToUtf8(gbk));
}

Text QStringToGbk(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return Utf8ToGbk(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

}  // namespace vennadar
