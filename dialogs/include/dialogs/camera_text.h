#pragma once

#include <QString>

#include <string_view>

// An 8-bit text from the camera library as shown to the user: UTF-8 when the
// bytes are valid UTF-8, otherwise Latin-1, so that every byte shows as some
// character and nothing is dropped.
QString DecodeCameraText(std::string_view bytes);
