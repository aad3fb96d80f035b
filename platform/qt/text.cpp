#include "platform/qt/text.h"

#include "platform/text.h"

namespace qttext {

QString ToQ(const std::string& bytes) {
    std::string shown = ShownText(bytes);
    return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

}  // namespace qttext
