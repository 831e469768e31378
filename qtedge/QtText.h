// Where the system's text meets Qt: Windows-1252 bytes to QString and back,
// lossless for all 256 byte values. A character without a Windows-1252 code is
// refused with ETextEncodingError, never replaced.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace elo {

QString ToQString(std::string_view cp1252);
std::string FromQString(const QString& text);

} // namespace elo
