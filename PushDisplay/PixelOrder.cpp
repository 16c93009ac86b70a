#include "PushDisplay/PixelOrder.h"

namespace corvane {

std::optional<PixelOrder> pixelOrderFromRawValue(std::string_view text) {
    for (PixelOrder order : allPixelOrders) {
        if (rawValue(order) == text) return order;
    }
    return std::nullopt;
}

std::string_view rawValue(PixelOrder order) {
    switch (order) {
        case PixelOrder::bgr565:
            return "bgr565";
        case PixelOrder::rgb565:
            return "rgb565";
    }
    return "bgr565";
}

}  // namespace corvane
