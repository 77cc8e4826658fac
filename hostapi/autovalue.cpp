#include "hostapi/autovalue.h"

#include "platform/platform.h"
#include "platform/text.h"

std::u16string AutoValueToText(const TAutoValue& v) {
    switch (v.Kind) {
        case TAutoValue::Text: return v.TextValue;
        case TAutoValue::Int32: return text::FromInt(v.IntValue);
        case TAutoValue::Double: return platform::FormatDouble(v.DoubleValue);
        case TAutoValue::Boolean: return v.BoolValue ? u"True" : u"False";
    }
    return std::u16string();
}
