#include "dialogs/camera_text.h"

#include <QStringDecoder>

QString DecodeCameraText(std::string_view bytes)
{
    const auto size = static_cast<qsizetype>(bytes.size());
    // Stateless: a sequence cut off at the end is an error, not kept for later.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(QByteArrayView(bytes.data(), size));
    if (utf8.hasError())
        return QString::fromLatin1(bytes.data(), size);
    return text;
}
