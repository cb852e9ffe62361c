#include "app/TextFormat.h"

namespace kivra::app {

platform::Text FormatText(const platform::Text& format, std::initializer_list<platform::Text> arguments)
{
    platform::Text result;
    auto next = arguments.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c == '%' && i + 1 < format.size()) {
            const char kind = format[i + 1];
            if (kind == 's' || kind == 'p' || kind == 'd') {
                if (next != arguments.end()) result += *next++;
                ++i;
                continue;
            }
            if (kind == '%') {
                result += '%';
                ++i;
                continue;
            }
        }
        result += c;
    }
    return result;
}

} // namespace kivra::app
