// The program's 8-bit texts in Qt strings: valid UTF-8 (file names,
// everything typed) as such, any other bytes as Windows-1252, so nothing is
// ever shown as replacement marks. Typed text goes back as UTF-8.
#pragma once

#include <QString>
#include <string>

namespace qttext {

QString ToQ(const std::string& bytes);
inline std::string FromQ(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace qttext
