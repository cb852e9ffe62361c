#pragma once
// Filling the "%s" places of a format from the text table with 932 texts,
// in order. The texts may hold any bytes, "%" included; the format holds
// nothing but "%s" places to fill.

#include "platform/CodePage.h"

#include <initializer_list>

namespace kivra::selectors {

inline platform::Text FillFormat(const platform::Text& format, std::initializer_list<platform::Text> values)
{
    platform::Text result;
    auto value = values.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' && value != values.end()) {
            result += *value++;
            ++i;
        } else {
            result += format[i];
        }
    }
    return result;
}

} // namespace kivra::selectors
