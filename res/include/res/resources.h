#pragma once

#include <QIcon>

// The program's pictures, compiled in as Qt resources.
namespace res {

// IDB_RAW_PLACEHOLDER (bitmap 131): a packed DIB, 40-byte BITMAPINFOHEADER
// then 488 x 261 pixels of 24-bit BGR rows, bottom-up.
inline constexpr char kRawPlaceholder[] = ":/tavren/raw_placeholder.dib";

// IDI_APP_ICON (icon 128), 16 colours, in two sizes.
inline constexpr char kAppIcon32[] = ":/tavren/app_icon_32.png";
inline constexpr char kAppIcon16[] = ":/tavren/app_icon_16.png";

// Both sizes of IDI_APP_ICON in one icon. Needs a QGuiApplication.
QIcon AppIcon();

} // namespace res
