// A portable automation value: what V8GetVariant gives and what reaches the
// fiscal driver as a VARIANT passed by value (I4, R8, BSTR or BOOL).
#pragma once

#include <cstdint>
#include <string>

struct TAutoValue {
    enum TKind { Text, Int32, Double, Boolean };
    TKind Kind = Text;  // the default is an empty text, never an empty variant
    int32_t IntValue = 0;
    double DoubleValue = 0.0;
    bool BoolValue = false;
    std::u16string TextValue;

    static TAutoValue FromText(std::u16string v) { TAutoValue a; a.Kind = Text; a.TextValue = std::move(v); return a; }
    static TAutoValue FromInt(int32_t v) { TAutoValue a; a.Kind = Int32; a.IntValue = v; return a; }
    static TAutoValue FromDouble(double v) { TAutoValue a; a.Kind = Double; a.DoubleValue = v; return a; }
    static TAutoValue FromBool(bool v) { TAutoValue a; a.Kind = Boolean; a.BoolValue = v; return a; }
};

// The value as text: text unchanged, integers in decimal, doubles with the
// user's decimal separator, booleans as "True" / "False".
std::u16string AutoValueToText(const TAutoValue& v);
