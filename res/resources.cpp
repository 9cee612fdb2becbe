#include "res/resources.h"

namespace res {

QIcon AppIcon()
{
    QIcon icon;
    icon.addFile(QString::fromLatin1(kAppIcon32), QSize(32, 32));
    icon.addFile(QString::fromLatin1(kAppIcon16), QSize(16, 16));
    return icon;
}

} // namespace res
