// Helpers of the window tests: waiting on the event loop, reading pixels.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QRect>
#include <functional>

namespace tb::qtui::test {

// Runs the event loop until `done` holds or `ms` milliseconds pass; whether it held.
inline bool wait_until(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Pixels inside `area` of `image` close to `colour` (each channel within 40).
inline int pixels_of(const QImage& image, QColor colour, QRect area = {}) {
    if (area.isNull()) area = image.rect();
    area = area.intersected(image.rect());
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) < 40 && std::abs(c.green() - colour.green()) < 40 &&
                std::abs(c.blue() - colour.blue()) < 40)
                ++n;
        }
    return n;
}

// The leftmost column of `image` holding a pixel close to `colour`, or -1.
inline int first_column_of(const QImage& image, QColor colour) {
    for (int x = 0; x < image.width(); ++x)
        if (pixels_of(image, colour, QRect(x, 0, 1, image.height())) > 0) return x;
    return -1;
}

}  // namespace tb::qtui::test
