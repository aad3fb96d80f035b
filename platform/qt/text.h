// The program's 8-bit texts in Qt strings. Texts that are valid UTF-8 (file
// names, everything typed) are shown as such; any other bytes as Latin-1, so
// nothing is ever shown as replacement marks.
#pragma once

#include <QString>
#include <string>

namespace qttext {

QString ToQ(const std::string& bytes);
inline std::string FromQ(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace qttext
