#include "QtText.h"

#include "platform/Text.h"

namespace elo {

QString ToQString(std::string_view cp1252) {
    const std::u16string wide = Cp1252ToUtf16(cp1252);
    return QString(reinterpret_cast<const QChar*>(wide.data()), static_cast<qsizetype>(wide.size()));
}

std::string FromQString(const QString& text) {
    return Utf16ToCp1252(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())));
}

} // namespace elo
