// Points and rectangles, int arithmetic that saturates, and sizes scaled between DPIs.
#include "geometry/geometry.h"

#include <algorithm>
#include <limits>

namespace quill {
namespace {

// a * b / c, rounded half away from zero like MulDiv; c is positive.
int MulDivRounded(int a, int b, int c) {
    const std::int64_t product = std::int64_t{a} * b;
    const std::int64_t magnitude = (product < 0 ? -product : product) + c / 2;
    return ClampToInt(product < 0 ? -(magnitude / c) : magnitude / c);
}

bool IsEmpty(const ClientRect& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

} // namespace

int ClampToInt(std::int64_t value) {
    return static_cast<int>(
        std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

int UsableDpi(int dpi) {
    return dpi > 0 ? dpi : kDefaultDpi;
}

int RescaleForDpi(int pixels, int fromDpi, int toDpi) {
    return MulDivRounded(pixels, UsableDpi(toDpi), UsableDpi(fromDpi));
}

int ScaleForDpi(int pixels, int dpi) {
    return RescaleForDpi(pixels, kDefaultDpi, dpi);
}

int UnscaleFromDpi(int pixels, int dpi) {
    return RescaleForDpi(pixels, dpi, kDefaultDpi);
}

std::vector<ClientRect> OutsideTextRect(const ClientRect& client, const ClientRect& text) {
    const ClientRect inner{std::clamp(text.left, client.left, client.right),
                           std::clamp(text.top, client.top, client.bottom),
                           std::clamp(text.right, client.left, client.right),
                           std::clamp(text.bottom, client.top, client.bottom)};
    if (IsEmpty(inner)) {
        return IsEmpty(client) ? std::vector<ClientRect>{} : std::vector<ClientRect>{client};
    }
    std::vector<ClientRect> parts;
    for (const ClientRect& part : {ClientRect{client.left, client.top, client.right, inner.top},
                                   ClientRect{client.left, inner.bottom, client.right, client.bottom},
                                   ClientRect{client.left, inner.top, inner.left, inner.bottom},
                                   ClientRect{inner.right, inner.top, client.right, inner.bottom}}) {
        if (!IsEmpty(part))
            parts.push_back(part);
    }
    return parts;
}

} // namespace quill
