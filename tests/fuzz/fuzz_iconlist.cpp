// SPDX-License-Identifier: GPL-3.0-or-later
// The stored icon-list blob: anything deserialize accepts is a list of 32x32 images that
// serialises and reads back pixel for pixel; everything else is refused, never a crash.

#include "fuzzsupport.h"

#include "session/iconlist.h"

#include <QGuiApplication>

#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // QImage's PNG reader wants an application object; one, for the whole run.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<unsigned char> blob(data, data + size);
    const std::optional<IconList> list = IconList::deserialize(blob);
    if (!list)
        return 0;
    for (int i = 0; i < list->count(); ++i) {
        const QImage image = list->image(i);
        FUZZ_CHECK(image.width() == IconList::ImageSize && image.height() == IconList::ImageSize);
    }
    const std::optional<IconList> again = IconList::deserialize(list->serialize());
    FUZZ_CHECK(again && again->count() == list->count());
    for (int i = 0; i < list->count(); ++i)
        FUZZ_CHECK(again->image(i) == list->image(i));
    return 0;
}
